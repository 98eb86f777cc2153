#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/list_lines.h"
#include "common/unique_fd.h"
#include "common/utf8_bom.h"

// Lists of addresses (list files, standard input), read in pieces by the
// line rules of list_lines.h, without the UTF-8 byte-order mark a list may
// begin with. The window's Load List and the command line both read their
// lists here.
namespace verdigo {

// How much of a list is taken.
struct ListLimits {
  // A longer line is not kept: it is passed on as too long.
  std::size_t maxLineBytes = ListLineSplitter::kUnlimited;
  // A longer list fails with "File too large".
  std::uint64_t maxListBytes = UINT64_MAX;
};

// The window adds a file's lines only once the whole file has been read, so
// the file is capped: far beyond any list a person keeps, well below what
// would exhaust memory. Its lines are as long as they come.
inline constexpr ListLimits kWholeListLimits{ListLineSplitter::kUnlimited, std::uint64_t{1} << 30};
// The command line hands each line on as it comes, so a list may be endless
// (a pipe); a line is capped instead.
inline constexpr ListLimits kStreamedListLimits{std::size_t{1} << 20, UINT64_MAX};

class ListReader {
 public:
  ListReader(UniqueFd fd, ListLimits limits)
      : fd_(std::move(fd)), limits_(limits), splitter_(limits.maxLineBytes) {}

  // The regular file at `path` (links followed). Throws Failure: a file
  // that cannot be opened (DescribeOpenFailure), anything but a regular file,
  // a file over the limit.
  static ListReader OpenFile(const std::string& path, ListLimits limits);

  int fd() const { return fd_.get(); }

  // Reads one piece (waiting for it when the descriptor blocks) and calls
  // onLine(line, tooLong) for every line it completes; at the end of the list
  // the last line, and false. A descriptor that has nothing yet (EAGAIN)
  // gives no lines. Throws Failure when a read fails or the list is over the
  // limit; Finish then passes on the line read so far.
  template <typename OnLine>
  bool ReadPiece(OnLine&& onLine) {
    const std::string_view piece = Read();
    if (ended_) {
      Finish(onLine);
      return false;
    }
    bom_.Feed(piece, [&](std::string_view bytes) { splitter_.Feed(bytes, onLine); });
    return true;
  }

  // Passes on the last line, when it has no terminator.
  template <typename OnLine>
  void Finish(OnLine&& onLine) {
    bom_.Finish([&](std::string_view bytes) { splitter_.Feed(bytes, onLine); });
    splitter_.Finish(onLine);
  }

 private:
  static constexpr std::size_t kPieceBytes = 64 * 1024;

  // The next piece; empty at the end (ended_) or when nothing is there yet.
  std::string_view Read();

  UniqueFd fd_;
  ListLimits limits_;
  Utf8BomSkipper bom_;
  ListLineSplitter splitter_;
  std::uint64_t bytesRead_ = 0;
  bool ended_ = false;
  std::string piece_;
};

}  // namespace verdigo

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdigo {

// The line rules of address lists (list files, standard input): a line ends
// at CR, LF or CR LF; the terminator is not part of the line; a terminator at
// the very end adds no empty line; an empty line elsewhere is a line.
//
// Splits bytes that arrive in pieces: a line may span pieces, and a CR at
// the end of one piece may meet its LF in the next. A line longer than
// `maxLineBytes` is not kept: it is passed on as too long, without its bytes.
class ListLineSplitter {
 public:
  static constexpr size_t kUnlimited = SIZE_MAX;

  explicit ListLineSplitter(size_t maxLineBytes = kUnlimited) : maxLineBytes_(maxLineBytes) {}

  // Calls onLine(line, tooLong) for every line that `piece` completes.
  template <typename OnLine>
  void Feed(std::string_view piece, OnLine&& onLine) {
    if (piece.empty()) return;
    size_t start = 0;
    if (afterCr_ && piece[0] == '\n') start = 1;
    afterCr_ = false;
    while (start < piece.size()) {
      const size_t end = piece.find_first_of("\r\n", start);
      if (end == std::string_view::npos) {
        Hold(piece.substr(start));
        return;
      }
      Complete(piece.substr(start, end - start), onLine);
      start = end + 1;
      if (piece[end] == '\r') {
        if (start == piece.size())
          afterCr_ = true;
        else if (piece[start] == '\n')
          ++start;
      }
    }
  }

  // At the end of the bytes: the last line, when it has no terminator.
  template <typename OnLine>
  void Finish(OnLine&& onLine) {
    if (!held_.empty() || tooLong_) Complete({}, onLine);
    afterCr_ = false;
  }

 private:
  void Hold(std::string_view part) {
    if (tooLong_) return;
    if (part.size() > maxLineBytes_ - held_.size()) {
      tooLong_ = true;
      std::string().swap(held_);
      return;
    }
    held_ += part;
  }

  template <typename OnLine>
  void Complete(std::string_view lastPart, OnLine& onLine) {
    if (held_.empty() && !tooLong_ && lastPart.size() <= maxLineBytes_) {
      onLine(lastPart, false);  // the whole line lies in one piece: no copy
      return;
    }
    Hold(lastPart);
    if (tooLong_) {
      onLine(std::string_view(), true);
    } else {
      onLine(std::string_view(held_), false);
    }
    held_.clear();
    tooLong_ = false;
  }

  size_t maxLineBytes_;
  std::string held_;
  bool afterCr_ = false;
  bool tooLong_ = false;
};

// Calls `onLine` with each line of `bytes`, in order.
template <typename OnLine>
void ForEachListLine(std::string_view bytes, OnLine&& onLine) {
  ListLineSplitter splitter;
  const auto pass = [&](std::string_view line, bool) { onLine(line); };
  splitter.Feed(bytes, pass);
  splitter.Finish(pass);
}

}  // namespace verdigo

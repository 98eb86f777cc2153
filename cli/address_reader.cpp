#include "cli/address_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cli/extract_options.h"
#include "cli/stderr_reporter.h"
#include "common/error_report.h"
#include "common/file_routines.h"

namespace verdigo {
namespace {

constexpr int kWaitSliceMs = 100;

// Spaces and tabs around an address are none of its own: a list typed or
// pasted by hand has them, and an address never ends in one.
std::string_view WithoutBlanksAround(std::string_view line) {
  constexpr std::string_view kBlanks = " \t";
  const size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&p, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready != 0;  // an error counts as readable: read() tells what it is
}

// A folder opens for reading, yet every read fails: refuse it here, before
// any page is fetched, like a list that cannot be opened at all.
bool IsFolder(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

AddressReader::AddressReader(std::vector<std::string> addresses, std::vector<std::string> listFiles,
                             bool stdinByDefault)
    : ready_(std::move(addresses)) {
  if (ready_.empty() && listFiles.empty() && stdinByDefault) listFiles.push_back("-");
  for (const std::string& name : listFiles) Open(name);
}

void AddressReader::Open(const std::string& name) {
  if (name == "-") {
    readsStandardInput_ = true;
    if (IsFolder(STDIN_FILENO)) {
      openFailures_.push_back("cannot read standard input: " + DescribeErrno(EISDIR));
      return;
    }
    readsATerminal_ = ::isatty(STDIN_FILENO) == 1;
    lists_.push_back(
        {"standard input", ListReader(UniqueFd(::dup(STDIN_FILENO)), kStreamedListLimits)});
    return;
  }
  UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.valid() && IsFolder(fd.get())) {
    openFailures_.push_back("cannot read " + name + ": " + DescribeErrno(EISDIR));
    return;
  }
  if (fd.valid()) {
    lists_.push_back({name, ListReader(std::move(fd), kStreamedListLimits)});
    return;
  }
  const int err = errno;
  openFailures_.push_back("cannot read " + name + ": " + DescribeOpenFailure(err, name));
  if (err == ENOENT && (name.starts_with("http://") || name.starts_with("https://"))) {
    openFailures_.push_back("to fetch an address rather than read a list, give it with -u: " +
                            std::string(kExtractProgramName) + " -u " + name);
  }
}

AddressReader::Status AddressReader::Next(std::string& address, bool mayWait) {
  while (nextReady_ == ready_.size()) {
    ready_.clear();
    nextReady_ = 0;
    if (Ended()) return Status::kEnd;
    if (!ReadPiece(mayWait)) return Status::kNotYet;
  }
  address = std::move(ready_[nextReady_++]);
  ++count_;
  return Status::kAddress;
}

// One piece of the current list into ready_; false when nothing came in
// time (at once, or within a short wait when `mayWait`).
bool AddressReader::ReadPiece(bool mayWait) {
  List& list = lists_[current_];
  if (!Readable(list.reader->fd(), mayWait ? kWaitSliceMs : 0)) return false;
  const auto take = [&](std::string_view line, bool tooLong) { TakeLine(line, tooLong); };
  try {
    if (!list.reader->ReadPiece(take)) EndCurrentList();
  } catch (const Failure& failure) {
    PrintProgramMessage("cannot read " + list.shownName + ": " + failure.what());
    hadTrouble_ = true;
    list.reader->Finish(take);
    EndCurrentList();
  }
  return true;
}

void AddressReader::EndCurrentList() {
  lists_[current_].reader.reset();
  ++current_;
  lineNumber_ = 0;
}

void AddressReader::TakeLine(std::string_view line, bool tooLong) {
  ++lineNumber_;
  if (!tooLong) {
    const std::string_view address = WithoutBlanksAround(line);
    if (!address.empty()) ready_.emplace_back(address);
    return;
  }
  PrintProgramMessage("line " + std::to_string(lineNumber_) + " of " + lists_[current_].shownName +
                      " is longer than 1 MiB; skipped");
  hadTrouble_ = true;
}

}  // namespace verdigo

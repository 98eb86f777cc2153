#pragma once

#include <chrono>
#include <string>

// verdigo-extract's standard input, output and error: accounted for at start,
// and standard output's reader watched while the run waits.
namespace verdigo {

// Which standard streams were closed when the program started.
struct ClosedStandardStreams {
  bool input = false;   // closed, or open for writing only
  bool output = false;  // closed, or open for reading only
  bool error = false;
};

// Notices the standard streams that are closed and puts /dev/null on each of
// their numbers (read-only for input, write-only for the others), so that no
// socket or file opened later takes one and receives rows or messages meant
// for it. Call first thing, before anything opens a descriptor.
ClosedStandardStreams OccupyClosedStandardStreams();

// Why the run cannot go on with these streams ("cannot write standard
// output: …"), or empty when it can: rows or texts bound for a closed
// standard output, addresses expected on a closed standard input.
std::string StandardStreamTrouble(const ClosedStandardStreams& closed, bool writesOutput,
                                  bool readsInput);

// Whether the reader of a descriptor has gone: a pipe whose reading end is
// closed, a terminal that hung up. Looks at most once every kInterval, so it
// can be asked after every row.
class ReaderWatch {
 public:
  static constexpr std::chrono::milliseconds kInterval{20};

  explicit ReaderWatch(int fd) : fd_(fd) {}
  bool Gone();

 private:
  int fd_;
  std::chrono::steady_clock::time_point nextLook_{};
};

}  // namespace verdigo

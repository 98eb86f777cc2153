#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The progress line of verdigo-extract on a terminal.
namespace verdigo {

// "[3/10] 245 rows  ADDRESS" in UTF-8 ("[3] …" while the count of pages is
// not known: `pages` 0), cut to `columns` characters. The
// address is code-page bytes; its control characters show as "?" so that
// they cannot move the cursor.
std::string ProgressLine(size_t page, size_t pages, std::uint64_t rows, std::string_view address,
                         size_t columns);

// Whether descriptors `a` and `b` show on one terminal: both are terminals,
// and the same one (or one of them is the process's /dev/tty, which is
// whatever terminal the other is, as far as a reader can tell).
bool OnOneTerminal(int a, int b);

// One line on a terminal, redrawn in place and cleared at the end. Drawing
// is throttled: a run calls Tick after every row.
//
// Rows may go to the same terminal (standard output and standard error both
// on it): they go out through WriteOutput, which takes the line away first
// and draws it again below them, so that no row shares a line with it.
class ProgressDisplay {
 public:
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  // Draws nothing when `enabled` is false. `outputFd` is where WriteOutput
  // writes (-1: none).
  ProgressDisplay(int fd, bool enabled, int outputFd = -1)
      : fd_(fd),
        enabled_(enabled),
        outputFd_(outputFd),
        sharesTerminal_(enabled && outputFd >= 0 && OnOneTerminal(fd, outputFd)) {}
  ~ProgressDisplay() { Clear(); }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // The page now being handled; drawn at once.
  void StartPage(size_t page, size_t pages, std::string_view address, std::uint64_t rows);
  // Redraws with the current row count when the last drawing is old enough.
  void Tick(std::uint64_t rows);
  // Takes the line away (before any other message, and at the end).
  void Clear();
  // Writes all of `bytes` to the output descriptor, as WriteAllToFd does.
  bool WriteOutput(std::string_view bytes, int& err);

  bool enabled() const { return enabled_; }

 private:
  void Draw();
  size_t TerminalColumns() const;

  int fd_;
  bool enabled_;
  int outputFd_;
  bool sharesTerminal_;
  // The output so far ends a line (or there is none): the terminal's cursor
  // is at the start of a line once the progress line is taken away.
  bool outputEndsLine_ = true;
  bool shown_ = false;
  size_t page_ = 0;
  size_t pages_ = 0;
  std::uint64_t rows_ = 0;
  std::string address_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace verdigo

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

// One line on a terminal, redrawn in place and cleared at the end. Drawing
// is throttled: a run calls Tick after every row.
class ProgressDisplay {
 public:
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  // Draws nothing when `enabled` is false.
  ProgressDisplay(int fd, bool enabled) : fd_(fd), enabled_(enabled) {}
  ~ProgressDisplay() { Clear(); }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // The page now being handled; drawn at once.
  void StartPage(size_t page, size_t pages, std::string_view address, std::uint64_t rows);
  // Redraws with the current row count when the last drawing is old enough.
  void Tick(std::uint64_t rows);
  // Takes the line away (before any other message, and at the end).
  void Clear();

 private:
  void Draw();
  size_t TerminalColumns() const;

  int fd_;
  bool enabled_;
  bool shown_ = false;
  size_t page_ = 0;
  size_t pages_ = 0;
  std::uint64_t rows_ = 0;
  std::string address_;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace verdigo

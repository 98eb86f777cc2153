#include "cli/progress_display.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "cli/terminal_text.h"
#include "common/fd_io.h"

namespace verdigo {

namespace {

constexpr std::string_view kEraseLine = "\r\x1b[K";

// Cuts UTF-8 text after `columns` characters (one column each is close
// enough for addresses).
void CutToColumns(std::string& text, size_t columns) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (startsCharacter && characters++ == columns) {
      text.resize(i);
      return;
    }
  }
}

// The terminal device behind `fd`, when it is one.
bool TerminalDevice(int fd, dev_t& device) {
  struct stat st {};
  if (::isatty(fd) != 1 || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  device = st.st_rdev;
  return true;
}

bool IsControllingTerminal(dev_t device) { return device == makedev(5, 0); }

}  // namespace

bool OnOneTerminal(int a, int b) {
  dev_t first = 0, second = 0;
  if (!TerminalDevice(a, first) || !TerminalDevice(b, second)) return false;
  return first == second || IsControllingTerminal(first) || IsControllingTerminal(second);
}

std::string ProgressLine(size_t page, size_t pages, std::uint64_t rows, std::string_view address,
                         size_t columns) {
  const std::string total = pages == 0 ? std::string() : "/" + std::to_string(pages);
  std::string line = "[" + std::to_string(page) + total + "] " + std::to_string(rows) +
                     (rows == 1 ? " row  " : " rows  ") + TerminalText(address);
  CutToColumns(line, columns);
  return line;
}

void ProgressDisplay::StartPage(size_t page, size_t pages, std::string_view address,
                                std::uint64_t rows) {
  page_ = page;
  pages_ = pages;
  address_ = address;
  rows_ = rows;
  Draw();
}

void ProgressDisplay::Tick(std::uint64_t rows) {
  rows_ = rows;
  if (enabled_ && std::chrono::steady_clock::now() - lastDraw_ >= kRedrawInterval) Draw();
}

void ProgressDisplay::Clear() {
  if (!shown_) return;
  WriteAllIgnoringErrors(fd_, kEraseLine);
  shown_ = false;
}

bool ProgressDisplay::WriteOutput(std::string_view bytes, int& err) {
  if (!sharesTerminal_ || bytes.empty()) return WriteAllToFd(outputFd_, bytes, err);
  const bool redraw = shown_;
  Clear();
  const bool written = WriteAllToFd(outputFd_, bytes, err);
  outputEndsLine_ = bytes.back() == '\n';
  if (redraw) Draw();
  return written;
}

void ProgressDisplay::Draw() {
  if (!enabled_) return;
  // One column short of the width: some terminals wrap on the last one.
  const size_t columns = TerminalColumns() - 1;
  // Below rows that ended without a line feed (-0), not over them.
  const std::string_view lineStart = outputEndsLine_ ? kEraseLine : "\n";
  outputEndsLine_ = true;
  WriteAllIgnoringErrors(
      fd_, std::string(lineStart) + ProgressLine(page_, pages_, rows_, address_, columns));
  shown_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

size_t ProgressDisplay::TerminalColumns() const {
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 80;
}

}  // namespace verdigo

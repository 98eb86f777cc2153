#include "cli/progress_display.h"

#include <sys/ioctl.h>
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

}  // namespace

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

void ProgressDisplay::Draw() {
  if (!enabled_) return;
  // One column short of the width: some terminals wrap on the last one.
  const size_t columns = TerminalColumns() - 1;
  WriteAllIgnoringErrors(
      fd_, std::string(kEraseLine) + ProgressLine(page_, pages_, rows_, address_, columns));
  shown_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

size_t ProgressDisplay::TerminalColumns() const {
  winsize size{};
  if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 80;
}

}  // namespace verdigo

#include "cli/stderr_reporter.h"

#include <unistd.h>

#include <cerrno>

#include "cli/extract_options.h"
#include "common/code_page.h"
#include "common/fd_io.h"

namespace verdigo {

void WriteToFd(int fd, std::string_view text) {
  int ignored = 0;
  (void)WriteAllToFd(fd, text, ignored);
}

namespace {

bool IsControl(unsigned char byte) {
  const char16_t ch = CodePageToUnicode(byte);
  return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F);
}

}  // namespace

std::string TerminalText(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControl(byte)) {
      safe += "\\x";
      safe += kHex[byte >> 4];
      safe += kHex[byte & 0xF];
    } else {
      safe += CodePageToUtf8(std::string_view(&c, 1));
    }
  }
  return safe;
}

void PrintProgramMessage(std::string_view message) {
  std::string line(kExtractProgramName);
  line += ": ";
  line += message;
  line += '\n';
  WriteToFd(STDERR_FILENO, line);
}

std::string ErrorReportForTerminal(std::string_view report) {
  std::string text(kExtractProgramName);
  text += ": ";
  for (size_t i = 0; i < report.size(); ++i) {
    if (report[i] != '\r') {
      text += report[i];
    } else if (i + 1 >= report.size() || report[i + 1] != '\n') {
      text += '\n';
    }
  }
  text += '\n';
  return text;
}

void StderrReporter::UrlNotFound(std::string_view pageUrl, std::string_view reason) {
  progress_.Clear();
  std::string message = "URL not found: " + TerminalText(pageUrl);
  if (!reason.empty()) {
    message += " (";
    message += TerminalText(reason);
    message += ')';
  }
  PrintProgramMessage(message);
}

void StderrReporter::ShowErrorReport(const std::string& text) {
  showedErrorReport_ = true;
  progress_.Clear();
  WriteToFd(STDERR_FILENO, ErrorReportForTerminal(text));
}

}  // namespace verdigo

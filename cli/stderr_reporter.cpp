#include "cli/stderr_reporter.h"

#include <unistd.h>

#include <cerrno>

#include "cli/extract_options.h"
#include "common/code_page.h"

namespace verdigo {

void WriteToFd(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
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
  std::string message = "URL not found: " + CodePageToUtf8(pageUrl);
  if (!reason.empty()) {
    message += " (";
    message += reason;
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

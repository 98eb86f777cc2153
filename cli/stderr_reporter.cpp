#include "cli/stderr_reporter.h"

#include <unistd.h>

#include <cerrno>

#include "cli/extract_options.h"
#include "cli/terminal_text.h"
#include "common/fd_io.h"

namespace verdigo {

void PrintProgramMessage(std::string_view message, int fd) {
  std::string line(kExtractProgramName);
  line += ": ";
  line += message;
  line += '\n';
  WriteAllIgnoringErrors(fd, line);
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
  PrintProgramMessage(message, fd_);
}

void StderrReporter::ShowErrorReport(const std::string& text) {
  showedErrorReport_ = true;
  progress_.Clear();
  WriteAllIgnoringErrors(fd_, ErrorReportForTerminal(text));
}

}  // namespace verdigo

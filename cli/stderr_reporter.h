#pragma once

#include <unistd.h>

#include <string>
#include <string_view>

#include "cli/progress_display.h"
#include "cli/terminal_text.h"
#include "engine/interfaces.h"

namespace verdigo {

// "verdigo-extract: " + message + newline, on standard error (or `fd`).
void PrintProgramMessage(std::string_view message, int fd = STDERR_FILENO);

// An error report as a terminal shows it: its CR LF and lone CR become line
// feeds, the program's name goes in front, a line feed at the end.
std::string ErrorReportForTerminal(std::string_view report);

// The engine's messages on standard error, with the progress line taken away
// first so the two do not mix.
class StderrReporter : public EngineReporter {
 public:
  explicit StderrReporter(ProgressDisplay& progress, int fd = STDERR_FILENO)
      : progress_(progress), fd_(fd) {}
  // "verdigo-extract: URL not found: ADDRESS (REASON)", both as TerminalText.
  void UrlNotFound(std::string_view pageUrl, std::string_view reason) override;
  void ShowErrorReport(const std::string& text) override;
  // A page may have lost rows: the run must not end as a success.
  bool ShowedErrorReport() const { return showedErrorReport_; }

 private:
  ProgressDisplay& progress_;
  int fd_;
  bool showedErrorReport_ = false;
};

}  // namespace verdigo

#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// The program's error trap: a procedure runs its numbered statements through
// an ErrorTrap; a statement that fails shows the error report and the
// procedure goes on with its next statement.
namespace verdigo {

inline constexpr std::string_view kErrorReportTitle = "Application Error";

// "in Quillmere2021/08/31.<module>.<procedure> "
std::string ProcedurePath(std::string_view module, std::string_view procedure);

// The report's text: description, CR LF, procedure path, "at line N", two CRs,
// the request to send a screenshot to the support address.
std::string ErrorReport(std::string_view description, std::string_view procedurePath, int line);

// A failed statement, with a description in the manner of the classic run-time
// texts ("File not found", "Permission denied", ...).
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How DescribeErrno words a system error: the window speaks the classic
// run-time texts; the command line, as commands in a shell do, the system's
// own words ("Is a directory", "No space left on device"), except for a
// missing file or folder, whose "File not found" and "Path not found" say
// as much and also which of the two is missing.
enum class ErrnoWording { kClassic, kSystem };
// Chosen once at start, before any other thread runs.
void UseErrnoWording(ErrnoWording wording);

// The classic description for an errno value where one fits, else the
// system's own words (always those, but for a missing file or folder, in
// the system wording).
std::string DescribeErrno(int err);

// Throws Failure(DescribeErrno(err)).
[[noreturn]] void FailWithErrno(int err);

inline constexpr std::string_view kInvalidProcedureCall = "Invalid procedure call or argument";

// Where error reports are shown (a message box, standard error, a test's log).
class ErrorReportSink {
 public:
  virtual ~ErrorReportSink() = default;
  virtual void ShowErrorReport(const std::string& text) = 0;
};

class ErrorTrap {
 public:
  ErrorTrap(std::string procedurePath, ErrorReportSink& sink)
      : path_(std::move(procedurePath)), sink_(sink) {}

  // Runs statement number `line`. Returns false when it failed (and was
  // reported); the caller carries on either way unless it chooses otherwise.
  template <typename Statement>
  bool Run(int line, Statement&& statement) {
    try {
      std::forward<Statement>(statement)();
      return true;
    } catch (const std::bad_alloc&) {
      Report(line, "Out of memory");
    } catch (const std::exception& e) {
      Report(line, e.what());
    }
    return false;
  }

  void Report(int line, std::string_view description);

 private:
  std::string path_;
  ErrorReportSink& sink_;
};

}  // namespace verdigo

#include "common/error_report.h"

#include <cerrno>
#include <cstring>

#include "common/product.h"

namespace verdigo {

std::string ProcedurePath(std::string_view module, std::string_view procedure) {
  std::string path = "in ";
  path += kProcedureTag;
  path += '.';
  path += module;
  path += '.';
  path += procedure;
  path += ' ';
  return path;
}

std::string ErrorReport(std::string_view description, std::string_view procedurePath, int line) {
  std::string text(description);
  text += "\r\n";
  text += procedurePath;
  text += "at line ";
  text += std::to_string(line);
  text += "\r\r";
  text += "Please email screenshot of this message to ";
  text += kSupportEmail;
  return text;
}

namespace {
ErrnoWording gErrnoWording = ErrnoWording::kClassic;
}  // namespace

void UseErrnoWording(ErrnoWording wording) { gErrnoWording = wording; }

std::string DescribeErrno(int err) {
  if (gErrnoWording == ErrnoWording::kSystem && err != ENOENT && err != ENOTDIR) {
    return std::strerror(err);
  }
  switch (err) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
      return "Path not found";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Permission denied";
    case EISDIR:
      return "Path/File access error";
    case ENOSPC:
    case EDQUOT:
      return "Disk full";
    case EMFILE:
    case ENFILE:
      return "Too many files";
    case EINVAL:
      return std::string(kInvalidProcedureCall);
    case ENOMEM:
      return "Out of memory";
    case EIO:
      return "Device I/O error";
    default:
      return std::strerror(err);
  }
}

void FailWithErrno(int err) { throw Failure(DescribeErrno(err)); }

void ErrorTrap::Report(int line, std::string_view description) {
  sink_.ShowErrorReport(ErrorReport(description, path_, line));
}

}  // namespace verdigo

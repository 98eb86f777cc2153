#include "common/safe_file_writer.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/file_routines.h"
#include "common/signal_cleanup.h"

namespace verdigo {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

// Setting the umask races any thread that creates a file meanwhile, so the
// umask the program started with is read, not set.
const mode_t kStartUmask = ReadProcessUmask();

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path a chain of symbolic links at `path` ends in (which need not exist).
std::string FinalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) FailWithErrno(errno);
    link.resize(static_cast<size_t>(n));
    path =
        link.starts_with('/') || path.find('/') == std::string::npos ? link : FolderOf(path) + link;
  }
  FailWithErrno(ELOOP);
}

// A new temporary file in `folderFd`, or an invalid descriptor with errno set.
UniqueFd CreateTempFile(int folderFd, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = RandomFileName(".verdigo-save-");
    UniqueFd file(::openat(folderFd, name.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.valid() || errno != EEXIST) return file;
  }
  return UniqueFd();
}

bool IsNoWriteAccess(int err) { return err == EACCES || err == EPERM; }

}  // namespace

SafeFileWriter SafeFileWriter::Open(const std::string& path) {
  SafeFileWriter writer;
  struct stat st {};
  // Devices and FIFOs, also behind links that lead nowhere on disk
  // (/dev/stdout), are written in place through the path itself.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    writer.OpenInPlace(AT_FDCWD, path.c_str());
    return writer;
  }
  const std::string target = FinalTarget(path);
  writer.OpenFolderOf(target);
  const int folderFd = writer.folder_.get();
  const char* name = writer.targetName_.c_str();
  struct stat old {};
  const bool exists = ::fstatat(folderFd, name, &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) FailWithErrno(errno);
  // A file the user may not write is not replaced behind its back either.
  if (exists && S_ISREG(old.st_mode) && ::faccessat(folderFd, name, W_OK, AT_EACCESS) != 0) {
    FailWithErrno(errno);
  }
  const bool replaceable = !exists || (S_ISREG(old.st_mode) && old.st_nlink == 1);
  if (replaceable && writer.CreateTempBeside(exists ? &old : nullptr)) return writer;
  // A folder we may not write: write the file in place.
  if (replaceable && (!exists || !IsNoWriteAccess(errno))) FailWithErrno(errno);
  writer.OpenInPlace(folderFd, name);
  return writer;
}

void SafeFileWriter::OpenFolderOf(const std::string& target) {
  targetName_ = NameOf(target);
  if (targetName_.empty() || targetName_ == "." || targetName_ == "..") FailWithErrno(EISDIR);
  folder_.Reset(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_.valid()) throw Failure(DescribeFolderFailure(errno));
}

bool SafeFileWriter::CreateTempBeside(const struct stat* old) {
  file_ = CreateTempFile(folder_.get(), tempName_);
  if (!file_.valid()) {
    tempName_.clear();
    return false;
  }
  signalSlot_ = RegisterFileForSignalCleanup(folder_.get(), tempName_.c_str());
  if (old != nullptr) {
    // Keep the owner where we may (root saving someone's file) and the mode.
    (void)!::fchown(file_.get(), old->st_uid, old->st_gid);
    ::fchmod(file_.get(), old->st_mode & 07777);
  } else {
    ::fchmod(file_.get(), 0666 & ~kStartUmask);
  }
  return true;
}

void SafeFileWriter::OpenInPlace(int folderFd, const char* name) {
  file_.Reset(::openat(folderFd, name, O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!file_.valid()) FailWithErrno(errno);
  truncatePending_ = true;
}

SafeFileWriter::SafeFileWriter(SafeFileWriter&& other) noexcept
    : folder_(std::move(other.folder_)),
      file_(std::move(other.file_)),
      targetName_(std::move(other.targetName_)),
      tempName_(std::move(other.tempName_)),
      signalSlot_(std::exchange(other.signalSlot_, -1)),
      truncatePending_(other.truncatePending_),
      buffer_(std::move(other.buffer_)) {
  other.tempName_.clear();
}

SafeFileWriter::~SafeFileWriter() { Discard(); }

void SafeFileWriter::Discard() {
  if (!tempName_.empty() && folder_.valid()) ::unlinkat(folder_.get(), tempName_.c_str(), 0);
  UnregisterFileForSignalCleanup(std::exchange(signalSlot_, -1));
  tempName_.clear();
  file_.Close();
}

void SafeFileWriter::Write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() <= kBufferBytes) {
    buffer_.append(bytes);
    return;
  }
  Flush();
  WriteNow(bytes);
}

void SafeFileWriter::Flush() {
  WriteNow(buffer_);
  buffer_.clear();
}

void SafeFileWriter::WriteNow(std::string_view bytes) {
  if (!file_.valid()) FailWithErrno(EBADF);
  if (truncatePending_) {
    struct stat st {};
    // Devices and FIFOs have nothing to truncate.
    if (::fstat(file_.get(), &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(file_.get(), 0) != 0) {
      FailWithErrno(errno);
    }
    truncatePending_ = false;
  }
  WriteAllOrFail(file_.get(), bytes);
}

void SafeFileWriter::Commit() {
  Flush();
  if (tempName_.empty()) {
    if (!file_.CloseChecked()) FailWithErrno(errno);
    return;
  }
  if (::fsync(file_.get()) != 0) FailWithErrno(errno);
  if (!file_.CloseChecked()) FailWithErrno(errno);
  if (::renameat(folder_.get(), tempName_.c_str(), folder_.get(), targetName_.c_str()) != 0) {
    FailWithErrno(errno);
  }
  tempName_.clear();
  Discard();
}

std::string FinalSaveTarget(const std::string& path) { return FinalTarget(path); }

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  SafeFileWriter writer = SafeFileWriter::Open(path);
  writer.Write(bytes);
  writer.Commit();
}

}  // namespace verdigo

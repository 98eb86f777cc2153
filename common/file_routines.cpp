#include "common/file_routines.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/error_report.h"
#include "common/unique_fd.h"

namespace verdigo {

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

void ForceDeleteFile(const std::string& path) {
  // A read-only file can be unlinked by its owner; make sure the mode does not
  // stand in the way of file systems that care.
  ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
  ::unlink(path.c_str());
}

void RemoveFile(const std::string& path, const std::function<void()>& yield) {
  if (yield) yield();
  if (::unlink(path.c_str()) != 0) ForceDeleteFile(path);
}

namespace {

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      FailWithErrno(errno);
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) FailWithErrno(errno);
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) FailWithErrno(errno);
  if (!S_ISREG(st.st_mode)) FailWithErrno(EISDIR);
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) throw Failure("File too large");
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailWithErrno(errno);
    }
    if (n == 0) break;  // the file shrank under us: keep what was there
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string temp = folder + (slash == std::string::npos ? "/" : "") + ".verdigo-save-XXXXXX";
  UniqueFd file(::mkstemp(temp.data()));
  if (file.get() < 0) FailWithErrno(errno);
  try {
    WriteAll(file.get(), bytes);
    struct stat old {};
    // Keep the permissions of the file being replaced; a new file gets the
    // usual mode under the user's umask.
    if (::stat(path.c_str(), &old) == 0) {
      ::fchmod(file.get(), old.st_mode & 07777);
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(file.get(), 0666 & ~mask);
    }
    if (::fsync(file.get()) != 0) FailWithErrno(errno);
    if (::rename(temp.c_str(), path.c_str()) != 0) FailWithErrno(errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

namespace {

std::mutex gTempMutex;
std::string gTempFolder;  // empty until first use

std::string TempBase() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "/tmp";
}

// What the signal handler removes; filled in when the folder is made. The
// handler may only make async-signal-safe calls, hence plain arrays.
char gSignalPageFile[PATH_MAX];
char gSignalTempFolder[PATH_MAX];
std::int16_t gSignalPageIndex = -1;  // -1: no handler installed
void (*gBeforeSignalExit)() = nullptr;

void OnTerminatingSignal(int signal) {
  if (gBeforeSignalExit != nullptr) gBeforeSignalExit();
  if (gSignalTempFolder[0] != '\0') {
    ::unlink(gSignalPageFile);
    ::rmdir(gSignalTempFolder);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

std::string PagePathIn(const std::string& folder, std::int16_t index) {
  return folder + "/HTML" + std::to_string(index) + ".tmp";
}

void TellSignalHandler(const std::string& folder) {
  if (gSignalPageIndex < 0) return;
  const std::string pageFile = PagePathIn(folder, gSignalPageIndex);
  if (pageFile.size() >= PATH_MAX) return;
  std::strcpy(gSignalPageFile, pageFile.c_str());
  std::strcpy(gSignalTempFolder, folder.c_str());
}

void RemoveTempFolderAtExit() { RemovePrivateTempFolder(); }

}  // namespace

std::string PrivateTempFolder() {
  std::lock_guard lock(gTempMutex);
  if (gTempFolder.empty()) {
    std::string pattern = TempBase();
    if (pattern.back() != '/') pattern += '/';
    pattern += "verdigo-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) FailWithErrno(errno);  // mkdtemp makes it 0700
    gTempFolder = pattern;
    TellSignalHandler(gTempFolder);
    static const bool registered = (std::atexit(RemoveTempFolderAtExit), true);
    (void)registered;
  }
  return gTempFolder;
}

void RemovePrivateTempFolder() {
  std::lock_guard lock(gTempMutex);
  if (gTempFolder.empty()) return;
  if (DIR* dir = ::opendir(gTempFolder.c_str())) {
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    for (const auto& name : names) ::unlink((gTempFolder + "/" + name).c_str());
  }
  ::rmdir(gTempFolder.c_str());
  gSignalTempFolder[0] = '\0';
  gTempFolder.clear();
}

std::string TempPagePath(std::int16_t index) { return PagePathIn(PrivateTempFolder(), index); }

void RemoveTempFolderOnTerminatingSignals(std::int16_t index, void (*beforeExit)()) {
  {
    std::lock_guard lock(gTempMutex);
    gSignalPageIndex = index;
    gBeforeSignalExit = beforeExit;
    if (!gTempFolder.empty()) TellSignalHandler(gTempFolder);
  }
  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace verdigo

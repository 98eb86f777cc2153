#include "common/temp_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "common/error_report.h"
#include "common/file_routines.h"
#include "common/signal_cleanup.h"
#include "common/temp_folder_leftovers.h"

namespace verdigo {
namespace {

constexpr size_t kFolderNameSize = 16;  // "verdigo-XXXXXX" and its NUL

// The descriptors are atomics because the signal handler reads them; every
// change happens under gMutex.
std::mutex gMutex;
std::atomic<int> gParentFd{-1};
std::atomic<int> gFolderFd{-1};
char gFolderName[kFolderNameSize];
std::string gFolderPath;  // for messages only
void (*gBeforeSignalExit)() = nullptr;
// The highest page-file number made, so that the signal handler knows how
// far to look.
std::atomic<int> gHighestPageFile{0};
// Page files are made once and used again: a file made anew for every page
// costs more than the page's download where the file system takes its time
// over fresh files (ext4 without a journal skips the inodes of the last
// minute's deletions one by one). Each lives as a spare, S<n>, in a second
// folder of the same making beside the private one; a page file is a link
// to a spare, removed (and the spare emptied) once its page is handled, so
// that the private folder holds only the files of pages under way.
// gSpareFolderFd and gHighestSpare are read by the signal handler; every
// change happens under gMutex.
std::atomic<int> gSpareFolderFd{-1};
char gSpareFolderName[kFolderNameSize + 1];  // with the leading dot
std::vector<int> gFreeSpares;                // the numbers of the spares no page uses
std::map<int, int> gSpareOfPageFile;         // page file index -> its spare's number
std::atomic<int> gHighestSpare{0};           // the highest spare number made

// Room for "HTML<index>.tmp" with the largest int and its NUL.
using PageFileNameBuffer = char[24];

// `prefix`, the decimal `index` and `suffix` without allocating: the signal
// handler uses it too.
void NumberedName(const char* prefix, int index, const char* suffix, PageFileNameBuffer& name) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + index % 10);
    index /= 10;
  } while (index > 0);
  char* out = name;
  while (*prefix != '\0') *out++ = *prefix++;
  while (count > 0) *out++ = digits[--count];
  while (*suffix != '\0') *out++ = *suffix++;
  *out = '\0';
}

// "HTML<index>.tmp".
void PageFileName(int index, PageFileNameBuffer& name) {
  NumberedName("HTML", index, ".tmp", name);
}

void SpareName(int number, PageFileNameBuffer& name) { NumberedName("S", number, "", name); }

void CheckPageIndex(int index) {
  if (index < 1) throw Failure(std::string(kInvalidProcedureCall));
}

// Makes a private folder inside `base`; on failure returns the errno.
int MakeFolderIn(const std::string& base) {
  UniqueFd parent(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent.valid()) return errno;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = RandomFileName(kTempFolderPrefix);
    if (::mkdirat(parent.get(), name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    UniqueFd folder(
        ::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    // Between mkdirat and openat another user may have put a folder of their
    // own in place of ours: refuse anything we do not own.
    if (!folder.valid()) {
      const int err = errno;
      ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR);  // ours, and still empty
      return err;
    }
    if (::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid()) return EACCES;
    ::fchmod(folder.get(), 0700);  // whatever the umask took away
    // Held for the process's life: it tells later runs that the folder is in
    // use. Another run may be removing it as a leftover just now (it locks
    // first); then take another name. Where locks cannot be had at all,
    // nobody removes leftovers either, and the folder serves unlocked.
    const bool lockedByOther =
        ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (lockedByOther || !IsSameFolder(parent.get(), name.c_str(), folder.get())) continue;
    RemoveLeftoverFolders(parent.get(), name);
    std::strcpy(gFolderName, name.c_str());
    gFolderPath = (base.size() > 1 && base.back() == '/' ? base.substr(0, base.size() - 1) : base) +
                  "/" + name;
    gParentFd.store(parent.release());
    gFolderFd.store(folder.release());
    return 0;
  }
  return EEXIST;
}

void RemoveSpareLocked(int number) {
  PageFileNameBuffer spare;
  SpareName(number, spare);
  if (gSpareFolderFd.load() >= 0) ::unlinkat(gSpareFolderFd.load(), spare, 0);
}

// Deletes the spares no page uses, or with `folderToo` all of them and
// their folder.
void RemoveSparesLocked(bool folderToo) {
  const int spareFd = gSpareFolderFd.load();
  for (const int number : gFreeSpares) RemoveSpareLocked(number);
  gFreeSpares.clear();
  if (!folderToo || spareFd < 0) return;
  for (int number = 1; number <= gHighestSpare.load(); ++number) RemoveSpareLocked(number);
  gSpareOfPageFile.clear();
  if (IsSameFolder(gParentFd.load(), gSpareFolderName, spareFd)) {
    ::unlinkat(gParentFd.load(), gSpareFolderName, AT_REMOVEDIR);
  }
  ::close(gSpareFolderFd.exchange(-1));
}

void CloseFolderLocked() {
  RemoveSparesLocked(true);
  for (std::atomic<int>* fd : {&gFolderFd, &gParentFd}) {
    const int old = fd->exchange(-1);
    if (old >= 0) ::close(old);
  }
}

void RemoveTempFolderAtExit() { RemovePrivateTempFolder(); }

// The folder of spares, made beside the private one as that one is (and
// locked, so that other runs leave it alone); -1 when it cannot be made.
int SpareFolderFdLocked() {
  struct stat st {};
  const int existing = gSpareFolderFd.load();
  if (existing >= 0 && ::fstat(existing, &st) == 0 && st.st_nlink > 0) return existing;
  RemoveSparesLocked(true);
  const int parent = gParentFd.load();
  for (int attempt = 0; parent >= 0 && attempt < 100; ++attempt) {
    const std::string name = RandomFileName(kSpareFolderPrefix);
    if (::mkdirat(parent, name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    UniqueFd folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid()) {
      return -1;
    }
    ::fchmod(folder.get(), 0700);
    const bool lockedByOther =
        ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (lockedByOther || !IsSameFolder(parent, name.c_str(), folder.get())) continue;
    std::strcpy(gSpareFolderName, name.c_str());
    gSpareFolderFd.store(folder.release());
    return gSpareFolderFd.load();
  }
  return -1;
}

void RemovePageFileLocked(int index, const char* name) {
  if (gFolderFd.load() >= 0) ::unlinkat(gFolderFd.load(), name, 0);
  // Its spare is the same file, which a transfer may still write to.
  const auto linked = gSpareOfPageFile.find(index);
  if (linked == gSpareOfPageFile.end()) return;
  RemoveSpareLocked(linked->second);
  gSpareOfPageFile.erase(linked);
}

// Empties page file `index` (`name`) and frees its spare, made now for a
// file that has none; false when it cannot.
bool KeepAsSpareLocked(int folderFd, int index, const char* name) {
  {
    const UniqueFd file(::openat(folderFd, name, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) return false;
  }  // closed once empty, so that nothing of it is left to write out
  const auto linked = gSpareOfPageFile.find(index);
  int number = 0;
  if (linked != gSpareOfPageFile.end()) {
    number = linked->second;
    gSpareOfPageFile.erase(linked);
  } else {
    const int spareFd = SpareFolderFdLocked();
    if (spareFd < 0) return false;
    PageFileNameBuffer spare;
    SpareName(gHighestSpare.load() + 1, spare);
    if (::linkat(folderFd, name, spareFd, spare, 0) != 0) return false;
    number = gHighestSpare.load() + 1;
    gHighestSpare.store(number);
  }
  if (::unlinkat(folderFd, name, 0) != 0) {
    RemoveSpareLocked(number);  // still the page file: never handed out again
    return false;
  }
  gFreeSpares.push_back(number);
  return true;
}

// Links a free spare in as page file `index` (`name`); false when there is
// none.
bool TakeSpareLocked(int folderFd, int index, const char* name) {
  const int spareFd = gSpareFolderFd.load();
  if (gFreeSpares.empty() || spareFd < 0) return false;
  PageFileNameBuffer spare;
  SpareName(gFreeSpares.back(), spare);
  if (::linkat(spareFd, spare, folderFd, name, 0) != 0) return false;
  gSpareOfPageFile[index] = gFreeSpares.back();
  gFreeSpares.pop_back();
  return true;
}

// TEMP when set, not empty and able to hold the folder, else TMPDIR, else
// /tmp. Throws Failure naming every place tried when none can.
void MakeFolderLocked() {
  std::string tried;
  for (const char* variable : {"TEMP", "TMPDIR", static_cast<const char*>(nullptr)}) {
    const char* value = variable != nullptr ? std::getenv(variable) : "/tmp";
    if (value == nullptr || *value == '\0') continue;
    const int err = MakeFolderIn(value);
    if (err == 0) {
      static const bool registered = (std::atexit(RemoveTempFolderAtExit), true);
      (void)registered;
      return;
    }
    tried += tried.empty() ? "" : ", ";
    tried += std::string(value) + " (" + DescribeFolderFailure(err) + ")";
  }
  throw Failure("Cannot make a temporary folder in " + tried);
}

// The folder, made (again) when it was never made or has been removed.
int FolderFdLocked() {
  struct stat st {};
  const int fd = gFolderFd.load();
  if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
  CloseFolderLocked();
  MakeFolderLocked();
  return gFolderFd.load();
}

void RemoveFolderEntriesLocked(int folderFd) {
  DIR* dir = ::fdopendir(::dup(folderFd));
  if (dir == nullptr) return;
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type != DT_DIR) ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

// Runs inside a signal handler: only async-signal-safe calls.
void RemoveFolderFromSignal() {
  const int folderFd = gFolderFd.load();
  const int parentFd = gParentFd.load();
  if (folderFd < 0 || parentFd < 0) return;
  PageFileNameBuffer name;
  const int highest = gHighestPageFile.load();
  for (int index = 1; index <= highest; ++index) {
    PageFileName(index, name);
    ::unlinkat(folderFd, name, 0);
  }
  if (IsSameFolder(parentFd, gFolderName, folderFd)) {
    ::unlinkat(parentFd, gFolderName, AT_REMOVEDIR);
  }
  const int spareFd = gSpareFolderFd.load();
  if (spareFd < 0) return;
  const int highestSpare = gHighestSpare.load();
  for (int number = 1; number <= highestSpare; ++number) {
    SpareName(number, name);
    ::unlinkat(spareFd, name, 0);
  }
  if (IsSameFolder(parentFd, gSpareFolderName, spareFd)) {
    ::unlinkat(parentFd, gSpareFolderName, AT_REMOVEDIR);
  }
}

void OnTerminatingSignal(int signal) {
  // The interrupted code may be about to read errno; the signal is fatal, but
  // only once this handler has returned to it.
  const int interruptedErrno = errno;
  if (gBeforeSignalExit != nullptr) gBeforeSignalExit();
  RemoveFilesRegisteredForSignalCleanup();
  RemoveFolderFromSignal();
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered, and fatal, once this handler returns
  errno = interruptedErrno;
}

}  // namespace

UniqueFd CreatePageFile(int index) {
  CheckPageIndex(index);
  PageFileNameBuffer name;
  PageFileName(index, name);
  std::lock_guard lock(gMutex);
  if (index > gHighestPageFile.load()) gHighestPageFile.store(index);
  // A spare is empty already. Emptied again (O_TRUNC), it would be written
  // out to disk when closed, as ext4 does with files rewritten from
  // nothing, and every page would wait for that.
  const bool kept = TakeSpareLocked(FolderFdLocked(), index, name);
  const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (kept ? 0 : O_TRUNC);
  UniqueFd file(::openat(FolderFdLocked(), name, flags, 0600));
  if (!file.valid() && errno == ENOENT) {
    CloseFolderLocked();  // removed since the last look: make it again
    file.Reset(::openat(FolderFdLocked(), name, flags, 0600));
  }
  struct stat st {};
  if (file.valid() && kept && (::fstat(file.get(), &st) != 0 || st.st_size != 0) &&
      ::ftruncate(file.get(), 0) != 0) {
    file.Reset();
  }
  if (!file.valid()) {
    throw Failure("Cannot create " + gFolderPath + "/" + name + ": " + DescribeErrno(errno));
  }
  return file;
}

void RemovePageFile(int index) {
  if (index < 1) return;
  PageFileNameBuffer name;
  PageFileName(index, name);
  std::lock_guard lock(gMutex);
  RemovePageFileLocked(index, name);
}

void KeepPageFileEmpty(int index) {
  if (index < 1) return;
  PageFileNameBuffer name;
  PageFileName(index, name);
  std::lock_guard lock(gMutex);
  const int folderFd = gFolderFd.load();
  if (folderFd >= 0 && !KeepAsSpareLocked(folderFd, index, name)) {
    RemovePageFileLocked(index, name);
  }
}

void RemoveKeptPageFiles() {
  std::lock_guard lock(gMutex);
  RemoveSparesLocked(false);
}

std::string TempPagePath(int index) {
  CheckPageIndex(index);
  PageFileNameBuffer name;
  PageFileName(index, name);
  std::lock_guard lock(gMutex);
  FolderFdLocked();
  return gFolderPath + "/" + name;
}

void RemoveLeftoverTempFolders() {
  std::lock_guard lock(gMutex);
  try {
    FolderFdLocked();
  } catch (const Failure&) {
    // The first page file says why.
  }
}

void RemovePrivateTempFolder() {
  std::lock_guard lock(gMutex);
  const int folderFd = gFolderFd.load();
  if (folderFd < 0) return;
  RemoveFolderEntriesLocked(folderFd);
  if (IsSameFolder(gParentFd.load(), gFolderName, folderFd)) {
    ::unlinkat(gParentFd.load(), gFolderName, AT_REMOVEDIR);
  }
  CloseFolderLocked();
}

void RemoveTempFolderOnTerminatingSignals(void (*beforeExit)()) {
  gBeforeSignalExit = beforeExit;
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};
  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace verdigo

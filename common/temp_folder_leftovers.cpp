#include "common/temp_folder_leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/unique_fd.h"

namespace verdigo {
namespace {

constexpr size_t kRandomPartSize = 6;

bool IsLetterOrDigit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The names in the folder open as `folderFd` (a copy of the descriptor is
// read, so that `folderFd` keeps its place).
std::vector<std::string> EntryNames(int folderFd) {
  std::vector<std::string> names;
  DIR* dir = ::fdopendir(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
  if (dir == nullptr) return names;
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

void RemoveIfLeftOver(int parentFd, const std::string& name) {
  const UniqueFd folder(
      ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || st.st_uid != ::geteuid()) return;
  // The lock goes with the folder's removal: a run that makes a folder takes
  // it the same way, so the two never both have it.
  if (::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) return;
  if (!IsSameFolder(parentFd, name.c_str(), folder.get())) return;
  for (const std::string& entry : EntryNames(folder.get())) {
    ::unlinkat(folder.get(), entry.c_str(), 0);  // a folder inside fails, and stays
  }
  ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

bool IsPrivateTempFolderName(std::string_view name) {
  if (name.starts_with(kSpareFolderPrefix)) name.remove_prefix(1);
  if (!name.starts_with(kTempFolderPrefix)) return false;
  name.remove_prefix(kTempFolderPrefix.size());
  if (name.size() != kRandomPartSize) return false;
  for (const char c : name) {
    if (!IsLetterOrDigit(c)) return false;
  }
  return true;
}

bool IsSameFolder(int parentFd, const char* name, int folderFd) {
  struct stat byName {};
  struct stat held {};
  return ::fstatat(parentFd, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(folderFd, &held) == 0 && byName.st_dev == held.st_dev &&
         byName.st_ino == held.st_ino;
}

void RemoveLeftoverFolders(int parentFd, std::string_view ownName) {
  for (const std::string& name : EntryNames(parentFd)) {
    if (name != ownName && IsPrivateTempFolderName(name)) RemoveIfLeftOver(parentFd, name);
  }
}

}  // namespace verdigo

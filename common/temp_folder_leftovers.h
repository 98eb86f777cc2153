#pragma once

#include <string_view>

// What runs that were killed (or crashed) left in the temporary folder.
// Every private folder is locked (flock) by the process that made it for as
// long as it lives, so a folder of the program's naming that nobody holds
// is one whose maker is gone.
namespace verdigo {

// The private folder's name: this prefix and six letters or digits.
inline constexpr std::string_view kTempFolderPrefix = "verdigo-";
// The folder of spare page files beside it: the same, hidden.
inline constexpr std::string_view kSpareFolderPrefix = ".verdigo-";

// Whether `name` is of the private folder's naming or the spares'.
bool IsPrivateTempFolderName(std::string_view name);

// Whether the entry `name` in `parentFd` is the folder open as `folderFd`
// (a link by that name is not).
bool IsSameFolder(int parentFd, const char* name, int folderFd);

// Removes from the folder open as `parentFd` every folder of the private
// naming but `ownName` that belongs to this user and that no process holds:
// its files and links, then the folder itself (one that holds a folder
// stays). Works through descriptors and follows no link; failures are
// ignored.
void RemoveLeftoverFolders(int parentFd, std::string_view ownName);

}  // namespace verdigo

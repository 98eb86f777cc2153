#pragma once

// Files that a terminating signal must not leave behind: the save writer
// registers its temporary file here while it exists, and the signal handler
// of temp_folder.h removes every registered file before the process dies.
namespace verdigo {

// Registers `name` inside the folder open as `folderFd` (which must stay open
// until Unregister). Returns a slot number, or -1 when every slot is taken or
// the name is too long (the file is then only removed by its owner).
int RegisterFileForSignalCleanup(int folderFd, const char* name);
void UnregisterFileForSignalCleanup(int slot);

// Unlinks every registered file. Async-signal-safe.
void RemoveFilesRegisteredForSignalCleanup();

}  // namespace verdigo

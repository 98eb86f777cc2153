#pragma once

#include <string>

#include "common/unique_fd.h"

// The program's private temporary folder: made once (mode 0700, a unique name
// verdigo-XXXXXX) inside TEMP when it is set, not empty and can hold it, else
// inside TMPDIR, else /tmp. It is held open as a directory descriptor and,
// once made, only ever worked through that descriptor, so that renaming it
// or putting a link in its place cannot send a page file, or a deletion,
// anywhere else. Made again on next use if it disappears (a /tmp cleaner).
// The process holds a lock (flock) on the folder for as long as it lives, and
// whenever it makes one it removes from the same place the folders of its
// naming that no process holds: what killed runs left behind.
// Every function may be called from several threads at once.
namespace verdigo {

// Creates or truncates page file HTML<index>.tmp (index 1 and up: as many as
// the pages under way need) in the private folder, for reading and writing,
// without following links. Throws Failure with a description when the folder
// or the file cannot be made.
UniqueFd CreatePageFile(int index);

// Deletes page file HTML<index>.tmp; failures are ignored.
void RemovePageFile(int index);

// Empties page file HTML<index>.tmp and keeps it for the next
// CreatePageFile(index), which then needs no new file; deletes it when it
// cannot be emptied. Only for a file nobody writes any more.
void KeepPageFileEmpty(int index);

// Deletes every page file kept by KeepPageFileEmpty and not taken since.
void RemoveKeptPageFiles();

// The path of page file HTML<index>.tmp, for messages and tests only (makes
// the folder if need be; throws Failure like CreatePageFile).
std::string TempPagePath(int index);

// Makes the private folder now, if it is not made yet, and with it removes
// what killed runs left behind; a failure is left for the first page file
// to report.
void RemoveLeftoverTempFolders();

// Removes what the private folder holds and the folder itself, if it was
// made. Safe to call more than once, and from exit paths.
void RemovePrivateTempFolder();

// On SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 and SIGALRM: runs
// `beforeExit` (which must be async-signal-safe), removes the page files,
// the private folder and the temporary files of saves under way, then dies
// of the signal as usual. A signal ignored when this is called (under nohup,
// say) stays ignored.
void RemoveTempFolderOnTerminatingSignals(void (*beforeExit)() = nullptr);

}  // namespace verdigo

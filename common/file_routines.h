#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace verdigo {

// True exactly when the modification time of `path` can be read.
bool FileExists(const std::string& path);

// Yields once, then deletes the file; when that fails, ForceDeleteFile.
// Failures are ignored.
void RemoveFile(const std::string& path, const std::function<void()>& yield);

// Deletes the file also when it is read-only. Failures are ignored.
void ForceDeleteFile(const std::string& path);

// Reads a whole file into memory. Throws Failure on any error; files over
// `maxBytes` fail with a description that says so.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// Writes `bytes` into a temporary file beside `path`, then renames it over
// `path`, so that `path` holds either its old content or the whole new one.
// Throws Failure on any error; the temporary file is removed then.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// The program's private temporary folder, created on first use (mode 0700,
// unique name) inside TEMP when it is set and not empty, else inside TMPDIR,
// else /tmp. Throws Failure when it cannot be created.
std::string PrivateTempFolder();

// Removes the private temporary folder and what it holds, if it was made.
// Safe to call more than once, and from exit paths.
void RemovePrivateTempFolder();

// The path of page file number `index` in the private temporary folder.
std::string TempPagePath(std::int16_t index);

// On SIGINT, SIGTERM and SIGHUP: run `beforeExit` (which must be
// async-signal-safe), delete page file `index` and the private temporary
// folder (if it was made by then), then die of the signal as usual.
void RemoveTempFolderOnTerminatingSignals(std::int16_t index, void (*beforeExit)() = nullptr);

}  // namespace verdigo

#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace verdigo {

// True exactly when the modification time of `path` can be read.
bool FileExists(const std::string& path);

// Opens the regular file at `path` (following links) for reading, without
// waiting to open it. Throws Failure: a file that cannot be opened
// (DescribeOpenFailure), anything but a regular file (DescribeNotARegularFile),
// a file over `maxBytes` ("File too large").
UniqueFd OpenRegularFile(const std::string& path, std::uint64_t maxBytes);

// Reads a whole file (following links) into memory. Throws Failure on any
// error; files over `maxBytes` fail with a description that says so.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// The description of `err`, from opening `path`: a missing file is "File not
// found", a missing folder on the way "Path not found".
std::string DescribeOpenFailure(int err, const std::string& path);
// The description of `err`, from opening or using a folder: a folder that is
// not there is "Path not found" (never "File not found").
std::string DescribeFolderFailure(int err);
// What a path that must name a regular file names instead: "Is a
// directory", "Is a pipe (FIFO), not a file", "Is a device, not a file" ...
std::string DescribeNotARegularFile(mode_t mode);
// `prefix` and six random letters or digits: a name no one can guess.
std::string RandomFileName(std::string_view prefix);

// The process's umask, read without setting it (umask() can only read by
// setting, which races other threads creating files). Kernels before 4.7 do
// not show it; the usual 022 stands in then.
mode_t ReadProcessUmask();

// Throws Failure(DescribeOpenFailure(err, path)).
[[noreturn]] void FailToOpen(int err, const std::string& path);

}  // namespace verdigo

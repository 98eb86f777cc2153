#pragma once

#include <cstdint>
#include <string>

namespace verdigo {

// True exactly when the modification time of `path` can be read.
bool FileExists(const std::string& path);

// Reads a whole file (following links) into memory. Throws Failure on any
// error; files over `maxBytes` fail with a description that says so.
std::string ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// Throws Failure for `err`, from opening `path`: a missing file is "File not
// found", a missing folder on the way "Path not found".
[[noreturn]] void FailToOpen(int err, const std::string& path);

}  // namespace verdigo

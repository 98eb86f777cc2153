#pragma once

#include <string_view>

// Whole writes on file descriptors, retried after signals and short writes.
namespace verdigo {

// Writes all of `bytes`; false with the errno in `error` when a write fails.
bool WriteAllToFd(int fd, std::string_view bytes, int& error);

// Writes all of `bytes`; throws Failure with the errno's description.
void WriteAllOrFail(int fd, std::string_view bytes);

}  // namespace verdigo

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Whole reads and writes on file descriptors, retried after signals and
// short counts. Every reader and writer of the program goes through these.
namespace verdigo {

// Writes all of `bytes`; false with the errno in `error` when a write fails.
bool WriteAllToFd(int fd, std::string_view bytes, int& error);

// Writes all of `bytes`; throws Failure with the errno's description.
void WriteAllOrFail(int fd, std::string_view bytes);

// Writes all of `bytes` where a failure has nowhere left to be reported
// (messages on standard error, the progress line): it is ignored.
void WriteAllIgnoringErrors(int fd, std::string_view bytes);

// One read of at most `size` bytes, retried after signals: the count read
// (0 at the end), or -1 with errno set.
long ReadSomeFromFd(int fd, char* buffer, std::size_t size);

// Reads from `fd` to its end. Throws Failure with the errno's description
// when a read fails, and "File too large" once more than `maxBytes` arrive.
std::string ReadAllFromFd(int fd, std::uint64_t maxBytes);

}  // namespace verdigo

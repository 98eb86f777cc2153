#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace verdigo {

inline constexpr std::string_view kFileNotFound = "File not found";
inline constexpr std::string_view kKernelFile = "Not a list: a file the system makes as it is read";

// Appends each line of the file at `path` (code-page bytes, by the line
// rules of list_lines.h) through `append`. A path that names no file shows
// "File not found" through `showMessage` and adds nothing. A file that exists
// but cannot be read throws Failure; whatever the list held before stays.
// Nothing here waits for good: a FIFO, a device or a file of /proc or /sys
// (kKernelFile) is refused at once.
void LoadListFromFile(const std::function<void(std::string_view)>& append, const std::string& path,
                      const std::function<void(std::string_view)>& showMessage);

}  // namespace verdigo

#pragma once

#include <string_view>

namespace verdigo {

// The line rules of address lists (list files, standard input): a line ends
// at CR, LF or CR LF; the terminator is not part of the line; a terminator at
// the very end adds no empty line; an empty line elsewhere is a line.
// Calls `onLine` with each line, in order.
template <typename OnLine>
void ForEachListLine(std::string_view bytes, OnLine&& onLine) {
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      onLine(bytes.substr(start));
      return;
    }
    onLine(bytes.substr(start, end - start));
    start = end + 1;
    if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
  }
}

}  // namespace verdigo

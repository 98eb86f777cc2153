#pragma once

#include <string_view>

namespace verdigo {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// `text` without the UTF-8 byte-order mark an editor may put at its start:
// a list file, a paste, a drop or standard input begins with its first
// address, never with the mark.
inline std::string_view WithoutUtf8Bom(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return text;
}

}  // namespace verdigo

#pragma once

#include <cstddef>
#include <string_view>

// Finds the link targets of a page: every place where the letters h, r, e, f
// (any case) are directly followed by '=' and a double quote, anywhere in the
// bytes, overlapping matches included. No HTML parsing.
namespace verdigo {

inline constexpr size_t kNoMatch = static_cast<size_t>(-1);

// Offset of the first quote at or after `from` and before `to` that closes a
// match (the page holds h r e f = " ending at that quote), or kNoMatch.
// The target of a match starts right after its quote.
size_t FindNextHrefQuote(std::string_view page, size_t from, size_t to);

// The target that starts at `start`: the bytes up to the next double quote.
// False when no double quote follows before the end of the page (an
// unterminated target, which is dropped).
bool ReadTargetAt(std::string_view page, size_t start, std::string_view& target);

}  // namespace verdigo

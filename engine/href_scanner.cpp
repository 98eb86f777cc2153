#include "engine/href_scanner.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/ascii_case.h"

namespace verdigo {
namespace {

constexpr size_t kPatternLength = 6;  // h r e f = "

// Whether the four letters before "=\"" at quote offset q (q >= 5) spell
// "href" in any case.
inline bool IsHrefBefore(const char* page, size_t q) {
  return EqualsIgnoringAsciiCase({page + q - 5, 4}, "href");
}

inline bool IsMatchAt(const char* page, size_t q) {
  return page[q] == '"' && page[q - 1] == '=' && IsHrefBefore(page, q);
}

}  // namespace

size_t FindNextHrefQuote(std::string_view page, size_t from, size_t to) {
  if (to > page.size()) to = page.size();
  // The closing quote of a match stands at offset 5 or later.
  if (from < kPatternLength - 1) from = kPatternLength - 1;
  const char* data = page.data();
  size_t q = from;
#if defined(__SSE2__)
  // Sixteen candidate quotes at a time: the quote at q+i and '=' at q+i-1.
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i equals = _mm_set1_epi8('=');
  while (q + 16 <= to) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + q));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + q - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(here, quote), _mm_cmpeq_epi8(before, equals))));
    while (mask != 0) {
      const size_t at = q + static_cast<size_t>(__builtin_ctz(mask));
      if (IsHrefBefore(data, at)) return at;
      mask &= mask - 1;
    }
    q += 16;
  }
#endif
  for (; q < to; ++q) {
    if (IsMatchAt(data, q)) return q;
  }
  return kNoMatch;
}

bool ReadTargetAt(std::string_view page, size_t start, std::string_view& target) {
  if (start > page.size()) return false;
  const void* end = std::memchr(page.data() + start, '"', page.size() - start);
  if (end == nullptr) return false;
  target =
      page.substr(start, static_cast<size_t>(static_cast<const char*>(end) - page.data()) - start);
  return true;
}

}  // namespace verdigo

#pragma once

#include <string>
#include <string_view>

// The fixed text rules that turn entered addresses and link targets into the
// absolute addresses the results show. They are deliberately plain text
// operations (no address parsing): every link that does not end in .htm or
// .html gets a closing slash, and one leading "/" is dropped before joining.
namespace verdigo {

// True when the first four characters, lowered, are "http".
bool StartsWithHttp(std::string_view text);

struct PreparedPage {
  std::string pageUrl;
  bool hasBase = false;  // false: the page address holds no "/" and the old base stays
  std::string baseUrl;
};

// Normalises an entered address into the page address and its base.
PreparedPage PreparePage(std::string_view entered);

// Resolves `target` against `baseUrl` into `row` (cleared first).
void ResolveLink(std::string_view target, std::string_view baseUrl, std::string& row);

}  // namespace verdigo

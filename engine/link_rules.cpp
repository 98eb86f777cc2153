#include "engine/link_rules.h"

#include <cstring>

#include "common/ascii_case.h"

namespace verdigo {

bool StartsWithHttp(std::string_view text) { return StartsWithIgnoringAsciiCase(text, "http"); }

PreparedPage PreparePage(std::string_view entered) {
  PreparedPage page;
  std::string& p = page.pageUrl;
  if (!StartsWithHttp(entered)) p = "http://";
  p += entered;
  // The test looks at the address as entered, not at the prefixed one.
  const std::string_view last3 = entered.size() >= 3 ? entered.substr(entered.size() - 3) : "";
  if (last3 != "htm" && last3 != "tml" && (p.empty() || p.back() != '/')) p += '/';
  const size_t slash = p.rfind('/');
  if (slash != std::string::npos) {
    page.hasBase = true;
    page.baseUrl = p.substr(0, slash);
  }
  return page;
}

namespace {

// Replaces every `from` by `from` minus its last character (the slash),
// scanning left to right without looking again at replaced text.
void DropSlashAfter(std::string& row, std::string_view from) {
  size_t hit = row.find(from);
  if (hit == std::string::npos) return;
  size_t out = hit;
  size_t in = hit;
  while (hit != std::string::npos) {
    const size_t keep = hit + from.size() - 1 - in;  // up to, not including, the slash
    std::memmove(row.data() + out, row.data() + in, keep);
    out += keep;
    in = hit + from.size();
    hit = row.find(from, in);
  }
  const size_t tail = row.size() - in;
  std::memmove(row.data() + out, row.data() + in, tail);
  row.resize(out + tail);
}

}  // namespace

void ResolveLink(std::string_view target, std::string_view baseUrl, std::string& row) {
  row.clear();
  if (!target.empty() && target.front() == '/') target.remove_prefix(1);
  if (!StartsWithHttp(target)) {
    row += baseUrl;
    row += '/';
  }
  row += target;
  if (row.empty() || row.back() != '/') row += '/';
  DropSlashAfter(row, ".htm/");
  DropSlashAfter(row, ".html/");
}

}  // namespace verdigo

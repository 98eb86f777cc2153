// The link scan and link resolution on any page. The vector scanner is run
// the way the engine runs it (in slices) and checked against the rule taken
// literally: a six-byte window moved one byte at a time, lowered, reading
// href=" and the target running to the next double quote. Each target is
// resolved by the program and by a plain rewrite of the text rules; any
// difference aborts.
//
// Input: one byte for the slice length (0: the whole page), one byte for the
// length of the entered page address, the address, then the page.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/href_scanner.h"
#include "engine/link_rules.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsLowered(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (Lower(text[i]) != lowerPrefix[i]) return false;
  }
  return true;
}

struct Link {
  size_t quote;
  bool closed;  // a double quote follows the target
  std::string target;
  bool operator==(const Link&) const = default;
};

[[noreturn]] void Mismatch(const char* what, std::string_view page, const std::string& fast,
                           const std::string& plain) {
  std::fprintf(stderr, "%s differ on a page of %zu bytes\n  program: %s\n  plain:   %s\n", what,
               page.size(), fast.c_str(), plain.c_str());
  std::abort();
}

std::string Describe(const std::vector<Link>& links) {
  std::string text;
  for (const Link& link : links) {
    text += std::to_string(link.quote) + (link.closed ? "[" + link.target + "] " : "[open] ");
  }
  return text;
}

std::vector<Link> PlainScan(std::string_view page) {
  std::vector<Link> links;
  for (size_t i = 0; i + 6 <= page.size(); ++i) {
    if (!StartsLowered(page.substr(i), "href=\"")) continue;
    Link link{i + 5, false, {}};
    for (size_t j = i + 6; j < page.size() && !link.closed; ++j) {
      if (page[j] == '"')
        link.closed = true;
      else
        link.target += page[j];
    }
    if (!link.closed) link.target.clear();
    links.push_back(std::move(link));
  }
  return links;
}

std::vector<Link> ProgramScan(std::string_view page, size_t slice) {
  std::vector<Link> links;
  for (size_t from = 0; from < page.size(); from += slice) {
    const size_t to = std::min(page.size(), from + slice);
    for (size_t q = verdigo::FindNextHrefQuote(page, from, to); q != verdigo::kNoMatch;
         q = verdigo::FindNextHrefQuote(page, q + 1, to)) {
      if (q < from || q >= to) Mismatch("quote outside its slice", page, std::to_string(q), "");
      std::string_view target;
      const bool closed = verdigo::ReadTargetAt(page, q + 1, target);
      links.push_back({q, closed, closed ? std::string(target) : std::string()});
    }
  }
  return links;
}

// Every `from` replaced by itself without its last byte, left to right,
// replaced text not looked at again.
std::string DropLastByteOfEach(const std::string& text, std::string_view from) {
  std::string out;
  size_t in = 0;
  for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, in)) {
    out.append(text, in, hit + from.size() - 1 - in);
    in = hit + from.size();
  }
  out.append(text, in);
  return out;
}

std::string PlainResolve(std::string_view target, std::string_view base) {
  if (!target.empty() && target[0] == '/') target.remove_prefix(1);
  std::string row;
  if (!StartsLowered(target, "http")) row = std::string(base) + "/";
  row += target;
  if (!row.ends_with('/')) row += '/';
  return DropLastByteOfEach(DropLastByteOfEach(row, ".htm/"), ".html/");
}

verdigo::PreparedPage PlainPrepare(std::string_view entered) {
  verdigo::PreparedPage page;
  page.pageUrl = (StartsLowered(entered, "http") ? "" : "http://") + std::string(entered);
  if (!entered.ends_with("htm") && !entered.ends_with("tml") && !page.pageUrl.ends_with('/'))
    page.pageUrl += '/';
  const size_t slash = page.pageUrl.rfind('/');
  page.hasBase = slash != std::string::npos;
  if (page.hasBase) page.baseUrl = page.pageUrl.substr(0, slash);
  return page;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t sliceByte = data[0];
  const size_t addressLength = std::min<size_t>(data[1], size - 2);
  const std::string_view entered(reinterpret_cast<const char*>(data + 2), addressLength);
  const size_t pageLength = size - 2 - addressLength;
  // A page of its own, so that the sanitizer sees a read before or after it.
  const auto pageBytes = std::make_unique<char[]>(pageLength);
  std::copy(data + 2 + addressLength, data + size, pageBytes.get());
  const std::string_view page(pageBytes.get(), pageLength);

  const verdigo::PreparedPage prepared = verdigo::PreparePage(entered);
  const verdigo::PreparedPage plainPrepared = PlainPrepare(entered);
  if (prepared.pageUrl != plainPrepared.pageUrl || prepared.hasBase != plainPrepared.hasBase ||
      prepared.baseUrl != plainPrepared.baseUrl) {
    Mismatch("prepared page addresses", page, prepared.pageUrl + " base " + prepared.baseUrl,
             plainPrepared.pageUrl + " base " + plainPrepared.baseUrl);
  }

  const size_t slice = sliceByte == 0 ? std::max<size_t>(pageLength, 1) : sliceByte;
  const std::vector<Link> fast = ProgramScan(page, slice);
  const std::vector<Link> plain = PlainScan(page);
  if (fast != plain) Mismatch("links", page, Describe(fast), Describe(plain));

  std::string row;
  for (const Link& link : fast) {
    if (!link.closed) continue;
    verdigo::ResolveLink(link.target, prepared.baseUrl, row);
    const std::string expected = PlainResolve(link.target, prepared.baseUrl);
    if (row != expected) Mismatch("resolved links", page, row, expected);
  }
  return 0;
}

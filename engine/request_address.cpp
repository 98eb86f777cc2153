#include "engine/request_address.h"

#include <idn2.h>

#include <string_view>

#include "common/code_page.h"

namespace verdigo {
namespace {

// Where the host name of an address lies: after "scheme://" and any
// "user@", up to a port, the path, the query or the fragment.
struct HostSpan {
  size_t begin = 0;
  size_t end = 0;
};

bool IsSchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

HostSpan FindHost(std::string_view url) {
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return {};
  for (size_t i = 0; i < schemeEnd; ++i) {
    if (!IsSchemeCharacter(url[i])) return {};
  }
  const size_t authority = schemeEnd + 3;
  const size_t authorityEnd = std::min(url.find_first_of("/?#", authority), url.size());
  const size_t at = url.rfind('@', authorityEnd - 1);
  const size_t begin = at != std::string_view::npos && at >= authority ? at + 1 : authority;
  if (begin < authorityEnd && url[begin] == '[') return {};  // an IPv6 address
  const size_t colon = url.rfind(':', authorityEnd - 1);
  const size_t end = colon != std::string_view::npos && colon >= begin ? colon : authorityEnd;
  return {begin, end};
}

// Characters that end or split a host name (space and control characters
// are refused before IDNA).
constexpr std::string_view kForbiddenInHost = "#%/:<>?@[\\]^|";

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The IDNA form of a host name in UTF-8, as libcurl would make it (TR46
// nontransitional, transitional for names that refuses). libcurl's own
// conversion reads the name in the locale's character set, which is ASCII
// in a program that never sets its locale: converting here keeps the
// request the same under any locale.
bool ToIdna(std::string_view host, std::string& ascii) {
  // No host name holds a space or a control character, and libidn2 would
  // take a NUL for the end of the name.
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  const std::string name(host);
  const auto lookup = [&](int flags) {
    uint8_t* converted = nullptr;
    const int rc =
        idn2_lookup_u8(reinterpret_cast<const uint8_t*>(name.c_str()), &converted, flags);
    if (rc == IDN2_OK) ascii = reinterpret_cast<const char*>(converted);
    idn2_free(converted);
    return rc;
  };
  int rc = lookup(IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc == IDN2_DISALLOWED) rc = lookup(IDN2_NFC_INPUT | IDN2_TRANSITIONAL);
  // The mapping may make characters that end or split a host name (a
  // full-width "/" becomes "/"): such a name is refused, as browsers do,
  // rather than sent as another address.
  return rc == IDN2_OK && ascii.find_first_of(kForbiddenInHost) == std::string::npos;
}

void AppendPercentEncoded(std::string& out, std::string_view part) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string EncodeAddressForRequest(const std::string& url) {
  const std::string utf8 = TextAsUtf8(url);
  const std::string_view text = utf8;
  const HostSpan host = FindHost(text);
  const std::string_view hostName = text.substr(host.begin, host.end - host.begin);
  std::string idna;
  const bool convertHost = !IsAscii(hostName) && ToIdna(hostName, idna);
  std::string encoded;
  encoded.reserve(text.size() + text.size() / 2);
  AppendPercentEncoded(encoded, text.substr(0, host.begin));
  AppendPercentEncoded(encoded, convertHost ? std::string_view(idna) : hostName);
  AppendPercentEncoded(encoded, text.substr(host.end));
  return encoded;
}

}  // namespace verdigo

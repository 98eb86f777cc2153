// The address as requested. Whatever the bytes, what goes out is printable
// ASCII; an address that is already printable ASCII goes out unchanged, so
// encoding what went out changes nothing; and after the host name (which
// IDNA may map), turning back the escapes the encoder added gives the
// address's UTF-8. Any difference aborts.
//
// Input: the address.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/code_page.h"
#include "engine/request_address.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& address, const std::string& sent) {
  std::fprintf(stderr, "%s\n  address: %s\n  sent:    %s\n", what, address.c_str(), sent.c_str());
  std::abort();
}

bool IsPrintableAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
      return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// `sent` with the escapes of bytes the encoder escapes turned back: those
// of printable ASCII ("%41", "%25") were in the address already.
std::string Unescaped(const std::string& sent) {
  std::string text;
  for (size_t i = 0; i < sent.size(); ++i) {
    if (sent[i] == '%' && i + 2 < sent.size() && HexValue(sent[i + 1]) >= 0 &&
        HexValue(sent[i + 2]) >= 0) {
      const int byte = HexValue(sent[i + 1]) * 16 + HexValue(sent[i + 2]);
      if (byte <= 0x20 || byte >= 0x7F) {
        text += static_cast<char>(byte);
        i += 2;
        continue;
      }
    }
    text += sent[i];
  }
  return text;
}

// What follows the host (from the first "/", "?" or "#" after "://"): the
// part that IDNA, which may map a host name's characters, leaves alone.
std::string AfterHost(const std::string& text) {
  const size_t scheme = text.find("://");
  if (scheme == std::string::npos) return text;
  const size_t end = text.find_first_of("/?#", scheme + 3);
  return end == std::string::npos ? std::string() : text.substr(end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string address(reinterpret_cast<const char*>(data), size);
  const std::string sent = verdigo::EncodeAddressForRequest(address);
  if (!IsPrintableAscii(sent)) Fail("not printable ASCII", address, sent);
  if (IsPrintableAscii(address) && sent != address) Fail("ASCII changed", address, sent);
  if (verdigo::EncodeAddressForRequest(sent) != sent) Fail("encoded twice differs", address, sent);
  const std::string utf8 = verdigo::TextAsUtf8(address);
  if (AfterHost(Unescaped(sent)) != AfterHost(Unescaped(utf8))) {
    Fail("escapes do not give the UTF-8 back", address, sent);
  }
  return 0;
}

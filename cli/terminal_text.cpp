#include "cli/terminal_text.h"

#include "common/code_page.h"

namespace verdigo {

namespace {

bool IsControl(unsigned char byte) {
  const char16_t ch = CodePageToUnicode(byte);
  return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F);
}

}  // namespace

std::string TerminalText(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControl(byte)) {
      safe += "\\x";
      safe += kHex[byte >> 4];
      safe += kHex[byte & 0xF];
    } else {
      safe += CodePageToUtf8(std::string_view(&c, 1));
    }
  }
  return safe;
}

}  // namespace verdigo

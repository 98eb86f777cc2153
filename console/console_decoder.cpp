#include "console/console_decoder.h"

#include "common/code_page.h"

namespace verdigo {
namespace {

unsigned char CodePageByteOf(char32_t ch) {
  const bool usable = ch <= 0xFFFF && (ch < 0xD800 || ch > 0xDFFF);
  return usable ? UnicodeToCodePage(static_cast<char16_t>(ch)) : '?';
}

}  // namespace

void ConsoleDecoder::Feed(std::string_view chunk, std::string& out) {
  for (char c : chunk) {
    const auto byte = static_cast<unsigned char>(c);
    if (missing_ > 0) {
      if ((byte & 0xC0) == 0x80) {
        codePoint_ = (codePoint_ << 6) | (byte & 0x3F);
        if (--missing_ == 0) EndSequence(out);
        continue;
      }
      // The character was cut short; this byte starts afresh.
      missing_ = 0;
      out.push_back('?');
    }
    StartSequence(byte, out);
  }
}

void ConsoleDecoder::Finish(std::string& out) {
  if (missing_ > 0) out.push_back('?');
  missing_ = 0;
}

void ConsoleDecoder::StartSequence(unsigned char lead, std::string& out) {
  if (lead < 0x80) {
    out.push_back(static_cast<char>(lead));
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    codePoint_ = lead & 0x1F;
    smallest_ = 0x80;
    missing_ = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    codePoint_ = lead & 0x0F;
    smallest_ = 0x800;
    missing_ = 2;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    codePoint_ = lead & 0x07;
    smallest_ = 0x10000;
    missing_ = 3;
  } else {
    out.push_back('?');
  }
}

void ConsoleDecoder::EndSequence(std::string& out) {
  const bool wellFormed = codePoint_ >= smallest_ && codePoint_ <= 0x10FFFF;
  out.push_back(static_cast<char>(wellFormed ? CodePageByteOf(codePoint_) : '?'));
}

}  // namespace verdigo

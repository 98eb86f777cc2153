#pragma once

#include <string>
#include <string_view>

// The program's 8-bit code page: Windows-1252, with its five undefined bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) taken as the C1 control characters of the
// same value. Every byte has exactly one character and back, so page bytes,
// list files and saved files pass through the program unchanged.
//
// Inside the program, texts that come from or go to files and pages are kept
// as code-page bytes in std::string ("ANSI text"); the window turns them into
// characters only to show them.
namespace verdigo {

// The character (a UTF-16 code unit; all 256 lie in the BMP) of one byte.
char16_t CodePageToUnicode(unsigned char byte);

// The byte of a character, or '?' (the code page's substitute) when the code
// page lacks it.
unsigned char UnicodeToCodePage(char16_t ch);

std::u16string DecodeCodePage(std::string_view bytes);
std::string EncodeCodePage(std::u16string_view text);

// UTF-8 of the characters of code-page bytes (for terminals and messages).
std::string CodePageToUtf8(std::string_view bytes);

// Whether `bytes` are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(std::string_view bytes);

// `bytes` as UTF-8: unchanged when they are valid UTF-8, else each byte
// through the code page.
std::string TextAsUtf8(std::string_view bytes);

}  // namespace verdigo

// The console decoder on any bytes, in chunks of random sizes. The output
// must not depend on where the chunks end; it holds at most one byte per
// input byte; its ASCII bytes other than '?' are exactly the input's (a byte
// below 0x80 is never part of a longer character); and the UTF-8 of any
// code-page bytes decodes back to those bytes. Any difference aborts.
//
// Input: one byte for the largest chunk, two bytes to seed the chunk sizes,
// then the bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "common/code_page.h"
#include "console/console_decoder.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::string DecodeInChunks(std::string_view bytes, size_t largestChunk, unsigned seed) {
  std::minstd_rand random(seed);
  verdigo::ConsoleDecoder decoder;
  std::string out;
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = std::min<size_t>(random() % (largestChunk + 1), bytes.size() - at);
    decoder.Feed(bytes.substr(at, length), out);
    at += length;
  }
  decoder.Finish(out);
  return out;
}

std::string PlainAscii(std::string_view bytes) {
  std::string ascii;
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80 && c != '?') ascii += c;
  }
  return ascii;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t largestChunk = data[0] + 1u;
  const unsigned seed = data[1] << 8 | data[2];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 3), size - 3);

  verdigo::ConsoleDecoder decoder;
  std::string whole;
  decoder.Feed(bytes, whole);
  decoder.Finish(whole);
  if (DecodeInChunks(bytes, largestChunk, seed) != whole) Fail("output depends on the chunks");
  if (whole.size() > bytes.size()) Fail("more bytes out than in");
  if (PlainAscii(whole) != PlainAscii(bytes)) Fail("ASCII bytes changed");

  if (DecodeInChunks(verdigo::CodePageToUtf8(bytes), largestChunk, seed) != bytes)
    Fail("code-page bytes do not survive their UTF-8");
  return 0;
}

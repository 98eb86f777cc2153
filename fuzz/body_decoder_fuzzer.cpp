// The body decoder on any bytes, and on any bytes compressed, under one
// Content-Encoding of a fixed list. Whether it fails must not depend on where
// the received pieces end, nor its output (a failed body may stop sooner or
// later in its stream, so there one output begins the other); the output
// never passes the cap;
// a valid stream decodes to exactly the bytes it was made from and ends
// whole, and without its last byte it ends cut short (an empty body, no
// stream at all, is an empty page). Any difference aborts.
//
// Input: one byte for the coding (its top bit: compress the bytes first), one
// for the cap, one for the largest piece, two bytes to seed the piece sizes,
// then the bytes.

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/body_decoder.h"

namespace {

using verdigo::BodyDecoder;

constexpr const char* kEncodings[] = {
    "gzip",     "x-gzip",   "deflate",       "br", "zstd",
    "identity", "gzip, br", "deflate, zstd", "",   "compress",
};
constexpr size_t kEncodingCount = sizeof kEncodings / sizeof kEncodings[0];

[[noreturn]] void Fail(const char* what, const std::string& encoding) {
  std::fprintf(stderr, "%s (Content-Encoding \"%s\")\n", what, encoding.c_str());
  std::abort();
}

struct Decoded {
  std::string bytes;
  BodyDecoder::Status status;
  bool operator==(const Decoded&) const = default;
};

Decoded Decode(const std::string& encoding, std::uint64_t cap, std::string_view body,
               size_t largestPiece, unsigned seed) {
  Decoded decoded;
  BodyDecoder decoder(encoding, cap, [&](std::string_view piece) {
    decoded.bytes.append(piece);
    return true;
  });
  std::minstd_rand random(seed);
  for (size_t at = 0; at < body.size();) {
    const size_t length = std::min<size_t>(random() % (largestPiece + 1), body.size() - at);
    if (!decoder.Feed(body.substr(at, length))) break;
    at += length;
  }
  decoder.Finish();
  decoded.status = decoder.status();
  if (decoder.decodedBytes() != decoded.bytes.size()) Fail("decodedBytes is wrong", encoding);
  return decoded;
}

std::string Zlib(std::string_view bytes, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string Compress(std::string_view coding, std::string_view bytes, bool rawDeflate) {
  if (coding == "gzip" || coding == "x-gzip") return Zlib(bytes, 15 + 16);
  if (coding == "deflate") return Zlib(bytes, rawDeflate ? -15 : 15);
  if (coding == "br") {
    std::string out(BrotliEncoderMaxCompressedSize(bytes.size()), '\0');
    size_t size = out.size();
    if (!BrotliEncoderCompress(2, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, bytes.size(),
                               reinterpret_cast<const uint8_t*>(bytes.data()), &size,
                               reinterpret_cast<uint8_t*>(out.data()))) {
      std::abort();
    }
    out.resize(size);
    return out;
  }
  if (coding == "zstd") {
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    const size_t size = ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 1);
    if (ZSTD_isError(size)) std::abort();
    out.resize(size);
    return out;
  }
  return std::string(bytes);  // identity
}

// The codings of a value of the list, in the order they are applied.
std::vector<std::string> Codings(const std::string& encoding) {
  std::vector<std::string> codings;
  size_t at = 0;
  while (at < encoding.size()) {
    size_t comma = encoding.find(", ", at);
    if (comma == std::string::npos) comma = encoding.size();
    codings.push_back(encoding.substr(at, comma - at));
    at = comma + 2;
  }
  return codings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const std::string encoding = kEncodings[(data[0] & 0x7F) % kEncodingCount];
  const bool compressFirst = (data[0] & 0x80) != 0;
  const std::uint64_t cap = data[1] == 0 ? UINT64_MAX : data[1] * 64u;
  const size_t largestPiece = data[2] + 1u;
  const unsigned seed = data[3] << 8 | data[4];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 5), size - 5);

  if (!compressFirst) {
    const Decoded whole = Decode(encoding, cap, bytes, bytes.size(), 0);
    const Decoded pieces = Decode(encoding, cap, bytes, largestPiece, seed);
    // A body that fails may stop at another point of its stream, and so meet
    // another of its faults first (zstd gives nothing of a block it finds
    // damaged): too large where the pieces are small, damaged where not.
    const bool failed = whole.status != BodyDecoder::Status::kGoing;
    if (failed != (pieces.status != BodyDecoder::Status::kGoing)) {
      Fail("the outcome depends on the pieces", encoding);
    }
    const size_t common = std::min(whole.bytes.size(), pieces.bytes.size());
    if (failed ? whole.bytes.compare(0, common, pieces.bytes, 0, common) != 0
               : whole.bytes != pieces.bytes) {
      Fail("the output depends on the pieces", encoding);
    }
    if (whole.bytes.size() > cap) Fail("more bytes out than the cap", encoding);
    return 0;
  }

  if (encoding == "compress") return 0;
  std::string body(bytes);
  for (const std::string& coding : Codings(encoding)) body = Compress(coding, body, seed & 1);
  const Decoded decoded = Decode(encoding, UINT64_MAX, body, largestPiece, seed);
  if (decoded.status != BodyDecoder::Status::kGoing) Fail("a valid stream failed", encoding);
  if (decoded.bytes != bytes) Fail("a valid stream decodes to other bytes", encoding);
  const bool compressed = encoding != "identity" && !encoding.empty();
  // Cut to nothing, it is an empty body, which is a page.
  if (compressed && body.size() >= 2) {
    const Decoded cut =
        Decode(encoding, UINT64_MAX, std::string_view(body).substr(0, body.size() - 1),
               largestPiece, seed);
    if (cut.status != BodyDecoder::Status::kCutShort)
      Fail("a cut stream was not cut short", encoding);
  }
  return 0;
}

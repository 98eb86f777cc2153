#include "tests/support/compress.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <stdexcept>

namespace verdigo::testing {

namespace {

std::string Deflate(std::string_view bytes, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("Compress: deflateInit2 failed");
  }
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("Compress: deflate failed");
  return out;
}

std::string Brotli(std::string_view bytes) {
  std::string out(BrotliEncoderMaxCompressedSize(bytes.size()), '\0');
  size_t size = out.size();
  if (!BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT,
                             bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()), &size,
                             reinterpret_cast<uint8_t*>(out.data()))) {
    throw std::runtime_error("Compress: brotli failed");
  }
  out.resize(size);
  return out;
}

std::string Zstd(std::string_view bytes) {
  std::string out(ZSTD_compressBound(bytes.size()), '\0');
  const size_t size = ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 19);
  if (ZSTD_isError(size)) throw std::runtime_error("Compress: zstd failed");
  out.resize(size);
  return out;
}

}  // namespace

std::string Compress(std::string_view coding, std::string_view bytes) {
  if (coding == "gzip") return Deflate(bytes, 15 + 16);
  if (coding == "deflate") return Deflate(bytes, 15);
  if (coding == "raw-deflate") return Deflate(bytes, -15);
  if (coding == "br") return Brotli(bytes);
  if (coding == "zstd") return Zstd(bytes);
  throw std::runtime_error("Compress: no coding " + std::string(coding));
}

}  // namespace verdigo::testing

#pragma once

#include <string>
#include <string_view>

namespace verdigo::testing {

// `bytes` compressed with one Content-Encoding coding: "gzip", "deflate"
// (zlib-wrapped), "raw-deflate" (deflate without the zlib wrapper, as some
// servers send it), "br" or "zstd". Throws std::runtime_error on failure.
std::string Compress(std::string_view coding, std::string_view bytes);

}  // namespace verdigo::testing

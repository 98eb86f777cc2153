#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

// Whole files read and written in tests, as bytes.
namespace verdigo::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace verdigo::testing

// The line rules of address lists. The bytes, split by a plain reading of
// the rules, must give the lines that ForEachListLine gives over the whole
// input and that a ListLineSplitter with a cap gives when the same bytes come
// in pieces of random sizes, where each line longer than the cap is passed
// on as too long, without its bytes. Read as a list is read, with the
// byte-order mark dropped in pieces, they must give the lines of the whole
// input without its mark. Any difference aborts.
//
// Input: one byte for the cap (0: none, else the byte less one), one byte for
// the largest piece, two bytes to seed the piece sizes, then the list.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/list_lines.h"
#include "common/utf8_bom.h"

namespace {

struct Line {
  std::string bytes;
  bool tooLong = false;
  bool operator==(const Line&) const = default;
};

// CR, LF and CR LF end a line; nothing after the last terminator, no line.
std::vector<Line> PlainLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') {
      line += bytes[i];
      continue;
    }
    lines.push_back({line});
    line.clear();
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  if (!line.empty()) lines.push_back({line});
  return lines;
}

[[noreturn]] void Mismatch(const char* what, const std::vector<Line>& program,
                           const std::vector<Line>& plain) {
  std::fprintf(stderr, "%s: the program gives %zu lines, the plain split %zu\n", what,
               program.size(), plain.size());
  for (size_t i = 0; i < std::max(program.size(), plain.size()); ++i) {
    const auto show = [&](const std::vector<Line>& lines) {
      if (i >= lines.size()) return std::string("(none)");
      return lines[i].tooLong ? std::string("(too long)") : "[" + lines[i].bytes + "]";
    };
    std::fprintf(stderr, "  %zu: %s %s\n", i, show(program).c_str(), show(plain).c_str());
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const size_t cap = data[0] == 0 ? verdigo::ListLineSplitter::kUnlimited : data[0] - 1u;
  const size_t largestPiece = data[1] + 1u;
  std::minstd_rand random(data[2] << 8 | data[3]);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 4), size - 4);

  std::vector<Line> plain = PlainLines(bytes);

  std::vector<Line> whole;
  verdigo::ForEachListLine(bytes,
                           [&](std::string_view line) { whole.push_back({std::string(line)}); });
  if (whole != plain) Mismatch("ForEachListLine", whole, plain);

  std::vector<Line> pieces;
  const auto onLine = [&](std::string_view line, bool tooLong) {
    pieces.push_back({std::string(line), tooLong});
  };
  verdigo::ListLineSplitter splitter(cap);
  std::vector<Line> unmarked;
  verdigo::ListLineSplitter unmarkedSplitter;
  verdigo::Utf8BomSkipper bom;
  const auto feedUnmarked = [&](std::string_view bytes) {
    unmarkedSplitter.Feed(
        bytes, [&](std::string_view line, bool) { unmarked.push_back({std::string(line)}); });
  };
  for (size_t at = 0; at < bytes.size();) {
    // Empty pieces too: a reader may hand one on.
    const size_t length = std::min<size_t>(random() % (largestPiece + 1), bytes.size() - at);
    splitter.Feed(bytes.substr(at, length), onLine);
    bom.Feed(bytes.substr(at, length), feedUnmarked);
    at += length;
  }
  splitter.Finish(onLine);
  bom.Finish(feedUnmarked);
  unmarkedSplitter.Finish(
      [&](std::string_view line, bool) { unmarked.push_back({std::string(line)}); });
  if (unmarked != PlainLines(verdigo::WithoutUtf8Bom(bytes))) {
    Mismatch("Utf8BomSkipper in pieces", unmarked, PlainLines(verdigo::WithoutUtf8Bom(bytes)));
  }

  for (Line& line : plain) {
    if (line.bytes.size() > cap) line = {{}, true};
  }
  if (pieces != plain) Mismatch("ListLineSplitter in pieces", pieces, plain);
  return 0;
}

#pragma once

#include <cstddef>
#include <string_view>

namespace verdigo {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// `text` without the UTF-8 byte-order mark an editor may put at its start:
// a list file, a paste, a drop or standard input begins with its first
// address, never with the mark.
inline std::string_view WithoutUtf8Bom(std::string_view text) {
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return text;
}

// WithoutUtf8Bom for bytes that arrive in pieces (a pipe may hand the mark
// on a byte at a time): the first bytes of what may be a mark wait here
// until they are one, or turn out not to be and are passed on.
class Utf8BomSkipper {
 public:
  // Calls pass(bytes) with what of `piece` follows the mark.
  template <typename Pass>
  void Feed(std::string_view piece, Pass&& pass) {
    while (!decided_ && !piece.empty()) {
      if (piece.front() != kUtf8Bom[matched_]) {
        Decide(pass);
        break;
      }
      piece.remove_prefix(1);
      decided_ = ++matched_ == kUtf8Bom.size();
    }
    if (!piece.empty()) pass(piece);
  }

  // At the end of the bytes: what began like a mark and ended early.
  template <typename Pass>
  void Finish(Pass&& pass) {
    if (!decided_) Decide(pass);
  }

 private:
  template <typename Pass>
  void Decide(Pass& pass) {
    decided_ = true;
    if (matched_ > 0) pass(kUtf8Bom.substr(0, matched_));
  }

  std::size_t matched_ = 0;
  bool decided_ = false;
};

}  // namespace verdigo

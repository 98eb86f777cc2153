#pragma once

#include <string>
#include <string_view>

namespace verdigo {

// Turns a console program's output, UTF-8 arriving in chunks of any size,
// into the program's code-page bytes. A character split across two chunks
// is kept back until its last byte arrives. Characters the code page lacks,
// and bytes that are not UTF-8, become '?'.
class ConsoleDecoder {
 public:
  void Feed(std::string_view chunk, std::string& out);
  // Ends the stream: an unfinished character becomes '?'.
  void Finish(std::string& out);

 private:
  void StartSequence(unsigned char lead, std::string& out);
  void EndSequence(std::string& out);

  char32_t codePoint_ = 0;
  char32_t smallest_ = 0;  // below this the sequence is an overlong form
  int missing_ = 0;        // continuation bytes still to come
};

}  // namespace verdigo

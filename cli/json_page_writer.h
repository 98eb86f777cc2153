#pragma once

#include <string>
#include <string_view>

#include "cli/row_writers.h"
#include "common/code_page.h"

// verdigo-extract's JSON Lines output.
namespace verdigo {

// One JSON object on a line of its own for each listed address:
//   {"address":"…","page":"…","links":["…",…]}  for a page that was handled,
//   {"address":"…","page":"…","error":"…"}      for one that was not found.
// "page" is the page's first row (the address as fetched). Each text is
// taken as UTF-8 when it is valid UTF-8, else as code-page bytes. A record
// is written as its rows come, through a buffer that goes out whenever it
// is full and at the end of every page.
class JsonPageWriter : public PageWriter {
 public:
  explicit JsonPageWriter(WriteFn write) : write_(std::move(write)) {}

  void BeginPage(std::string_view address) override;
  void AppendRow(std::string_view row) override;
  void PageNotFound(std::string_view pageUrl, std::string_view reason) override;
  bool EndPage() override;
  bool Finish() override { return error_.empty(); }
  const std::string& error() const override { return error_; }

  static constexpr size_t kBufferBytes = 1 << 20;

 private:
  enum class State { kNothingYet, kInLinks, kInLinksAfterOne, kClosed };

  void StartRecord(std::string_view page);
  void Send();

  WriteFn write_;
  std::string address_;
  State state_ = State::kClosed;
  std::string buffer_;
  std::string error_;
};

// Appends `bytes` (through TextAsUtf8) as a JSON string: quotes, backslashes
// and control characters escaped, everything else as it stands.
void AppendJsonString(std::string& out, std::string_view bytes);

}  // namespace verdigo

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/row_writers.h"
#include "common/code_page.h"

// verdigo-extract's JSON Lines output.
namespace verdigo {

// One JSON object on a line of its own for each listed address:
//   {"address":"…","page":"…","links":["…",…]}  for a page that was handled,
//   {"address":"…","page":"…","error":"…"}      for one that was not found.
// "page" is the page's first row (the address as fetched). Each text is
// taken as UTF-8 when it is valid UTF-8, else as code-page bytes.
class JsonPageWriter : public PageWriter {
 public:
  explicit JsonPageWriter(WriteFn write) : write_(std::move(write)) {}

  void BeginPage(std::string_view address) override;
  void AppendRow(std::string_view row) override;
  void PageNotFound(std::string_view pageUrl, std::string_view reason) override;
  bool EndPage() override;
  bool Finish() override { return error_.empty(); }
  const std::string& error() const override { return error_; }

 private:
  std::string Record() const;

  WriteFn write_;
  std::string address_;
  std::vector<std::string> rows_;  // the page row, then the links
  std::string notFoundPage_;
  std::string notFoundReason_;
  bool notFound_ = false;
  std::string error_;
};

}  // namespace verdigo

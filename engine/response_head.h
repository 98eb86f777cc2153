#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace verdigo {

// A header value without the spaces and tabs around it.
std::string_view TrimHeaderBlanks(std::string_view value);

// What the receive path reads of a response's header, one line at a time as
// libcurl passes them. Each response of a redirect chain (and each interim
// 1xx answer) starts again at its status line, so what is kept belongs to
// the response read last.
class ResponseHead {
 public:
  // One header line with its line end, or the empty line that ends the header.
  void AddLine(std::string_view line);

  // Whether a status line has come at all.
  bool sawStatusLine() const { return sawStatusLine_; }
  // The status of the response read last; 0 before its status line.
  int status() const { return status_; }
  // Whether that response's header has ended.
  bool complete() const { return complete_; }
  // The bytes of its header lines so far, status line included.
  size_t headerBytes() const { return headerBytes_; }
  // Its Content-Encoding values, joined by ", ".
  const std::string& contentEncoding() const { return contentEncoding_; }

 private:
  bool sawStatusLine_ = false;
  int status_ = 0;
  bool complete_ = false;
  size_t headerBytes_ = 0;
  std::string contentEncoding_;
};

}  // namespace verdigo

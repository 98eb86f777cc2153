#include "engine/response_head.h"

#include "common/ascii_case.h"

namespace verdigo {

namespace {

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// "HTTP/1.1 302 Found" and "HTTP/2 200": the three digits after the first space.
int StatusOf(std::string_view statusLine) {
  const size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return 0;
  int status = 0;
  for (size_t i = space + 1; i < statusLine.size() && i < space + 4; ++i) {
    if (statusLine[i] < '0' || statusLine[i] > '9') return 0;
    status = status * 10 + (statusLine[i] - '0');
  }
  return status;
}

}  // namespace

std::string_view TrimHeaderBlanks(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return value;
}

void ResponseHead::AddLine(std::string_view line) {
  const size_t lineBytes = line.size();
  line = WithoutLineEnd(line);
  if (StartsWithIgnoringAsciiCase(line, "HTTP/")) {
    *this = ResponseHead();
    sawStatusLine_ = true;
    status_ = StatusOf(line);
    headerBytes_ = lineBytes;
    return;
  }
  // Lines after the header's end are trailers of a chunked body: they
  // cannot change how the body was encoded.
  if (complete_) return;
  headerBytes_ += lineBytes;
  if (line.empty()) {
    complete_ = true;
    return;
  }
  constexpr std::string_view kContentEncoding = "Content-Encoding:";
  if (!StartsWithIgnoringAsciiCase(line, kContentEncoding)) return;
  const std::string_view value = TrimHeaderBlanks(line.substr(kContentEncoding.size()));
  if (value.empty()) return;
  if (!contentEncoding_.empty()) contentEncoding_ += ", ";
  contentEncoding_ += value;
}

}  // namespace verdigo

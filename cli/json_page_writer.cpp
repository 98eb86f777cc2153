#include "cli/json_page_writer.h"

#include "common/code_page.h"
#include "common/error_report.h"

namespace verdigo {

namespace {

// `utf8` in quotes with the escapes of JSON's own writers: quote, backslash,
// the five short forms, other control characters as \u00xx.
void AppendQuotedUtf8(std::string& out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) {
  if (IsUtf8(bytes)) {
    AppendQuotedUtf8(out, bytes);  // most texts: no copy
  } else {
    AppendQuotedUtf8(out, CodePageToUtf8(bytes));
  }
}

void JsonPageWriter::BeginPage(std::string_view address) {
  address_ = address;
  state_ = State::kNothingYet;
}

// The record's head goes out with the page row, which comes first; each link
// is written as it comes, so that a page never waits whole in memory.
void JsonPageWriter::AppendRow(std::string_view row) {
  if (!error_.empty()) return;  // nothing goes out any more
  if (state_ == State::kNothingYet) {
    StartRecord(row);
    buffer_ += ",\"links\":[";
    state_ = State::kInLinks;
  } else {
    if (state_ == State::kInLinksAfterOne) buffer_ += ',';
    AppendJsonString(buffer_, row);
    state_ = State::kInLinksAfterOne;
  }
  if (buffer_.size() >= kBufferBytes) Send();
}

void JsonPageWriter::StartRecord(std::string_view page) {
  buffer_ += "{\"address\":";
  AppendJsonString(buffer_, address_);
  buffer_ += ",\"page\":";
  AppendJsonString(buffer_, page);
}

// The engine reports a page not found before any of its rows; should rows
// ever come first, the record holds both its links and the error.
void JsonPageWriter::PageNotFound(std::string_view pageUrl, std::string_view reason) {
  if (state_ == State::kClosed) return;  // one reason a page is enough
  if (state_ == State::kNothingYet) {
    StartRecord(pageUrl);
  } else {
    buffer_ += ']';
  }
  buffer_ += ",\"error\":";
  AppendJsonString(buffer_, reason);
  state_ = State::kClosed;
}

bool JsonPageWriter::EndPage() {
  if (state_ == State::kNothingYet) AppendRow("");  // handled, yet no page row
  if (state_ != State::kClosed) buffer_ += ']';
  buffer_ += "}\n";
  state_ = State::kClosed;
  Send();
  return error_.empty();
}

void JsonPageWriter::Send() {
  if (error_.empty() && !buffer_.empty()) {
    try {
      write_(buffer_);
    } catch (const Failure& failure) {
      error_ = failure.what();
    }
  }
  buffer_.clear();
}

}  // namespace verdigo

#include "cli/json_page_writer.h"

#include "common/code_page.h"
#include "common/error_report.h"

namespace verdigo {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `bytes`, or 0
// (no overlong forms, no surrogates, nothing above U+10FFFF).
size_t Utf8SequenceLength(std::string_view bytes) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

bool IsUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t length = Utf8SequenceLength(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

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

std::string TextAsUtf8(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : CodePageToUtf8(bytes);
}

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

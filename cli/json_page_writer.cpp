#include "cli/json_page_writer.h"

#include <nlohmann/json.hpp>

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

}  // namespace

std::string TextAsUtf8(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : CodePageToUtf8(bytes);
}

void JsonPageWriter::BeginPage(std::string_view address) {
  address_ = address;
  rows_.clear();
  notFound_ = false;
}

void JsonPageWriter::AppendRow(std::string_view row) { rows_.emplace_back(row); }

void JsonPageWriter::PageNotFound(std::string_view pageUrl, std::string_view reason) {
  notFound_ = true;
  notFoundPage_ = pageUrl;
  notFoundReason_ = reason;
}

std::string JsonPageWriter::Record() const {
  nlohmann::ordered_json record;
  record["address"] = TextAsUtf8(address_);
  if (notFound_) {
    record["page"] = TextAsUtf8(notFoundPage_);
    record["error"] = TextAsUtf8(notFoundReason_);
  } else {
    record["page"] = rows_.empty() ? std::string() : TextAsUtf8(rows_.front());
    nlohmann::ordered_json& links = record["links"] = nlohmann::ordered_json::array();
    for (size_t i = 1; i < rows_.size(); ++i) links.push_back(TextAsUtf8(rows_[i]));
  }
  return record.dump() + '\n';
}

bool JsonPageWriter::EndPage() {
  if (error_.empty()) {
    try {
      write_(Record());
    } catch (const Failure& failure) {
      error_ = failure.what();
    }
  }
  rows_.clear();
  return error_.empty();
}

}  // namespace verdigo

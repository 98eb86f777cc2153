#include "cli/json_page_writer.h"

#include <nlohmann/json.hpp>

#include "common/code_page.h"
#include "common/error_report.h"

namespace verdigo {

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

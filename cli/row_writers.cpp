#include "cli/row_writers.h"

#include "common/error_report.h"
#include "common/results_format.h"

namespace verdigo {

RowWriter::RowWriter(Format format, char terminator, WriteFn write)
    : format_(format), terminator_(terminator), write_(std::move(write)) {
  buffer_.reserve(kBufferBytes);
}

void RowWriter::AppendRow(std::string_view row) {
  if (!error_.empty()) return;
  switch (format_) {
    case Format::kLines:
      buffer_ += row;
      buffer_ += terminator_;
      break;
    case Format::kTextFile:
      AppendTextFileRow(buffer_, row);
      break;
    case Format::kCsvFile:
      AppendCsvRow(buffer_, row);
      break;
  }
  if (buffer_.size() >= kBufferBytes) Send();
}

bool RowWriter::EndPage() {
  Send();
  return error_.empty();
}

bool RowWriter::Finish() {
  if (format_ == Format::kCsvFile && error_.empty()) EndCsvLine(buffer_);
  return EndPage();
}

void RowWriter::Send() {
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

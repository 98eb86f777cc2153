#include "cli/row_writers.h"

#include <utility>

#include "common/error_report.h"

namespace verdigo {

RowWriter::RowWriter(Format format, char terminator, WriteFn write)
    : builder_(format, terminator), write_(std::move(write)) {
  builder_.Buffer().reserve(kBufferBytes);
}

void RowWriter::AppendRow(std::string_view row) {
  if (!error_.empty()) return;
  builder_.AppendRow(row);
  if (nulNotice_ && builder_.ReplacedNul()) std::exchange(nulNotice_, nullptr)();
  if (builder_.Buffer().size() >= kBufferBytes) Send();
}

bool RowWriter::EndPage() {
  Send();
  return error_.empty();
}

bool RowWriter::Finish() {
  if (error_.empty()) builder_.Finish();
  return EndPage();
}

void RowWriter::Send() {
  std::string& buffer = builder_.Buffer();
  if (error_.empty() && !buffer.empty()) {
    try {
      write_(buffer);
    } catch (const Failure& failure) {
      error_ = failure.what();
    }
  }
  buffer.clear();
}

}  // namespace verdigo

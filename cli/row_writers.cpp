#include "cli/row_writers.h"

#include <unistd.h>

#include <cerrno>

#include "common/results_format.h"

namespace verdigo {

StreamRowWriter::StreamRowWriter(int fd, char terminator) : fd_(fd), terminator_(terminator) {
  buffer_.reserve(kBufferBytes);
}

void StreamRowWriter::AppendRow(std::string_view row) {
  if (error_ != 0) return;
  buffer_ += row;
  buffer_ += terminator_;
  if (buffer_.size() >= kBufferBytes) WriteBuffer();
}

bool StreamRowWriter::Flush() {
  if (error_ == 0) WriteBuffer();
  return error_ == 0;
}

void StreamRowWriter::WriteBuffer() {
  std::string_view rest = buffer_;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = errno;
      break;
    }
    rest.remove_prefix(static_cast<size_t>(n));
  }
  buffer_.clear();
}

void ResultsFileWriter::AppendRow(std::string_view row) {
  if (csv_) {
    AppendCsvRow(bytes_, row);
  } else {
    AppendTextFileRow(bytes_, row);
  }
}

std::string ResultsFileWriter::Finish() {
  if (csv_) EndCsvLine(bytes_);
  return std::move(bytes_);
}

}  // namespace verdigo

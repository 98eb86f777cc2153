#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/interfaces.h"

// Where verdigo-extract puts the rows: standard output or a results file.
namespace verdigo {

// Rows on a file descriptor, each followed by `terminator`, written through a
// large buffer since a run can give millions of rows. After the first failed
// write the writer drops everything and keeps the error.
class StreamRowWriter : public RowSink {
 public:
  static constexpr size_t kBufferBytes = 1 << 20;

  StreamRowWriter(int fd, char terminator);
  void AppendRow(std::string_view row) override;
  // Writes out what is buffered; false when any write has failed.
  bool Flush();
  // errno of the first failed write, 0 while none has failed.
  int error() const { return error_; }

 private:
  void WriteBuffer();

  int fd_;
  char terminator_;
  std::string buffer_;
  int error_ = 0;
};

// Rows gathered in the results file format, for a file written whole at the
// end.
class ResultsFileWriter : public RowSink {
 public:
  explicit ResultsFileWriter(bool csv) : csv_(csv) {}
  void AppendRow(std::string_view row) override;
  // The file's bytes; call once, after the last row.
  std::string Finish();

 private:
  bool csv_;
  std::string bytes_;
};

// Passes rows on and counts them (for the progress line).
class CountingRowSink : public RowSink {
 public:
  explicit CountingRowSink(RowSink& target) : target_(target) {}
  void AppendRow(std::string_view row) override {
    ++rows_;
    target_.AppendRow(row);
  }
  std::uint64_t rows() const { return rows_; }

 private:
  RowSink& target_;
  std::uint64_t rows_ = 0;
};

}  // namespace verdigo

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/interfaces.h"

// Where verdigo-extract puts the rows: standard output or a results file.
namespace verdigo {

// Rows in one of the output formats, gathered in a buffer that goes out at
// the end of every page (and whenever it is full), so that a reader sees
// each page as soon as it is done. After the first failed write the writer
// drops everything and keeps the error.
class RowWriter : public RowSink {
 public:
  enum class Format {
    kLines,     // each row followed by the terminator (standard output)
    kTextFile,  // the results text file
    kCsvFile,   // the comma-delimited results file
  };
  // Writes all of its bytes or throws Failure.
  using WriteFn = std::function<void(std::string_view bytes)>;

  static constexpr size_t kBufferBytes = 1 << 20;

  RowWriter(Format format, char terminator, WriteFn write);
  void AppendRow(std::string_view row) override;
  // Hands the page's rows on; false when any write has failed.
  bool EndPage();
  // Ends the output (the comma-delimited line) and hands it on.
  bool Finish();
  // Why the first write failed; empty while none has.
  const std::string& error() const { return error_; }

 private:
  void Send();

  Format format_;
  char terminator_;
  WriteFn write_;
  std::string buffer_;
  std::string error_;
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

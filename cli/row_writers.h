#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/results_format.h"
#include "engine/interfaces.h"

// Where verdigo-extract puts the rows: standard output or a results file.
namespace verdigo {

// Where the run hands each listed address's rows, page by page. Writes go
// through a WriteFn, which writes all of its bytes or throws Failure; after
// the first failed write a writer drops everything and keeps the error.
class PageWriter : public RowSink {
 public:
  using WriteFn = std::function<void(std::string_view bytes)>;

  // `address` as listed; its rows follow.
  virtual void BeginPage(std::string_view /*address*/) {}
  // The page of the current address was not found (the engine's reason).
  virtual void PageNotFound(std::string_view /*pageUrl*/, std::string_view /*reason*/) {}
  // Hands the page's output on; false when any write has failed.
  virtual bool EndPage() = 0;
  // Ends the output and hands it on.
  virtual bool Finish() = 0;
  // Why the first write failed; empty while none has.
  virtual const std::string& error() const = 0;
};

// Rows in one of the output formats, gathered in a buffer that goes out at
// the end of every page (and whenever it is full), so that a reader sees
// each page as soon as it is done.
class RowWriter : public PageWriter {
 public:
  using Format = ResultsBuilder::Format;
  static constexpr size_t kBufferBytes = 1 << 20;

  RowWriter(Format format, char terminator, WriteFn write);
  // `notice` is called once, at the first row whose NULs the lines format
  // with the terminator NUL writes as "%00".
  void OnFirstNulReplaced(std::function<void()> notice) { nulNotice_ = std::move(notice); }
  void AppendRow(std::string_view row) override;
  bool EndPage() override;
  // Ends the comma-delimited line too.
  bool Finish() override;
  const std::string& error() const override { return error_; }

 private:
  void Send();

  ResultsBuilder builder_;
  WriteFn write_;
  std::string error_;
  std::function<void()> nulNotice_;
};

// Said once on standard error when -0 writes a NUL inside a row as "%00".
inline constexpr std::string_view kNulInRowNotice =
    "a row holds a NUL byte; with -0 each NUL inside a row is written as %00";

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

#pragma once

#include <string>
#include <string_view>

// The output formats of the results, shared by the window's save buttons
// (whole lists, results_export.h) and the command line (page by page). Rows
// are code-page bytes and are written as they stand.
namespace verdigo {

// Builds the output row by row into a buffer that the caller hands on and
// empties whenever it likes: the bytes are the same however they are cut.
class ResultsBuilder {
 public:
  enum class Format {
    // Each row followed by the terminator (the command line's standard output).
    // With the terminator NUL, a NUL inside a row would end it early: each
    // one is written as "%00", the way a browser sends it, so that the row
    // stays one row and still a usable address.
    kLines,
    // Results text file: each row followed by CR LF; no rows give an empty file.
    kTextFile,
    // Comma-delimited results file: one line holding every row followed by a
    // comma (the last one too), then CR LF; no rows give CR LF alone. A row
    // that holds a comma, a double quote, CR or LF would read back as several
    // fields or lines, so it alone is written in double quotes with its quotes
    // doubled.
    kCsvFile,
  };

  explicit ResultsBuilder(Format format, char terminator = '\n')
      : format_(format), terminator_(terminator) {}

  void AppendRow(std::string_view row);
  // After the last row: ends the comma-delimited line.
  void Finish();

  // What has been built since the buffer was last emptied.
  std::string& Buffer() { return buffer_; }
  // Some NUL inside a row was written as "%00".
  bool ReplacedNul() const { return replacedNul_; }

 private:
  void AppendLine(std::string_view row);

  Format format_;
  char terminator_;
  std::string buffer_;
  bool replacedNul_ = false;
};

}  // namespace verdigo

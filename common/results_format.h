#pragma once

#include <string>
#include <string_view>

// The two file formats of the results, shared by the window's save buttons
// and the command line's -o. Rows are code-page bytes and are written as they
// stand.
namespace verdigo {

// Results text file: each row followed by CR LF; no rows give an empty file.
void AppendTextFileRow(std::string& out, std::string_view row);

// Comma-delimited results file: one line holding every row followed by a
// comma (the last one too), then CR LF; no rows give CR LF alone. A row that
// holds a comma, a double quote, CR or LF would read back as several fields
// or lines, so it alone is written in double quotes with its quotes doubled.
void AppendCsvRow(std::string& out, std::string_view row);
void EndCsvLine(std::string& out);

}  // namespace verdigo

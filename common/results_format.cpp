#include "common/results_format.h"

namespace verdigo {

void AppendTextFileRow(std::string& out, std::string_view row) {
  out += row;
  out += "\r\n";
}

void AppendCsvRow(std::string& out, std::string_view row) {
  if (row.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += row;
  } else {
    out += '"';
    for (const char c : row) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += ',';
}

void EndCsvLine(std::string& out) { out += "\r\n"; }

}  // namespace verdigo

#include "common/results_export.h"

#include "common/results_format.h"

namespace verdigo {

std::string ResultsTextFileBytes(const RowStore& rows) {
  std::string bytes;
  bytes.reserve(rows.TextBytes() + 2 * rows.Size());
  for (size_t i = 0; i < rows.Size(); ++i) AppendTextFileRow(bytes, rows.Text(i));
  return bytes;
}

std::string ResultsCsvFileBytes(const RowStore& rows) {
  std::string bytes;
  bytes.reserve(rows.TextBytes() + rows.Size() + 2);
  for (size_t i = 0; i < rows.Size(); ++i) AppendCsvRow(bytes, rows.Text(i));
  EndCsvLine(bytes);
  return bytes;
}

}  // namespace verdigo

#include "common/results_export.h"

#include "common/results_format.h"

namespace verdigo {
namespace {

std::string WholeList(ResultsBuilder::Format format, const RowStore& rows, size_t extraBytes) {
  ResultsBuilder builder(format);
  builder.Buffer().reserve(rows.TextBytes() + extraBytes);
  for (size_t i = 0; i < rows.Size(); ++i) builder.AppendRow(rows.Text(i));
  builder.Finish();
  return std::move(builder.Buffer());
}

}  // namespace

std::string ResultsTextFileBytes(const RowStore& rows) {
  return WholeList(ResultsBuilder::Format::kTextFile, rows, 2 * rows.Size());
}

std::string ResultsCsvFileBytes(const RowStore& rows) {
  return WholeList(ResultsBuilder::Format::kCsvFile, rows, rows.Size() + 2);
}

}  // namespace verdigo

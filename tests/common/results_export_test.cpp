#include "common/results_export.h"

#include <gtest/gtest.h>

namespace verdigo {
namespace {

RowStore Rows(std::initializer_list<std::string_view> texts) {
  RowStore rows;
  for (const std::string_view text : texts) rows.Append(text);
  return rows;
}

TEST(ResultsExport, TextFileHasOneLinePerRow) {
  EXPECT_EQ(ResultsTextFileBytes(Rows({"a", "b", "c"})), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(ResultsTextFileBytes(Rows({"x  ", "p,q", "\xE9"})), "x  \r\np,q\r\n\xE9\r\n");
  EXPECT_EQ(ResultsTextFileBytes(Rows({})), "");
}

TEST(ResultsExport, CsvFileIsOneLineAndQuotesOnlyRowsThatNeedIt) {
  EXPECT_EQ(ResultsCsvFileBytes(Rows({"a", "b", "c"})), "a,b,c,\r\n");
  EXPECT_EQ(ResultsCsvFileBytes(Rows({"x  ", "p,q", "say \"hi\"", "l\nf", "c\rr"})),
            "x  ,\"p,q\",\"say \"\"hi\"\"\",\"l\nf\",\"c\rr\",\r\n");
  EXPECT_EQ(ResultsCsvFileBytes(Rows({})), "\r\n");
}

TEST(ResultsExport, RemovedRowsAreNotWritten) {
  RowStore rows = Rows({"a", "gone", "b"});
  rows.Remove(1);
  EXPECT_EQ(ResultsTextFileBytes(rows), "a\r\nb\r\n");
}

}  // namespace
}  // namespace verdigo

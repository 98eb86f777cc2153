// The row writers, the two results file formats, and the texts that go to the
// terminal.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/json_page_writer.h"
#include "cli/progress_display.h"
#include "cli/row_writers.h"
#include "cli/stderr_reporter.h"
#include "common/error_report.h"

namespace verdigo {
namespace {

// What a writer hands on, one string per write.
struct Writes {
  std::vector<std::string> calls;
  RowWriter::WriteFn Fn() {
    return [this](std::string_view bytes) { calls.emplace_back(bytes); };
  }
  std::string All() const {
    std::string all;
    for (const std::string& call : calls) all += call;
    return all;
  }
};

std::string FileBytes(bool csv, std::initializer_list<std::string_view> rows) {
  Writes writes;
  RowWriter writer(csv ? RowWriter::Format::kCsvFile : RowWriter::Format::kTextFile, '\n',
                   writes.Fn());
  for (const std::string_view row : rows) writer.AppendRow(row);
  EXPECT_TRUE(writer.Finish());
  return writes.All();
}

TEST(ResultsFileFormats, RowsAsTheyStand) {
  EXPECT_EQ(FileBytes(false, {"a", "b", "c"}), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(FileBytes(true, {"a", "b", "c"}), "a,b,c,\r\n");
  EXPECT_EQ(FileBytes(false, {}), "");
  EXPECT_EQ(FileBytes(true, {}), "\r\n");
  EXPECT_EQ(FileBytes(false, {"x  ", "\xE9t\xE9"}), "x  \r\n\xE9t\xE9\r\n");
  EXPECT_EQ(FileBytes(true, {"x  ", "\xE9t\xE9"}), "x  ,\xE9t\xE9,\r\n");
}

TEST(ResultsFileFormats, CsvQuotesOnlyRowsThatWouldSplit) {
  EXPECT_EQ(FileBytes(true, {"a,b", "say \"hi\"", "l1\r\nl2", "cr\r", "plain"}),
            "\"a,b\",\"say \"\"hi\"\"\",\"l1\r\nl2\",\"cr\r\",plain,\r\n");
  // The text file has no fields: a comma or quote stays as it is.
  EXPECT_EQ(FileBytes(false, {"a,\"b\""}), "a,\"b\"\r\n");
}

// A reader of the output sees each page when it ends, not at the end of the
// run, and a full buffer goes out without waiting for the page to end.
TEST(RowWriter, HandsOnEachPageAtItsEndAndEachFullBuffer) {
  Writes writes;
  RowWriter writer(RowWriter::Format::kLines, '\0', writes.Fn());
  writer.AppendRow("http://a/");
  writer.AppendRow("http://a/x");
  EXPECT_TRUE(writes.calls.empty());
  EXPECT_TRUE(writer.EndPage());
  EXPECT_EQ(writes.All(), std::string("http://a/\0http://a/x\0", 21));
  EXPECT_TRUE(writer.EndPage());  // nothing new: no empty write
  EXPECT_EQ(writes.calls.size(), 1u);
  const std::string row(1000, 'r');
  for (size_t i = 0; i <= RowWriter::kBufferBytes / row.size(); ++i) writer.AppendRow(row);
  EXPECT_EQ(writes.calls.size(), 2u);
}

TEST(RowWriter, AFailedWriteStopsTheOutputAndStaysReported) {
  int calls = 0;
  RowWriter writer(RowWriter::Format::kLines, '\n', [&](std::string_view) {
    ++calls;
    throw Failure("Broken pipe");
  });
  writer.AppendRow("http://a/");
  EXPECT_FALSE(writer.EndPage());
  writer.AppendRow("http://b/");
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(writer.error(), "Broken pipe");
  EXPECT_EQ(calls, 1);
}

TEST(JsonPageWriter, OneLinePerAddressWithItsLinksOrItsError) {
  Writes writes;
  JsonPageWriter writer(writes.Fn());
  writer.BeginPage("h/\"q\"");
  writer.AppendRow("http://h/\"q\"/");
  writer.AppendRow("http://h/a\\b\x01");
  EXPECT_TRUE(writer.EndPage());
  EXPECT_EQ(writes.calls.size(), 1u) << "each page goes out as it ends";
  writer.BeginPage("h/empty");
  writer.AppendRow("http://h/empty/");
  EXPECT_TRUE(writer.EndPage());
  writer.BeginPage("gone");
  writer.PageNotFound("http://gone/", "HTTP 404");
  EXPECT_TRUE(writer.EndPage());
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(writes.All(),
            "{\"address\":\"h/\\\"q\\\"\",\"page\":\"http://h/\\\"q\\\"/\","
            "\"links\":[\"http://h/a\\\\b\\u0001\"]}\n"
            "{\"address\":\"h/empty\",\"page\":\"http://h/empty/\",\"links\":[]}\n"
            "{\"address\":\"gone\",\"page\":\"http://gone/\",\"error\":\"HTTP 404\"}\n");
}

// The record as a whole-record JSON library writes it, for comparison.
std::string LibraryRecord(std::string_view address, const std::vector<std::string>& rows) {
  nlohmann::ordered_json record;
  record["address"] = TextAsUtf8(address);
  record["page"] = TextAsUtf8(rows.front());
  nlohmann::ordered_json& links = record["links"] = nlohmann::ordered_json::array();
  for (size_t i = 1; i < rows.size(); ++i) links.push_back(TextAsUtf8(rows[i]));
  return record.dump() + '\n';
}

// A page's record goes out while its links still come, yet its bytes are
// those of the whole record, every escape included.
TEST(JsonPageWriter, StreamsTheRecordWithTheEscapesOfAWholeOne) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  const std::vector<std::string> texts = {"http://h/",
                                          controls,
                                          "\"\\/\x7F",
                                          "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                                          "\xE9\x80\x9D",
                                          std::string(1, '\0'),
                                          "",
                                          "\xC3"};
  std::vector<std::string> rows = texts;
  const size_t linksForOneBuffer = JsonPageWriter::kBufferBytes / 16;
  for (size_t i = 0; i < linksForOneBuffer; ++i) rows.push_back("http://h/" + std::to_string(i));

  Writes writes;
  JsonPageWriter writer(writes.Fn());
  writer.BeginPage("h\x01\xFF");
  for (const std::string& row : rows) writer.AppendRow(row);
  EXPECT_EQ(writes.calls.size(), 1u) << "a full buffer goes out before the page ends";
  EXPECT_TRUE(writer.EndPage());
  EXPECT_EQ(writes.All(), LibraryRecord("h\x01\xFF", rows));
}

TEST(JsonPageWriter, TextsAreUtf8WhenValidElseCodePage) {
  EXPECT_EQ(TextAsUtf8("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(TextAsUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
  // One bad sequence makes the whole text code-page bytes: a cut sequence, an
  // overlong form, a surrogate, a value past U+10FFFF.
  EXPECT_EQ(TextAsUtf8("\xC3\xA9\xC3"), "\xC3\x83\xC2\xA9\xC3\x83");
  EXPECT_EQ(TextAsUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
  EXPECT_EQ(TextAsUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
  EXPECT_EQ(TextAsUtf8("\xF4\x90\x80\x80"), "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC");
}

// With -0 a NUL inside a row would end it early: it becomes "%00", and the
// run is told once. Other terminators and the files keep rows as they are.
TEST(RowWriter, NulTerminatedLinesWriteANulInsideARowAsPercent00) {
  struct Case {
    RowWriter::Format format;
    char terminator;
    std::string expected;
    int notices;
  };
  const std::string a0b("a\0b", 3);
  const std::string nul(1, '\0');
  const Case cases[] = {
      {RowWriter::Format::kLines, '\0', std::string("a%00b\0c\0%00%00\0", 15), 1},
      {RowWriter::Format::kLines, '\n', a0b + "\nc\n" + nul + nul + "\n", 0},
      {RowWriter::Format::kTextFile, '\n', a0b + "\r\nc\r\n" + nul + nul + "\r\n", 0},
  };
  for (const Case& c : cases) {
    Writes writes;
    RowWriter writer(c.format, c.terminator, writes.Fn());
    int notices = 0;
    writer.OnFirstNulReplaced([&] { ++notices; });
    for (const std::string& row : {a0b, std::string("c"), nul + nul}) writer.AppendRow(row);
    EXPECT_TRUE(writer.Finish());
    EXPECT_EQ(writes.All(), c.expected);
    EXPECT_EQ(notices, c.notices);
  }
}

TEST(TerminalTexts, ErrorReportLinesBecomeLineFeeds) {
  EXPECT_EQ(ErrorReportForTerminal("Permission denied\r\nin Q.ExtractLinks.GetUrls at line 112"
                                   "\r\rPlease email screenshot of this message to s@x"),
            "verdigo-extract: Permission denied\nin Q.ExtractLinks.GetUrls at line 112\n\n"
            "Please email screenshot of this message to s@x\n");
}

TEST(TerminalTexts, ProgressLine) {
  EXPECT_EQ(ProgressLine(3, 10, 245, "http://a.example/p", 79),
            "[3/10] 245 rows  http://a.example/p");
  EXPECT_EQ(ProgressLine(1, 1, 1, "x", 79), "[1/1] 1 row  x");
  // Code-page bytes shown in UTF-8, control characters as "\xNN", and the
  // cut counts characters, not bytes.
  EXPECT_EQ(ProgressLine(1, 2, 0, "\xE9\x1B[2J\x81\xE9\xE9", 27),
            "[1/2] 0 rows  \xC3\xA9\\x1B[2J\\x81\xC3\xA9");
}

TEST(TerminalTexts, ControlCharactersAreShownAsTheirByteValues) {
  EXPECT_EQ(TerminalText("a\x1B]0;owned\x07\t\r\n\x7F\x9D\x9B\xE9\\x"),
            "a\\x1B]0;owned\\x07\\x09\\x0D\\x0A\\x7F\\x9D\xE2\x80\xBA\xC3\xA9\\x");
  std::string shown;
  ProgressDisplay progress(-1, false);
  StderrReporter reporter(progress);
  ::testing::internal::CaptureStderr();
  reporter.UrlNotFound("http://h/\x1B[2J\x9D", "HTTP 404");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "verdigo-extract: URL not found: http://h/\\x1B[2J\\x9D (HTTP 404)\n");
}

}  // namespace
}  // namespace verdigo

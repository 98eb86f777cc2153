// The row writers, the two results file formats, and the texts that go to the
// terminal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "cli/progress_display.h"
#include "cli/row_writers.h"
#include "cli/stderr_reporter.h"

namespace verdigo {
namespace {

std::string FileBytes(bool csv, std::initializer_list<std::string_view> rows) {
  ResultsFileWriter writer(csv);
  for (const std::string_view row : rows) writer.AppendRow(row);
  return writer.Finish();
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

class StreamRowWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::pipe(fds_), 0); }
  void TearDown() override {
    for (const int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  int fds_[2] = {-1, -1};
};

TEST_F(StreamRowWriterTest, RowsEndedByTheTerminatorInOrderAcrossBufferFills) {
  char path[] = "/tmp/verdigo-cli-test-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::unlink(path);
  StreamRowWriter writer(fd, '\0');
  std::string expected;
  const std::string row(1000, 'r');
  for (int i = 0; i < 3000; ++i) {  // about three buffers' worth
    const std::string numbered = std::to_string(i) + row;
    writer.AppendRow(numbered);
    expected += numbered + '\0';
  }
  ASSERT_TRUE(writer.Flush());
  std::string written(expected.size() + 1, '?');
  ASSERT_EQ(::pread(fd, written.data(), written.size(), 0), static_cast<ssize_t>(expected.size()));
  written.resize(expected.size());
  EXPECT_TRUE(written == expected);
  ::close(fd);
}

TEST_F(StreamRowWriterTest, ClosedPipeIsAnErrorThatStaysReported) {
  ::signal(SIGPIPE, SIG_IGN);
  ::close(fds_[0]);
  fds_[0] = -1;
  StreamRowWriter writer(fds_[1], '\n');
  writer.AppendRow("http://a/");
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(writer.error(), EPIPE);
  writer.AppendRow("http://b/");
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(writer.error(), EPIPE);
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

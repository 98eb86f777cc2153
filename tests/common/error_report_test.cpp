#include "common/error_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace verdigo {
namespace {

struct Collect : ErrorReportSink {
  std::vector<std::string> texts;
  void ShowErrorReport(const std::string& text) override { texts.push_back(text); }
};

TEST(ErrorReport, TextNamesProcedureAndLine) {
  EXPECT_EQ(ProcedurePath("Form1", "PushButton7_Click"),
            "in Quillmere2021/08/31.Form1.PushButton7_Click ");
  EXPECT_EQ(ErrorReport("File not found", ProcedurePath("ExtractLinks", "GetUrls"), 116),
            "File not found\r\nin Quillmere2021/08/31.ExtractLinks.GetUrls at line 116\r\r"
            "Please email screenshot of this message to support@quillmere.example");
}

TEST(ErrorTrap, ReportsAFailedStatementAndLetsTheProcedureGoOn) {
  Collect sink;
  ErrorTrap trap(ProcedurePath("Main", "Test"), sink);
  std::vector<int> ran;
  EXPECT_TRUE(trap.Run(100, [&] { ran.push_back(100); }));
  EXPECT_FALSE(trap.Run(102, [&] { FailWithErrno(EACCES); }));
  EXPECT_TRUE(trap.Run(104, [&] { ran.push_back(104); }));
  EXPECT_EQ(ran, (std::vector<int>{100, 104}));
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_EQ(sink.texts[0].substr(0, sink.texts[0].find('\r')), "Permission denied");
  EXPECT_NE(sink.texts[0].find("Main.Test at line 102\r\r"), std::string::npos);
}

TEST(ErrorTrap, DescribesFailuresInTheClassicWords) {
  EXPECT_EQ(DescribeErrno(ENOENT), "File not found");
  EXPECT_EQ(DescribeErrno(ENOTDIR), "Path not found");
  EXPECT_EQ(DescribeErrno(EINVAL), "Invalid procedure call or argument");
}

TEST(ErrorTrap, TheSystemWordingKeepsOnlyTheWordsForAMissingFileOrFolder) {
  UseErrnoWording(ErrnoWording::kSystem);
  const std::string words[] = {DescribeErrno(ENOENT), DescribeErrno(ENOTDIR),
                               DescribeErrno(EISDIR), DescribeErrno(ENOSPC),
                               DescribeErrno(EACCES), DescribeErrno(EINVAL)};
  UseErrnoWording(ErrnoWording::kClassic);
  EXPECT_THAT(words, ::testing::ElementsAre("File not found", "Path not found", "Is a directory",
                                            "No space left on device", "Permission denied",
                                            "Invalid argument"));
  EXPECT_EQ(DescribeErrno(EINVAL), "Invalid procedure call or argument");
}

}  // namespace
}  // namespace verdigo

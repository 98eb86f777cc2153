#include "console/cmd_output.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "common/error_report.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

// True when this process has no child left, running or unreaped.
bool NoChildLeft() {
  errno = 0;
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

std::string Shell(const std::string& script) { return "/bin/sh -c \"" + script + "\""; }

TEST(RunConsoleCommand, ReturnsTheWantedStreamsInTheOrderWritten) {
  const std::string both = Shell("printf out1; printf err1 >&2; printf out2; printf err2 >&2");
  EXPECT_EQ(RunConsoleCommand(both, true, false, false), "out1out2");
  EXPECT_EQ(RunConsoleCommand(both, false, true, false), "err1err2");
  EXPECT_EQ(RunConsoleCommand(both, true, true, false), "out1err1out2err2");
  EXPECT_EQ(RunConsoleCommand(Shell("exit 3"), true, true, true), "");
  EXPECT_TRUE(NoChildLeft());
}

TEST(RunConsoleCommand, ChildHasNoInputAndLeadsItsOwnSession) {
  // Reading stdin finds its end at once; the session id (field 6) is the child's own pid.
  const std::string script = "read line; echo $?; cut -d' ' -f6 /proc/$$/stat; echo $$";
  const std::string out = RunConsoleCommand(Shell(script), true, false, false);
  const size_t pidStart = out.find('\n', 2) + 1;
  ASSERT_EQ(out.substr(0, 2), "1\n");
  EXPECT_EQ(out.substr(2, pidStart - 2), out.substr(pidStart)) << out;
}

TEST(RunConsoleCommand, NeitherStreamWantedFailsWithoutStartingAnything) {
  const testing::ScopedTempDir folder;
  const std::filesystem::path marker = folder / "marker";
  try {
    RunConsoleCommand(Shell("touch " + marker.string()), false, false, true);
    FAIL() << "no failure";
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(), "Invalid procedure call or argument");
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(RunConsoleCommand, ProgramThatCannotStart) {
  const std::string failed = "Failed to create process, check the path of the command line.";
  EXPECT_EQ(RunConsoleCommand("verdigo-no-such-program --help", true, true, true), failed);
  EXPECT_EQ(RunConsoleCommand("/nonexistent/dir/tool", true, false, false), failed);
  EXPECT_EQ(RunConsoleCommand("   ", true, false, false), failed);
  EXPECT_TRUE(NoChildLeft());
}

TEST(RunConsoleCommand, OutputLongerThanOneReadArrivesWhole) {
  int yields = 0;
  const std::string out =
      RunConsoleCommand(Shell("printf %05000d 7"), true, false, true, [&] { ++yields; });
  EXPECT_EQ(out, std::string(4999, '0') + "7");
  EXPECT_GE(yields, 5);  // one before each read of at most 1024 bytes
}

TEST(RunConsoleCommand, BytesAboveAsciiWithAndWithoutConversion) {
  // e acute, euro sign, omega (which the code page lacks), as UTF-8.
  const std::string command = Shell("printf '\\303\\251\\342\\202\\254\\316\\251'");
  EXPECT_EQ(RunConsoleCommand(command, true, false, true), "\xE9\x80?");
  EXPECT_EQ(RunConsoleCommand(command, true, false, false), "\xC3\xA9\xE2\x82\xAC\xCE\xA9");
  // The command line itself is code-page text; the program gets it as UTF-8.
  EXPECT_EQ(RunConsoleCommand(Shell("printf \xE9"), true, false, false), "\xC3\xA9");
}

TEST(RunConsoleCommand, CharacterSplitAcrossReadsIsDecodedWhole) {
  // The first read ends inside the first e acute, later ones anywhere in the run of them.
  std::string script = "printf '" + std::string(1023, 'a');
  for (int i = 0; i < 700; ++i) script += "\\303\\251";
  script += "'";
  const std::string out = RunConsoleCommand(Shell(script), true, false, true);
  EXPECT_TRUE(out == std::string(1023, 'a') + std::string(700, '\xE9'))
      << "size " << out.size() << ", first '?' at " << out.find('?');
}

TEST(RunConsoleCommand, ChildIsReapedAfterClosingItsOutput) {
  EXPECT_EQ(RunConsoleCommand(Shell("printf x; exec >&-; sleep 0.2"), true, false, true), "x");
  EXPECT_TRUE(NoChildLeft());
}

TEST(RunConsoleCommand, DeadlineKillsTheProgramAndReturnsWhatWasRead) {
  const auto soon = [] { return ConsoleClock::now() + std::chrono::milliseconds(300); };
  const testing::ScopedTempDir folder;
  const std::filesystem::path marker = folder / "marker";

  EXPECT_EQ(
      RunConsoleCommand(Shell("printf start; sleep 10; printf end"), true, false, true, {}, soon()),
      "start");
  // Output closed but still running: killed at the deadline all the same.
  EXPECT_EQ(RunConsoleCommand(Shell("printf x; exec >&-; sleep 10; touch " + marker.string()), true,
                              false, true, {}, soon()),
            "x");
  EXPECT_TRUE(NoChildLeft());
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(SplitCommandLine, BlanksSeparateAndDoubleQuotesGroup) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("  ping\t -c 1  host "), (Words{"ping", "-c", "1", "host"}));
  EXPECT_EQ(SplitCommandLine("sh -c \"a  'b c'\" x"), (Words{"sh", "-c", "a  'b c'", "x"}));
  EXPECT_EQ(SplitCommandLine("a\"b c\"d \"\" e"), (Words{"ab cd", "", "e"}));
  EXPECT_EQ(SplitCommandLine(""), Words{});
}

}  // namespace
}  // namespace verdigo

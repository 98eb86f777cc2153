// verdigo-extract on a pseudo-terminal, as a person runs it: rows and the
// progress line on one terminal, addresses typed on it.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/scoped_temp_dir.h"
#include "tests/support/test_http_server.h"

namespace verdigo {
namespace {

using Lines = std::vector<std::string>;

// The lines a terminal is left showing after `bytes`: enough of one for
// the progress line's carriage returns and erasing.
Lines Screen(std::string_view bytes) {
  Lines lines(1);
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    if (bytes.substr(i).starts_with("\x1b[K")) {
      line.resize(std::min(line.size(), column));
      i += 2;
    } else if (bytes[i] == '\r') {
      column = 0;
    } else if (bytes[i] == '\n') {
      lines.emplace_back(column, ' ');
    } else {
      if (column >= line.size()) line.resize(column + 1, ' ');
      line[column++] = bytes[i];
    }
  }
  return lines;
}

struct TerminalRun {
  int status = -1;
  std::string shown;  // every byte the terminal received
};

// Runs the program with standard output and standard error on one new
// terminal (and standard input too unless `stdinFile` is given); `typed`
// is typed on it, without echo.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& stdinFile,
                          std::string_view typed) {
  int master = -1, slave = -1;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 200;
  EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
  termios modes{};
  ::tcgetattr(slave, &modes);
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(slave, TCSANOW, &modes);
  std::vector<std::string> argv = {VERDIGO_EXTRACT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(master);
    ::login_tty(slave);
    if (!stdinFile.empty()) ::dup2(::open(stdinFile.c_str(), O_RDONLY), 0);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  ::close(slave);
  EXPECT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  TerminalRun run;
  char buffer[4096];
  pollfd p{master, POLLIN, 0};
  // Bounded: a program that hangs fails the test instead of stalling it.
  while (::poll(&p, 1, 20000) == 1) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: the program and its terminal are gone
    run.shown.append(buffer, static_cast<size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class ExtractOnTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 6; ++i) {
      const std::string page = "/s" + std::to_string(i) + ".html";
      server_.Serve(page, "<a href=\"a.html\"><a href=\"b.html\">");
      list_ += server_.Url(page) + "\n";
      rows_.push_back(server_.Url(page));
      rows_.push_back(server_.Url("/a.html"));
      rows_.push_back(server_.Url("/b.html"));
    }
  }

  std::string ListFile() const {
    const std::string path = folder_.path() + "/list.txt";
    WriteFile(path, list_);
    return path;
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }

  testing::TestHttpServer server_;
  testing::ScopedTempDir folder_;
  std::string list_;
  Lines rows_;
};

// Each row on a line of its own, whatever the progress line drew meanwhile.
TEST_F(ExtractOnTerminal, RowsNeverShareALineWithTheProgressLine) {
  const TerminalRun run = RunOnTerminal({ListFile()}, "/dev/null", "");
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.shown, ::testing::HasSubstr("[1/6] 0 rows  " + server_.Url("/s1.html")))
      << "the progress line was not drawn at all";
  Lines expected = rows_;
  expected.emplace_back();  // the progress line, taken away at the end
  EXPECT_EQ(Screen(run.shown), expected);

  // Rows that end no line: the progress line goes below them, not over.
  const TerminalRun nul = RunOnTerminal({"-0", ListFile()}, "/dev/null", "");
  expected.clear();
  for (size_t i = 0; i < rows_.size(); i += 3) {
    expected.push_back(rows_[i] + '\0' + rows_[i + 1] + '\0' + rows_[i + 2] + '\0');
  }
  expected.emplace_back();
  EXPECT_EQ(Screen(nul.shown), expected);
}

// Addresses from standard input that is not a terminal: no word of it.
TEST_F(ExtractOnTerminal, TypingAddressesIsAskedForOnceUnlessQuiet) {
  const std::string notice =
      "verdigo-extract: reading addresses from standard input; end with Ctrl+D";
  const std::string typed = server_.Url("/s1.html") + "\n\x04";
  const Lines rows(rows_.begin(), rows_.begin() + 3);

  const TerminalRun asked = RunOnTerminal({}, "", typed);
  EXPECT_EQ(asked.status, 0);
  Lines expected = {notice};
  expected.insert(expected.end(), rows.begin(), rows.end());
  expected.emplace_back();
  EXPECT_EQ(Screen(asked.shown), expected);

  const TerminalRun quiet = RunOnTerminal({"-q"}, "", typed);
  expected.erase(expected.begin());
  EXPECT_EQ(Screen(quiet.shown), expected);

  const TerminalRun fromFile = RunOnTerminal({}, ListFile(), "");
  EXPECT_EQ(fromFile.status, 0);
  expected = rows_;
  expected.emplace_back();
  EXPECT_EQ(Screen(fromFile.shown), expected) << "standard input from a file";
}

}  // namespace
}  // namespace verdigo

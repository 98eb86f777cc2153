// verdigo-extract run as a process against a test server on 127.0.0.1.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/product.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/test_files.h"
#include "tests/support/test_http_server.h"

extern char** environ;

namespace verdigo {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct ProcessResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

using testing::ReadFile;
using testing::WriteFile;

std::string WithCrLf(const std::string& lines) {
  std::string crlf;
  for (const char c : lines) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

// Two pages with links, an empty page, and nothing at /missing.html. The
// address of /dir/page is entered without its slash, which the program adds.
class ExtractProcessTest : public ::testing::Test {
 protected:
  static constexpr const char* kIndexPage =
      "<a href=\"a.html\">A</a> <A HREF=\"/b\">B</A> <a href='no'> "
      "<a href=\"http://other.example/x\"> <a href=\"\xC3\xA9t\xC3\xA9.htm\"> "
      "<a href=\"x,y.html\">";

  void SetUp() override {
    dir_ = folder_.path();
    temp_ = dir_ + "/temp";
    fs::create_directory(temp_);
    server_.Serve("/index.html", kIndexPage);
    server_.Serve("/empty.html", "");
    server_.Serve("/dir/page/", "<a href=\"sub/\xE9.html\">");
  }
  void TearDown() override {
    EXPECT_TRUE(fs::is_empty(temp_)) << "the private temporary folder was left behind";
  }

  std::string U(const std::string& path) const { return server_.Url(path); }
  std::string IndexRows(char end) const {
    std::string rows;
    for (const std::string& row :
         {U("/index.html"), U("/a.html"), U("/b/"), std::string("http://other.example/x/"),
          U("/\xC3\xA9t\xC3\xA9.htm"), U("/x,y.html")}) {
      rows += row + end;
    }
    return rows;
  }
  std::string ListFile(const std::string& name, std::string_view bytes) const {
    const std::string path = dir_ + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  std::vector<std::string> RequestedPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : server_.Requests()) paths.push_back(request.path);
    return paths;
  }

  // Runs the program with `args`, `input` on standard input and a fresh
  // TEMP; standard output goes to `stdoutFd` when given.
  ProcessResult Run(const Args& args, std::string_view input = "", int stdoutFd = -1) {
    return Wait(Start(args, input, stdoutFd), stdoutFd);
  }

  // Starts the program as Run does; `ignoredSignal` is ignored from the start,
  // as nohup does.
  pid_t Start(const Args& args, std::string_view input, int stdoutFd = -1, int ignoredSignal = 0) {
    WriteFile(dir_ + "/stdin", input);
    const int in = ::open((dir_ + "/stdin").c_str(), O_RDONLY);
    const int out = stdoutFd >= 0
                        ? stdoutFd
                        : ::open((dir_ + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = Spawn(args, in, out, ignoredSignal);
    for (const int fd : {in, out}) ::close(fd);
    return pid;
  }

  // Starts the program with these descriptors as standard input and output,
  // standard error into a file, and a fresh TEMP.
  pid_t Spawn(const Args& args, int in, int out, int ignoredSignal = 0) {
    const int err = ::open((dir_ + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> env = env_;  // first: the one a name finds
    for (const char* entry : {"no_proxy=127.0.0.1", "NO_PROXY=127.0.0.1"}) env.emplace_back(entry);
    env.push_back("TEMP=" + temp_);
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry = *e;
      if (!entry.starts_with("TEMP=") && !entry.starts_with("no_proxy=") &&
          !entry.starts_with("NO_PROXY=")) {
        env.emplace_back(entry);
      }
    }
    Args argv = {VERDIGO_EXTRACT_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::vector<char*> argvPtrs = Pointers(argv);
    const std::vector<char*> envPtrs = Pointers(env);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (openFilesLimit_ > 0) {
        const rlimit limit{openFilesLimit_, openFilesLimit_};
        ::setrlimit(RLIMIT_NOFILE, &limit);
      }
      ::signal(SIGPIPE, SIG_DFL);  // as a shell starts a command
      if (ignoredSignal != 0) ::signal(ignoredSignal, SIG_IGN);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execve(argvPtrs[0], argvPtrs.data(), envPtrs.data());
      ::_exit(127);
    }
    ::close(err);
    return pid;
  }

  // Standard output is read from its file when `stdoutFd` is negative.
  ProcessResult Wait(pid_t pid, int stdoutFd = 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProcessResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (stdoutFd < 0) result.out = ReadFile(dir_ + "/stdout");
    result.err = ReadFile(dir_ + "/stderr");
    return result;
  }

  // Waits (boundedly) until the server has seen `count` requests.
  bool AwaitRequests(size_t count) const {
    for (int i = 0; i < 2000 && server_.Requests().size() < count; ++i) ::usleep(5000);
    return server_.Requests().size() >= count;
  }

  // Runs the program through /bin/sh with standard input, output and error
  // on the files Run uses, then `redirections` ("<&-", "2>&-", ...).
  ProcessResult RunInShell(const Args& args, const std::string& redirections) {
    WriteFile(dir_ + "/stdin", "");
    std::string command =
        "cd '" + dir_ + "' && TEMP='" + temp_ + "' exec '" VERDIGO_EXTRACT_PATH "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " <stdin >stdout 2>stderr " + redirections;
    WriteFile(dir_ + "/stdout", "");
    WriteFile(dir_ + "/stderr", "");
    const int status = std::system(command.c_str());
    ProcessResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(dir_ + "/stdout");
    result.err = ReadFile(dir_ + "/stderr");
    return result;
  }

  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  testing::TestHttpServer server_;
  testing::ScopedTempDir folder_;
  std::string dir_;
  std::string temp_;
  rlim_t openFilesLimit_ = 0;  // for the program, when not 0
  Args env_;                   // "NAME=value" for the program, over the rest
};

TEST_F(ExtractProcessTest, RowsOnStandardOutputByteForByte) {
  const std::string list = ListFile(
      "list.txt", U("/index.html") + "\n" + U("/dir/page") + "\n" + U("/empty.html") + "\n");
  const ProcessResult r = Run({list});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, IndexRows('\n') + U("/dir/page/") + "\n" + U("/dir/page/sub/\xE9.html") + "\n" +
                       U("/empty.html") + "\n");
}

TEST_F(ExtractProcessTest, FailedPagesAreReportedAndTheRunGoesOn) {
  // CR, CR LF and LF endings, an empty line in the middle, none at the end.
  const std::string list = ListFile(
      "list.txt", U("/empty.html") + "\r" + U("/missing.html") + "\r\n\n" + U("/index.html"));
  const ProcessResult r = Run({list});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, U("/empty.html") + "\n" + IndexRows('\n'));
  EXPECT_EQ(r.err, "verdigo-extract: URL not found: " + U("/missing.html") + " (HTTP 404)\n");
  // Pages download at once, so their requests may come in any order.
  EXPECT_THAT(RequestedPaths(),
              ::testing::UnorderedElementsAre("/empty.html", "/missing.html", "/index.html"));
}

// Lists as editors and hands leave them: a byte-order mark, blank lines,
// blanks around an address.
TEST_F(ExtractProcessTest, ListsAreTakenWithoutTheirMarkBlankLinesAndBlanksAround) {
  const std::string list = "\xEF\xBB\xBF" + U("/empty.html") + "\r\n \t\r\n\r\n\t " +
                           U("/dir/page") + " \n  \n" + U("/empty.html") + "\t\n";
  const std::string rows = U("/empty.html") + "\n" + U("/dir/page/") + "\n" +
                           U("/dir/page/sub/\xE9.html") + "\n" + U("/empty.html") + "\n";
  for (const bool fromStandardInput : {false, true}) {
    const ProcessResult r = fromStandardInput ? Run({"-q"}, list) : Run({ListFile("l.txt", list)});
    EXPECT_EQ(r.status, 0) << fromStandardInput;
    EXPECT_EQ(r.err, "") << fromStandardInput;
    EXPECT_EQ(r.out, rows) << fromStandardInput;
  }
  EXPECT_THAT(RequestedPaths(), ::testing::Each(::testing::AnyOf("/empty.html", "/dir/page/")));
}

TEST_F(ExtractProcessTest, StandardInputAndNulTerminators) {
  const ProcessResult plain = Run({"-q"}, U("/empty.html") + "\r\n");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, U("/empty.html") + "\n");

  const std::string first = ListFile("first.txt", U("/index.html") + "\n");
  const std::string last = ListFile("last.txt", U("/missing.html"));
  const ProcessResult nul = Run({"-0", first, "-", last}, U("/empty.html"));
  EXPECT_EQ(nul.status, 1);
  EXPECT_EQ(nul.out, IndexRows('\0') + U("/empty.html") + std::string(1, '\0'));
  EXPECT_EQ(nul.err, "verdigo-extract: URL not found: " + U("/missing.html") + " (HTTP 404)\n");

  // A NUL inside a link would split its row: it is written as %00, said once.
  server_.Serve("/nul.html", std::string("<a href=\"a\0b\"> <a href=\"\0\">", 27));
  const ProcessResult inside = Run({"-0", "-u", U("/nul.html")});
  EXPECT_EQ(inside.status, 0);
  EXPECT_EQ(inside.out, U("/nul.html") + '\0' + U("/a%00b/") + '\0' + U("/%00/") + '\0');
  EXPECT_EQ(inside.err,
            "verdigo-extract: a row holds a NUL byte; with -0 each NUL inside a row is written "
            "as %00\n");
}

TEST_F(ExtractProcessTest, ResultsFileInBothFormatsReplacesTheOldOne) {
  const std::string list = ListFile("list.txt", U("/index.html") + "\n" + U("/empty.html"));
  const std::string output = dir_ + "/out.txt";
  WriteFile(output, "old content that is longer than nothing");

  const ProcessResult text = Run({"-o", output, list});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "");
  EXPECT_EQ(ReadFile(output), WithCrLf(IndexRows('\n') + U("/empty.html") + "\n"));

  const ProcessResult csv = Run({"--csv", "-o", output, list});
  EXPECT_EQ(csv.status, 0);
  EXPECT_EQ(ReadFile(output), U("/index.html") + "," + U("/a.html") + "," + U("/b/") +
                                  ",http://other.example/x/," + U("/\xC3\xA9t\xC3\xA9.htm") +
                                  ",\"" + U("/x,y.html") + "\"," + U("/empty.html") + ",\r\n");

  const std::string none = ListFile("none.txt", U("/missing.html"));
  EXPECT_EQ(Run({"-o", output, "--csv", none}).status, 1);
  EXPECT_EQ(ReadFile(output), "\r\n");
  EXPECT_EQ(Run({"-o", output, none}).status, 1);
  EXPECT_EQ(ReadFile(output), "");
}

TEST_F(ExtractProcessTest, FileAndUsageErrorsExitWithTwo) {
  const std::string list = ListFile("list.txt", U("/index.html"));
  const ProcessResult missing = Run({list, dir_ + "/none.txt"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "verdigo-extract: cannot read " + dir_ + "/none.txt: File not found\n");
  EXPECT_EQ(Run({dir_ + "/none/list.txt"}).err,
            "verdigo-extract: cannot read " + dir_ + "/none/list.txt: Path not found\n");
  EXPECT_TRUE(server_.Requests().empty()) << "nothing is fetched when a list cannot be read";

  // A results file that cannot be made stops the run before any download.
  const std::string output = dir_ + "/no/such/folder/out.txt";
  const ProcessResult unwritable = Run({"-o", output, list});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_EQ(unwritable.err, "verdigo-extract: cannot write " + output + ": Path not found\n");
  EXPECT_TRUE(server_.Requests().empty()) << "nothing is fetched when the output cannot be made";

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ::close(pipeFds[0]);
  // A reader that went away ends the run quietly, as for any command in a pipe.
  const ProcessResult closedPipe = Run({list}, "", pipeFds[1]);
  EXPECT_EQ(closedPipe.signal, SIGPIPE);
  EXPECT_EQ(closedPipe.err, "");

  const ProcessResult usage = Run({"-x", list});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err,
            "verdigo-extract: unknown option '-x'\n"
            "Try 'verdigo-extract --help' for more information.\n");
}

// Standard streams closed or open the wrong way round, and a folder given as
// a list: what goes where, and no download where the run cannot go on. A
// closed descriptor must not be taken by a socket that then gets the rows
// or the messages.
TEST_F(ExtractProcessTest, StandardStreamsAndListsThatCannotServe) {
  const std::string out = dir_ + "/out.txt";
  const std::string rows = U("/empty.html") + "\n";
  const std::string badOut = "verdigo-extract: cannot write standard output: Bad file descriptor\n";
  const std::string badIn = "verdigo-extract: cannot read standard input: Bad file descriptor\n";
  struct Case {
    Args args;
    std::string redirections;  // after those to the files
    int status;
    std::string out;
    std::string err;
    size_t requests;
  };
  const Case cases[] = {
      {{"-u", U("/empty.html")}, ">&-", 2, "", badOut, 0},
      {{"--version"}, ">&-", 2, "", badOut, 0},
      {{"-u", U("/empty.html")}, "1<stdin", 2, "", badOut, 0},
      {{"-o", out, "-u", U("/empty.html")}, ">&-", 0, "", "", 1},
      {{}, "<&-", 2, "", badIn, 0},
      {{"-", "-u", U("/empty.html")}, "0>stdin.w", 2, "", badIn, 0},
      {{"-u", U("/empty.html")}, "<&-", 0, rows, "", 1},
      {{"-u", U("/missing.html"), "-u", U("/empty.html")}, "2>&-", 1, rows, "", 2},
      {{dir_}, "", 2, "", "verdigo-extract: cannot read " + dir_ + ": Is a directory\n", 0},
      {{}, "<.", 2, "", "verdigo-extract: cannot read standard input: Is a directory\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redirections + " " + ::testing::PrintToString(c.args));
    const size_t requestsBefore = server_.Requests().size();
    const ProcessResult r = RunInShell(c.args, c.redirections);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(server_.Requests().size() - requestsBefore, c.requests);
  }
  EXPECT_EQ(ReadFile(out), WithCrLf(rows));
}

// Every run holds its private folder; the next run removes one that a
// killed run left, never one that a live run holds.
TEST_F(ExtractProcessTest, AKilledRunsFolderIsRemovedByTheNextRun) {
  server_.Stall("/stall/");
  const pid_t live = Start({"-q", "-u", U("/stall/")}, "");
  ASSERT_TRUE(AwaitRequests(1));
  EXPECT_EQ(Run({"-q", "-u", U("/empty.html")}).status, 0);
  const std::set<std::string> held = testing::Entries(temp_);
  EXPECT_EQ(held.size(), 1u) << "the live run's folder is kept";
  ::kill(live, SIGKILL);
  Wait(live);
  EXPECT_EQ(testing::Entries(temp_), held) << "SIGKILL leaves it behind";
  EXPECT_EQ(Run({"-q", "-u", U("/empty.html")}).status, 0);
  // TearDown checks that TEMP is empty.
}

// As commands in a shell do, in the system's words.
TEST_F(ExtractProcessTest, FileErrorsGiveTheSystemsReason) {
  EXPECT_THAT(Run({dir_}).err,
              ::testing::HasSubstr("verdigo-extract: cannot read " + dir_ + ": Is a directory\n"));
  const std::string list = ListFile("list.txt", U("/index.html"));
  const ProcessResult fullDisk = Run({"-q", "-o", "/dev/full", list});
  EXPECT_EQ(fullDisk.status, 2);
  EXPECT_EQ(fullDisk.err, "verdigo-extract: cannot write /dev/full: No space left on device\n");
  const ProcessResult fullOutput = Run({"-q", list}, "", ::open("/dev/full", O_WRONLY));
  EXPECT_EQ(fullOutput.status, 2);
  EXPECT_EQ(fullOutput.err,
            "verdigo-extract: cannot write standard output: No space left on device\n");
}

// A line no address could be is that line's trouble, not the run's.
TEST_F(ExtractProcessTest, AnAbsurdlyLongLineIsSkippedWithAMessage) {
  const std::string list = ListFile(
      "list.txt", U("/empty.html") + "\n" + std::string(3 << 20, 'x') + "\n" + U("/empty.html"));
  const ProcessResult r = Run({"-q", list});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, U("/empty.html") + "\n" + U("/empty.html") + "\n");
  EXPECT_EQ(r.err, "verdigo-extract: line 2 of " + list + " is longer than 1 MiB; skipped\n");
}

// Too few descriptors for a page file: an error report, and a results file
// that may lack rows does not replace the old one.
TEST_F(ExtractProcessTest, AfterAnErrorReportTheResultsFileIsNotReplaced) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own runtime needs descriptors that the limit takes away";
#endif
  const std::string output = dir_ + "/out.txt";
  const std::string list = ListFile("list.txt", U("/index.html"));
  for (openFilesLimit_ = 4; openFilesLimit_ < 64; ++openFilesLimit_) {
    WriteFile(output, "old");
    const ProcessResult r = Run({"-q", "-j", "1", "-o", output, list});
    if (r.err.find("Cannot create") == std::string::npos) continue;
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, ::testing::EndsWith("verdigo-extract: " + output +
                                           " is left as it was: after an error report, rows may "
                                           "be missing\n"));
    EXPECT_EQ(ReadFile(output), "old");
    return;
  }
  FAIL() << "no limit of open files made the page file fail";
}

TEST_F(ExtractProcessTest, AddressesGivenWithUComeBeforeTheLists) {
  const std::string list = ListFile("list.txt", U("/empty.html"));
  const ProcessResult r =
      Run({"-q", "-u", U("/dir/page"), list, "--url=" + U("/empty.html"), "-"}, U("/index.html"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, U("/dir/page/") + "\n" + U("/dir/page/sub/\xE9.html") + "\n" + U("/empty.html") +
                       "\n" + U("/empty.html") + "\n" + IndexRows('\n'));

  // With -u alone, standard input is not read.
  const size_t requestsBefore = server_.Requests().size();
  const ProcessResult alone = Run({"-u" + U("/empty.html")}, U("/index.html"));
  EXPECT_EQ(alone.out, U("/empty.html") + "\n");
  EXPECT_EQ(server_.Requests().size(), requestsBefore + 1) << "standard input was read as a list";

  // An address where a list file belongs fails, with a hint.
  const ProcessResult positional = Run({U("/index.html")});
  EXPECT_EQ(positional.status, 2);
  EXPECT_EQ(positional.err, "verdigo-extract: cannot read " + U("/index.html") +
                                ": Path not found\n"
                                "verdigo-extract: to fetch an address rather than read a list, "
                                "give it with -u: verdigo-extract -u " +
                                U("/index.html") + "\n");
}

// One record per listed address in list order, whatever order the pages
// arrive in; the same bytes on standard output and in a results file.
TEST_F(ExtractProcessTest, JsonLinesInListOrder) {
  server_.ServeAfter("/slow.html", "<a href=\"s\">", std::chrono::milliseconds(300));
  const std::string list =
      ListFile("list.txt", U("/slow.html") + "\n" + U("/missing.html") + "\n" + U("/index.html") +
                               "\n" + U("/dir/page") + "\n" + U("/empty.html"));
  const std::string expected =
      "{\"address\":\"" + U("/slow.html") + "\",\"page\":\"" + U("/slow.html") +
      "\",\"links\":[\"" + U("/s/") + "\"]}\n" +  //
      "{\"address\":\"" + U("/missing.html") + "\",\"page\":\"" + U("/missing.html") +
      "\",\"error\":\"HTTP 404\"}\n" +  //
      "{\"address\":\"" + U("/index.html") + "\",\"page\":\"" + U("/index.html") +
      "\",\"links\":[\"" + U("/a.html") + "\",\"" + U("/b/") + "\",\"http://other.example/x/\",\"" +
      U("/\xC3\xA9t\xC3\xA9.htm") + "\",\"" + U("/x,y.html") + "\"]}\n" +  //
      "{\"address\":\"" + U("/dir/page") + "\",\"page\":\"" + U("/dir/page/") + "\",\"links\":[\"" +
      U("/dir/page/sub/\xC3\xA9.html") + "\"]}\n" +  //
      "{\"address\":\"" + U("/empty.html") + "\",\"page\":\"" + U("/empty.html") +
      "\",\"links\":[]}\n";

  const ProcessResult out = Run({"--json", "-j", "4", list});
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.out, expected);
  EXPECT_EQ(out.err, "verdigo-extract: URL not found: " + U("/missing.html") + " (HTTP 404)\n");

  const std::string output = dir_ + "/out.jsonl";
  const ProcessResult file = Run({"-o", output, "--json", list});
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(file.out, "");
  EXPECT_EQ(ReadFile(output), expected);
}

// ---- A stream from the list to the results -------------------------------------

class StreamingTest : public ExtractProcessTest {
 protected:
  void SetUp() override {
    ExtractProcessTest::SetUp();
    ASSERT_EQ(::pipe2(input_, O_CLOEXEC), 0);  // the program must hold only its own ends
    ASSERT_EQ(::pipe2(output_, O_CLOEXEC), 0);
  }
  void TearDown() override {
    for (int fd : {input_[0], input_[1], output_[0], output_[1]}) {
      if (fd >= 0) ::close(fd);
    }
    ExtractProcessTest::TearDown();
  }
  void CloseEnd(int& fd) {
    ::close(fd);
    fd = -1;
  }
  // What the program has written so far; nothing when it writes nothing
  // within a few seconds (rows it holds back), rather than waiting for ever.
  std::string ReadSome(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 10000) != 1) return {};
    char bytes[4096];
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    return n > 0 ? std::string(bytes, static_cast<size_t>(n)) : std::string();
  }

  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
};

TEST_F(StreamingTest, TheFirstPageIsFetchedAndWrittenBeforeTheListEnds) {
  const pid_t pid = Spawn({"-q"}, input_[0], output_[1]);
  CloseEnd(input_[0]);
  CloseEnd(output_[1]);
  const std::string first = U("/empty.html") + "\n";
  ASSERT_EQ(::write(input_[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
  EXPECT_TRUE(AwaitRequests(1));
  EXPECT_EQ(ReadSome(output_[0]), U("/empty.html") + "\n");  // while the list is still open
  const std::string rest = U("/dir/page") + "\n";
  ASSERT_EQ(::write(input_[1], rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  CloseEnd(input_[1]);
  const ProcessResult r = Wait(pid);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadSome(output_[0]), U("/dir/page/") + "\n" + U("/dir/page/sub/\xE9.html") + "\n");
}

TEST_F(StreamingTest, AReaderThatGoesAwayEndsTheRunAtOnceAndQuietly) {
  std::string list;
  for (int i = 0; i < 40; ++i) {
    server_.ServeAfter("/slow" + std::to_string(i) + ".html", "", std::chrono::milliseconds(100));
    list += U("/slow" + std::to_string(i) + ".html") + "\n";
  }
  const pid_t pid = Spawn({"-j", "2", ListFile("list.txt", list)}, input_[0], output_[1]);
  CloseEnd(output_[1]);
  EXPECT_THAT(ReadSome(output_[0]), ::testing::StartsWith(U("/slow0.html") + "\n"));
  CloseEnd(output_[0]);  // as `| head -1` does
  const ProcessResult r = Wait(pid);
  EXPECT_EQ(r.signal, SIGPIPE);
  EXPECT_EQ(r.err, "");
  EXPECT_LT(server_.Requests().size(), 10u);
}

// Not a page that never comes, nor one that comes slowly, keeps a run whose
// reader has gone: it notices while it waits.
TEST_F(StreamingTest, AReaderThatGoesAwayIsNoticedWhileAPageIsAwaited) {
  server_.Stall("/stalled.html");
  const std::string list = ListFile("list.txt", U("/empty.html") + "\n" + U("/stalled.html"));
  for (const std::string jobs : {"1", "4"}) {
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    const pid_t pid = Spawn({"-j", jobs, list}, input_[0], output[1]);
    ::close(output[1]);
    EXPECT_EQ(ReadSome(output[0]), U("/empty.html") + "\n");
    ::close(output[0]);  // as `| head -1` does
    int waits = 0;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0 && ++waits < 1000) ::usleep(10000);
    EXPECT_LT(waits, 1000) << "still waiting for the stalled page after 10 s";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
    if (waits == 1000) {
      ::kill(pid, SIGKILL);
      Wait(pid);
    }
  }
}

TEST_F(StreamingTest, InterruptedWithTransfersUnderWayLeavesNothingBehind) {
  server_.Stall("/stalled.html");
  const std::string output = dir_ + "/out.txt";
  const std::string list = ListFile("list.txt", U("/stalled.html") + "\n" + U("/stalled.html"));
  const pid_t pid = Spawn({"-o", output, list}, input_[0], output_[1]);
  ASSERT_TRUE(AwaitRequests(2));
  ::kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid).signal, SIGINT);
  EXPECT_FALSE(fs::exists(output));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".verdigo-save-")) << entry.path();
  }
  // TearDown checks that TEMP is empty.
}

TEST_F(ExtractProcessTest, ASignalIgnoredAtStartStaysIgnoredAndOthersCleanUp) {
  server_.Stall("/stall/");
  const std::string output = dir_ + "/out.txt";
  WriteFile(output, "old");
  const pid_t pid = Start({"-o", output, ListFile("list.txt", U("/stall/"))}, "", -1, SIGHUP);
  for (int wait = 0; wait < 200 && RequestedPaths().empty(); ++wait) ::usleep(20000);
  ASSERT_EQ(RequestedPaths(), Args{"/stall/"});
  ::kill(pid, SIGHUP);
  ::usleep(300000);
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "a hang-up ignored under nohup killed it";
  ::kill(pid, SIGUSR1);
  const ProcessResult killed = Wait(pid, -1);
  EXPECT_EQ(killed.signal, SIGUSR1);
  EXPECT_EQ(ReadFile(output), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 8)
      << "temp, list.txt, out.txt, the three standard streams, and the rows and record that "
         "-c carries on from";
}

// ---- A list spread over several workers ----------------------------------------

// The README's recipe with two local workers in place of remote hosts: small
// blocks, some of whose pages are slow, so that later blocks finish first.
TEST_F(ExtractProcessTest, ParallelRecipeGivesTheOutputOfOneRun) {
  std::string list;
  for (int i = 0; i < 14; ++i) {
    const std::string path = "/p" + std::to_string(i) + ".html";
    const std::string body = "<a href=\"l" + std::to_string(i) + "\"> <a href=\"/x.htm\">";
    if (i % 5 == 1) {
      server_.ServeAfter(path, body, std::chrono::milliseconds(200));
    } else if (i % 5 != 3) {
      server_.Serve(path, body);  // the others are not found
    }
    // Addresses with and without http://, with CR LF and LF endings; the one
    // without a "/" starts a block, away from the page whose folder it takes.
    const std::string address = i == 6 ? "http-guide.htm" : U(path);
    list += (i % 2 == 1 ? address.substr(7) : address) + (i % 3 == 0 ? "\r\n" : "\n");
  }
  ListFile("pages.txt", list);
  const std::string bin = fs::path(VERDIGO_EXTRACT_PATH).parent_path().string();
  const std::string shell = "cd '" + dir_ + "' && export TEMP='" + temp_ + "' PARALLEL_HOME='" +
                            dir_ + "/parallel' PATH='" + bin +
                            "':\"$PATH\" no_proxy=127.0.0.1 NO_PROXY=127.0.0.1 && ";
  for (const std::string options : {"-q", "-q --json"}) {
    const std::string one = "verdigo-extract " + options + " < pages.txt > one.out 2>/dev/null";
    const std::string spread =
        "parallel --will-cite --pipe --keep-order -N 3 -j 2 verdigo-extract " + options +
        " < pages.txt > spread.out 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system((shell + one).c_str())), 1);
    EXPECT_EQ(WEXITSTATUS(std::system((shell + spread).c_str())), 3)
        << "blocks with a page not found";
    const std::string expected = ReadFile(dir_ + "/one.out");
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), options == "-q" ? 30 : 14);
    EXPECT_EQ(ReadFile(dir_ + "/spread.out"), expected) << options;
  }
}

TEST_F(ExtractProcessTest, Version) {
  const ProcessResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "verdigo-extract " + std::string(ProgramVersion()) + "\n");
}

Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Each line of `text` starts with the line of `starts` in its place.
void ExpectLinesStartWith(const std::string& text, const std::vector<std::string>& starts,
                          const std::string& what) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), starts.size()) << what << ": " << text;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].starts_with(starts[i])) << what << ": " << lines[i];
  }
}

// Over HTTPS with the test's self-signed certificate: trusted through
// --cacert or unchecked with -k, refused otherwise before a request is sent.
TEST_F(ExtractProcessTest, ServerCertificatesAreCheckedUnlessTrustedOrKIsGiven) {
  testing::TestHttpServer secure(testing::TestHttpServer::OverTls{});
  secure.Serve("/a.html", "<a href=\"b.html\">");
  const std::string page = secure.Url("/a.html");
  const std::string rows = page + "\n" + secure.Url("/b.html") + "\n";
  const std::string notFound = "verdigo-extract: URL not found: " + page + " (TLS failure: ";
  const std::string key = testing::TestHttpServer::PrivateKeyFile();
  struct Case {
    Args options;
    int status;
    std::string out;
    std::vector<std::string> err;  // the start of each line
    size_t requests;
  };
  const std::vector<Case> cases = {
      {{}, 1, "", {notFound, notFound}, 0},
      {{"--cacert", testing::TestHttpServer::CertificateFile()}, 0, rows + rows, {}, 2},
      {{"-k"}, 0, rows + rows, {"verdigo-extract: warning: -k: certificates are not checked"}, 2},
      {{"--cacert=" + key},
       2,
       "",
       {"verdigo-extract: cannot use " + key + " as --cacert: it holds no certificate (PEM)"},
       0},
  };
  for (const Case& c : cases) {
    const std::string what = c.options.empty() ? "no option" : c.options[0];
    const size_t before = secure.Requests().size();
    const ProcessResult r = Run(c.options + Args{"-u", page, "-u", page});
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_EQ(r.out, c.out) << what;
    ExpectLinesStartWith(r.err, c.err, what);
    EXPECT_EQ(secure.Requests().size() - before, c.requests) << what;
  }
}

// Without --proxy, http_proxy and https_proxy serve every host that no_proxy
// does not name. The server stands in for the proxy; names are never looked up.
TEST_F(ExtractProcessTest, TheProxiesOfTheEnvironmentServeHostsNoProxyDoesNotName) {
  server_.Serve("http://pages.example.test/p.html", "<a href=\"q.html\">");
  env_ = {"http_proxy=" + U(""), "https_proxy=" + U("")};
  const ProcessResult r = Run({"-u", "http://pages.example.test/p.html", "-u", U("/empty.html"),
                               "-u", "https://pages.example.test/s.html"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "http://pages.example.test/p.html\nhttp://pages.example.test/q.html\n" +
                       U("/empty.html") + "\n");
  // The proxy refuses the tunnel an https address asks it for.
  ExpectLinesStartWith(
      r.err, {"verdigo-extract: URL not found: https://pages.example.test/s.html ("}, "https");
  EXPECT_THAT(RequestedPaths(),
              ::testing::UnorderedElementsAre("http://pages.example.test/p.html", "/empty.html",
                                              "pages.example.test:443"));
}

// ---- Pages from files --------------------------------------------------------

// Every output format: a file's bytes under --base give the rows of the same
// page downloaded from that address, and nothing is fetched for them.
TEST_F(ExtractProcessTest, APageFromAFileGivesTheRowsOfThePageDownloaded) {
  const std::string page = ListFile("saved.html", kIndexPage);
  const std::string output = dir_ + "/out";
  for (const Args& format : {Args{}, Args{"--json"}, Args{"-o", output},
                             Args{"--csv", "-o", output}, Args{"--json", "-o", output}}) {
    const auto rows = [&](const Args& source) {
      const ProcessResult r = Run(format + Args{"-q"} + source);
      EXPECT_EQ(r.status, 0) << r.err;
      return r.out + (fs::exists(output) ? ReadFile(output) : "");
    };
    const size_t requestsBefore = server_.Requests().size();
    const std::string downloaded = rows({"-u", U("/index.html")});
    EXPECT_EQ(server_.Requests().size(), requestsBefore + 1);
    EXPECT_THAT(downloaded, ::testing::HasSubstr(U("/x,y.html")));
    EXPECT_EQ(rows({"--page", page, "--base", U("/index.html")}), downloaded) << format.size();
    EXPECT_EQ(server_.Requests().size(), requestsBefore + 1) << "a page from a file was fetched";
    fs::remove(output);
  }
}

TEST_F(ExtractProcessTest, PagesFromFilesComeFirstUnderTheirOwnAddress) {
  fs::create_directory(dir_ + "/saved");
  ListFile("saved/p.html", "<a href=\"a.html\"> <a href=\"/b\"> <a href=\"http://o.example/x\">");
  const ProcessResult r =
      Run({"-q", "-u", U("/empty.html"), "--page", dir_ + "/saved/../saved/p.html", "--page", "-"},
          "<a href=\"s.htm\">");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string saved = "file://" + dir_ + "/saved/";
  EXPECT_EQ(r.out, saved + "p.html\n" + saved + "a.html\n" + saved + "b/\n" +
                       "http://o.example/x/\n" + "file:///dev/stdin\n" + "file:///dev/s.htm\n" +
                       U("/empty.html") + "\n");
  EXPECT_EQ(RequestedPaths(), Args{"/empty.html"});

  // With pages alone, standard input is a page, not a list.
  const ProcessResult based = Run({"-q", "--page", "-", "--base", "example.org/dir"},
                                  "<a href=\"x\"> " + U("/index.html") + "\n");
  EXPECT_EQ(based.out, "http://example.org/dir/\nhttp://example.org/dir/x/\n");
  EXPECT_EQ(RequestedPaths(), Args{"/empty.html"}) << "standard input was read as a list";

  const ProcessResult missing = Run({"--page", dir_ + "/none.html", "-u", U("/empty.html")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "verdigo-extract: cannot read " + dir_ + "/none.html: File not found\n");
  EXPECT_EQ(RequestedPaths(), Args{"/empty.html"}) << "a run went ahead without its page";
}

// ---- Carrying on after an interruption -----------------------------------------

// Eight pages, the third not found, with commas in their links for the CSV.
// The interrupted run takes one page at a time and stops while it waits
// for the fifth.
class CarryOnTest : public ExtractProcessTest {
 protected:
  static constexpr int kPages = 8;
  static constexpr int kStalled = 5;

  void SetUp() override {
    ExtractProcessTest::SetUp();
    std::string list;
    for (int i = 1; i <= kPages; ++i) {
      if (i != 3) server_.Serve(Path(i), Body(i));
      list += (i == 2 ? U(Path(i)).substr(7) : U(Path(i))) + "\n";
    }
    list_ = ListFile("list.txt", list);
    output_ = dir_ + "/out";
    part_ = dir_ + "/.out.verdigo-part";
    record_ = dir_ + "/.out.verdigo-record";
  }

  static std::string Path(int i) { return "/r" + std::to_string(i) + ".html"; }
  static std::string Body(int i) {
    return "<a href=\"l" + std::to_string(i) + ",x\"> <a href=\"/same.htm\">";
  }

  // Runs with `format` until the run waits for page kStalled, then ends it
  // with `signal`; the rows of a page half written are left at the end.
  void Interrupt(const Args& format, int signal) {
    server_.Stall(Path(kStalled));
    const pid_t pid = Start(format + Args{"-q", "-j", "1", "-o", output_, list_}, "");
    ASSERT_TRUE(AwaitRequests(server_.Requests().size() + kStalled));
    ::kill(pid, signal);
    ASSERT_EQ(Wait(pid).signal, signal);
    // Nothing can clean up after a kill; the next run makes a new folder.
    for (const auto& entry : fs::directory_iterator(temp_)) fs::remove_all(entry.path());
    EXPECT_FALSE(fs::exists(output_)) << "an interrupted run took the final name";
    std::ofstream(part_, std::ios::app) << "http://127.0.0.1/half-a-pa";
    server_.Serve(Path(kStalled), Body(kStalled));
  }

  std::vector<std::string> PathsRequestedSince(size_t first) const {
    const std::vector<std::string> all = RequestedPaths();
    return {all.begin() + static_cast<long>(std::min(first, all.size())), all.end()};
  }

  std::string list_, output_, part_, record_;
};

struct Interruption {
  Args format;
  int signal;
};

class CarryOnAfterTest : public CarryOnTest, public ::testing::WithParamInterface<Interruption> {};

TEST_P(CarryOnAfterTest, GivesTheBytesOfAnUninterruptedRunFetchingOnlyThePagesLeft) {
  const Args& format = GetParam().format;
  const std::string whole = dir_ + "/whole";
  EXPECT_EQ(Run(format + Args{"-q", "-o", whole, list_}).status, 1);
  Interrupt(format, GetParam().signal);

  const size_t requestsBefore = server_.Requests().size();
  const ProcessResult carried = Run(format + Args{"-q", "-j", "4", "-c", "-o", output_, list_});
  EXPECT_EQ(carried.status, 1) << "the page not found before the interruption still counts";
  EXPECT_EQ(carried.err, "");
  EXPECT_EQ(ReadFile(output_), ReadFile(whole));
  EXPECT_THAT(PathsRequestedSince(requestsBefore),
              ::testing::UnorderedElementsAre(Path(5), Path(6), Path(7), Path(8)));
  EXPECT_FALSE(fs::exists(part_));
  EXPECT_FALSE(fs::exists(record_));
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, CarryOnAfterTest,
                         ::testing::Values(Interruption{{}, SIGINT}, Interruption{{}, SIGKILL},
                                           Interruption{{"--csv"}, SIGINT},
                                           Interruption{{"--csv"}, SIGKILL},
                                           Interruption{{"--json"}, SIGINT},
                                           Interruption{{"--json"}, SIGKILL}));

// A power loss may lose the rows that the latest slot counts: the run
// then carries on from the checkpoint, written only after its rows were synced.
TEST_F(CarryOnTest, WithTheLatestSlotLostTheRunCarriesOnFromTheCheckpoint) {
  const std::string whole = dir_ + "/whole";
  EXPECT_EQ(Run({"-q", "--json", "-o", whole, list_}).status, 1);
  Interrupt({"--json"}, SIGKILL);
  std::string record = ReadFile(record_);
  ASSERT_EQ(record.size(), 128u);
  record[64 + 20] ^= 1;
  WriteFile(record_, record);
  const ProcessResult carried = Run({"-q", "--json", "-c", "-o", output_, list_});
  EXPECT_EQ(carried.status, 1) << carried.err;
  EXPECT_EQ(ReadFile(output_), ReadFile(whole));
  EXPECT_FALSE(fs::exists(record_));
}

// What cannot be carried on is refused before anything is fetched or changed.
TEST_F(CarryOnTest, ARunThatDoesNotMatchTheRecordIsRefused) {
  Interrupt({}, SIGKILL);
  const std::string rows = ReadFile(part_);
  const std::string record = ReadFile(record_);
  std::string changed = ReadFile(list_);
  changed.replace(changed.find("r2"), 2, "r9");
  const std::string refusedList =
      "verdigo-extract: cannot carry on " + output_ +
      ": the run it continues began with 4 other pages; give the same pages and lists, or run "
      "without -c to start afresh\n";
  const struct {
    Args args;
    std::string err;
  } cases[] = {
      {{ListFile("changed.txt", changed)}, refusedList},
      {{ListFile("short.txt", U(Path(1)) + "\n" + U(Path(2)).substr(7))}, refusedList},
      {{"--page", list_, list_}, refusedList},
      {{"--csv", list_},
       "verdigo-extract: cannot carry on " + output_ +
           ": it was begun in the text format; give the options it was begun with; without -c a "
           "run starts afresh\n"},
  };
  const size_t requestsBefore = server_.Requests().size();
  for (const auto& c : cases) {
    const ProcessResult r = Run(Args{"-q", "-c", "-o", output_} + c.args);
    EXPECT_EQ(r.status, 2) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
  }
  EXPECT_EQ(server_.Requests().size(), requestsBefore);
  EXPECT_EQ(ReadFile(part_), rows);
  EXPECT_EQ(ReadFile(record_), record);
  EXPECT_FALSE(fs::exists(output_));

  WriteFile(record_, std::string(record.size(), 'x'));
  const ProcessResult damaged = Run({"-q", "-c", "-o", output_, list_});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_EQ(damaged.err, "verdigo-extract: cannot carry on " + output_ +
                             ": its record .out.verdigo-record is damaged; without -c a run "
                             "starts afresh\n");

  // Without -c the leftovers give way to a new run, which says so once.
  const ProcessResult afresh = Run({"-q", "-o", output_, list_});
  EXPECT_EQ(afresh.status, 1);
  EXPECT_EQ(afresh.err, "verdigo-extract: starting afresh: the rows an interrupted run left for " +
                            output_ + " are dropped (-c carries on from them)\n" +
                            "verdigo-extract: URL not found: " + U(Path(3)) + " (HTTP 404)\n");
  EXPECT_THAT(ReadFile(output_), ::testing::StartsWith(WithCrLf(U(Path(1)) + "\n")));
  EXPECT_FALSE(fs::exists(part_));
}

}  // namespace
}  // namespace verdigo

#include "common/safe_file_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "common/error_report.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

namespace fs = std::filesystem;
using testing::Entries;
using testing::ReadTestFile;
using testing::ScopedTempDir;
using testing::WriteTestFile;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::string SaveFailure(const std::string& path, const std::string& bytes = "new") {
  try {
    WriteFileAtomically(path, bytes);
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "saved";
}

TEST(SafeFileWriter, ReplacesARegularFileWholeAndKeepsItsMode) {
  const ScopedTempDir folder;
  for (const mode_t mode : {0600, 0644}) {
    WriteTestFile(folder / "f", "old content");
    ::chmod((folder / "f").c_str(), mode);
    WriteFileAtomically(folder / "f", "new");
    EXPECT_EQ(ReadTestFile(folder / "f"), "new");
    EXPECT_EQ(ModeOf(folder / "f"), mode);
  }
  const mode_t mask = ::umask(027);
  WriteFileAtomically(folder / "new", "n");
  ::umask(mask);
  EXPECT_EQ(ModeOf(folder / "new"), 0666 & ~mask) << "the umask read at start-up";

  {
    SafeFileWriter unfinished = SafeFileWriter::Open(folder / "f");
    unfinished.Write(std::string(200000, 'x'));
  }
  EXPECT_EQ(ReadTestFile(folder / "f"), "new");
  EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"f", "new"}));
}

TEST(SafeFileWriter, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const ScopedTempDir folder;
  WriteTestFile(folder / "f", "old");
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit small = before;
  small.rlim_cur = 4;
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string failure = SaveFailure(folder / "f", "too long");
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(failure, "File too large");
  EXPECT_EQ(ReadTestFile(folder / "f"), "old");
  EXPECT_EQ(Entries(folder.path()), std::set<std::string>{"f"});
}

TEST(SafeFileWriter, FollowsLinksToTheFinalTargetAndReplacesItThere) {
  const ScopedTempDir here;
  const ScopedTempDir there;
  WriteTestFile(there / "target", "old");
  ::chmod((there / "target").c_str(), 0640);
  ASSERT_EQ(::symlink((there / "target").c_str(), (there / "hop").c_str()), 0);
  ASSERT_EQ(::symlink((there / "hop").c_str(), (here / "link").c_str()), 0);
  ASSERT_EQ(::symlink("later", (here / "dangling").c_str()), 0);
  WriteFileAtomically(here / "link", "new");
  WriteFileAtomically(here / "dangling", "made");
  EXPECT_TRUE(fs::is_symlink(here / "link"));
  EXPECT_TRUE(fs::is_symlink(there / "hop"));
  EXPECT_EQ(ReadTestFile(there / "target"), "new");
  EXPECT_EQ(ModeOf(there / "target"), 0640u);
  EXPECT_EQ(ReadTestFile(here / "later"), "made");
  EXPECT_EQ(Entries(here.path()), (std::set<std::string>{"dangling", "later", "link"}));
  EXPECT_EQ(Entries(there.path()), (std::set<std::string>{"hop", "target"}));
}

TEST(SafeFileWriter, WritesInPlaceWhatItMustNotReplace) {
  const ScopedTempDir folder;
  // A file with a second link: both names see the new content.
  WriteTestFile(folder / "f", "old content");
  ASSERT_EQ(::link((folder / "f").c_str(), (folder / "second").c_str()), 0);
  WriteFileAtomically(folder / "f", "new");
  EXPECT_EQ(ReadTestFile(folder / "second"), "new");

  // A FIFO stays a FIFO and its reader gets the bytes.
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const UniqueFd reader(::open((folder / "fifo").c_str(), O_RDONLY | O_NONBLOCK));
  WriteFileAtomically(folder / "fifo", "through");
  char got[16] = {};
  EXPECT_EQ(::read(reader.get(), got, sizeof got), 7);
  EXPECT_STREQ(got, "through");
  EXPECT_TRUE(fs::is_fifo(folder / "fifo"));

  // A device is written, never replaced; so is a pipe behind /dev/fd.
  WriteFileAtomically("/dev/null", "gone");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const UniqueFd pipeReader(pipeFds[0]);
  WriteFileAtomically("/dev/fd/" + std::to_string(pipeFds[1]), "piped");
  ::close(pipeFds[1]);
  char piped[8] = {};
  EXPECT_EQ(::read(pipeReader.get(), piped, sizeof piped), 5);
  EXPECT_STREQ(piped, "piped");
  EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"f", "fifo", "second"}));
}

// A writable file in a folder the user may not write: as root, a child that
// becomes nobody tries it.
TEST(SafeFileWriter, WritesInPlaceInAFolderItMayNotWrite) {
  const ScopedTempDir folder;
  WriteTestFile(folder / "f", "old content");
  // And a file the user may not write, in a folder the user may write.
  ASSERT_TRUE(fs::create_directory(folder / "open"));
  WriteTestFile(folder / "open/ro", "read only");
  ::chmod((folder / "open/ro").c_str(), 0444);
  const bool root = ::geteuid() == 0;
  if (root) {
    for (const char* name : {"f", "open", "open/ro"}) {
      ASSERT_EQ(::chown((folder / name).c_str(), 65534, 65534), 0);
    }
    ::chmod(folder.path().c_str(), 0755);
  } else {
    ::chmod(folder.path().c_str(), 0555);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const bool saved = SaveFailure(folder / "f") == "saved";
    const bool refused = SaveFailure(folder / "new") == "Permission denied" &&
                         SaveFailure(folder / "open/ro") == "Permission denied";
    ::_exit(saved && refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadTestFile(folder / "f"), "new");
  EXPECT_EQ(ReadTestFile(folder / "open/ro"), "read only");
  EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"f", "open"}));
  EXPECT_EQ(Entries(folder / "open"), std::set<std::string>{"ro"});
}

TEST(SafeFileWriter, FailsAtOpenWhenTheTargetCannotBeWritten) {
  const ScopedTempDir folder;
  WriteTestFile(folder / "file", "keep");
  EXPECT_EQ(SaveFailure(folder / "no/such/dir/x"), "Path not found");
  EXPECT_EQ(SaveFailure(folder / "file/x"), "Path not found");
  EXPECT_EQ(SaveFailure(folder.path()), "Is a directory");
  EXPECT_EQ(SaveFailure(folder.path() + "/"), "Is a directory");
  EXPECT_EQ(SaveFailure("/proc/verdigo-new.txt"), kFolderTakesNoNewFile);
  EXPECT_EQ(ReadTestFile(folder / "file"), "keep");
  EXPECT_EQ(Entries(folder.path()), std::set<std::string>{"file"});
}

}  // namespace
}  // namespace verdigo

#include "common/temp_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "common/error_report.h"
#include "common/safe_file_writer.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

namespace fs = std::filesystem;
using testing::Entries;
using testing::PrivateTempFolderPath;
using testing::ReadTestFile;
using testing::ScopedTempDir;
using testing::WriteTestFile;

void WritePage(int index, const std::string& bytes) {
  const UniqueFd file = CreatePageFile(index);
  ASSERT_EQ(::write(file.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Each test starts without a private folder, with TEMP set to its own folder.
class PrivateTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    RemovePrivateTempFolder();
    ::setenv("TEMP", base.path().c_str(), 1);
    ::unsetenv("TMPDIR");
  }
  void TearDown() override {
    RemovePrivateTempFolder();
    ::unsetenv("TEMP");
    ::unsetenv("TMPDIR");  // the test framework finds its own folder through it
  }

  ScopedTempDir base;
};

TEST_F(PrivateTempFolder, IsPrivateAndHoldsThePageFiles) {
  WritePage(1, "half a page");
  WritePage(2001, "x");  // as many as the pages under way need
  const std::string folder = PrivateTempFolderPath();
  EXPECT_EQ(fs::path(folder).parent_path(), fs::path(base.path()));
  EXPECT_EQ(fs::path(folder).filename().string().rfind("verdigo-", 0), 0u);
  EXPECT_EQ(TempPagePath(1), folder + "/HTML1.tmp");
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(Entries(folder), (std::set<std::string>{"HTML1.tmp", "HTML2001.tmp"}));
  RemovePageFile(2001);
  EXPECT_EQ(ReadTestFile(TempPagePath(1)), "half a page");
  EXPECT_THROW(CreatePageFile(0), Failure);
  RemovePrivateTempFolder();
  RemovePrivateTempFolder();
  EXPECT_TRUE(Entries(base.path()).empty());
}

// A page file kept for the next page leaves the private folder at once and
// comes back empty; what is kept goes at the end of the run, and with the
// folder.
TEST_F(PrivateTempFolder, KeptPageFilesLeaveTheFolderAndComeBackEmpty) {
  WritePage(1, "first page");
  WritePage(2, "second page");
  KeepPageFileEmpty(1);
  KeepPageFileEmpty(2);
  const std::string folder = PrivateTempFolderPath();
  EXPECT_TRUE(Entries(folder).empty());
  WritePage(7, "");
  EXPECT_EQ(ReadTestFile(TempPagePath(7)), "");
  WritePage(7, "seventh");
  EXPECT_EQ(ReadTestFile(TempPagePath(7)), "seventh");
  EXPECT_EQ(Entries(folder), std::set<std::string>{"HTML7.tmp"});
  EXPECT_EQ(Entries(base.path()).size(), 2u) << "the private folder and the spares";
  RemoveKeptPageFiles();
  KeepPageFileEmpty(7);
  WritePage(1, "x");
  RemovePageFile(1);
  EXPECT_TRUE(Entries(folder).empty());
  RemovePrivateTempFolder();
  EXPECT_TRUE(Entries(base.path()).empty());
}

TEST_F(PrivateTempFolder, ALinkPutInItsPlaceSendsNothingElsewhere) {
  WritePage(1, "first");
  const std::string folder = PrivateTempFolderPath();
  // Another user renames the folder and puts a link to a victim in its place.
  const std::string victim = base / "victim";
  fs::create_directory(victim);
  WriteTestFile(victim + "/precious", "keep");
  fs::rename(folder, base / "moved");
  fs::create_directory_symlink(victim, folder);

  WritePage(2, "second");
  RemovePageFile(1);
  RemovePrivateTempFolder();
  EXPECT_EQ(Entries(victim), std::set<std::string>{"precious"});
  EXPECT_EQ(ReadTestFile(victim + "/precious"), "keep");
  EXPECT_TRUE(fs::is_symlink(folder));
  EXPECT_TRUE(Entries(base / "moved").empty()) << "the page files stay in the real folder";
}

TEST_F(PrivateTempFolder, IsMadeAgainWhenItDisappears) {
  WritePage(1, "x");
  fs::remove_all(PrivateTempFolderPath());
  WritePage(1, "again");
  EXPECT_EQ(ReadTestFile(TempPagePath(1)), "again");
  EXPECT_EQ(Entries(base.path()).size(), 1u);
}

TEST_F(PrivateTempFolder, FallsBackFromAMissingTempToTmpdir) {
  const ScopedTempDir tmpdir;
  ::setenv("TEMP", (base / "missing").c_str(), 1);
  ::setenv("TMPDIR", tmpdir.path().c_str(), 1);
  WritePage(1, "x");
  EXPECT_EQ(fs::path(PrivateTempFolderPath()).parent_path(), fs::path(tmpdir.path()));
  RemovePrivateTempFolder();
  ::setenv("TEMP", "", 1);
  WritePage(1, "x");
  EXPECT_EQ(fs::path(PrivateTempFolderPath()).parent_path(), fs::path(tmpdir.path()));
}

// In a child shut in a folder without /tmp, where nothing can hold the folder.
TEST_F(PrivateTempFolder, SaysWhyWhenNoPlaceCanHoldIt) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chroot(base.path().c_str()) != 0 || ::chdir("/") != 0) ::_exit(77);
    ::setenv("TEMP", "/missing", 1);
    try {
      CreatePageFile(1);
    } catch (const Failure& failure) {
      const bool expected = std::string(failure.what()) ==
                            "Cannot make a temporary folder in /missing (Path not found), "
                            "/tmp (Path not found)";
      ::_exit(expected ? 0 : 1);
    }
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "chroot is not allowed here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A child that holds a lock on `folder` until `release` is closed, as a
// live run holds its own.
pid_t ChildHoldingLockOn(const std::string& folder, int (&release)[2]) {
  int ready[2];
  if (::pipe(ready) != 0 || ::pipe(release) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
    ::close(release[1]);
    (void)!::write(ready[1], locked ? "y" : "n", 1);
    char byte;
    (void)!::read(release[0], &byte, 1);  // until the parent closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char answer = 'n';
  (void)!::read(ready[0], &answer, 1);
  ::close(ready[0]);
  return answer == 'y' ? child : -1;
}

// Making the folder removes what killed runs left: folders of the program's
// naming, of this user, that no process holds; nothing else, and no link
// is followed.
TEST_F(PrivateTempFolder, MakingItRemovesOnlyTheFoldersKilledRunsLeft) {
  const std::string victim = base / "victim";
  fs::create_directory(victim);
  WriteTestFile(victim + "/precious", "keep");
  struct Entry {
    std::string name;
    enum { kFolderWithPages, kEmptyFolder, kFile, kLinkToVictim, kHeldFolder } kind;
    bool kept;
  };
  const Entry entries[] = {
      {"verdigo-Ab3xYz", Entry::kFolderWithPages, false},
      {"verdigo-000000", Entry::kEmptyFolder, false},
      {".verdigo-Ab3xYz", Entry::kFolderWithPages, false},  // a killed run's spares
      {"verdigo-Held01", Entry::kHeldFolder, true},
      {"verdigo-Link01", Entry::kLinkToVictim, true},
      {"verdigo-File01", Entry::kFile, true},
      {"verdigo-abc", Entry::kFolderWithPages, true},
      {"verdigo-abcdefg", Entry::kFolderWithPages, true},
      {"verdigo-ab.def", Entry::kFolderWithPages, true},
      {"other-Ab3xYz", Entry::kFolderWithPages, true},
  };
  std::set<std::string> expected = {"victim"};
  for (const Entry& entry : entries) {
    const std::string path = base / entry.name;
    if (entry.kind == Entry::kLinkToVictim) {
      fs::create_directory_symlink(victim, path);
    } else if (entry.kind == Entry::kFile) {
      WriteTestFile(path, "x");
    } else {
      fs::create_directory(path);
      if (entry.kind == Entry::kFolderWithPages) WriteTestFile(path + "/HTML1.tmp", "page");
    }
    if (entry.kept) expected.insert(entry.name);
  }
  int release[2];
  const pid_t holder = ChildHoldingLockOn(base / "verdigo-Held01", release);
  ASSERT_GT(holder, 0);

  RemoveLeftoverTempFolders();
  ::close(release[1]);
  ::waitpid(holder, nullptr, 0);
  expected.insert(fs::path(PrivateTempFolderPath()).filename().string());
  EXPECT_EQ(Entries(base.path()), expected);
  EXPECT_EQ(Entries(victim), std::set<std::string>{"precious"});
  EXPECT_EQ(Entries(base / "verdigo-abc"), std::set<std::string>{"HTML1.tmp"});

  // Once its holder is gone, the held folder goes the next time one is made.
  RemovePrivateTempFolder();
  RemoveLeftoverTempFolders();
  EXPECT_EQ(Entries(base.path()).count("verdigo-Held01"), 0u);
}

// Forks a child that makes page files and starts a save, then raises
// `signal`; returns the child's wait status.
int StatusOfChildKilledBy(int signal, const std::string& base, bool ignoredAtStart) {
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (ignoredAtStart) ::signal(signal, SIG_IGN);
    RemoveTempFolderOnTerminatingSignals();
    ::close(CreatePageFile(1).release());
    ::close(CreatePageFile(2001).release());
    ::close(CreatePageFile(3).release());
    KeepPageFileEmpty(3);  // a spare beside the private folder
    {
      SafeFileWriter save = SafeFileWriter::Open(base + "/saved.txt");
      save.Write(std::string(100000, 'x'));  // past the buffer: the file exists
      ::raise(signal);
    }
    RemovePrivateTempFolder();
    ::_exit(42);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST_F(PrivateTempFolder, TerminatingSignalsLeaveNothingBehindUnlessIgnoredAtStart) {
  WriteTestFile(base / "saved.txt", "old");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    SCOPED_TRACE(strsignal(signal));
    const int status = StatusOfChildKilledBy(signal, base.path(), false);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(Entries(base.path()), std::set<std::string>{"saved.txt"});
    EXPECT_EQ(ReadTestFile(base / "saved.txt"), "old");
  }
  const int status = StatusOfChildKilledBy(SIGHUP, base.path(), true);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
}

}  // namespace
}  // namespace verdigo

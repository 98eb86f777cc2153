#include "common/file_routines.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "common/error_report.h"

namespace verdigo {
namespace {

std::string MakeFolder() {
  std::string pattern = ::testing::TempDir() + "verdigo-files-XXXXXX";
  return ::mkdtemp(pattern.data());
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(FileExists, OnlyForPathsWhoseTimeCanBeRead) {
  const std::string folder = MakeFolder();
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(folder + "/missing"));
  Write(folder + "/f", "x");
  EXPECT_TRUE(FileExists(folder + "/f"));
}

TEST(RemoveFile, DeletesReadOnlyFilesAndIgnoresMissingOnes) {
  const std::string folder = MakeFolder();
  Write(folder + "/ro", "x");
  ::chmod((folder + "/ro").c_str(), 0444);
  int yields = 0;
  RemoveFile(folder + "/ro", [&] { ++yields; });
  EXPECT_FALSE(FileExists(folder + "/ro"));
  EXPECT_EQ(yields, 1);
  RemoveFile(folder + "/ro", {});  // no throw
}

TEST(WriteFileAtomically, ReplacesWholeOrLeavesTheOldFile) {
  const std::string folder = MakeFolder();
  const std::string path = folder + "/out.txt";
  Write(path, "old");
  WriteFileAtomically(path, "new\r\n");
  EXPECT_EQ(ReadWholeFile(path, 100), "new\r\n");
  EXPECT_THROW(WriteFileAtomically(folder + "/no/such/dir/x", "y"), Failure);
  EXPECT_EQ(ReadWholeFile(path, 100), "new\r\n");
  EXPECT_THROW(ReadWholeFile(path, 2), Failure);
}

TEST(PrivateTempFolder, IsPrivateUnderTempAndRemovedWithItsFiles) {
  const std::string base = MakeFolder();
  ::setenv("TEMP", base.c_str(), 1);
  const std::string page = TempPagePath(1);
  const std::string folder = PrivateTempFolder();
  EXPECT_EQ(folder.rfind(base + "/verdigo-", 0), 0u) << folder;
  EXPECT_EQ(page, folder + "/HTML1.tmp");
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  Write(page, "x");
  RemovePrivateTempFolder();
  EXPECT_FALSE(FileExists(folder));
}

TEST(PrivateTempFolder, IsRemovedWhenTheProgramIsKilled) {
  const std::string base = MakeFolder();
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("TEMP", base.c_str(), 1);
    RemoveTempFolderOnTerminatingSignals(1);
    Write(TempPagePath(1), "half a page");
    ::raise(SIGTERM);
    ::_exit(0);  // not reached
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(::rmdir(base.c_str()), 0) << "the private folder was left behind";
}

}  // namespace
}  // namespace verdigo

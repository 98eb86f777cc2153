#include "common/file_routines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/error_report.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

using testing::ScopedTempDir;
using testing::WriteTestFile;

TEST(FileExists, OnlyForPathsWhoseTimeCanBeRead) {
  const ScopedTempDir folder;
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(folder / "missing"));
  WriteTestFile(folder / "f", "x");
  EXPECT_TRUE(FileExists(folder / "f"));
}

std::string ReadFailure(const std::string& path) {
  try {
    ReadWholeFile(path, 100);
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "read";
}

TEST(ReadWholeFile, FollowsLinksAndNamesAMissingFolderAPathNotFound) {
  const ScopedTempDir folder;
  WriteTestFile(folder / "list.txt", "a\r\nb");
  ASSERT_EQ(::symlink("list.txt", (folder / "link").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(folder / "link", 100), "a\r\nb");
  EXPECT_EQ(ReadFailure(folder / "link"), "read");
  EXPECT_EQ(ReadFailure(folder / "missing.txt"), "File not found");
  EXPECT_EQ(ReadFailure(folder / "no/such/list.txt"), "Path not found");
  EXPECT_EQ(ReadFailure(folder / "list.txt/x"), "Path not found");
  EXPECT_EQ(ReadFailure(folder.path()), "Is a directory");
  WriteTestFile(folder / "big", std::string(101, 'x'));
  EXPECT_EQ(ReadFailure(folder / "big"), "File too large");
}

TEST(ReadProcessUmask, ReadsWhatIsSetAndLeavesIt) {
  const mode_t before = ::umask(027);
  const mode_t read = ReadProcessUmask();
  EXPECT_EQ(::umask(before), 027) << "the read changed the umask";
  EXPECT_EQ(read, 027);
}

}  // namespace
}  // namespace verdigo

#include "platform/win/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "tests/support/testenv.h"

namespace {

using FoldersTest = vlrtest::HomeTest;

TEST_F(FoldersTest, FoldersLiveUnderVlrHome) {
  EXPECT_EQ(win::ConfigFolder(), home_.Home() + "/config");
  EXPECT_EQ(win::AppDataFolder(), home_.Home() + "/data");
  EXPECT_TRUE(win::DirectoryExists(win::ConfigFolder()));
  EXPECT_EQ(win::TempFolder(), home_.Tmp() + "/");
}

TEST_F(FoldersTest, TempFileNamesAreUniquePrivateAndKeepThreePrefixCharacters) {
  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    std::string path;
    ASSERT_EQ(win::GetTempFileName(win::TempFolder(), "ATgn", path), ERROR_SUCCESS);
    EXPECT_TRUE(names.insert(path).second) << path;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    EXPECT_EQ(name.substr(0, 3), "ATg");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
}

TEST_F(FoldersTest, TempFileInMissingFolderFails) {
  std::string path;
  EXPECT_NE(win::GetTempFileName(home_.Root() + "/no/such/dir", "ATgn", path), ERROR_SUCCESS);
}

TEST_F(FoldersTest, PrivateFileReplacesContentAndMode) {
  const std::string path = home_.Root() + "/shared.txt";
  vlrtest::WriteFile(path, "old content");
  chmod(path.c_str(), 0644);
  const int fd = win::CreatePrivateFile(path);
  ASSERT_GE(fd, 0);
  close(fd);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(FoldersTest, CreateDirectoriesMakesParents) {
  const std::string deep = home_.Root() + "/a/b/c";
  EXPECT_TRUE(win::CreateDirectories(deep));
  EXPECT_TRUE(win::DirectoryExists(deep));
  EXPECT_FALSE(win::FileExists(deep));
}

}  // namespace

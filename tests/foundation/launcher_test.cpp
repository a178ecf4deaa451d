#include "foundation/launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/win/folders.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

class LauncherTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    out_ = home_.Root() + "/launched.txt";
    script_ = home_.Root() + "/fake browser.sh";
    vlrtest::WriteFile(script_, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + out_ + "\"\n");
    chmod(script_.c_str(), 0700);
  }

  void Associate(const char* verb, const std::string& command) {
    win::RegKey htm, cmd;
    win::RegKey::Create(win::Hive::ClassesRoot, ".htm", "", htm);
    htm.SetString("", "htmlfile");
    win::RegKey::Create(win::Hive::ClassesRoot, std::string("htmlfile\\shell\\") + verb + "\\command", "", cmd);
    cmd.SetString("", command);
  }

  std::string Launched() {
    for (int i = 0; i < 500 && vlrtest::ReadFile(out_).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return vlrtest::ReadFile(out_);
  }

  std::string out_, script_;
};

TEST_F(LauncherTest, PercentOneInsideQuotesIsReplacedByTheUrl) {
  Associate("opennew", "\"" + script_ + "\" -nohome \"%1\"");
  ASSERT_EQ(CLauncher::LaunchBrowser("https://example.test/a b?x=1"), S_OK);
  EXPECT_EQ(Launched(), "-nohome|https://example.test/a b?x=1|");
}

TEST_F(LauncherTest, UrlIsAppendedWhenThereIsNoPercentOne) {
  Associate("opennew", "\"" + script_ + "\" --flag");
  ASSERT_EQ(CLauncher::LaunchBrowser("https://example.test/x"), S_OK);
  EXPECT_EQ(Launched(), "--flag|https://example.test/x|");
}

TEST_F(LauncherTest, FallsBackFromOpenNewToOpen) {
  Associate("open", "\"" + script_ + "\" \"%1\"");
  ASSERT_EQ(CLauncher::LaunchBrowser("https://example.test/open"), S_OK);
  EXPECT_EQ(Launched(), "https://example.test/open|");
}

TEST_F(LauncherTest, FileTypeWithoutCommandFails) {
  win::RegKey htm;
  win::RegKey::Create(win::Hive::ClassesRoot, ".htm", "", htm);
  htm.SetString("", "htmlfile");
  EXPECT_TRUE(FAILED(CLauncher::LaunchBrowser("https://example.test/")));
  htm.SetString("", "");
  EXPECT_TRUE(FAILED(CLauncher::LaunchBrowser("https://example.test/")));
}

TEST_F(LauncherTest, WithoutAssociationTheDefaultBrowserOpensIt) {
  setenv("BROWSER", ("\"" + script_ + "\"").c_str(), 1);
  const HRESULT hr = CLauncher::LaunchBrowser("https://example.test/default");
  unsetenv("BROWSER");
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(Launched(), "https://example.test/default|");
}

TEST_F(LauncherTest, SiblingStartsFromTheModulesFolder) {
  const std::string dir = home_.Root() + "/install dir/";
  win::CreateDirectories(dir);
  const std::string agent = dir + "vlrProxy";
  vlrtest::WriteFile(agent, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + out_ + "\"\n");
  chmod(agent.c_str(), 0700);
  EXPECT_NE(CLauncher::LaunchSibling(dir + "libvlrAddin.so", "vlrProxy", "\"/tmp/a directive.xml\""), 0);
  EXPECT_EQ(Launched(), "/tmp/a directive.xml|");
  EXPECT_EQ(CLauncher::LaunchSibling(dir + "libvlrAddin.so", "missing-program", ""), 0);
}

}  // namespace

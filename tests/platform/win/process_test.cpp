#include "platform/win/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/win/folders.h"
#include "platform/win/module.h"
#include "tests/support/testenv.h"

namespace {

TEST(SplitCommandLineTest, BlanksSeparateQuotesGroup) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  } cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"  prog   a\tb  ", {"prog", "a", "b"}},
      {"\"/opt/my app/prog\" --x \"two words\"", {"/opt/my app/prog", "--x", "two words"}},
      {"prog \"\"", {"prog", ""}},
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(win::SplitCommandLine(c.line), c.args) << c.line;
}

// Waits (bounded) for a file that a detached process writes.
bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (win::FileExists(path) && !vlrtest::ReadFile(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

using ProcessTest = vlrtest::HomeTest;

TEST_F(ProcessTest, DetachedProcessRunsWithGroupedArguments) {
  const std::string out = home_.Root() + "/out.txt";
  const std::string script = home_.Root() + "/my prog.sh";
  vlrtest::WriteFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + out + "\"\n");
  chmod(script.c_str(), 0700);
  ASSERT_TRUE(win::CreateDetachedProcess("\"" + script + "\" \"first arg\" second"));
  ASSERT_TRUE(WaitForFile(out));
  EXPECT_EQ(vlrtest::ReadFile(out), "first arg|second|");
}

TEST_F(ProcessTest, DetachedProcessGetsNoStrayDescriptor) {
  // Standard input is /dev/null; any other descriptor of it in the program must be one this
  // process passes on itself (the test runner may have left some open).
  const std::string listing = home_.Root() + "/fds.tmp";
  const std::string out = home_.Root() + "/fds.txt";
  const std::string script = home_.Root() + "/fds.sh";
  vlrtest::WriteFile(script, "#!/bin/sh\nls -l /proc/self/fd > \"" + listing + "\"\nmv \"" + listing +
                                 "\" \"" + out + "\"\n");
  chmod(script.c_str(), 0700);
  ASSERT_TRUE(win::CreateDetachedProcess(script));
  ASSERT_TRUE(WaitForFile(out));
  const std::string text = vlrtest::ReadFile(out);
  std::size_t lineStart = 0;
  while (lineStart < text.size()) {
    const std::size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
    const std::string line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    const std::size_t arrow = line.find(" -> /dev/null");
    if (arrow == std::string::npos) continue;
    const std::size_t number = line.find_last_of(' ', arrow - 1) + 1;
    const int fd = std::stoi(line.substr(number, arrow - number));
    if (fd == STDIN_FILENO) continue;
    const int flags = ::fcntl(fd, F_GETFD);
    EXPECT_TRUE(flags >= 0 && !(flags & FD_CLOEXEC)) << "descriptor " << fd << " is not ours\n" << text;
  }
}

TEST_F(ProcessTest, MissingProgramFailsWithFileNotFound) {
  EXPECT_FALSE(win::CreateDetachedProcess("/no/such/program --flag"));
  EXPECT_EQ(win::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(win::SystemMessage(win::GetLastError()).empty());
  EXPECT_FALSE(win::CreateDetachedProcess("   "));
}

TEST_F(ProcessTest, BrowserComesFromTheEnvironment) {
  const std::string out = home_.Root() + "/url.txt";
  const std::string script = home_.Root() + "/browser.sh";
  vlrtest::WriteFile(script, "#!/bin/sh\nprintf '%s' \"$*\" > " + out + "\n");
  chmod(script.c_str(), 0700);
  setenv("BROWSER", (script + " --new-tab %s").c_str(), 1);
  const bool ok = win::OpenUrlInDefaultBrowser("http://127.0.0.1:9/a?b=c&d");
  unsetenv("BROWSER");
  ASSERT_TRUE(ok);
  ASSERT_TRUE(WaitForFile(out));
  EXPECT_EQ(vlrtest::ReadFile(out), "--new-tab http://127.0.0.1:9/a?b=c&d");
}

TEST(ModuleTest, ModuleFolderIsThisTestProgramsFolder) {
  const std::string folder = win::GetModuleFolder(reinterpret_cast<const void*>(&WaitForFile));
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  std::string exe(self, static_cast<size_t>(n));
  EXPECT_EQ(folder, exe.substr(0, exe.find_last_of('/') + 1));
  EXPECT_EQ(win::GetFileVersion(), "1.2.0.0");
}

}  // namespace

#include "tests/support/testenv.h"

#include "platform/win/registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vlrtest {
namespace {

std::string Getenv(const char* name, bool& had) {
  const char* v = std::getenv(name);
  had = v != nullptr;
  return v ? v : "";
}

void Restore(const char* name, bool had, const std::string& value) {
  if (had)
    setenv(name, value.c_str(), 1);
  else
    unsetenv(name);
}

}  // namespace

TestHome::TestHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vlrtest-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (!made) throw std::runtime_error("mkdtemp failed");
  root_ = made;
  home_ = root_ + "/home";
  tmp_ = root_ + "/tmp";
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(tmp_);
  oldHome_ = Getenv("VLR_HOME", hadHome_);
  oldTmp_ = Getenv("TMPDIR", hadTmp_);
  setenv("VLR_HOME", home_.c_str(), 1);
  setenv("TMPDIR", tmp_.c_str(), 1);
}

TestHome::~TestHome() {
  Restore("VLR_HOME", hadHome_, oldHome_);
  Restore("TMPDIR", hadTmp_, oldTmp_);
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

int RunCommand(const std::string& command, std::string* out, std::string* err) {
  std::string errPath;
  std::string full = command;
  if (err) {
    char tmpl[] = "/tmp/vlrtest-err-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    errPath = tmpl;
    full += " 2>" + errPath;
  }
  FILE* pipe = popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  int status = pclose(pipe);
  if (out) *out = text;
  if (err) {
    *err = ReadFile(errPath);
    std::remove(errPath.c_str());
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
constexpr const char* kChildHome = "VLR_DIAGNOSTICS_CHILD_HOME";
}  // namespace

bool EnterDiagnosticsChild() {
  const char* parentHome = std::getenv(kChildHome);
  if (!parentHome) return false;
  setenv("VLR_HOME", parentHome, 1);  // where the parent switched diagnostics on
  return true;
}

int RerunWithDiagnostics(const TestHome& home, std::string* out, std::string* err) {
  win::RegKey key;
  if (win::RegKey::Create(win::Hive::CurrentUser, "Software\\Attestra\\Attestra for Outlook\\Advanced", "", key) !=
          ERROR_SUCCESS ||
      key.SetDword("Diagnose", 1) != ERROR_SUCCESS)
    return -1;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  self[n] = 0;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
  return RunCommand(std::string(kChildHome) + "='" + home.Home() + "' '" + self + "' --gtest_filter=" + filter, out,
                    err);
}

}  // namespace vlrtest

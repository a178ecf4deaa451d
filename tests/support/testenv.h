#pragma once
// Every test gets its own $VLR_HOME and $TMPDIR, removed afterwards.
#include <gtest/gtest.h>

#include <string>

namespace vlrtest {

class TestHome {
 public:
  TestHome();   // makes a fresh folder with home/ and tmp/ and points the environment there
  ~TestHome();  // restores the environment and removes the folder
  TestHome(const TestHome&) = delete;
  TestHome& operator=(const TestHome&) = delete;

  const std::string& Root() const { return root_; }
  const std::string& Home() const { return home_; }
  const std::string& Tmp() const { return tmp_; }

 private:
  std::string root_, home_, tmp_;
  std::string oldHome_, oldTmp_;
  bool hadHome_ = false, hadTmp_ = false;
};

// A fixture that gives each test its own TestHome.
class HomeTest : public ::testing::Test {
 protected:
  TestHome home_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Runs a shell command; returns its exit status and standard output (standard error
// goes to `err` when given).
int RunCommand(const std::string& command, std::string* out = nullptr, std::string* err = nullptr);

// The diagnostic log decides once per process, at its first use, whether it is on. A test that
// reads the log runs itself again in a child process: the parent calls RerunWithDiagnostics,
// which switches "Diagnose" on in the parent's home and runs the current test in a child; the
// child, where EnterDiagnosticsChild() is true (and VLR_HOME is the parent's home), does the
// logging work and returns. The child's standard error (the log's console echo) is in `err`.
bool EnterDiagnosticsChild();
int RerunWithDiagnostics(const TestHome& home, std::string* out, std::string* err);

}  // namespace vlrtest

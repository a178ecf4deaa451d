#include "foundation/diaglog.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/diaglogbox.h"
#include "foundation/xmlio.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

constexpr const char* kAdvanced = "Software\\Attestra\\Attestra for Outlook\\Advanced";

std::vector<std::string> LogFiles(const std::string& dir) {
  std::vector<std::string> files;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.rfind("vlrDebug (", 0) == 0) files.push_back(dir + "/" + name);
    }
    closedir(d);
  }
  return files;
}

bool WellFormed(const std::string& path) {
  xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) return false;
  xmlFreeDoc(doc);
  return true;
}

// Captures what is written to standard error while it lives.
class StderrCapture {
 public:
  explicit StderrCapture(std::string path) : path_(std::move(path)) {
    fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    int fd = open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  std::string Stop() {
    fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    return vlrtest::ReadFile(path_);
  }

 private:
  std::string path_;
  int saved_;
};

class DiagLogTest : public vlrtest::HomeTest {
 protected:
  void Enable(DWORD flags = 0) {
    win::RegKey key;
    ASSERT_EQ(win::RegKey::Create(win::Hive::CurrentUser, kAdvanced, "", key), ERROR_SUCCESS);
    key.SetDword("Diagnose", 1);
    if (flags) key.SetDword("Flags", flags);
  }
};

TEST_F(DiagLogTest, OffWithoutDiagnoseOrWithZero) {
  {
    CDiagLog log;
    log.Comment("nothing");
    EXPECT_FALSE(log.IsEnabled());
  }
  win::RegKey key;
  win::RegKey::Create(win::Hive::CurrentUser, kAdvanced, "", key);
  key.SetDword("Diagnose", 0);
  {
    CDiagLog log;
    log.Error("nothing");
  }
  EXPECT_TRUE(LogFiles(home_.Tmp()).empty());
}

TEST_F(DiagLogTest, FileHasHeaderEntriesInOrderAndClosingTag) {
  Enable();
  std::string path, console;
  {
    StderrCapture capture(home_.Root() + "/stderr.txt");
    CDiagLog log;
    ASSERT_TRUE(log.IsEnabled());
    path = log.FilePath();
    log.Enter("CSendBtn::OnClick");
    EXPECT_EQ(log.Depth(), 1);
    log.Comment("a < b & c > d");
    log.Warning("careful");
    log.Error("broken");
    log.Leave("CSendBtn::OnClick");
    EXPECT_EQ(log.Depth(), 0);
    console = capture.Stop();
  }
  const std::string file = path.substr(path.find_last_of('/') + 1);
  EXPECT_EQ(file.rfind("vlrDebug (", 0), 0u);
  EXPECT_EQ(file.substr(file.size() - 5), ").xml");
  const std::string text = vlrtest::ReadFile(path);
  const std::string firstLine = text.substr(0, text.find('\n'));
  EXPECT_EQ(firstLine.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Diagnostics><time>", 0), 0u) << firstLine;
  EXPECT_NE(firstLine.find("</time>"), std::string::npos);
  const std::string name = XmlEscape("CSendBtn::OnClick");  // ":" is written as "&#58;"
  EXPECT_NE(text.find("<block_enter>" + name + "</block_enter><comment>"), std::string::npos) << text;
  EXPECT_NE(text.find("<comment>a &lt; b &amp; c &gt; d</comment>\n"), std::string::npos) << text;
  EXPECT_NE(text.find("<warning><details>careful</details></warning>\n"), std::string::npos);
  EXPECT_NE(text.find("<error><details>broken</details></error>\n"), std::string::npos);
  EXPECT_NE(text.find("<block_exit>" + name + "</block_exit>"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 15), "</Diagnostics>\n");
  EXPECT_TRUE(WellFormed(path));
  EXPECT_NE(console.find("CSendBtn::OnClick {\n"), std::string::npos);
  EXPECT_NE(console.find("Comment: a < b & c > d\n"), std::string::npos);
  EXPECT_NE(console.find("WARNING: careful\n"), std::string::npos);
  EXPECT_NE(console.find("ERROR: broken!\n"), std::string::npos);
  EXPECT_NE(console.find("} CSendBtn::OnClick"), std::string::npos);
}

TEST_F(DiagLogTest, ErrorCodeNamesTheCodeClass) {
  Enable();
  std::string path;
  {
    StderrCapture capture(home_.Root() + "/stderr.txt");
    CDiagLog log;
    path = log.FilePath();
    log.ErrorCode("CWebSvrOp::Run", 0);
    log.ErrorCode("CWebSvrOp::Run", E_FAIL);
    log.ErrorCode("COther::Op", static_cast<HRESULT>(0x800106BE));
    log.ErrorCode("COther::Op", 0x12345);
    capture.Stop();
  }
  const std::string text = vlrtest::ReadFile(path);
  const auto first = text.find(XmlEscape("Error in CWebSvrOp::Run, E_CONSTANT (0x80004005)\r\n"));
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find(XmlEscape("Error in CWebSvrOp::Run"), first + 1), std::string::npos);  // code 0 wrote nothing
  EXPECT_NE(text.find(XmlEscape("Error in COther::Op, RPC Error - RPC_S_CALL_FAILED (0x800106be)")), std::string::npos);
  EXPECT_NE(text.find(XmlEscape("Error in COther::Op, UNKNOWN (0x012345)")), std::string::npos) << text;

  struct {
    HRESULT code;
    const char* cls;
  } classes[] = {{1223, "E_CONSTANT"},       {E_INVALIDARG, "E_CONSTANT"},      {E_NOINTERFACE, "E_CONSTANT"},
                 {MakeHr(0x80030003), "E_CONSTANT"}, {MakeHr(0x80030100), "E_CONSTANT"}, {MakeHr(0x80030007), "UNKNOWN"},
                 {E_POINTER, "UNKNOWN"},     {3, "UNKNOWN"}};
  for (const auto& c : classes) EXPECT_STREQ(CDiagLog::ErrorClass(c.code), c.cls) << std::hex << c.code;
}

TEST_F(DiagLogTest, LongCommentTextIsWarnedAboutAndTruncated) {
  Enable();
  std::string path;
  {
    StderrCapture capture(home_.Root() + "/stderr.txt");
    CDiagLog log;
    path = log.FilePath();
    const std::string longText(1100, 'x');
    log.CommentText("Value=%s", longText.c_str());
    log.CommentText("Name=%s", "short");
    log.CommentText(nullptr, "ignored");
    log.CommentNumber("Count=%d", -5);
    capture.Stop();
  }
  const std::string text = vlrtest::ReadFile(path);
  const auto warning = text.find("The follow comment might be truncated due to wsprintf limitation");
  const auto comment = text.find("<comment>Value&#61;xxx");
  ASSERT_NE(warning, std::string::npos);
  ASSERT_NE(comment, std::string::npos);
  EXPECT_LT(warning, comment);
  const auto end = text.find("</comment>", comment);
  EXPECT_EQ(end - comment - std::string("<comment>").size(), 1024u + 4);  // "=" is written as "&#61;"
  EXPECT_NE(text.find("<comment>" + XmlEscape("Name=short") + "</comment>"), std::string::npos);
  EXPECT_EQ(text.find("ignored"), std::string::npos);
  EXPECT_NE(text.find("<comment>" + XmlEscape("Count=-5") + "</comment>"), std::string::npos) << text;
}

TEST_F(DiagLogTest, TwoLogsStartedInTheSameSecondGetTheirOwnFiles) {
  Enable();
  StderrCapture capture(home_.Root() + "/stderr.txt");
  {
    CDiagLog first, second;
    first.Comment("one");
    second.Comment("two");
    EXPECT_NE(first.FilePath(), second.FilePath());
  }
  capture.Stop();
  for (const std::string& f : LogFiles(home_.Tmp())) EXPECT_TRUE(WellFormed(f)) << f;
}

TEST_F(DiagLogTest, FlagThirtyTwoShowsEveryEntryInAMessageBox) {
  Enable(32);
  int argc = 1;
  char arg0[] = "diaglog_test";
  char* argv[] = {arg0, nullptr};
  QApplication app(argc, argv);
  InstallDiagLogMessageBox();
  std::vector<std::pair<QString, QString>> seen;
  std::function<void()> closeBox = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen.emplace_back(box->windowTitle(), box->text());
      box->accept();
    }
    QTimer::singleShot(10, closeBox);
  };
  QTimer::singleShot(10, closeBox);
  StderrCapture capture(home_.Root() + "/stderr.txt");
  {
    CDiagLog log;
    log.Comment("hello");
    log.Error("bad");
  }
  capture.Stop();
  SetDiagLogMessageBoxHandler(nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, "Vellora");
  EXPECT_EQ(seen[0].second, "hello");
  EXPECT_EQ(seen[1].second, "ERROR: bad!");
}

}  // namespace

// The vlr program's settings verbs, run as a whole process in a fresh home.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <dirent.h>
#include <sstream>

#include "tests/support/testenv.h"

namespace {

const std::string kVlr = VLR_BIN_DIR "/vlr";

class VlrConfigTest : public vlrtest::HomeTest {
 protected:
  int Vlr(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
    return vlrtest::RunCommand(kVlr + " " + args, out, err);
  }
  std::string Hive() { return vlrtest::ReadFile(home_.Home() + "/config/HKEY_CURRENT_USER.reg"); }
};

// The line of `vlr config list` for a setting, split into its three columns.
std::vector<std::string> Row(const std::string& listing, const std::string& name) {
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    std::istringstream cols(line);
    std::string n, source, value;
    cols >> n >> source;
    std::getline(cols, value);
    if (n == name) return {n, source, value.empty() ? "" : value.substr(value.find_first_not_of(' '))};
  }
  return {};
}

TEST_F(VlrConfigTest, ListOfAFreshHomeShowsBuiltInValues) {
  std::string out;
  ASSERT_EQ(Vlr("config list", &out), 0);
  const struct {
    const char* name;
    const char* source;
    const char* value;
  } expected[] = {
      {"FileTypes", "built-in", "pdf,doc,docx,xls,ppt,html,htm,txt,jpg,png,gif"},
      {"SSL", "built-in", "1"},
      {"ReceiptType", "built-in", "3"},
      {"SyncDirection", "built-in", "2"},
      {"SigAttachSize", "built-in", "32768"},
      {"Host", "registry", "api.attestra.net"},  // written by the first read
      {"Advanced\\LogXML", "built-in", "0"},
  };
  for (const auto& e : expected) {
    auto row = Row(out, e.name);
    ASSERT_EQ(row.size(), 3u) << e.name << "\n" << out;
    EXPECT_EQ(row[1], e.source) << e.name;
    EXPECT_EQ(row[2], e.value) << e.name;
  }
  EXPECT_EQ(Row(out, "BlueprintFolder")[2], home_.Home() + "/data/Attestra/Blueprints");
}

TEST_F(VlrConfigTest, SetLandsInTheCurrentUserHiveAndGetReadsIt) {
  ASSERT_EQ(Vlr("config set SSL 0"), 0);
  ASSERT_EQ(Vlr("config set Host 127.0.0.1:8443"), 0);
  ASSERT_EQ(Vlr("config set FileTypes 'pdf,txt'"), 0);
  ASSERT_EQ(Vlr("config set syncdirection 0x1"), 0);  // names in any letter case
  const std::string hive = Hive();
  const auto key = hive.find("[HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook]");
  ASSERT_NE(key, std::string::npos) << hive;
  EXPECT_NE(hive.find("\"SSL\"=dword:00000000", key), std::string::npos) << hive;
  EXPECT_NE(hive.find("\"Host\"=\"127.0.0.1:8443\"", key), std::string::npos);
  EXPECT_NE(hive.find("\"FileTypes\"=\"pdf,txt\"", key), std::string::npos);
  std::string out;
  ASSERT_EQ(Vlr("config get SyncDirection", &out), 0);
  EXPECT_EQ(out, "1\n");
  ASSERT_EQ(Vlr("config list", &out), 0);
  EXPECT_EQ(Row(out, "FileTypes")[1], "registry");
}

TEST_F(VlrConfigTest, BadInputIsAUsageError) {
  struct {
    const char* args;
    int status;
    const char* message;
  } cases[] = {
      {"config get NoSuchSetting", 2, "unknown setting 'NoSuchSetting'"},
      {"config set NoSuchSetting 1", 2, "unknown setting"},
      {"config set SSL yes", 2, "takes an integer"},
      {"config set SSL 99999999999", 2, "takes an integer"},
      {"config set Credentials x", 2, "cannot be set here"},
      {"config set SSL", 2, "usage"},
      {"config", 2, "usage"},
      {"frobnicate", 2, "unknown verb"},
      {"config get CmdBarTop", 1, "not set"},
  };
  for (const auto& c : cases) {
    std::string out, err;
    EXPECT_EQ(Vlr(c.args, &out, &err), c.status) << c.args;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.args << ": " << err;
  }
  std::string out;
  EXPECT_EQ(Vlr("config --help", &out), 0);
  EXPECT_NE(out.find("vlr config list"), std::string::npos);
}

TEST_F(VlrConfigTest, DiagnoseLeavesAWellFormedLogForEveryRun) {
  ASSERT_EQ(Vlr("config set Diagnose 1"), 0);
  EXPECT_NE(Hive().find("[HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook\\Advanced]"), std::string::npos);
  std::string err;
  ASSERT_EQ(Vlr("config get FileTypes", nullptr, &err), 0);
  ASSERT_EQ(Vlr("config list", nullptr, &err), 0);
  ASSERT_EQ(Vlr("config get NoSuch", nullptr, &err), 2);
  int logs = 0;
  DIR* d = opendir(home_.Tmp().c_str());
  ASSERT_NE(d, nullptr);
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.rfind("vlrDebug (", 0) != 0) continue;
    ++logs;
    const std::string path = home_.Tmp() + "/" + name;
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
    EXPECT_NE(doc, nullptr) << path;
    if (doc) xmlFreeDoc(doc);
  }
  closedir(d);
  EXPECT_EQ(logs, 3);
}

}  // namespace

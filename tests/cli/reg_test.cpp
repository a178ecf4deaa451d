// Runs the real vlr program against a fresh $VLR_HOME and checks what it prints and stores.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win/folders.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

using namespace win;

namespace {

constexpr char kSettings[] = "HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook";

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

class RegVerb : public vlrtest::HomeTest {
 protected:
  static Outcome Vlr(const std::vector<std::string>& args) {
    std::string command = ShellQuote(VLR_BIN_DIR "/vlr");
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    Outcome run;
    run.status = vlrtest::RunCommand(command, &run.out, &run.err);
    return run;
  }

  // Runs and expects success with nothing on standard error.
  static std::string VlrOk(const std::vector<std::string>& args) {
    Outcome run = Vlr(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return run.out;
  }

  static RegValue Stored(Hive hive, const std::string& path, const std::string& name) {
    RegKey key;
    RegValue value;
    EXPECT_EQ(RegKey::Open(hive, path, key), ERROR_SUCCESS) << path;
    EXPECT_EQ(key.QueryValue(name, value), ERROR_SUCCESS) << name;
    return value;
  }
};

TEST_F(RegVerb, AddStoresEachTypeAndQueryListsTheKey) {
  std::string advanced = std::string(kSettings) + "\\Advanced";
  VlrOk({"reg", "add", kSettings, "Host", "--sz", "127.0.0.1:8443"});
  VlrOk({"reg", "add", kSettings, "SSL", "--dword", "0"});
  VlrOk({"reg", "add", kSettings, "ReceiptType", "--dword", "0x2A"});
  VlrOk({"reg", "add", kSettings, "Credentials", "--hex", "01,ab,ff"});
  VlrOk({"reg", "add", kSettings, "Other", "--hex", "01ABff00"});
  VlrOk({"reg", "add", kSettings, "@", "--sz", "default"});
  VlrOk({"reg", "add", advanced, "LogXML", "--dword=1"});
  VlrOk({"reg", "add", "HKCU\\Software\\Attestra\\Attestra for Outlook\\Empty", "", "--sz="});

  EXPECT_EQ(VlrOk({"reg", "query", kSettings}),
            "HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook\n"
            "    Host    REG_SZ    127.0.0.1:8443\n"
            "    SSL    REG_DWORD    0x0\n"
            "    ReceiptType    REG_DWORD    0x2a\n"
            "    Credentials    REG_BINARY    01ABFF\n"
            "    Other    REG_BINARY    01ABFF00\n"
            "    (Default)    REG_SZ    default\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook\\Advanced\n"
            "HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook\\Empty\n");

  // What the program stored is what the settings code reads.
  const std::string path = "Software\\Attestra\\Attestra for Outlook";
  RegValue v = Stored(Hive::CurrentUser, path, "ReceiptType");
  EXPECT_EQ(v.type, RegType::Dword);
  EXPECT_EQ(v.number, 42u);
  v = Stored(Hive::CurrentUser, path, "Credentials");
  EXPECT_EQ(v.type, RegType::Binary);
  EXPECT_EQ(v.bytes, (std::vector<std::uint8_t>{0x01, 0xab, 0xff}));
  v = Stored(Hive::CurrentUser, path, "");
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.text, "default");
  v = Stored(Hive::CurrentUser, path + "\\Empty", "");
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.text, "");
}

TEST_F(RegVerb, QueryWithANamePrintsThatValue) {
  VlrOk({"reg", "add", "HKCR\\.htm", "", "--sz", "htmlfile"});
  VlrOk({"reg", "add", "HKCR\\htmlfile\\shell\\open\\command", "@", "--sz", "\"/usr/bin/browser\" \"%1\""});
  VlrOk({"reg", "add", "hkcu\\Software\\A", "n", "--dword", "4294967295"});

  EXPECT_EQ(VlrOk({"reg", "query", "HKEY_CLASSES_ROOT\\.htm", "@"}),
            "HKEY_CLASSES_ROOT\\.htm\n    (Default)    REG_SZ    htmlfile\n");
  EXPECT_EQ(VlrOk({"reg", "query", "HKCR/htmlfile/shell/open/command", ""}),
            "HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command\n"
            "    (Default)    REG_SZ    \"/usr/bin/browser\" \"%1\"\n");
  EXPECT_EQ(VlrOk({"reg", "query", "HKCU\\software\\a", "N"}),
            "HKEY_CURRENT_USER\\software\\a\n    n    REG_DWORD    0xffffffff\n");
}

TEST_F(RegVerb, TextIsStoredByteForByte) {
  const std::string texts[] = {
      "C:\\Program Files\\\"Vellora\"",
      "two\nlines\r\n",
      "Grüße 日本語 🙂",
      "--looks like an option",
      "",
  };
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    VlrOk({"reg", "add", "HKCU\\Software\\Text", "t" + std::to_string(i), "--sz", texts[i]});
    RegValue v = Stored(Hive::CurrentUser, "Software\\Text", "t" + std::to_string(i));
    EXPECT_EQ(v.text, texts[i]);
  }
  // "--" lets a value name start with a dash.
  VlrOk({"reg", "add", "--dword", "5", "--", "HKCU\\Software\\Text", "-dash"});
  EXPECT_EQ(Stored(Hive::CurrentUser, "Software\\Text", "-dash").number, 5u);
  VlrOk({"reg", "add", "HKCU\\Software\\Text", "blob", "--hex", ""});
  RegValue blob = Stored(Hive::CurrentUser, "Software\\Text", "blob");
  EXPECT_EQ(blob.type, RegType::Binary);
  EXPECT_TRUE(blob.bytes.empty());
}

TEST_F(RegVerb, MissingKeysAndValuesFailWithStatusOne) {
  VlrOk({"reg", "add", "HKCU\\Software\\Here", "v", "--sz", "x"});
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"reg", "query", "HKCU\\Software\\Nowhere"}, "key not found: HKEY_CURRENT_USER\\Software\\Nowhere"},
      {{"reg", "query", "HKCU\\Software\\Nowhere", "v"}, "key not found"},
      {{"reg", "query", "HKCU\\Software\\Here", "w"}, "value not found: w in HKEY_CURRENT_USER\\Software\\Here"},
      {{"reg", "query", "HKCU\\Software\\Here", "@"}, "value not found: (Default)"},
      {{"reg", "delete", "HKCU\\Software\\Nowhere"}, "key not found"},
      {{"reg", "delete", "HKCU\\Software\\Nowhere", "v"}, "key not found"},
      {{"reg", "delete", "HKCU\\Software\\Here", "w"}, "value not found"},
      {{"reg", "export", "HKLM\\Software\\Nowhere"}, "key not found: HKEY_LOCAL_MACHINE\\Software\\Nowhere"},
  };
  for (const Case& c : cases) {
    Outcome run = Vlr(c.args);
    EXPECT_EQ(run.status, 1) << c.args[1] << " " << c.args[2];
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST_F(RegVerb, BadInputIsAUsageErrorAndChangesNothing) {
  const std::string key = "HKCU\\Software\\X";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"reg"}, "missing sub-verb"},
      {{"reg", "frob"}, "unknown sub-verb 'frob'"},
      {{"reg", "query"}, "expected KEY [NAME]"},
      {{"reg", "query", key, "a", "b"}, "expected KEY [NAME]"},
      {{"reg", "query", "Software\\X"}, "'Software\\X' is not a key name"},
      {{"reg", "query", "HKEY_USERS\\X"}, "is not a key name"},
      {{"reg", "query", key, "--sz", "a"}, "unknown option '--sz'"},
      {{"reg", "add", key}, "expected KEY NAME"},
      {{"reg", "add", key, "n"}, "give the value with --sz, --dword or --hex"},
      {{"reg", "add", key, "n", "--sz", "a", "--dword", "1"}, "give only one of"},
      {{"reg", "add", key, "n", "--sz"}, "option --sz needs a value"},
      {{"reg", "add", key, "n", "--qword", "1"}, "unknown option '--qword'"},
      {{"reg", "add", "Software\\X", "n", "--sz", "a"}, "is not a key name"},
      {{"reg", "add", key, "n", "--dword", "-1"}, "'-1' is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", "4294967296"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", "0x100000000"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", "0x"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", "12a"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", "0x1g"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", " 1"}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--dword", ""}, "is not a 32-bit number"},
      {{"reg", "add", key, "n", "--hex", "abc"}, "'abc' is not hexadecimal bytes"},
      {{"reg", "add", key, "n", "--hex", "01,,02"}, "is not hexadecimal bytes"},
      {{"reg", "add", key, "n", "--hex", "001,02"}, "is not hexadecimal bytes"},
      {{"reg", "add", key, "n", "--hex", "zz"}, "is not hexadecimal bytes"},
      {{"reg", "add", key, "n", "--hex", "01,"}, "is not hexadecimal bytes"},
      {{"reg", "delete"}, "expected KEY [NAME]"},
      {{"reg", "delete", "HKCU"}, "will not delete the whole hive HKEY_CURRENT_USER"},
      {{"reg", "delete", "HKEY_CLASSES_ROOT\\"}, "will not delete the whole hive"},
      {{"reg", "export", key, key}, "expected at most one KEY"},
      {{"reg", "export", "nonsense"}, "is not a key name"},
  };
  for (const Case& c : cases) {
    Outcome run = Vlr(c.args);
    std::string shown;
    for (const std::string& arg : c.args) shown += " " + arg;
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << shown << "\n" << run.err;
    EXPECT_NE(run.err.find("usage: vlr reg"), std::string::npos) << shown;
  }
  for (Hive hive : {Hive::CurrentUser, Hive::ClassesRoot, Hive::LocalMachine})
    EXPECT_FALSE(FileExists(HiveFilePath(hive))) << HiveName(hive);
}

TEST_F(RegVerb, HelpForTheVerbAndEachSubVerb) {
  struct Case {
    std::vector<std::string> args;
    const char* first;
  } cases[] = {
      {{"reg", "--help"}, "usage: vlr reg query KEY [NAME]\n       vlr reg add"},
      {{"reg", "-h"}, "usage: vlr reg query KEY [NAME]\n       vlr reg add"},
      {{"reg", "query", "--help"}, "usage: vlr reg query KEY [NAME]\n\n"},
      {{"reg", "add", "--help"}, "usage: vlr reg add KEY NAME (--sz TEXT | --dword N | --hex BYTES)\n\n"},
      {{"reg", "add", "HKCU\\X", "n", "--help"}, "usage: vlr reg add"},
      {{"reg", "delete", "--help"}, "usage: vlr reg delete KEY [NAME]\n\n"},
      {{"reg", "export", "-h"}, "usage: vlr reg export [KEY]\n\n"},
  };
  for (const Case& c : cases) {
    std::string out = VlrOk(c.args);
    EXPECT_EQ(out.rfind(c.first, 0), 0u) << c.args[1] << "\n" << out;
  }
  EXPECT_FALSE(FileExists(HiveFilePath(Hive::CurrentUser)));
}

TEST_F(RegVerb, DeleteRemovesAValueOrATree) {
  VlrOk({"reg", "add", "HKCU\\Software\\Del", "a", "--sz", "1"});
  VlrOk({"reg", "add", "HKCU\\Software\\Del", "b", "--sz", "2"});
  VlrOk({"reg", "add", "HKCU\\Software\\Del", "@", "--sz", "3"});
  VlrOk({"reg", "add", "HKCU\\Software\\Del\\Sub\\Deeper", "c", "--dword", "3"});
  VlrOk({"reg", "add", "HKCU\\Software\\Kept", "k", "--dword", "1"});

  VlrOk({"reg", "delete", "HKCU\\Software\\Del", "A"});
  VlrOk({"reg", "delete", "HKCU\\Software\\Del", "@"});
  EXPECT_EQ(VlrOk({"reg", "query", "HKCU\\Software\\Del"}),
            "HKEY_CURRENT_USER\\Software\\Del\n    b    REG_SZ    2\n\nHKEY_CURRENT_USER\\Software\\Del\\Sub\n");

  VlrOk({"reg", "delete", "HKCU\\SOFTWARE\\del"});
  EXPECT_EQ(Vlr({"reg", "query", "HKCU\\Software\\Del\\Sub"}).status, 1);
  EXPECT_EQ(VlrOk({"reg", "query", "HKCU\\Software"}),
            "HKEY_CURRENT_USER\\Software\n\nHKEY_CURRENT_USER\\Software\\Kept\n");
}

TEST_F(RegVerb, ExportPrintsTheHiveOrASubtree) {
  EXPECT_EQ(VlrOk({"reg", "export"}), "Windows Registry Editor Version 5.00\n\n");

  VlrOk({"reg", "add", "HKCU\\Software\\Attestra", "n", "--dword", "42"});
  VlrOk({"reg", "add", "HKCU\\Software\\Attestra\\Sub", "s", "--sz", "a \"quoted\" \\ text"});
  VlrOk({"reg", "add", "HKCR\\.htm", "@", "--sz", "htmlfile"});

  EXPECT_EQ(VlrOk({"reg", "export"}), vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser)));
  EXPECT_EQ(VlrOk({"reg", "export", "HKCU\\software\\attestra\\SUB"}),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Attestra\\Sub]\n"
            "\"s\"=\"a \\\"quoted\\\" \\\\ text\"\n\n");
  EXPECT_EQ(VlrOk({"reg", "export", "HKEY_CLASSES_ROOT"}),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\n");
}

TEST_F(RegVerb, AnUnwritableHiveFailsWithStatusOne) {
  VlrOk({"reg", "add", "HKCU\\Software\\Locked", "n", "--dword", "1"});
  const std::string lock = HiveFilePath(Hive::CurrentUser) + ".lock";
  std::remove(lock.c_str());
  ASSERT_TRUE(CreateDirectories(lock));  // the lock cannot be taken
  Outcome run = Vlr({"reg", "add", "HKCU\\Software\\Locked", "n", "--dword", "2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("access denied"), std::string::npos) << run.err;
  run = Vlr({"reg", "delete", "HKCU\\Software\\Locked"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("access denied"), std::string::npos) << run.err;
  EXPECT_EQ(VlrOk({"reg", "query", "HKCU\\Software\\Locked", "n"}),
            "HKEY_CURRENT_USER\\Software\\Locked\n    n    REG_DWORD    0x1\n");
}

// A full disk behind standard output: what was asked for never arrived, so the run failed.
TEST_F(RegVerb, OutputThatCannotBeWrittenFailsWithStatusOne) {
  VlrOk({"reg", "add", "HKCU\\Software\\Attestra", "n", "--dword", "42"});
  const std::vector<std::vector<std::string>> runs = {
      {"reg", "export"}, {"reg", "query", "HKCU\\Software\\Attestra"}, {"--help"}};
  for (const auto& args : runs) {
    std::string command = ShellQuote(VLR_BIN_DIR "/vlr");
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    std::string err;
    EXPECT_EQ(vlrtest::RunCommand(command + " >/dev/full", nullptr, &err), 1) << command;
    EXPECT_NE(err.find("standard output"), std::string::npos) << command << ": " << err;
  }
}

}  // namespace

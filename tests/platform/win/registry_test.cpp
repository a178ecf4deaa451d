#include "platform/win/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/win/folders.h"
#include "tests/support/expectedfile.h"
#include "tests/support/testenv.h"

using namespace win;

namespace {

constexpr char kSettingsKey[] = "Software\\Attestra\\Attestra for Outlook";
constexpr char kGlobalClass[] = "Application Global Data";
constexpr char kEmptyExport[] = "Windows Registry Editor Version 5.00\n\n";

std::string DataPath(const std::string& name) { return std::string(VLR_TEST_DATA_DIR) + "/" + name; }

RegKey MustCreate(Hive hive, std::string_view path, std::string_view keyClass = {}) {
  RegKey key;
  EXPECT_EQ(RegKey::Create(hive, path, keyClass, key), ERROR_SUCCESS) << path;
  return key;
}

unsigned FileMode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

ino_t FileInode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ValueNames(const RegKey& key) {
  std::vector<std::pair<std::string, RegValue>> values;
  EXPECT_EQ(key.EnumValues(values), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (auto& [name, value] : values) names.push_back(name);
  return names;
}

std::vector<std::string> Subkeys(const RegKey& key) {
  std::vector<std::string> names;
  EXPECT_EQ(key.EnumSubkeys(names), ERROR_SUCCESS);
  return names;
}

}  // namespace

// ---- names ----

TEST(RegistryNames, ParseKeyNameSplitsHiveAndPath) {
  struct Case {
    const char* full;
    bool valid;
    Hive hive;
    const char* path;
  } cases[] = {
      {"HKEY_CURRENT_USER\\Software\\Attestra", true, Hive::CurrentUser, "Software\\Attestra"},
      {"HKCU\\Software\\Attestra", true, Hive::CurrentUser, "Software\\Attestra"},
      {"hkey_classes_root\\.htm", true, Hive::ClassesRoot, ".htm"},
      {"HKCR\\htmlfile\\shell\\open\\command", true, Hive::ClassesRoot, "htmlfile\\shell\\open\\command"},
      {"HKLM/Software/Attestra", true, Hive::LocalMachine, "Software\\Attestra"},
      {"HKEY_LOCAL_MACHINE", true, Hive::LocalMachine, ""},
      {"HKCU\\", true, Hive::CurrentUser, ""},
      {"\\HKCU\\\\Software\\\\Attestra\\", true, Hive::CurrentUser, "Software\\Attestra"},
      {"HKCU\\Software\\A b\\Grüße", true, Hive::CurrentUser, "Software\\A b\\Grüße"},
      {"HKEY_USERS\\S-1-5", false, Hive::CurrentUser, ""},
      {"HKCUX\\Software", false, Hive::CurrentUser, ""},
      {"Software\\Attestra", false, Hive::CurrentUser, ""},
      {"", false, Hive::CurrentUser, ""},
      {"\\", false, Hive::CurrentUser, ""},
  };
  for (const Case& c : cases) {
    auto parsed = ParseKeyName(c.full);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.full;
    if (!c.valid) continue;
    EXPECT_EQ(parsed->first, c.hive) << c.full;
    EXPECT_EQ(parsed->second, c.path) << c.full;
  }
}

TEST(RegistryNames, HiveNames) {
  EXPECT_STREQ(HiveName(Hive::CurrentUser), "HKEY_CURRENT_USER");
  EXPECT_STREQ(HiveName(Hive::ClassesRoot), "HKEY_CLASSES_ROOT");
  EXPECT_STREQ(HiveName(Hive::LocalMachine), "HKEY_LOCAL_MACHINE");
}

// ---- the file ----

class RegistryFile : public vlrtest::HomeTest {};

TEST_F(RegistryFile, OneFilePerHiveInTheConfigFolder) {
  EXPECT_EQ(HiveFilePath(Hive::CurrentUser), home_.Home() + "/config/HKEY_CURRENT_USER.reg");
  EXPECT_EQ(HiveFilePath(Hive::ClassesRoot), home_.Home() + "/config/HKEY_CLASSES_ROOT.reg");
  EXPECT_EQ(HiveFilePath(Hive::LocalMachine), home_.Home() + "/config/HKEY_LOCAL_MACHINE.reg");

  MustCreate(Hive::CurrentUser, "Software\\A").SetDword("n", 1);
  MustCreate(Hive::ClassesRoot, ".htm").SetString("", "htmlfile");
  EXPECT_EQ(FolderEntries(home_.Home() + "/config"),
            (std::vector<std::string>{"HKEY_CLASSES_ROOT.reg", "HKEY_CLASSES_ROOT.reg.lock",
                                      "HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
  for (const std::string& name : FolderEntries(home_.Home() + "/config"))
    EXPECT_EQ(FileMode(home_.Home() + "/config/" + name), 0600u) << name;
}

TEST_F(RegistryFile, WritesTheExportFormat) {
  RegKey settings = MustCreate(Hive::CurrentUser, kSettingsKey, kGlobalClass);
  EXPECT_EQ(settings.SetString("Host", "127.0.0.1:8443"), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetDword("SSL", 0), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetDword("ReceiptType", 42), ERROR_SUCCESS);
  const std::uint8_t credentials[] = {0x01, 0xab, 0xff, 0x00};
  EXPECT_EQ(settings.SetBinary("Credentials", credentials, sizeof credentials), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetString("BlueprintFolder", "C:\\Users\\ann \"work\"\\Blueprints"), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetString("Gateways", "first line\nsecond\r\nthird"), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetString("Identity", "jürgen@exämple.org ✓"), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetString("", "default text"), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetBinary("Empty", nullptr, 0), ERROR_SUCCESS);
  RegKey advanced = MustCreate(Hive::CurrentUser, std::string(kSettingsKey) + "\\Advanced", kGlobalClass);
  EXPECT_EQ(advanced.SetDword("LogXML", 0xffffffff), ERROR_SUCCESS);
  MustCreate(Hive::CurrentUser, "Software\\Other");

  EXPECT_TRUE(vlrtest::MatchesExpectedFile(vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser)),
                                           VLR_TEST_DATA_DIR, "registry_written.reg"));
}

TEST_F(RegistryFile, ValuesRoundTripExactly) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\RoundTrip");
  const std::string texts[] = {
      "",
      "plain",
      "quote \" and backslash \\ and both \\\"",
      "trailing backslash \\",
      "\\n is two characters here",
      "line feed\nand carriage return\r\n",
      std::string("nul\0inside", 10),
      "Grüße — 日本語 🙂",
      std::string("\xff\xfe not UTF-8 \xc3", 15),
      "tab\tand ; and = and [brackets] and ,",
  };
  for (std::size_t i = 0; i < std::size(texts); ++i)
    ASSERT_EQ(key.SetString("s" + std::to_string(i), texts[i]), ERROR_SUCCESS);
  const DWORD numbers[] = {0, 1, 42, 0x7fffffff, 0x80000000, 0xffffffff};
  for (std::size_t i = 0; i < std::size(numbers); ++i)
    ASSERT_EQ(key.SetDword("d" + std::to_string(i), numbers[i]), ERROR_SUCCESS);
  std::vector<std::vector<std::uint8_t>> blobs = {{}, {0}, {0x01, 0xab, 0xff}, {}};
  for (int b = 0; b < 256; ++b) blobs.back().push_back(static_cast<std::uint8_t>(b));
  for (std::size_t i = 0; i < blobs.size(); ++i)
    ASSERT_EQ(key.SetBinary("b" + std::to_string(i), blobs[i].data(), blobs[i].size()), ERROR_SUCCESS);
  // Names are escaped like data.
  ASSERT_EQ(key.SetDword("odd \"name\" \\ with\nbreak", 7), ERROR_SUCCESS);

  RegKey reopened;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\RoundTrip", reopened), ERROR_SUCCESS);
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    std::string text;
    EXPECT_EQ(reopened.QueryString("s" + std::to_string(i), text), ERROR_SUCCESS);
    EXPECT_EQ(text, texts[i]) << "s" << i;
  }
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    DWORD number = 12345;
    EXPECT_EQ(reopened.QueryDword("d" + std::to_string(i), number), ERROR_SUCCESS);
    EXPECT_EQ(number, numbers[i]) << "d" << i;
  }
  for (std::size_t i = 0; i < blobs.size(); ++i) {
    std::vector<std::uint8_t> bytes = {9, 9};
    EXPECT_EQ(reopened.QueryBinary("b" + std::to_string(i), bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, blobs[i]) << "b" << i;
  }
  DWORD odd = 0;
  EXPECT_EQ(reopened.QueryDword("odd \"name\" \\ with\nbreak", odd), ERROR_SUCCESS);
  EXPECT_EQ(odd, 7u);

  RegValue any;
  EXPECT_EQ(reopened.QueryValue("d2", any), ERROR_SUCCESS);
  EXPECT_EQ(any.type, RegType::Dword);
  EXPECT_EQ(any.number, 42u);
}

// ---- keys, values and their names ----

class Registry : public vlrtest::HomeTest {};

TEST_F(Registry, NamesIgnoreAsciiCaseAndKeepTheFirstSpelling) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Attestra");
  ASSERT_EQ(key.SetString("Host", "a.example"), ERROR_SUCCESS);

  RegKey other;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "SOFTWARE\\attestra", other), ERROR_SUCCESS);
  std::string host;
  EXPECT_EQ(other.QueryString("HOST", host), ERROR_SUCCESS);
  EXPECT_EQ(host, "a.example");
  ASSERT_EQ(other.SetString("hOsT", "b.example"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Host"}));
  EXPECT_EQ(key.QueryString("host", host), ERROR_SUCCESS);
  EXPECT_EQ(host, "b.example");

  MustCreate(Hive::CurrentUser, "software\\ATTESTRA\\Sub");
  std::string file = vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser));
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Attestra\\Sub]\n"), std::string::npos) << file;
  EXPECT_EQ(file.find("ATTESTRA"), std::string::npos) << file;

  // Folding is ASCII only: these are two keys.
  MustCreate(Hive::CurrentUser, "Software\\Ä");
  MustCreate(Hive::CurrentUser, "Software\\ä");
  RegKey software;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "Software", software), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(software), (std::vector<std::string>{"Attestra", "Ä", "ä"}));
}

TEST_F(Registry, KeepsTheOrderOfCreation) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Order");
  for (const char* name : {"zeta", "alpha", "mid"}) ASSERT_EQ(key.SetDword(name, 1), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword("ALPHA", 2), ERROR_SUCCESS);  // a new value keeps its place
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"zeta", "alpha", "mid"}));

  for (const char* name : {"Zulu", "Alpha", "Mike"}) MustCreate(Hive::CurrentUser, std::string("Software\\Order\\") + name);
  MustCreate(Hive::CurrentUser, "Software\\Order\\Alpha\\Deep");
  EXPECT_EQ(Subkeys(key), (std::vector<std::string>{"Zulu", "Alpha", "Mike"}));

  // Parents come before their children in the file, children in the order made.
  std::string file = vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser));
  std::vector<std::size_t> at;
  for (const char* header : {"[HKEY_CURRENT_USER\\Software]", "[HKEY_CURRENT_USER\\Software\\Order]",
                             "[HKEY_CURRENT_USER\\Software\\Order\\Zulu]", "[HKEY_CURRENT_USER\\Software\\Order\\Alpha]",
                             "[HKEY_CURRENT_USER\\Software\\Order\\Alpha\\Deep]",
                             "[HKEY_CURRENT_USER\\Software\\Order\\Mike]"}) {
    at.push_back(file.find(header));
    ASSERT_NE(at.back(), std::string::npos) << header;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << file;
}

TEST_F(Registry, NewKeysGetTheClassAndExistingKeysKeepTheirs) {
  MustCreate(Hive::CurrentUser, "Software");
  MustCreate(Hive::CurrentUser, kSettingsKey, kGlobalClass);
  MustCreate(Hive::CurrentUser, std::string(kSettingsKey) + "\\Advanced", "Diagnostics");
  MustCreate(Hive::CurrentUser, kSettingsKey, "Something Else");

  struct Case {
    std::string path, keyClass;
  } cases[] = {
      {"Software", ""},  // existed before
      {"Software\\Attestra", kGlobalClass},  // a missing parent, made on the way
      {kSettingsKey, kGlobalClass},
      {std::string(kSettingsKey) + "\\Advanced", "Diagnostics"},
  };
  for (const Case& c : cases) {
    RegKey key;
    ASSERT_EQ(RegKey::Open(Hive::CurrentUser, c.path, key), ERROR_SUCCESS) << c.path;
    std::string keyClass = "unset";
    EXPECT_EQ(key.GetClass(keyClass), ERROR_SUCCESS);
    EXPECT_EQ(keyClass, c.keyClass) << c.path;
  }
}

TEST_F(Registry, ReportsWin32Errors) {
  RegKey missing;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Nowhere", missing), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing.IsOpen());

  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Typed");
  ASSERT_EQ(key.SetString("text", "x"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword("number", 1), ERROR_SUCCESS);
  ASSERT_EQ(key.SetBinary("bytes", "\x01", 1), ERROR_SUCCESS);
  std::string text = "kept";
  DWORD number = 77;
  std::vector<std::uint8_t> bytes = {7};
  RegValue value;
  EXPECT_EQ(key.QueryString("absent", text), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.QueryValue("absent", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.QueryString("", text), ERROR_FILE_NOT_FOUND);  // no default value set
  EXPECT_EQ(key.QueryString("number", text), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryString("bytes", text), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryDword("text", number), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryDword("bytes", number), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryBinary("text", bytes), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryBinary("number", bytes), ERROR_INVALID_DATA);
  // A failed read leaves the caller's default alone.
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(number, 77u);
  EXPECT_EQ(bytes, std::vector<std::uint8_t>{7});

  EXPECT_EQ(key.DeleteValue("absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTree(Hive::CurrentUser, "Software\\Nowhere"), ERROR_FILE_NOT_FOUND);
  std::string exported;
  EXPECT_EQ(RegExport(Hive::CurrentUser, "Software\\Nowhere", exported), ERROR_FILE_NOT_FOUND);

  RegKey bad;
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, "Software\\two\nlines", "", bad), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(bad.IsOpen());
  std::string deep;
  for (int level = 0; level < 513; ++level) deep += "k\\";
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, deep, "", bad), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, deep.substr(2), "", bad), ERROR_SUCCESS);  // 512 levels
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, "Software\\" + std::string(256, 'n'), "", bad), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, "Software\\" + std::string(255, 'n'), "", bad), ERROR_SUCCESS);

  key.Close();
  EXPECT_EQ(key.QueryString("text", text), ERROR_INVALID_HANDLE);
  EXPECT_EQ(key.SetDword("n", 1), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, AKeyDeletedByAnotherHandleIsReportedAndNotRevived) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Gone\\Child");
  ASSERT_EQ(key.SetDword("n", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTree(Hive::CurrentUser, "software\\gone"), ERROR_SUCCESS);

  DWORD n = 0;
  std::string text;
  std::vector<std::string> names;
  std::vector<std::pair<std::string, RegValue>> values;
  EXPECT_EQ(key.QueryDword("n", n), ERROR_KEY_DELETED);
  EXPECT_EQ(key.SetDword("n", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(key.SetString("s", "x"), ERROR_KEY_DELETED);
  EXPECT_EQ(key.DeleteValue("n"), ERROR_KEY_DELETED);
  EXPECT_EQ(key.GetClass(text), ERROR_KEY_DELETED);
  EXPECT_EQ(key.EnumSubkeys(names), ERROR_KEY_DELETED);
  EXPECT_EQ(key.EnumValues(values), ERROR_KEY_DELETED);
  RegKey again;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Gone", again), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeleteTreeTakesTheSubtreeOnly) {
  RegKey software = MustCreate(Hive::CurrentUser, "Software");
  ASSERT_EQ(software.SetDword("kept", 1), ERROR_SUCCESS);
  MustCreate(Hive::CurrentUser, "Software\\Attestra\\Attestra for Outlook\\Advanced").SetDword("LogXML", 1);
  MustCreate(Hive::CurrentUser, "Software\\AttestraOther").SetDword("n", 1);
  MustCreate(Hive::CurrentUser, "Software\\Zed");

  ASSERT_EQ(RegDeleteTree(Hive::CurrentUser, "SOFTWARE\\attestra"), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(software), (std::vector<std::string>{"AttestraOther", "Zed"}));
  EXPECT_EQ(ValueNames(software), (std::vector<std::string>{"kept"}));
  std::string file = vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser));
  EXPECT_EQ(file.find("Advanced"), std::string::npos) << file;
  EXPECT_EQ(file.find("LogXML"), std::string::npos) << file;

  // The empty path empties the hive; the root itself stays.
  ASSERT_EQ(RegDeleteTree(Hive::CurrentUser, ""), ERROR_SUCCESS);
  EXPECT_EQ(vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser)), kEmptyExport);
  RegKey root;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, "", root), ERROR_SUCCESS);
}

TEST_F(Registry, DeleteValueKeepsTheOthersInOrder) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Values");
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(key.SetString(name, name), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString("", "default"), ERROR_SUCCESS);
  ASSERT_EQ(key.DeleteValue("B"), ERROR_SUCCESS);
  ASSERT_EQ(key.DeleteValue(""), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"a", "c"}));
}

TEST_F(Registry, TheDefaultValueIsNotAValueNamedAt) {
  RegKey key = MustCreate(Hive::ClassesRoot, ".htm");
  ASSERT_EQ(key.SetString("", "htmlfile"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString("@", "at sign"), ERROR_SUCCESS);
  std::string text;
  EXPECT_EQ(key.QueryString("", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "htmlfile");
  EXPECT_EQ(key.QueryString("@", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "at sign");
  std::string exported;
  ASSERT_EQ(RegExport(Hive::ClassesRoot, ".htm", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, std::string(kEmptyExport) +
                          "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\"@\"=\"at sign\"\n\n");
}

TEST_F(Registry, ExportsAKeyWithItsSubtreeOrTheWholeHive) {
  std::string exported;
  ASSERT_EQ(RegExport(Hive::CurrentUser, "", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, kEmptyExport);  // no file yet

  MustCreate(Hive::CurrentUser, "Software\\Attestra", kGlobalClass).SetDword("n", 42);
  MustCreate(Hive::CurrentUser, "Software\\Attestra\\Sub").SetString("s", "x");
  MustCreate(Hive::CurrentUser, "Software\\Other").SetString("o", "y");
  MustCreate(Hive::ClassesRoot, "CLSID\\{0A1B2C3D-0000-4000-8000-00000000ABCD}\\InprocServer32")
      .SetString("", "/opt/vellora/libvlrAddin.so");

  ASSERT_EQ(RegExport(Hive::CurrentUser, "software\\attestra", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, std::string(kEmptyExport) +
                          "[HKEY_CURRENT_USER\\Software\\Attestra]\n"
                          ";Class=\"Application Global Data\"\n"
                          "\"n\"=dword:0000002a\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Attestra\\Sub]\n"
                          "\"s\"=\"x\"\n\n");

  ASSERT_EQ(RegExport(Hive::CurrentUser, "", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser)));

  ASSERT_EQ(RegExport(Hive::ClassesRoot, "", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, std::string(kEmptyExport) +
                          "[HKEY_CLASSES_ROOT\\CLSID]\n\n"
                          "[HKEY_CLASSES_ROOT\\CLSID\\{0A1B2C3D-0000-4000-8000-00000000ABCD}]\n\n"
                          "[HKEY_CLASSES_ROOT\\CLSID\\{0A1B2C3D-0000-4000-8000-00000000ABCD}\\InprocServer32]\n"
                          "@=\"/opt/vellora/libvlrAddin.so\"\n\n");

  // Values on the hive root itself get a header of their own.
  RegKey root;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, "", root), ERROR_SUCCESS);
  ASSERT_EQ(root.SetDword("top", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegExport(Hive::LocalMachine, "", exported), ERROR_SUCCESS);
  EXPECT_EQ(exported, std::string(kEmptyExport) + "[HKEY_LOCAL_MACHINE]\n\"top\"=dword:00000001\n\n");
}

TEST_F(Registry, EveryCallSeesTheFileAsItIsNow) {
  RegKey first = MustCreate(Hive::CurrentUser, "Software\\Shared");
  RegKey second;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Shared", second), ERROR_SUCCESS);
  ASSERT_EQ(first.SetDword("n", 1), ERROR_SUCCESS);
  DWORD n = 0;
  EXPECT_EQ(second.QueryDword("n", n), ERROR_SUCCESS);
  EXPECT_EQ(n, 1u);

  // A person edits the file by hand.
  vlrtest::WriteFile(HiveFilePath(Hive::CurrentUser),
                     "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Shared]\n"
                     "\"n\"=dword:00000005\n");
  EXPECT_EQ(second.QueryDword("n", n), ERROR_SUCCESS);
  EXPECT_EQ(n, 5u);
}

TEST_F(Registry, ANameRepeatedInTheFileKeepsItsFirstPlaceAndLastData) {
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Repeat]\n";
  for (int i = 0; i < 200; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
  text += "\"a\"=\"1\"\n\"B\"=\"2\"\n\"A\"=\"3\"\n\"b\"=dword:00000004\n\"c\"=\"5\"\n\"a\"=\"6\"\n"
          "\"v7\"=dword:00000007\n";
  vlrtest::WriteFile(HiveFilePath(Hive::CurrentUser), text);
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Repeat", key), ERROR_SUCCESS);
  std::vector<std::pair<std::string, RegValue>> values;
  ASSERT_EQ(key.EnumValues(values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 203u);
  EXPECT_EQ(values[7].first, "v7");
  EXPECT_EQ(values[7].second.number, 7u);
  struct Expected {
    const char* name;
    RegType type;
    const char* text;
    DWORD number;
  } expected[] = {{"a", RegType::String, "6", 0}, {"B", RegType::Dword, "", 4}, {"c", RegType::String, "5", 0}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& [name, value] = values[200 + i];
    EXPECT_EQ(name, expected[i].name);
    EXPECT_EQ(value.type, expected[i].type) << name;
    if (value.type == RegType::String) {
      EXPECT_EQ(value.text, expected[i].text) << name;
    } else {
      EXPECT_EQ(value.number, expected[i].number) << name;
    }
  }
}

TEST_F(Registry, UnchangedDataIsNotRewritten) {
  RegKey key = MustCreate(Hive::CurrentUser, kSettingsKey, kGlobalClass);
  ASSERT_EQ(key.SetDword("SSL", 1), ERROR_SUCCESS);
  const std::string hive = HiveFilePath(Hive::CurrentUser);
  ino_t before = FileInode(hive);
  MustCreate(Hive::CurrentUser, kSettingsKey, kGlobalClass);
  ASSERT_EQ(key.SetDword("SSL", 1), ERROR_SUCCESS);
  EXPECT_EQ(FileInode(hive), before);
  ASSERT_EQ(key.SetDword("SSL", 0), ERROR_SUCCESS);
  EXPECT_NE(FileInode(hive), before);
}

// ---- hand-edited and damaged files ----

TEST_F(Registry, ReadsAHandEditedFileAndKeepsItsUnreadableLines) {
  const std::string edited = vlrtest::ReadFile(DataPath("registry_handedited.reg"));
  ASSERT_FALSE(edited.empty());
  const std::string hive = HiveFilePath(Hive::CurrentUser);
  vlrtest::WriteFile(hive, edited);

  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, kSettingsKey, key), ERROR_SUCCESS);
  std::string text;
  DWORD number = 0;
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(key.QueryString("Host", text), ERROR_SUCCESS);
  EXPECT_EQ(text, "hand.example");
  EXPECT_EQ(key.QueryDword("SSL", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(key.QueryDword("ReceiptType", number), ERROR_SUCCESS);  // "DWORD:3"
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(key.QueryBinary("Credentials", bytes), ERROR_SUCCESS);  // continued over lines
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04, 0xab, 0xcd}));
  EXPECT_EQ(key.QueryString("Path", text), ERROR_SUCCESS);  // unknown escapes keep the backslash
  EXPECT_EQ(text, "C:\\Program Files\\Vellora");
  EXPECT_EQ(key.QueryString("Later", text), ERROR_SUCCESS);  // a repeated header adds to its key
  EXPECT_EQ(text, "second section");
  EXPECT_EQ(key.QueryString("Twice", text), ERROR_SUCCESS);  // the last one wins
  EXPECT_EQ(text, "new");
  for (const char* skipped : {"Torn", "BadNumber", "LongNumber", "BadHex", "Expand", "Deleted", "Trailing", "Unquoted",
                              "InBroken", "AfterDelete", "OtherHive", "Orphan"})
    EXPECT_EQ(key.QueryString(skipped, text), ERROR_FILE_NOT_FOUND) << skipped;
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Host", "SSL", "ReceiptType", "Credentials", "Path", "Twice",
                                                       "Later"}));
  std::string keyClass;
  EXPECT_EQ(key.GetClass(keyClass), ERROR_SUCCESS);
  EXPECT_EQ(keyClass, kGlobalClass);

  // A header whose parents were never listed makes them.
  RegKey deep;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Implied\\Parents\\Deep", deep), ERROR_SUCCESS);
  RegKey implied;
  EXPECT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Implied", implied), ERROR_SUCCESS);

  // The first change rewrites the file cleanly and keeps the old one aside.
  ASSERT_EQ(key.SetDword("SSL", 1), ERROR_SUCCESS);
  EXPECT_EQ(vlrtest::ReadFile(hive + ".bad"), edited);
  EXPECT_EQ(FileMode(hive + ".bad"), 0600u);
  EXPECT_TRUE(vlrtest::MatchesExpectedFile(vlrtest::ReadFile(hive), VLR_TEST_DATA_DIR,
                                           "registry_handedited_rewritten.reg"));
  // A clean file needs no copy.
  std::remove((hive + ".bad").c_str());
  ASSERT_EQ(key.SetDword("SSL", 0), ERROR_SUCCESS);
  EXPECT_FALSE(FileExists(hive + ".bad"));
}

TEST_F(Registry, EveryCutOfAFileKeepsTheLinesBeforeTheCut) {
  const std::string full = vlrtest::ReadFile(DataPath("registry_written.reg"));
  ASSERT_FALSE(full.empty());
  const std::string hive = HiveFilePath(Hive::CurrentUser);
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    std::string prefix = full.substr(0, cut);
    std::remove(hive.c_str());  // a fresh file each time: overwriting in place makes ext4 flush
    vlrtest::WriteFile(hive, prefix);
    std::string exported;
    ASSERT_EQ(RegExport(Hive::CurrentUser, "", exported), ERROR_SUCCESS) << cut;
    // Every whole value line of the cut file, with its key header, is read as written.
    std::string header;
    std::size_t pos = 0;
    while (true) {
      std::size_t end = prefix.find('\n', pos);
      if (end == std::string::npos) break;
      std::string line = prefix.substr(pos, end + 1 - pos);
      pos = end + 1;
      if (line[0] == '[') header = line;
      if (line[0] != '"' && line[0] != '@') continue;
      std::size_t keyAt = exported.find(header);
      ASSERT_NE(keyAt, std::string::npos) << "cut " << cut << ": " << header;
      EXPECT_NE(exported.find(line, keyAt), std::string::npos) << "cut " << cut << ": " << line;
    }
  }
}

TEST_F(Registry, GarbageNeverBreaksReadingOrWriting) {
  const std::string hive = HiveFilePath(Hive::CurrentUser);
  std::mt19937 random(20261211);
  const std::string alphabet = "[]\"\\@=;:,\n\r\t abcdefx0123456789HKEY_CURRENT_USER\\Software\x00\xff\xc3"
                               "dword:hex:";
  std::vector<std::string> files = {
      std::string("\xff\xfeW\0i\0n\0d\0o\0w\0s\0", 16),  // a UTF-16 export
      "[",
      "]",
      "\"",
      "\"a\"=\"\\",
      "[HKEY_CURRENT_USER\\A]\n\"h\"=hex:01,\\",
      "[HKEY_CURRENT_USER\\A]\n\"h\"=hex:01,\\\n\\\n\\",
      "[HKEY_CURRENT_USER\\\\\\]\n@=dword:",
      std::string(100000, '['),
      std::string(100000, '\\'),
  };
  // A header nested far beyond any real key.
  std::string deep = "[HKEY_CURRENT_USER";
  for (int level = 0; level < 200000; ++level) deep += "\\a";
  files.push_back(deep + "]\n\"v\"=\"x\"\n");
  files.push_back("[HKEY_CURRENT_USER\\" + std::string(300000, 'n') + "]\n\"v\"=\"x\"\n");
  for (int i = 0; i < 60; ++i) {
    std::string text(random() % 400, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    files.push_back(text);
  }
  for (const std::string& text : files) {
    std::remove(hive.c_str());
    vlrtest::WriteFile(hive, text);
    std::string exported;
    ASSERT_EQ(RegExport(Hive::CurrentUser, "", exported), ERROR_SUCCESS);
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, "Software\\After", "", key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString("v", "ok"), ERROR_SUCCESS);
    std::string value;
    EXPECT_EQ(key.QueryString("v", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "ok");
    // What was written reads back to itself.
    std::string written = vlrtest::ReadFile(hive);
    ASSERT_EQ(RegExport(Hive::CurrentUser, "", exported), ERROR_SUCCESS);
    EXPECT_EQ(exported, written);
  }
}

// ---- several processes ----

namespace {

// Checks one snapshot of the racing hive line by line; returns the number of values or -1.
long CheckRaceSnapshot(const std::string& text) {
  const std::string start = std::string(kEmptyExport);
  if (text.compare(0, start.size(), start) != 0 || text.back() != '\n') return -1;
  long values = 0;
  std::size_t pos = start.size();
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty() || line == "[HKEY_CURRENT_USER\\Software]" || line == "[HKEY_CURRENT_USER\\Software\\Race]")
      continue;
    std::size_t eq = line.find("\"=");
    if (line.compare(0, 2, "\"w") != 0 || eq == std::string::npos) return -1;
    std::string data = line.substr(eq + 2);
    bool number = data.size() == 14 && data.compare(0, 6, "dword:") == 0 &&
                  data.find_first_not_of("0123456789abcdef", 6) == std::string::npos;
    bool text = data.size() > 7 && data.compare(0, 6, "\"text ") == 0 && data.back() == '"' &&
                data.find('"', 1) == data.size() - 1;
    if (!number && !text) return -1;
    ++values;
  }
  return values;
}

constexpr int kValuesPerWriter = 500;

int RunRaceWriter(int writer) {
  RegKey key;
  if (RegKey::Create(Hive::CurrentUser, "Software\\Race", "", key)) return 1;
  for (int i = 0; i < kValuesPerWriter; ++i) {
    std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
    LONG err = i % 2 ? key.SetDword(name, static_cast<DWORD>(writer * 100000 + i))
                     : key.SetString(name, "text " + std::to_string(writer) + "/" + std::to_string(i));
    if (err) return 2;
  }
  return 0;
}

// Reads the hive until `stopFile` appears; on a bad snapshot leaves it in `badFile`.
int RunRaceReader(const std::string& stopFile, const std::string& badFile) {
  const std::string hive = HiveFilePath(Hive::CurrentUser);
  long seen = 0;
  while (true) {
    bool last = FileExists(stopFile);
    if (FileExists(hive)) {
      std::string text = vlrtest::ReadFile(hive);
      long values = CheckRaceSnapshot(text);
      if (values < seen) {  // torn (-1) or lost values
        vlrtest::WriteFile(badFile, text);
        return 1;
      }
      seen = values;
    }
    if (last) return 0;
  }
}

pid_t Spawn(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST_F(Registry, ConcurrentWritersLoseNothingAndReadersNeverSeeAPart) {
  const std::string stopFile = home_.Root() + "/stop";
  const std::string badFile = home_.Root() + "/bad.reg";
  fflush(nullptr);
  pid_t reader = Spawn([&] { return RunRaceReader(stopFile, badFile); });
  pid_t writer0 = Spawn([] { return RunRaceWriter(0); });
  pid_t writer1 = Spawn([] { return RunRaceWriter(1); });
  ASSERT_GT(reader, 0);
  ASSERT_GT(writer0, 0);
  ASSERT_GT(writer1, 0);
  EXPECT_EQ(WaitFor(writer0), 0);
  EXPECT_EQ(WaitFor(writer1), 0);
  vlrtest::WriteFile(stopFile, "");
  EXPECT_EQ(WaitFor(reader), 0) << "bad snapshot:\n" << vlrtest::ReadFile(badFile);

  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, "Software\\Race", key), ERROR_SUCCESS);
  std::vector<std::pair<std::string, RegValue>> values;
  ASSERT_EQ(key.EnumValues(values), ERROR_SUCCESS);
  EXPECT_EQ(values.size(), 2u * kValuesPerWriter);
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kValuesPerWriter; ++i) {
      std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
      RegValue value;
      ASSERT_EQ(key.QueryValue(name, value), ERROR_SUCCESS) << name;
      if (i % 2) {
        EXPECT_EQ(value.type, RegType::Dword) << name;
        EXPECT_EQ(value.number, static_cast<DWORD>(writer * 100000 + i)) << name;
      } else {
        EXPECT_EQ(value.type, RegType::String) << name;
        EXPECT_EQ(value.text, "text " + std::to_string(writer) + "/" + std::to_string(i)) << name;
      }
    }
  }
  EXPECT_EQ(CheckRaceSnapshot(vlrtest::ReadFile(HiveFilePath(Hive::CurrentUser))), 2 * kValuesPerWriter);
  // No temporary file is left behind.
  EXPECT_EQ(FolderEntries(home_.Home() + "/config"),
            (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
}

// ---- failures of the file system ----

TEST_F(Registry, AHiveThatCannotBeWrittenIsAccessDenied) {
  RegKey key = MustCreate(Hive::CurrentUser, "Software\\Locked");
  ASSERT_EQ(key.SetDword("n", 1), ERROR_SUCCESS);
  const std::string config = home_.Home() + "/config";
  const std::string hive = HiveFilePath(Hive::CurrentUser);

  // The lock cannot be taken: its place is held by a folder.
  ::unlink((hive + ".lock").c_str());
  ASSERT_TRUE(CreateDirectories(hive + ".lock"));
  EXPECT_EQ(key.SetDword("n", 2), ERROR_ACCESS_DENIED);
  RegKey created;
  EXPECT_EQ(RegKey::Create(Hive::CurrentUser, "Software\\New", "", created), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(created.IsOpen());
  EXPECT_EQ(RegDeleteTree(Hive::CurrentUser, "Software\\Locked"), ERROR_ACCESS_DENIED);
  DWORD n = 0;
  EXPECT_EQ(key.QueryDword("n", n), ERROR_SUCCESS);  // reading needs no lock
  EXPECT_EQ(n, 1u);
  std::filesystem::remove(hive + ".lock");

  // The configuration folder is not writable (root may write anywhere, so only as a user).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(config.c_str(), 0500), 0);
    EXPECT_EQ(key.SetDword("n", 3), ERROR_ACCESS_DENIED);
    ::chmod(config.c_str(), 0700);
  }

  // The hive's place is held by a folder: the file cannot be read, so it must not be replaced.
  std::filesystem::remove(hive);
  ASSERT_TRUE(CreateDirectories(hive));
  EXPECT_EQ(key.SetDword("n", 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key.QueryDword("n", n), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DirectoryExists(hive));
  std::filesystem::remove(hive);

  std::vector<std::string> left = FolderEntries(config);
  EXPECT_EQ(left, (std::vector<std::string>{"HKEY_CURRENT_USER.reg.lock"}));
}

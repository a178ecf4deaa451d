#include "foundation/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/win/folders.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

constexpr const char* kSettingsKey = "Software\\Attestra\\Attestra for Outlook";

// Each test registers the add-in in its own folder, so the defaults file is the test's own.
class ConfigTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    addinDir_ = home_.Root() + "/install/";
    win::CreateDirectories(addinDir_);
    win::RegKey server;
    ASSERT_EQ(win::RegKey::Create(win::Hive::ClassesRoot,
                                  std::string("CLSID\\") + addin::kClassId + "\\InprocServer32", "", server),
              ERROR_SUCCESS);
    ASSERT_EQ(server.SetString("", addinDir_ + "libvlrAddin.so"), ERROR_SUCCESS);
  }

  void WriteDefaults(const std::string& body) {
    vlrtest::WriteFile(addinDir_ + "vlrDefaults.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vlrDefaults>\n" + body + "</vlrDefaults>\n");
  }

  win::RegKey Settings(const char* sub = nullptr) {
    win::RegKey key;
    std::string path = kSettingsKey;
    if (sub) path += std::string("\\") + sub;
    EXPECT_EQ(win::RegKey::Create(win::Hive::CurrentUser, path, "", key), ERROR_SUCCESS);
    return key;
  }

  std::string addinDir_;
};

TEST_F(ConfigTest, EmptyRegistryAndNoDefaultsFileGiveBuiltInValues) {
  CConfig config;
  EXPECT_EQ(config.GetFileTypes(), "pdf,doc,docx,xls,ppt,html,htm,txt,jpg,png,gif");
  EXPECT_EQ(config.GetSigAttachTypes(), "jpg,png,gif");
  EXPECT_EQ(config.GetReceiptType(), 3);
  EXPECT_EQ(config.GetSigAttachSize(), 32768);
  EXPECT_EQ(config.GetSyncDirection(), 2);
  EXPECT_EQ(config.GetDocSrc(), 0);
  EXPECT_TRUE(config.GetMakeReceipt());
  EXPECT_FALSE(config.GetShareContacts());
  EXPECT_EQ(config.GetCryptoKey(), "");
  EXPECT_EQ(config.GetPort(), 443);
}

TEST_F(ConfigTest, RegistryWinsOverDefaultsFileWhichWinsOverBuiltIn) {
  WriteDefaults("<FileTypes>pdf,txt</FileTypes>\n<ReceiptType>  -7xyz</ReceiptType>\n<SigAttachSize>abc</SigAttachSize>\n"
                "<Gateways>from-defaults</Gateways>\n");
  Settings().SetString("Gateways", "from-registry");
  CConfig config;
  EXPECT_EQ(config.GetGateways(), "from-registry");
  EXPECT_EQ(config.GetFileTypes(), "pdf,txt");
  EXPECT_EQ(config.GetReceiptType(), -7);   // leading sign and digits, the rest ignored
  EXPECT_EQ(config.GetSigAttachSize(), 0);  // no digits at all
  EXPECT_EQ(config.GetSigAttachTypes(), "jpg,png,gif");
}

TEST_F(ConfigTest, DefaultsFileNumbersBeyondThirtyTwoBitsAreClamped) {
  // Integer settings are 32-bit numbers; a longer digit string must neither overflow nor wrap.
  WriteDefaults("<SigAttachSize>99999999999999999999999999</SigAttachSize>\n"
                "<ReceiptType>-4294967296</ReceiptType>\n<SyncDirection>2147483648</SyncDirection>\n");
  CConfig config;
  EXPECT_EQ(config.GetSigAttachSize(), 2147483647L);
  EXPECT_EQ(config.GetReceiptType(), -2147483648L);
  EXPECT_EQ(config.GetSyncDirection(), 2);  // clamped to 2147483647, out of range, reads as 2
  long value = 0;
  ASSERT_EQ(config.GetKey("SyncDirection", value), S_OK);
  EXPECT_EQ(value, 2147483647L);
}

TEST_F(ConfigTest, OutOfRangeAndSwitchValuesReadAsTheGettersDefine) {
  win::RegKey key = Settings();
  key.SetDword("SyncDirection", 7);
  key.SetDword("DocSrc", 5);
  key.SetDword("ShareContacts", 42);
  key.SetDword("MakeReceipt", 0);
  CConfig config;
  EXPECT_EQ(config.GetSyncDirection(), 2);
  EXPECT_EQ(config.GetDocSrc(), 0);
  EXPECT_TRUE(config.GetShareContacts());
  EXPECT_FALSE(config.GetMakeReceipt());
  key.SetDword("SyncDirection", 1);
  key.SetDword("DocSrc", 2);
  EXPECT_EQ(config.GetSyncDirection(), 1);
  EXPECT_EQ(config.GetDocSrc(), 2);
}

TEST_F(ConfigTest, AValueOfTheWrongTypeFallsBackToTheDefault) {
  Settings().SetString("ReceiptType", "9");
  CConfig config;
  EXPECT_EQ(config.GetReceiptType(), 3);
}

TEST_F(ConfigTest, MissingHostIsWrittenByTheFirstRead) {
  {
    win::RegKey key;
    EXPECT_NE(win::RegKey::Open(win::Hive::CurrentUser, kSettingsKey, key), ERROR_SUCCESS);
  }
  CConfig config;
  std::string stored;
  ASSERT_EQ(Settings().QueryString("Host", stored), ERROR_SUCCESS);
  EXPECT_EQ(stored, "api.attestra.net");
  EXPECT_EQ(CCfgBase::ConfiguredHost(), "api.attestra.net");
  std::string keyClass;
  Settings().GetClass(keyClass);
  EXPECT_EQ(keyClass, "Application Global Data");
}

TEST_F(ConfigTest, ServiceUrlFollowsHostPortAndSsl) {
  struct Case {
    const char* host;
    long ssl;
    const char* path;  // override, or none
    const char* url;
  } cases[] = {
      {"test.example", 0, nullptr, "http://test.example/api/3.0/api.asmx"},
      {"test.example", 1, nullptr, "https://test.example/api/3.0/api.asmx"},
      {"127.0.0.1:8443", 5, nullptr, "https://127.0.0.1:8443/api/3.0/api.asmx"},
      {"127.0.0.1:8080", 0, "API/3.0/Credential.asmx", "http://127.0.0.1:8080/API/3.0/Credential.asmx"},
  };
  for (const auto& c : cases) {
    win::RegKey key = Settings();
    key.SetString("Host", c.host);
    key.SetDword("SSL", static_cast<DWORD>(c.ssl));
    CConfig config;
    std::string url;
    ASSERT_EQ(config.GetServiceUrl(url, c.path), S_OK);
    EXPECT_EQ(url, c.url);
    EXPECT_EQ(CCfgBase::ConfiguredHost(), c.host);
  }
  std::string path;
  EXPECT_EQ(Settings().QueryString("ServicePortPath", path), ERROR_SUCCESS);  // written when missing
  EXPECT_EQ(path, "api/3.0/api.asmx");
}

TEST_F(ConfigTest, ConfiguredServicePathIsUsed) {
  WriteDefaults("<ServicePortPath>other/api.asmx</ServicePortPath>\n");
  Settings().SetString("Host", "h");
  CConfig config;
  std::string url;
  ASSERT_EQ(config.GetServiceUrl(url), S_OK);
  EXPECT_EQ(url, "https://h/other/api.asmx");
}

TEST_F(ConfigTest, BlueprintFolderDefaultsToApplicationDataAndIsCreated) {
  CConfig config;
  std::string folder;
  ASSERT_EQ(config.GetBlueprintFolder(folder), S_OK);
  EXPECT_EQ(folder, home_.Home() + "/data/Attestra/Blueprints");
  EXPECT_TRUE(win::DirectoryExists(folder));
  std::string stored;
  EXPECT_NE(Settings().QueryString("BlueprintFolder", stored), ERROR_SUCCESS);  // the default is not stored

  const std::string mine = home_.Root() + "/mine/deep/Blueprints";
  config.SetBlueprintFolder(mine);
  ASSERT_EQ(config.GetBlueprintFolder(folder), S_OK);
  EXPECT_EQ(folder, mine);
  EXPECT_TRUE(win::DirectoryExists(mine));
}

TEST_F(ConfigTest, UncreatableBlueprintFolderIsAccessDenied) {
  const std::string blocker = home_.Root() + "/file";
  vlrtest::WriteFile(blocker, "x");
  CConfig config;
  config.SetBlueprintFolder(blocker + "/Blueprints");
  std::string folder = "unchanged";
  EXPECT_EQ(config.GetBlueprintFolder(folder), E_ACCESSDENIED);
  EXPECT_EQ(folder, "");
}

TEST_F(ConfigTest, LogXmlIsWrittenAsZeroWhenMissing) {
  CConfig config;
  EXPECT_EQ(config.GetLogXML(), 0);
  DWORD stored = 99;
  ASSERT_EQ(Settings("Advanced").QueryDword("LogXML", stored), ERROR_SUCCESS);
  EXPECT_EQ(stored, 0u);
  Settings("Advanced").SetDword("LogXML", 1);
  EXPECT_EQ(config.GetLogXML(), 1);
}

TEST_F(ConfigTest, FindAddinPrefersApplicationModuleThenRegistry) {
  CConfig config;
  std::string folder;
  ASSERT_EQ(config.FindAddin(folder), S_OK);
  EXPECT_EQ(folder, addinDir_);
  CCfgBase::SetApplicationModule(reinterpret_cast<const void*>(&vlrtest::ReadFile));
  ASSERT_EQ(config.FindAddin(folder), S_OK);
  CCfgBase::SetApplicationModule(nullptr);
  EXPECT_NE(folder, addinDir_);
  EXPECT_EQ(folder.back(), '/');
}

TEST_F(ConfigTest, UnregisteredAddinUsesTheRunningModulesFolder) {
  ASSERT_EQ(win::RegDeleteTree(win::Hive::ClassesRoot, "CLSID"), ERROR_SUCCESS);
  CConfig config;
  std::string folder;
  ASSERT_EQ(config.FindAddin(folder), S_OK);
  EXPECT_NE(folder.find("/tests/"), std::string::npos) << folder;
}

TEST_F(ConfigTest, SettersWriteTheRegistryAndDeleteSettingsRemovesAll) {
  {
    CConfig config;
    config.SetAskTabs(false);
    config.SetSyncDirection(1);
    config.SetCmdBarPlacement(1, 2, 3, 4, 5);
    Settings("Advanced").SetDword("Diagnose", 0);
  }
  CConfig config;
  EXPECT_FALSE(config.GetAskTabs());
  EXPECT_EQ(config.GetSyncDirection(), 1);
  long t, l, p, r, v;
  ASSERT_TRUE(config.GetCmdBarPlacement(t, l, p, r, v));
  EXPECT_EQ(r, 4);
  ASSERT_EQ(config.DeleteSettings(), S_OK);
  win::RegKey key;
  EXPECT_EQ(win::RegKey::Open(win::Hive::CurrentUser, kSettingsKey, key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(config.GetCmdBarPlacement(t, l, p, r, v));
  EXPECT_TRUE(config.GetAskTabs());
}

TEST_F(ConfigTest, RibbonResources) {
  CConfig config;
  EXPECT_EQ(config.GetCustomUIResource("Microsoft.Outlook.Mail.Compose"), 9116);
  EXPECT_EQ(config.GetCustomUIResource("Microsoft.Outlook.Explorer"), 9108);
  EXPECT_EQ(config.GetCustomUIResource("Microsoft.Outlook.Mail.Read"), 0);
  EXPECT_EQ(config.GetButtonImageResource(), 10001);
}

}  // namespace

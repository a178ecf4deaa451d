// Exchange addresses turn into SMTP addresses through the messaging library, and the profile
// user's identity comes back with its SMTP address when asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "operations/identity.h"
#include "operations/mapinator.h"
#include "platform/mapi/mapi.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

constexpr const char* kDn = "/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=";

class IdentityTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(outlook::CreateProfile(""), S_OK);
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    dir.EnableExchange("Vellora");
    auto add = [&](const char* name, const char* alias, std::vector<std::string> proxies) {
      return dir.AddUser({0, name, alias, "", 0, "", "", std::move(proxies)}).id;
    };
    me_ = add("Alice Archer", "aarcher", {"smtp:a.archer@example.com", "SMTP:alice@example.com"});
    add("Bob Baker", "bbaker", {"X400:c=US;a= ;p=Vellora;s=Baker", "smtp:bob.alias@example.com", "SMTP:bob@example.com"});
    add("Alias Only", "aonly", {"smtp:first@example.com", "SMTP", "smtp:second@example.com"});
    add("Short Ones", "short", {"smtp", "SMTP:", "Smtp:third@example.com"});
    add("No Mail", "nomail", {"X400:c=US;a= ;p=Vellora;s=Nomail", "FAX:12345"});
    dir.SetCurrentUser(me_);
  }

  std::int64_t me_ = 0;
};

struct ProxyCase {
  const char* alias;
  HRESULT code;
  const char* smtp;
};

TEST_F(IdentityTest, ExchangeAddressesBecomeTheirSmtpProxy) {
  const ProxyCase cases[] = {
      {"bbaker", S_OK, "bob@example.com"},              // the primary, wherever it stands
      {"aarcher", S_OK, "alice@example.com"},
      {"aonly", S_OK, "first@example.com"},             // no primary: the first alias
      {"short", S_OK, "third@example.com"},             // entries too short to hold an address are skipped
      {"nomail", MAPI_E_NOT_FOUND, "unchanged"},
      {"nobody", MAPI_E_NOT_FOUND, "unchanged"},
  };
  for (const ProxyCase& c : cases) {
    SCOPED_TRACE(c.alias);
    CProxy proxy;
    std::string smtp = "unchanged";
    EXPECT_EQ(proxy.GetSmtpProxy(std::string(kDn) + c.alias, smtp), c.code);
    EXPECT_EQ(smtp, c.smtp);
    // Each conversion closes its session and gives the library back.
    IMAPISession* session = nullptr;
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session), MAPI_E_NOT_INITIALIZED);
  }
}

TEST_F(IdentityTest, AConfiguredMailboxNameIsWhatEveryConversionResolves) {
  CConfig().SetMailboxName("Bob Baker");
  CProxy proxy;
  std::string smtp;
  EXPECT_EQ(proxy.GetSmtpProxy(std::string(kDn) + "aarcher", smtp), S_OK);
  EXPECT_EQ(smtp, "bob@example.com");
  EXPECT_EQ(proxy.GetSmtpProxy("/o=anything/cn=at all", smtp), S_OK);
  EXPECT_EQ(smtp, "bob@example.com");
}

TEST_F(IdentityTest, TheProfileUserIdentifiesWithNameAndAddress) {
  CIdentity identity;
  std::string name, address;
  ASSERT_EQ(identity.IdentifyUser("SMTP", name, address), S_OK);
  EXPECT_EQ(name, "Alice Archer");
  EXPECT_EQ(address, "alice@example.com");
  ASSERT_EQ(identity.IdentifyUser("EX", name, address), S_OK);
  EXPECT_EQ(address, std::string(kDn) + "aarcher");
}

TEST_F(IdentityTest, AUserWithoutSmtpProxyCannotIdentifyBySmtp) {
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    dir.SetCurrentUser(dir.ByLegacyDn(std::string(kDn) + "nomail")->id);
  }
  CIdentity identity;
  std::string name = "kept", address = "kept";
  EXPECT_EQ(identity.IdentifyUser("SMTP", name, address), MAPI_E_NOT_FOUND);
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(address, "kept");
  EXPECT_EQ(identity.IdentifyUser("EX", name, address), S_OK);
  EXPECT_EQ(name, "No Mail");
}

TEST(IdentityPlainProfile, NoDirectoryMeansNoConversionButAnSmtpIdentity) {
  vlrtest::TestHome home;
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  CIdentity identity;
  std::string name, address;
  EXPECT_EQ(identity.IdentifyUser("SMTP", name, address), MAPI_E_NOT_FOUND) << "nobody is named yet";
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory(*store).SetCurrentUser("Pat Pop", "SMTP", "pat@pop.example");
  }
  ASSERT_EQ(identity.IdentifyUser("SMTP", name, address), S_OK);
  EXPECT_EQ(name, "Pat Pop");
  EXPECT_EQ(address, "pat@pop.example");
  // Without an Exchange directory there is no Global Address List to convert in.
  CProxy proxy;
  std::string smtp = "unchanged";
  EXPECT_EQ(proxy.GetSmtpProxy(std::string(kDn) + "aarcher", smtp), E_FAIL);
  EXPECT_EQ(smtp, "unchanged");
}

TEST(IdentityNoProfile, WithoutAProfileTheLogonFails) {
  vlrtest::TestHome home;
  CIdentity identity;
  std::string name, address;
  EXPECT_EQ(identity.IdentifyUser("SMTP", name, address), MAPI_E_LOGON_FAILED);
  CProxy proxy;
  EXPECT_EQ(proxy.GetSmtpProxy(std::string(kDn) + "x", address), MAPI_E_LOGON_FAILED);
}

TEST(IdentityAddressList, SizedListsAndEntriesOutOfRange) {
  CProxy proxy;
  LPADRLIST list = nullptr;
  ASSERT_EQ(proxy.CreateSizedAddressList(2, &list), S_OK);
  EXPECT_EQ(list->cEntries, 2u);
  EXPECT_EQ(list->aEntries[1].rgPropVals, nullptr);
  char name[] = "x";
  SPropValue prop{};
  prop.ulPropTag = PR_DISPLAY_NAME;
  prop.Value.lpszA = name;
  EXPECT_EQ(proxy.SetAddressList(list, 1, 1, &prop), S_OK);
  EXPECT_EQ(proxy.SetAddressList(list, 1, 1, &prop), S_OK) << "replacing frees the old copy";
  EXPECT_STREQ(list->aEntries[1].rgPropVals[0].Value.lpszA, "x");
  EXPECT_EQ(proxy.SetAddressList(list, 2, 1, &prop), E_FAIL);
  FreePadrlist(list);
}

// The log names of the conversion, read from a log that this child process starts.
TEST_F(IdentityTest, TheConversionLogsUnderItsNames) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        win::RegKey key;
        // Before anything logs: the log reads its switch once, when it starts.
        win::RegKey::Create(win::Hive::CurrentUser, "Software\\Attestra\\Attestra for Outlook\\Advanced", "", key);
        key.SetDword("Diagnose", 1);
        CProxy proxy;
        std::string smtp;
        proxy.GetSmtpProxy(std::string(kDn) + "bbaker", smtp);
        std::string log = vlrtest::ReadFile(DiagLog().FilePath());
        bool ok = !log.empty();
        if (smtp != "bob@example.com") std::fprintf(stderr, "converted to \"%s\"\n", smtp.c_str());
        for (const char* text : {"CProxy::GetSmtpProxy", "CMapinator::Open", "CMapinator::FindTheGAL", "CProxy::Resolve",
                                 "Calling ResolveNames", "Allocating memory for EntryID", "Copying EntryID",
                                 "Releasing memory", "CMapinator::Close"})
          // The log writes ":" through the entity table, as "&#58;".
          if (log.find(std::regex_replace(text, std::regex(":"), "&#58;")) == std::string::npos) {
            std::fprintf(stderr, "missing from the log: %s\n", text);
            ok = false;
          }
        std::exit(ok && smtp == "bob@example.com" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

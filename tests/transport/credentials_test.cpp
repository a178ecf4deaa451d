// The remembered credentials: one scrambled binary value in the settings key.
#include "foundation/credentials.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/blowfish.h"
#include "foundation/config.h"
#include "platform/win/registry.h"
#include "platform/win/text.h"
#include "tests/support/testenv.h"

namespace {

constexpr const char* kSettingsKey = "Software\\Attestra\\Attestra for Outlook";

std::vector<std::uint8_t> StoredValue() {
  win::RegKey key;
  std::vector<std::uint8_t> bytes;
  if (win::RegKey::Open(win::Hive::CurrentUser, kSettingsKey, key) == ERROR_SUCCESS)
    key.QueryBinary("Credentials", bytes);
  return bytes;
}

void StoreRaw(const std::vector<std::uint8_t>& bytes) {
  win::RegKey key;
  ASSERT_EQ(win::RegKey::Create(win::Hive::CurrentUser, kSettingsKey, "", key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetBinary("Credentials", bytes.data(), bytes.size()), ERROR_SUCCESS);
}

CCredentials Record(std::string email, std::string password) {
  CCredentials c;
  c.email = std::move(email);
  c.password = std::move(password);
  return c;
}

class CredentialsTest : public vlrtest::HomeTest {};

struct RoundTrip {
  const char* name;
  std::string email, password;
  size_t storedBytes;  // e-mail, tab and password in UTF-16, rounded up to 8
};

TEST_F(CredentialsTest, ReadsBackWhatWasStored) {
  const std::string longest = std::string(60, 'a') + "@example.com";  // 72 + 1 + 55 = 128
  const std::vector<RoundTrip> cases = {
      {"plain", "ann@example.com", "secret", 48},
      {"tab in password", "ann@example.com", "se\tcr\tet", 48},
      {"both empty", "", "", 8},
      {"one character each", "a", "b", 8},
      {"non-ASCII", "jos\xC3\xA9@example.com", "p\xC3\xA4ss\xE2\x82\xAC", 48},
      {"exactly 128 characters", longest, std::string(55, 'p'), 256},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.name);
    CConfig config;
    EXPECT_EQ(config.SetCredentials(Record(c.email, c.password)), S_OK);
    EXPECT_EQ(StoredValue().size(), c.storedBytes);
    CCredentials back = Record("old", "old");
    back.accountId = "kept";
    EXPECT_EQ(CConfig().GetCredentials(back), S_OK);
    EXPECT_EQ(back.email, c.email);
    EXPECT_EQ(back.password, c.password);
    EXPECT_EQ(back.accountId, "kept");
  }
}

TEST_F(CredentialsTest, StoredValueIsNotReadable) {
  CConfig().SetCredentials(Record("ann@example.com", "secret"));
  const std::vector<std::uint8_t> stored = StoredValue();
  const std::u16string text = win::Utf8ToUtf16("ann@example.com\tsecret");
  std::vector<std::uint8_t> plain;
  for (char16_t u : text) {
    plain.push_back(static_cast<std::uint8_t>(u & 0xFF));
    plain.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  ASSERT_EQ(stored.size(), 48u);
  EXPECT_NE(std::vector<std::uint8_t>(stored.begin(), stored.begin() + 44), plain);
  EXPECT_EQ(std::search(stored.begin(), stored.end(), plain.begin(), plain.begin() + 6), stored.end());
}

TEST_F(CredentialsTest, TooLongIsRefusedAndTheOldValueStays) {
  CConfig config;
  ASSERT_EQ(config.SetCredentials(Record("ann@example.com", "secret")), S_OK);
  const std::string email = std::string(60, 'a') + "@example.com";
  EXPECT_EQ(config.SetCredentials(Record(email, std::string(56, 'p'))), E_INVALIDARG);
  CCredentials back;
  ASSERT_EQ(config.GetCredentials(back), S_OK);
  EXPECT_EQ(back.email, "ann@example.com");
}

TEST_F(CredentialsTest, NothingStoredGivesTheRegistryError) {
  CCredentials back = Record("keep", "me");
  EXPECT_EQ(CConfig().GetCredentials(back), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(back.email, "keep");
  EXPECT_EQ(back.password, "me");
}

// A configuration whose scrambler takes the key from its key source, so that a test can write
// values of its own under a known key.
class KeyedConfig : public CConfig {
 public:
  explicit KeyedConfig(std::string key) { keySource_ = std::move(key); }
};

std::vector<std::uint8_t> Scrambled(const std::string& key, const std::string& text) {
  const std::u16string units = win::Utf8ToUtf16(text);
  std::vector<std::uint8_t> bytes((units.size() * 2 + 7) / 8 * 8, 0);
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  CBlowfish cipher;
  cipher.SetKey(key.data(), key.size());
  cipher.Encrypt(bytes.data(), bytes.data(), bytes.size());
  return bytes;
}

TEST_F(CredentialsTest, ValueWithoutTabIsRefusedAndTheRecordStays) {
  StoreRaw(Scrambled("test key", "ann@example.com secret"));
  CCredentials back = Record("keep", "me");
  EXPECT_EQ(KeyedConfig("test key").GetCredentials(back), E_FAIL);
  EXPECT_EQ(back.email, "keep");
  EXPECT_EQ(back.password, "me");
}

TEST_F(CredentialsTest, TheLayoutIsUtf16LittleEndianWithTabUnderTheScrambler) {
  StoreRaw(Scrambled("test key", "ann@example.com\tse\tcret"));
  CCredentials back;
  ASSERT_EQ(KeyedConfig("test key").GetCredentials(back), S_OK);
  EXPECT_EQ(back.email, "ann@example.com");
  EXPECT_EQ(back.password, "se\tcret");
  KeyedConfig("test key").SetCredentials(Record("a", "b"));
  EXPECT_EQ(StoredValue(), Scrambled("test key", "a\tb"));
}

TEST_F(CredentialsTest, OverlongStoredValueIsReadUpTo512Bytes) {
  // A value of 600 bytes: only the first 512 are decrypted; the text still ends at its
  // terminator inside them.
  CConfig config;
  ASSERT_EQ(config.SetCredentials(Record("ann@example.com", "secret")), S_OK);
  std::vector<std::uint8_t> stored = StoredValue();
  stored.resize(600, 0xAB);
  StoreRaw(stored);
  CCredentials back;
  ASSERT_EQ(CConfig().GetCredentials(back), S_OK);
  EXPECT_EQ(back.password, "secret");
}

}  // namespace

// The remembered e-mail address and password: one scrambled binary value "Credentials" in the
// settings key, the UTF-16 text "e-mail<TAB>password" zero-padded and Blowfish-encrypted.
#include "foundation/credentials.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/blowfish.h"
#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "foundation/settingnames.h"
#include "platform/win/registry.h"
#include "platform/win/text.h"

namespace {

// Room for 128 UTF-16 characters; reading accepts twice that, as older values may be longer.
constexpr std::size_t kStoreBytes = 256;
constexpr std::size_t kReadBytes = 512;

constexpr std::size_t RoundUp8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// The built-in scrambling key, put together at run time so that it does not sit in the binary
// as one readable string.
std::array<std::uint8_t, 8> BuiltInKey() {
  constexpr std::uint8_t kSeed[8] = {0x3d, 0x91, 0x5a, 0xc4, 0x27, 0xe8, 0x6b, 0x0f};
  std::array<std::uint8_t, 8> key{};
  std::uint8_t mix = 0xa7;
  for (std::size_t i = 0; i < key.size(); ++i) {
    mix = static_cast<std::uint8_t>(mix * 29 + 11);
    key[i] = static_cast<std::uint8_t>(kSeed[i] ^ mix);
  }
  return key;
}

// The configuration object's scrambler, keyed on first use.
const CBlowfish& Keyed(std::unique_ptr<CBlowfish>& scrambler, const std::string& keySource) {
  if (!scrambler) {
    scrambler = std::make_unique<CBlowfish>();
    if (keySource.empty()) {
      const auto key = BuiltInKey();
      scrambler->SetKey(key.data(), key.size());
    } else {
      scrambler->SetKey(keySource.data(), keySource.size());
    }
  }
  return *scrambler;
}

}  // namespace

HRESULT CConfig::SetCredentials(const CCredentials& record) {
  DiagLog().Comment("CConfig::SetCredentials");
  const std::u16string text = win::Utf8ToUtf16(record.email + "\t" + record.password);
  if (text.size() * 2 > kStoreBytes) {
    DiagLog().Error("CConfig::SetCredentials: the credentials are too long to be stored");
    return E_INVALIDARG;
  }
  std::array<std::uint8_t, kStoreBytes> buffer{};
  for (std::size_t i = 0; i < text.size(); ++i) {  // little-endian, as the value was always kept
    buffer[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    buffer[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  const std::size_t length = RoundUp8(text.size() * 2);
  Keyed(scrambler_, keySource_).Encrypt(buffer.data(), buffer.data(), length);
  const HRESULT hr = SetKey(setting::Credentials, buffer.data(), length);
  std::fill(buffer.begin(), buffer.end(), 0);
  return hr;
}

HRESULT CConfig::GetCredentials(CCredentials& record) {
  DiagLog().Comment("CConfig::GetCredentials");
  win::RegKey key;
  std::vector<std::uint8_t> stored;
  LONG err = win::RegKey::Open(win::Hive::CurrentUser, KeyPath(), key);
  if (err == ERROR_SUCCESS) err = key.QueryBinary(setting::Credentials, stored);
  if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
  stored.resize(std::min(stored.size(), kReadBytes));

  // Two zero bytes beyond the largest value terminate the text whatever was stored.
  std::array<std::uint8_t, kReadBytes + 2> plain{};
  Keyed(scrambler_, keySource_).Decrypt(stored.data(), plain.data(), stored.size());
  std::u16string text;
  for (std::size_t i = 0; i + 1 < plain.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(plain[i] | (plain[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  std::fill(plain.begin(), plain.end(), 0);
  const std::string narrow = win::Utf16ToUtf8(text);
  const auto tab = narrow.find('\t');
  if (tab == std::string::npos) {
    DiagLog().Error("CConfig::GetCredentials: the stored value is not readable");
    return E_FAIL;
  }
  record.email = narrow.substr(0, tab);
  record.password = narrow.substr(tab + 1);
  return S_OK;
}

#include "foundation/blowfish.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/blowfish.h>

#include "tests/support/testenv.h"

namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Published vectors write each half most significant byte first; our halves are little-endian.
Bytes SwapHalves(Bytes b) {
  for (size_t i = 0; i + 4 <= b.size(); i += 4) {
    std::swap(b[i], b[i + 3]);
    std::swap(b[i + 1], b[i + 2]);
  }
  return b;
}

// The oracle: OpenSSL's ECB over the same (zero-padded) bytes, halves swapped on the way in
// and out.
Bytes OracleEncrypt(const Bytes& key, Bytes data) {
  BF_KEY bf;
  BF_set_key(&bf, static_cast<int>(key.size()), key.data());
  data.resize((data.size() + 7) / 8 * 8, 0);
  data = SwapHalves(data);
  for (size_t i = 0; i < data.size(); i += 8) BF_ecb_encrypt(&data[i], &data[i], &bf, BF_ENCRYPT);
  return SwapHalves(data);
}
#pragma GCC diagnostic pop

Bytes Random(std::mt19937& gen, size_t n) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>(gen());
  return b;
}

std::string Text(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "<Field Name=\"f" + std::to_string(i) + "\"/>\n";
  s.resize(n);
  return s;
}

std::unique_ptr<CBlowfish> Keyed(const Bytes& key) {
  auto bf = std::make_unique<CBlowfish>();
  EXPECT_TRUE(bf->SetKey(key.data(), key.size()));
  return bf;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

struct Vector {
  const char* key;  // hex, or text when `textKey`
  bool textKey;
  const char* plain;
  const char* cipher;
};

// The published ECB vectors (and the designer's own for longer text keys).
const Vector kVectors[] = {
    {"0000000000000000", false, "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", false, "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", false, "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", false, "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", false, "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", false, "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", false, "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", false, "01A1D6D039776742", "59C68245EB05282B"},
    {"abcdefghijklmnopqrstuvwxyz", true, "424C4F5746495348", "324ED0FEF413A203"},
    {"Who is John Galt?", true, "FEDCBA9876543210", "CC91732B8022F684"},
};

TEST(BlowfishBlocks, PublishedVectorsWithLittleEndianHalves) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.key);
    const Bytes key = v.textKey ? FromText(v.key) : FromHex(v.key);
    const auto bf = Keyed(key);
    const Bytes plain = SwapHalves(FromHex(v.plain));
    Bytes out(8);
    EXPECT_EQ(bf->Encrypt(plain.data(), out.data(), 8), 8u);
    EXPECT_EQ(SwapHalves(out), FromHex(v.cipher));
    Bytes back(8);
    bf->Decrypt(out.data(), back.data(), 8);
    EXPECT_EQ(back, plain);
  }
}

TEST(BlowfishBlocks, AgreesWithOpenSslForRandomKeysAndData) {
  std::mt19937 gen(20240611);
  for (int round = 0; round < 200; ++round) {
    // Keys beyond 72 bytes are cut there by both.
    const Bytes key = Random(gen, 1 + gen() % 80);
    const Bytes plain = Random(gen, gen() % 200);
    const auto bf = Keyed(key);
    Bytes out(plain.size() + 8);
    const size_t n = bf->Encrypt(plain.data(), out.data(), plain.size());
    ASSERT_EQ(n, (plain.size() + 7) / 8 * 8);
    out.resize(n);
    ASSERT_EQ(out, OracleEncrypt(key, plain)) << "key length " << key.size();
    Bytes back(n);
    bf->Decrypt(out.data(), back.data(), n);
    Bytes padded = plain;
    padded.resize(n, 0);
    ASSERT_EQ(back, padded);
  }
}

TEST(BlowfishBlocks, PadsTheLastBlockWithZeros) {
  const auto bf = Keyed(FromText("key"));
  const Bytes five = FromText("hello");
  Bytes out(8);
  EXPECT_EQ(bf->Encrypt(five.data(), out.data(), 5), 8u);
  Bytes back(8);
  bf->Decrypt(out.data(), back.data(), 8);
  EXPECT_EQ(back, FromText(std::string("hello\0\0\0", 8)));
  EXPECT_EQ(bf->Encrypt(five.data(), out.data(), 0), 0u);
}

TEST(BlowfishBlocks, InPlaceMatchesSeparateBuffers) {
  std::mt19937 gen(7);
  const auto bf = Keyed(Random(gen, 16));
  const Bytes plain = Random(gen, 61);
  Bytes apart(64);
  bf->Encrypt(plain.data(), apart.data(), plain.size());
  Bytes inPlace = plain;
  inPlace.resize(64);
  bf->Encrypt(inPlace.data(), inPlace.data(), plain.size());
  EXPECT_EQ(inPlace, apart);
  bf->Decrypt(inPlace.data(), inPlace.data(), 64);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), inPlace.begin()));
}

// A short last block must not make the cipher read past the caller's bytes: the input ends
// right before an inaccessible page.
TEST(BlowfishBlocks, ShortLastBlockReadsOnlyTheGivenBytes) {
  const long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* base = static_cast<unsigned char*>(map);
  ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
  unsigned char* tail = base + page - 13;
  std::memcpy(tail, "thirteen byte", 13);

  const auto bf = Keyed(FromText("guard"));
  Bytes enc(16), dec(16);
  EXPECT_EQ(bf->Encrypt(tail, enc.data(), 13), 16u);
  bf->Decrypt(tail, dec.data(), 13);  // a cut-off ciphertext: its missing bytes count as zeros
  Bytes padded(tail, tail + 13);
  padded.resize(16, 0);
  Bytes expected(16);
  bf->Decrypt(padded.data(), expected.data(), 16);
  EXPECT_EQ(dec, expected);
  munmap(map, 2 * page);
}

TEST(BlowfishKeys, EmptyKeyIsRefusedAndKeepsThePreviousKey) {
  const Bytes key = FromText("secret");
  CBlowfish bf;
  EXPECT_FALSE(bf.HasKey());
  EXPECT_FALSE(bf.SetKey(key.data(), 0));
  EXPECT_FALSE(bf.HasKey());
  ASSERT_TRUE(bf.SetKey(key.data(), key.size()));
  EXPECT_FALSE(bf.SetKey(key.data(), 0));
  EXPECT_TRUE(bf.HasKey());
  const Bytes block = FromText("12345678");
  Bytes a(8);
  bf.Encrypt(block.data(), a.data(), 8);
  EXPECT_EQ(a, OracleEncrypt(key, block));
}

TEST(BlowfishKeys, RekeyingStartsFromTheInitialTables) {
  const Bytes first = FromText("first key"), second = FromText("second");
  CBlowfish bf;
  ASSERT_TRUE(bf.SetKey(first.data(), first.size()));
  ASSERT_TRUE(bf.SetKey(second.data(), second.size()));
  const Bytes block = FromText("abcdefgh");
  Bytes out(8);
  bf.Encrypt(block.data(), out.data(), 8);
  EXPECT_EQ(out, OracleEncrypt(second, block));
}

class BlowfishFiles : public vlrtest::HomeTest {
 protected:
  std::string Source(const std::string& content) {
    const std::string path = home_.Root() + "/source.bin";
    vlrtest::WriteFile(path, content);
    return path;
  }
  const Bytes key_ = FromText("blueprint key");
  const std::unique_ptr<CBlowfish> bf_ = Keyed(key_);
};

TEST_F(BlowfishFiles, BlueprintRoundTripThroughVlrAndXmlFiles) {
  const std::string xml = vlrtest::ReadFile(VLR_TEST_DATA_DIR "/blowfish-blueprint.xml");
  ASSERT_EQ(xml.size(), 1000u);
  std::string encrypted;
  ASSERT_EQ(bf_->EncryptFile(Source(xml), encrypted), S_OK);
  const fs::path enc(encrypted);
  EXPECT_EQ(enc.parent_path(), fs::path(home_.Tmp()));
  EXPECT_EQ(enc.filename().string().rfind("ATg", 0), 0u);
  EXPECT_EQ(enc.extension(), ".vlr");
  struct stat st;
  ASSERT_EQ(stat(encrypted.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The file is plain ECB, readable by any Blowfish with the same byte order.
  const std::string cipher = vlrtest::ReadFile(encrypted);
  EXPECT_EQ(Bytes(cipher.begin(), cipher.end()), OracleEncrypt(key_, FromText(xml)));

  std::string decrypted;
  ASSERT_EQ(bf_->DecryptFile(encrypted, ".xml", decrypted), S_OK);
  EXPECT_EQ(fs::path(decrypted).extension(), ".xml");
  EXPECT_EQ(fs::path(decrypted).parent_path(), fs::path(home_.Tmp()));
  EXPECT_EQ(vlrtest::ReadFile(decrypted), xml);
}

// Pieces are read in blocks; lengths around them, and whole 512-byte pieces whose padding
// must still be dropped.
TEST_F(BlowfishFiles, TextOfEveryLengthSurvivesTheRoundTrip) {
  for (size_t n : {0, 1, 7, 8, 9, 505, 510, 512, 513, 1000, 65533, 65536, 65537, 200000}) {
    SCOPED_TRACE(n);
    const std::string text = Text(n);
    std::string encrypted, decrypted;
    ASSERT_EQ(bf_->EncryptFile(Source(text), encrypted), S_OK);
    EXPECT_EQ(fs::file_size(encrypted), (n + 7) / 8 * 8);
    ASSERT_EQ(bf_->DecryptFile(encrypted, ".xml", decrypted), S_OK);
    EXPECT_EQ(vlrtest::ReadFile(decrypted), text);
    fs::remove(encrypted);
    fs::remove(decrypted);
  }
}

TEST_F(BlowfishFiles, DecryptWithPatternNamesTheOutput) {
  std::string encrypted, decrypted;
  ASSERT_EQ(bf_->EncryptFile(Source("<a/>"), encrypted), S_OK);
  ASSERT_EQ(bf_->DecryptFile(encrypted, "Received %s.xml", decrypted), S_OK);
  const std::string name = fs::path(decrypted).filename().string();
  EXPECT_EQ(name.rfind("Received ATg", 0), 0u) << name;
  EXPECT_EQ(vlrtest::ReadFile(decrypted), "<a/>");
}

TEST_F(BlowfishFiles, FailuresLeaveNoOutputBehind) {
  const std::string cutOff = Source(std::string(13, 'x'));
  struct Case {
    const char* what;
    std::function<HRESULT(std::string&)> run;
    HRESULT expected;
  };
  CBlowfish noKey;
  const Case cases[] = {
      {"missing source", [&](std::string& out) { return bf_->EncryptFile(home_.Root() + "/none", out); },
       HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
      {"missing encrypted file",
       [&](std::string& out) { return bf_->DecryptFile(home_.Root() + "/none", ".xml", out); },
       HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
      {"cut-off ciphertext", [&](std::string& out) { return bf_->DecryptFile(cutOff, ".xml", out); },
       HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
      {"no key to encrypt", [&](std::string& out) { return noKey.EncryptFile(cutOff, out); },
       MakeHr(0x80090003)},
      {"no key to decrypt", [&](std::string& out) { return noKey.DecryptFile(cutOff, ".xml", out); },
       MakeHr(0x80090003)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "unchanged";
    EXPECT_EQ(c.run(out), c.expected);
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(FilesIn(home_.Tmp()).empty());
  }
}

// A write that fails half-way (here: the file size limit) removes the partial output.
TEST_F(BlowfishFiles, WriteFailureRemovesThePartialOutput) {
  const std::string source = Source(Text(300000));
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string out;
  const HRESULT hr = bf_->EncryptFile(source, out);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_TRUE(FilesIn(home_.Tmp()).empty());
}

}  // namespace

#include "service-sim/base64file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;

class SimBase64File : public vlrtest::HomeTest {
 protected:
  fs::path File() const { return fs::path(home_.Tmp()) / "decoded.bin"; }

  // Feeds `text` in pieces of `piece` bytes, as the parser hands character data over.
  std::unique_ptr<sim::Base64FileSink> Decode(const std::string& text, size_t piece = 7) {
    auto sink = std::make_unique<sim::Base64FileSink>(File());
    for (size_t i = 0; i < text.size(); i += piece) sink->Write(text.data() + i, std::min(piece, text.size() - i));
    sink->End();
    return sink;
  }
};

TEST_F(SimBase64File, DecodesWhateverTheLineBreaksAndPieces) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QUJDRA==\n", "ABCD"},
      {"QU\nJD\r\nRE\tU=", "ABCDE"},
      {"  QUJDREVG  \n", "ABCDEF"},
      {"AP8A/w==", std::string("\0\xff\0\xff", 4)},
      {"+/+/", "\xfb\xff\xbf"},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{3}, size_t{1000}}) {
      auto sink = Decode(c.text, piece);
      EXPECT_EQ(sink->Error(), "") << c.text;
      EXPECT_EQ(sink->Size(), c.bytes.size()) << c.text;
      EXPECT_EQ(vlrtest::ReadFile(File()), c.bytes) << c.text << " in pieces of " << piece;
    }
  }
}

TEST_F(SimBase64File, RefusesWhatIsNoBase64) {
  struct Case {
    const char* text;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"QUJD!", "the character '!' at character 5 is not Base64"},
      {"QUJ-", "the character '-' at character 4 is not Base64"},
      {"QUJDRA", "the text ends inside a group of four characters"},
      {"Q", "the text ends inside a group of four characters"},
      {"QUI", "the text ends inside a group of four characters"},
      {"QQ=", "the padding at the end is incomplete"},
      {"=QUJD", "misplaced padding at character 1"},
      {"Q===", "misplaced padding at character 2"},
      {"QUJD=", "misplaced padding at character 5"},
      {"QQ==QQ==", "text follows the padding at character 5"},
      {"QUI==", "misplaced padding at character 5"},
      {"QUJD\x01", "the character 0x01 at character 5 is not Base64"},
  };
  for (const Case& c : cases) {
    auto sink = Decode(c.text);
    EXPECT_EQ(sink->Error(), c.error) << c.text;
  }
}

TEST_F(SimBase64File, DigestsTheDecodedBytes) {
  auto sink = Decode("YWJj");  // "abc"
  EXPECT_EQ(sink->Sha256(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  auto empty = Decode("");
  EXPECT_EQ(empty->Sha256(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(SimBase64File, RemovesItsFileUnlessMovedAway) {
  { auto sink = Decode("QUJD"); }
  EXPECT_FALSE(fs::exists(File()));
  fs::path kept = fs::path(home_.Tmp()) / "kept.bin";
  {
    auto sink = Decode("QUJD");
    sink->MoveTo(kept);
    EXPECT_EQ(sink->File(), kept);
  }
  EXPECT_EQ(vlrtest::ReadFile(kept), "ABC");
  EXPECT_FALSE(fs::exists(File()));
}

}  // namespace

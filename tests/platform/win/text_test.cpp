#include "platform/win/text.h"

#include <gtest/gtest.h>

#include "platform/win/guid.h"

namespace {

struct Utf8Case {
  const char* name;
  std::string input;
  std::u16string utf16;
};

TEST(TextTest, Utf8AndUtf16RoundTrip) {
  const Utf8Case cases[] = {
      {"ascii", "abc", u"abc"},
      {"latin", "Jos\xC3\xA9", u"Jos\u00E9"},
      {"euro", "\xE2\x82\xAC", u"\u20AC"},
      {"astral", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"empty", "", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(win::Utf8ToUtf16(c.input), c.utf16) << c.name;
    EXPECT_EQ(win::Utf16ToUtf8(c.utf16), c.input) << c.name;
  }
}

TEST(TextTest, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(win::Utf8ToUtf16("a\xE9z"), u"a\uFFFDz");            // Latin-1 byte, not UTF-8
  EXPECT_EQ(win::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong "/"
  EXPECT_EQ(win::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");       // cut off at the end
  EXPECT_EQ(win::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(win::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextTest, DecodeUtf8SkipsOneByteOnError) {
  const std::string text = "\x92" "A";
  size_t pos = 0;
  EXPECT_EQ(win::DecodeUtf8(text, pos), -1);
  EXPECT_EQ(pos, 1u);
  EXPECT_EQ(win::DecodeUtf8(text, pos), 'A');
}

TEST(TextTest, CaseFoldingIsAsciiOnly) {
  EXPECT_TRUE(win::EqualsNoCase("Software\\Attestra", "SOFTWARE\\attestra"));
  EXPECT_FALSE(win::EqualsNoCase("\xC3\xA9", "\xC3\x89"));  // é and É differ beyond ASCII
  EXPECT_EQ(win::AsciiLower("HKEY_Current"), "hkey_current");
}

TEST(GuidTest, FormatsParsesAndIsUnique) {
  const win::GUID a = win::NewGuid(), b = win::NewGuid();
  EXPECT_NE(a, b);
  const std::string text = win::GuidToString(a);
  ASSERT_EQ(text.size(), 38u);
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text[15], '4');  // version 4
  EXPECT_EQ(win::GuidFromString(text), a);
  EXPECT_EQ(win::GuidFromString(text.substr(1, 36)), a);
  auto lower = win::GuidFromString("{7a3e5c21-4b9d-4e8f-9c12-3d5b7a9e1f40}");
  ASSERT_TRUE(lower);
  EXPECT_EQ(win::GuidToString(*lower), "{7A3E5C21-4B9D-4E8F-9C12-3D5B7A9E1F40}");
  for (const char* bad : {"", "{}", "{7a3e5c21-4b9d-4e8f-9c12-3d5b7a9e1f4}", "{7a3e5c21x4b9d-4e8f-9c12-3d5b7a9e1f40}",
                          "{7a3e5c21-4b9d-4e8f-9c12-3d5b7a9e1fg0}"})
    EXPECT_FALSE(win::GuidFromString(bad)) << bad;
}

}  // namespace

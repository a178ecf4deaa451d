#include "foundation/base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;

std::string Encoded(Base64Coder& coder) {
  return std::string(coder.GetEncoded(), coder.GetEncodedLength());
}

std::string Decoded(Base64Coder& coder) {
  return std::string(coder.GetDecoded(), coder.GetDecodedLength());
}

std::string RandomBytes(std::mt19937& gen, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

// OpenSSL's block encoder: one line, padded.
std::string Oracle(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

struct Pair {
  const char* bytes;
  const char* text;
};

// RFC 4648, section 10, and the short groups.
const Pair kRfcVectors[] = {
    {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"abc", "YWJj"},
};

TEST(Base64Coder, EncodesAndDecodesTheRfcVectors) {
  Base64Coder coder;
  for (const Pair& p : kRfcVectors) {
    SCOPED_TRACE(p.bytes);
    coder.Encode(std::string(p.bytes));
    EXPECT_EQ(Encoded(coder), p.text);
    EXPECT_EQ(std::strlen(coder.GetEncoded()), coder.GetEncodedLength());
    coder.Decode(std::string(p.text));
    EXPECT_EQ(Decoded(coder), p.bytes);
    EXPECT_STREQ(coder.GetDecoded(), p.bytes);
  }
}

TEST(Base64Coder, DecodingLeavesOutWhiteSpaceAndForeignCharacters) {
  const Pair cases[] = {
      {"abc", "YWJj\r\n   "},
      {"abc", "  Y W\tJ j"},
      {"foobar", "Zm9v\nYmFy\n"},
      {"foobar", "Zm\a9v\b\x0bYm\x0c""Fy"},  // bytes 7 to 13 all count as white space
      {"a", "YQ=="},
      {"a", "YQ"},                           // unpadded last groups still carry their bytes
      {"ab", "YWI"},
      {"", "Y"},
      {"aabc", "YQ==YWJj"},                  // padding ends a group, not the text
      {"abc", "YW*J-j"},
      {"abc", "\xD9\xD7J\xEA"},              // alphabet characters with the top bit set
      {"foo", "Zm9v\x80\xFF"},
  };
  Base64Coder coder;
  for (const Pair& p : cases) {
    SCOPED_TRACE(p.text);
    coder.Decode(std::string(p.text));
    EXPECT_EQ(Decoded(coder), p.bytes);
  }
}

TEST(Base64Coder, RoundTripsEveryByteValueAndAgreesWithOpenSsl) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  std::mt19937 gen(1404);
  Base64Coder coder;
  for (size_t n = 0; n < 300; ++n) {
    // Every byte value at every position of a group, then longer random data.
    const std::string bytes =
        n < 256 ? (all.substr(n) + all.substr(0, n)).substr(0, 256 - n % 3) : RandomBytes(gen, n * 37);
    coder.Encode(bytes.data(), bytes.size());
    ASSERT_EQ(Encoded(coder), Oracle(bytes)) << n;
    coder.Decode(coder.GetEncoded(), coder.GetEncodedLength());
    ASSERT_EQ(Decoded(coder), bytes) << n;
  }
}

// A big result followed by a small one: the small one must still read as terminated text.
TEST(Base64Coder, ReusedBuffersStayZeroTerminated) {
  std::mt19937 gen(3);
  Base64Coder coder;
  coder.Encode(RandomBytes(gen, 100000));
  coder.Encode(std::string("abc"));
  EXPECT_STREQ(coder.GetEncoded(), "YWJj");
  EXPECT_STREQ(coder.GetDecoded(), "abc");
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "QUJD";
  coder.Decode(big);
  EXPECT_EQ(coder.GetDecodedLength(), 15000u);
  coder.Decode(std::string("YQ=="));
  EXPECT_STREQ(coder.GetDecoded(), "a");
  EXPECT_STREQ(coder.GetEncoded(), "YQ==");
}

// The coder's own outputs fed back in: the buffers they live in are the ones being refilled.
TEST(Base64Coder, AcceptsItsOwnBuffersAsInput) {
  std::mt19937 gen(11);
  const std::string bytes = RandomBytes(gen, 9000);
  Base64Coder coder;
  coder.Encode(bytes);
  const std::string text = Encoded(coder);
  coder.Decode(coder.GetEncoded(), coder.GetEncodedLength());
  EXPECT_EQ(Decoded(coder), bytes);
  coder.Encode(static_cast<const void*>(coder.GetDecoded()), coder.GetDecodedLength());
  EXPECT_EQ(Encoded(coder), text);
}

TEST(Base64Coder, FreshCoderGivesEmptyTexts) {
  File64Coder coder;
  EXPECT_STREQ(coder.GetEncoded(), "");
  EXPECT_STREQ(coder.GetDecoded(), "");
  EXPECT_EQ(coder.GetEncodedLength(), 0u);
  EXPECT_EQ(coder.GetDecodedLength(), 0u);
}

class Base64Files : public vlrtest::HomeTest {
 protected:
  std::string Path(const std::string& name) const { return home_.Root() + "/" + name; }
  std::string Write(const std::string& name, const std::string& content) const {
    vlrtest::WriteFile(Path(name), content);
    return Path(name);
  }
  // What coreutils writes for the same bytes: the line format our readers and peers expect.
  std::string Coreutils(const std::string& path, int width) const {
    std::string out;
    EXPECT_EQ(vlrtest::RunCommand("base64 -w " + std::to_string(width) + " '" + path + "'", &out), 0);
    return out;
  }
  File64Coder coder_;
};

TEST_F(Base64Files, HundredBytesGiveTwoFullLinesAndAShortOne) {
  std::mt19937 gen(100);
  const std::string bytes = RandomBytes(gen, 100);
  ASSERT_TRUE(coder_.EncodeFile(Write("in.bin", bytes), Path("out.txt")));
  const std::string text = vlrtest::ReadFile(Path("out.txt"));
  ASSERT_EQ(text.size(), 64u + 1 + 64 + 1 + 8 + 1);
  EXPECT_EQ(text[64], '\n');
  EXPECT_EQ(text[129], '\n');
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.substr(130, 8).find('\n'), std::string::npos);
  ASSERT_TRUE(coder_.DecodeFile(Path("out.txt"), Path("back.bin")));
  EXPECT_EQ(vlrtest::ReadFile(Path("back.bin")), bytes);
}

// Lengths around a line and around the coder's internal pieces.
TEST_F(Base64Files, EncodesLikeCoreutilsAtWidth64AndDecodesBack) {
  std::mt19937 gen(64);
  for (size_t n : {0, 1, 2, 3, 47, 48, 49, 96, 1000, 98303, 98304, 98305, 300001}) {
    SCOPED_TRACE(n);
    const std::string bytes = RandomBytes(gen, n);
    const std::string in = Write("in.bin", bytes);
    ASSERT_TRUE(coder_.EncodeFile(in, Path("out.txt")));
    EXPECT_EQ(vlrtest::ReadFile(Path("out.txt")), Coreutils(in, 64));
    ASSERT_TRUE(coder_.DecodeFile(Path("out.txt"), Path("back.bin")));
    EXPECT_EQ(vlrtest::ReadFile(Path("back.bin")), bytes);
  }
}

// One long line as streamed from a SOAP element, MIME lines of 76, lines longer than 99
// characters, lines whose lengths are not multiples of four, CRLF line ends.
TEST_F(Base64Files, DecodesAnyLineLayout) {
  std::mt19937 gen(76);
  struct Layout {
    const char* what;
    size_t bytes;
    int width;
    bool crlf;
  };
  const Layout layouts[] = {
      {"one 10,000-character line", 7500, 0, false},
      {"one line across pieces", 400000, 0, false},
      {"MIME lines", 5000, 76, false},
      {"MIME lines with CRLF", 5000, 76, true},
      {"long lines", 5000, 120, false},
      {"odd lines", 5000, 63, false},
      {"big MIME text", 400000, 76, true},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.what);
    const std::string bytes = RandomBytes(gen, l.bytes);
    std::string text = Coreutils(Write("in.bin", bytes), l.width);
    if (l.width == 0) {
      ASSERT_EQ(text.find('\n'), std::string::npos);
    }
    if (l.crlf) {
      std::string crlf;
      for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
      text = crlf;
    }
    ASSERT_TRUE(coder_.DecodeFile(Write("in.txt", text), Path("back.bin")));
    EXPECT_EQ(vlrtest::ReadFile(Path("back.bin")), bytes);
  }
}

TEST_F(Base64Files, DecodesASingleLineWithoutLineFeed) {
  std::mt19937 gen(10000);
  const std::string bytes = RandomBytes(gen, 7500);
  Base64Coder memory;
  memory.Encode(bytes);
  ASSERT_EQ(memory.GetEncodedLength(), 10000u);
  ASSERT_TRUE(coder_.DecodeFile(Write("in.txt", Encoded(memory)), Path("back.bin")));
  EXPECT_EQ(vlrtest::ReadFile(Path("back.bin")), bytes);
}

TEST_F(Base64Files, DecodesTheMimeFixture) {
  ASSERT_TRUE(coder_.DecodeFile(VLR_TEST_DATA_DIR "/base64-mime.txt", Path("back.bin")));
  EXPECT_EQ(vlrtest::ReadFile(Path("back.bin")),
            vlrtest::ReadFile(VLR_TEST_DATA_DIR "/base64-mime.bin"));
}

TEST_F(Base64Files, EmptyFilesStayEmpty) {
  ASSERT_TRUE(coder_.EncodeFile(Write("empty", ""), Path("out.txt")));
  EXPECT_TRUE(fs::exists(Path("out.txt")));
  EXPECT_EQ(fs::file_size(Path("out.txt")), 0u);
  ASSERT_TRUE(coder_.DecodeFile(Path("out.txt"), Path("back.bin")));
  EXPECT_TRUE(fs::exists(Path("back.bin")));
  EXPECT_EQ(fs::file_size(Path("back.bin")), 0u);
}

TEST_F(Base64Files, TargetIsReplacedAndPrivate) {
  Write("out.txt", std::string(5000, 'z'));
  ASSERT_TRUE(coder_.EncodeFile(Write("in.bin", "abc"), Path("out.txt")));
  EXPECT_EQ(vlrtest::ReadFile(Path("out.txt")), "YWJj\n");
  ASSERT_TRUE(coder_.DecodeFile(Path("out.txt"), Path("new.bin")));
  struct stat st;
  ASSERT_EQ(stat(Path("new.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Base64Files, OpenFailuresReturnFalse) {
  const std::string in = Write("in.bin", "abc");
  struct Case {
    const char* what;
    std::string source, target;
  };
  const Case cases[] = {
      {"missing source", Path("none"), Path("out")},
      {"target in a missing folder", in, Path("no/such/folder/out")},
      {"target is the source", in, in},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(coder_.EncodeFile(c.source, c.target));
    EXPECT_FALSE(coder_.DecodeFile(c.source, c.target));
    EXPECT_FALSE(fs::exists(Path("out")));
  }
  EXPECT_EQ(vlrtest::ReadFile(in), "abc");
}

// A write that fails half-way (here: the file size limit) removes the partial target.
TEST_F(Base64Files, WriteFailureRemovesThePartialTarget) {
  std::mt19937 gen(29);
  const std::string bytes = RandomBytes(gen, 600000);
  const std::string text = Write("in.txt", Coreutils(Write("in.bin", bytes), 76));
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 200000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool encoded = coder_.EncodeFile(Path("in.bin"), Path("out.txt"));
  const bool decoded = coder_.DecodeFile(text, Path("back.bin"));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(encoded);
  EXPECT_FALSE(decoded);
  EXPECT_FALSE(fs::exists(Path("out.txt")));
  EXPECT_FALSE(fs::exists(Path("back.bin")));
}

}  // namespace

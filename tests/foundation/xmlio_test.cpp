#include "foundation/xmlio.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/xmldoc.h"
#include "tests/support/testenv.h"

namespace {

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 0777;
}

// ---- XmlEscape ---------------------------------------------------------------------------

struct EscapeCase {
  const char* what;
  std::string in;
  std::string out;
};

TEST(XmlEscapeTest, Cases) {
  const EscapeCase cases[] = {
      {"ampersand between letters", "a&b", "a&amp;b"},
      {"less-than", "<", "&lt;"},
      {"markup", "\"x\" > 'y'", "&quot;x&quot; &gt; &#39;y&#39;"},
      {"hyphen", "-", "&#45;"},
      {"quote byte 146 of the Windows code page", "it\x92s", "it&#39;s"},
      {"quote byte 145", "\x91q", "&#39;q"},
      {"lone byte 233 is not UTF-8", "caf\xE9", "caf"},
      {"kept as they are", "Hello World. 0123456789 AZaz", "Hello World. 0123456789 AZaz"},
      {"line breaks stay", "a\r\nb\n", "a\r\nb\n"},
      {"tab", "a\tb", "a&#9;b"},
      {"control bytes dropped", std::string("a\x01\x08\x0B\x0C\x1F", 6) + std::string(1, '\0') + "b",
       "ab"},
      {"DEL", "\x7F", "&#127;"},
      {"semicolon", "a;b", "a&#59;b"},
      {"punctuation", "!#$%()*+,/:=?@[\\]^_`{|}~",
       "&#33;&#35;&#36;&#37;&#40;&#41;&#42;&#43;&#44;&#47;&#58;&#61;&#63;&#64;&#91;&#92;&#93;"
       "&#94;&#95;&#96;&#123;&#124;&#125;&#126;"},
      // Text above 127 is UTF-8 and becomes references of its code points.
      {"accented name", "Jos\xC3\xA9", "Jos&#233;"},
      {"euro sign", "\xE2\x82\xAC", "&#8364;"},
      {"typographic quotes", "\xE2\x80\x98hi\xE2\x80\x99", "&#39;hi&#39;"},
      {"outside the basic plane", "\xF0\x9F\x98\x80", "&#128512;"},
      {"C1 control as UTF-8", "\xC2\x92", "&#146;"},
      {"sequence cut off at the end", "ok\xE2\x82", "ok"},
      {"overlong form", "\xC0\xAF", ""},
      {"encoded surrogate", "\xED\xA0\x80", ""},
      {"not an XML character", "\xEF\xBF\xBE", ""},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", ""},
      {"broken sequence keeps what follows", "\xC3" "A", "A"},
      {"empty", "", ""},
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(XmlEscape(c.in), c.out) << c.what;
}

// The 7-bit part of the table, row by row.
TEST(XmlEscapeTest, SevenBitTable) {
  std::vector<int> kept = {10, 13, 32, 46};
  for (int c = 48; c <= 57; ++c) kept.push_back(c);
  for (int c = 65; c <= 90; ++c) kept.push_back(c);
  for (int c = 97; c <= 122; ++c) kept.push_back(c);
  std::vector<int> numeric = {9, 33, 35, 36, 37, 47, 58, 59, 61, 63, 64};
  for (int c = 39; c <= 45; ++c) numeric.push_back(c);
  for (int c = 91; c <= 96; ++c) numeric.push_back(c);
  for (int c = 123; c <= 127; ++c) numeric.push_back(c);
  std::vector<int> dropped = {11, 12};
  for (int c = 0; c <= 8; ++c) dropped.push_back(c);
  for (int c = 14; c <= 31; ++c) dropped.push_back(c);
  const std::pair<int, const char*> named[] = {
      {34, "&quot;"}, {38, "&amp;"}, {60, "&lt;"}, {62, "&gt;"}};

  std::set<int> covered;
  for (int c : kept) {
    EXPECT_EQ(XmlEscape(std::string(1, static_cast<char>(c))), std::string(1, static_cast<char>(c)))
        << c;
    covered.insert(c);
  }
  for (int c : numeric) {
    EXPECT_EQ(XmlEscape(std::string(1, static_cast<char>(c))), "&#" + std::to_string(c) + ";") << c;
    covered.insert(c);
  }
  for (int c : dropped) {
    EXPECT_EQ(XmlEscape(std::string(1, static_cast<char>(c))), "") << c;
    covered.insert(c);
  }
  for (auto [c, entity] : named) {
    EXPECT_EQ(XmlEscape(std::string(1, static_cast<char>(c))), entity) << c;
    covered.insert(c);
  }
  EXPECT_EQ(covered.size(), 128u);
}

TEST(XmlEscapeTest, OutputIsSevenBitForEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) {
    const std::string one = XmlEscape(std::string(1, static_cast<char>(c)));
    for (char ch : one) {
      EXPECT_LT(static_cast<unsigned char>(ch), 128) << c;
    }
    if (c >= 128 && c != 145 && c != 146) {
      EXPECT_EQ(one, "") << c;  // a lone high byte is no UTF-8
    }
    all += static_cast<char>(c);
  }
  for (char ch : XmlEscape(all)) {
    EXPECT_LT(static_cast<unsigned char>(ch), 128);
  }
}

// What the escaping writes, a parser reads back as the original text.
TEST(XmlEscapeTest, ParserReadsTheTextBack) {
  const std::string texts[] = {
      "P@ss&w0rd<>\"';:!",
      "Ren\xC3\xA9\x65 M\xC3\xBCller \xE2\x82\xAC 100 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
      "tab\there\r\nnew line",
      "a]]>b &amp; c",
  };
  for (const std::string& text : texts) {
    CXMLDoc doc;
    ASSERT_EQ(doc.LoadString("<v>" + XmlEscape(text) + "</v>"), S_OK) << text;
    std::string back;
    ASSERT_EQ(doc.GetSingleNodeValue("/v", back), S_OK);
    // The parser normalises a CR LF pair to LF, as for any XML text.
    std::string expected = text;
    for (size_t p; (p = expected.find("\r\n")) != std::string::npos;) expected.erase(p, 1);
    EXPECT_EQ(back, expected);
  }
}

// ---- CXMLIO ------------------------------------------------------------------------------

struct WriteCase {
  const char* name;
  const char* value;
  bool omitWhenEmpty;
  bool escape;
  HRESULT hr;
  const char* written;
};

TEST(XmlIoTest, WriteElementRules) {
  const WriteCase cases[] = {
      {"Subject", "Hello", false, false, S_OK, "<Subject>Hello</Subject>\n"},
      {"Subject", "a&b", false, true, S_OK, "<Subject>a&amp;b</Subject>\n"},
      {"Subject", "a&b", false, false, S_OK, "<Subject>a&b</Subject>\n"},
      {"Subject", "", false, false, S_OK, "<Subject></Subject>\n"},
      {"Subject", "", false, true, S_OK, "<Subject></Subject>\n"},
      {"Subject", "", true, false, S_OK, ""},
      {"", "<Tabs>", false, false, S_OK, "<Tabs>"},
      {"", "a&b", true, true, S_OK, "a&amp;b"},
      {"", "", false, false, E_INVALIDARG, ""},
      {"", "", true, true, E_INVALIDARG, ""},
  };
  for (const WriteCase& c : cases) {
    CXMLIO io;
    io.WriteRaw("[");
    EXPECT_EQ(io.WriteElement(c.name, c.value, c.omitWhenEmpty, c.escape), c.hr) << c.name << c.value;
    EXPECT_EQ(io.Text(), std::string("[") + c.written) << c.name << "|" << c.value;
  }
}

class XmlIoFileTest : public vlrtest::HomeTest {};

TEST_F(XmlIoFileTest, WritesToTheOpenFileInsteadOfTheBuffer) {
  CXMLIO io;
  ASSERT_EQ(io.OpenFile(".xml"), S_OK);
  ASSERT_TRUE(io.IsFileOpen());
  const std::string path = io.FilePath();
  EXPECT_EQ(path.rfind(home_.Tmp() + "/ATg", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 4), ".xml");
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(io.WriteElement("Name", "R&D", false, true), S_OK);
  EXPECT_EQ(io.WriteElement("Empty", "", true, false), S_OK);
  EXPECT_EQ(io.WriteElement("", "<Raw/>", false, false), S_OK);
  EXPECT_EQ(io.Text(), "");
  ASSERT_EQ(io.CloseFile(), S_OK);
  EXPECT_EQ(vlrtest::ReadFile(path), "<Name>R&amp;D</Name>\n<Raw/>");
  EXPECT_EQ(io.FilePath(), path);  // closing keeps the path

  // Reset forgets the file without deleting it, and empties the buffer.
  io.WriteRaw("buffered");
  EXPECT_EQ(io.Text(), "buffered");
  io.Reset();
  EXPECT_EQ(io.Text(), "");
  EXPECT_EQ(io.FilePath(), "");
  EXPECT_TRUE(vlrtest::ReadFile(path).size() > 0);
}

TEST_F(XmlIoFileTest, PatternsNameTheFile) {
  CXMLIO plain, formatted;
  ASSERT_EQ(plain.OpenFile(""), S_OK);
  EXPECT_EQ(plain.FilePath().substr(plain.FilePath().size() - 4), ".tmp");
  ASSERT_EQ(formatted.OpenFile("Request %s.xml"), S_OK);
  const std::string name = BaseName(formatted.FilePath());
  EXPECT_EQ(name.rfind("Request ATg", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 4), ".xml");
  // Reset closes the file: what was written is on disk afterwards.
  formatted.WriteElement("A", "1", false, false);
  const std::string path = formatted.FilePath();
  formatted.Reset();
  EXPECT_EQ(vlrtest::ReadFile(path), "<A>1</A>\n");
}

TEST_F(XmlIoFileTest, OpenFailsWithoutATemporaryFolder) {
  setenv("TMPDIR", (home_.Root() + "/no/such/folder").c_str(), 1);
  CXMLIO io;
  EXPECT_TRUE(FAILED(io.OpenFile(".xml")));
  EXPECT_FALSE(io.IsFileOpen());
  CXMLElem elem;
  EXPECT_EQ(elem.OpenTempFile(), E_FAIL);
  EXPECT_FALSE(elem.HasTempFile());
}

// A write the disk refuses is reported, not lost silently.
TEST_F(XmlIoFileTest, FailedWriteIsReported) {
  CXMLIO io;
  ASSERT_EQ(io.OpenFile(".xml"), S_OK);
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string big(256 * 1024, 'x');
  const HRESULT write = io.WriteElement("Big", big, false, false);
  const HRESULT close = io.CloseFile();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(write, E_FAIL);
  EXPECT_EQ(close, E_FAIL);  // the file stays marked as incomplete
}

// ---- CXMLElem ----------------------------------------------------------------------------

TEST(XmlElemTest, StartsEmpty) {
  CXMLElem elem;
  EXPECT_EQ(elem.TagName(), "");
  EXPECT_EQ(elem.TextTarget(), nullptr);
  EXPECT_FALSE(elem.CollectsText());
  EXPECT_EQ(elem.Value(), 0);
  EXPECT_FALSE(elem.HasTempFile());
  EXPECT_EQ(elem.TempFilePath(), "");
  EXPECT_EQ(elem.WriteTempFile("x"), E_FAIL);
}

TEST_F(XmlIoFileTest, TempFileOutlivesTheElement) {
  std::string path;
  {
    CXMLElem elem("PDFBytes");
    ASSERT_EQ(elem.OpenTempFile(), S_OK);
    path = elem.TempFilePath();
    EXPECT_EQ(BaseName(path).rfind("ATg", 0), 0u) << path;
    EXPECT_EQ(path.rfind(home_.Tmp() + "/", 0), 0u) << path;
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(elem.WriteTempFile("SGVs"), S_OK);
    EXPECT_EQ(elem.WriteTempFile("bG8="), S_OK);
  }  // destroyed: closed, not deleted
  EXPECT_EQ(vlrtest::ReadFile(path), "SGVsbG8=");
}

TEST_F(XmlIoFileTest, DecodeToTempFile) {
  // OpenSSL is the oracle for the Base64 text.
  std::string raw;
  for (int i = 0; i < 5000; ++i) raw += static_cast<char>((i * 37 + 11) & 0xFF);
  std::vector<unsigned char> encoded(4 * (raw.size() + 2) / 3 + 1);
  const int n = EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char*>(raw.data()),
                                static_cast<int>(raw.size()));
  const std::string source = home_.Root() + "/source.b64";
  vlrtest::WriteFile(source, std::string(reinterpret_cast<char*>(encoded.data()), n));

  std::string pdf, named;
  ASSERT_EQ(CXMLElem::DecodeToTempFile(source, ".pdf", pdf), S_OK);
  EXPECT_EQ(BaseName(pdf).rfind("ATg", 0), 0u) << pdf;
  EXPECT_EQ(pdf.substr(pdf.size() - 4), ".pdf");
  EXPECT_EQ(pdf.rfind(home_.Tmp() + "/", 0), 0u) << pdf;
  EXPECT_EQ(vlrtest::ReadFile(pdf), raw);
  EXPECT_EQ(ModeOf(pdf), 0600u);

  ASSERT_EQ(CXMLElem::DecodeToTempFile(source, "Signed Copy %s.pdf", named), S_OK);
  EXPECT_EQ(BaseName(named).rfind("Signed Copy ATg", 0), 0u) << named;
  EXPECT_EQ(vlrtest::ReadFile(named), raw);

  // A source that cannot be decoded leaves nothing behind and the path alone.
  const std::set<std::string> before = FilesIn(home_.Tmp());
  std::string path = "unchanged";
  EXPECT_TRUE(FAILED(CXMLElem::DecodeToTempFile(home_.Root() + "/missing.b64", ".pdf", path)));
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(FilesIn(home_.Tmp()), before);
}

}  // namespace

#include "foundation/sax.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/guard.h"
#include "tests/support/testenv.h"

namespace {

const std::string kData = VLR_TEST_DATA_DIR;

// Writes down every event as one line; runs of characters are joined.
class RecordingReader : public CSAXContentHandler {
 public:
  std::vector<std::string> events;
  std::string stopAt;  // an element whose start fails with E_ABORT
  bool throwAtStop = false;

  HRESULT startDocument() override { return Note("startDocument"); }
  HRESULT endDocument() override { return Note("endDocument"); }
  HRESULT startPrefixMapping(std::string_view prefix, std::string_view uri) override {
    return Note("prefix " + std::string(prefix) + "=" + std::string(uri));
  }
  HRESULT endPrefixMapping(std::string_view prefix) override {
    return Note("end prefix " + std::string(prefix));
  }
  HRESULT startElement(std::string_view name, const CSAXAttributes& attributes) override {
    if (name == stopAt) {
      if (throwAtStop) Raise(E_ACCESSDENIED);
      return E_ABORT;
    }
    std::string line = "start " + std::string(name);
    for (size_t i = 0; i < attributes.Count(); ++i)
      line += " " + attributes.At(i).name + "=[" + attributes.At(i).value + "]";
    return Note(line);
  }
  HRESULT endElement(std::string_view name) override { return Note("end " + std::string(name)); }
  HRESULT characters(std::string_view text) override {
    if (!events.empty() && events.back().rfind("text ", 0) == 0)
      events.back().append(text);
    else
      events.push_back("text " + std::string(text));
    return S_OK;
  }
  HRESULT processingInstruction(std::string_view target, std::string_view data) override {
    return Note("pi " + std::string(target) + " " + std::string(data));
  }

 private:
  HRESULT Note(std::string line) {
    events.push_back(std::move(line));
    return S_OK;
  }
};

// Counts what the error handler hears and can refuse non-fatal errors.
class CountingErrors : public CSAXErrorHandler {
 public:
  int errors = 0, fatals = 0;
  HRESULT refuse = S_OK;
  HRESULT error(const CSAXError&) override {
    ++errors;
    return refuse;
  }
  HRESULT fatalError(const CSAXError&) override {
    ++fatals;
    return S_OK;
  }
};

class SaxTest : public vlrtest::HomeTest {};

TEST_F(SaxTest, EventsCarryNamesAsWrittenAndDecodedText) {
  RecordingReader reader;
  CSAXReader sax(reader);
  ASSERT_EQ(sax.ParseFile(kData + "/xmlsax-events.xml"), S_OK);
  const std::vector<std::string> expected = {
      "startDocument",
      "pi vlr-note keep this",
      "prefix soap=http://schemas.xmlsoap.org/soap/envelope/",
      "start soap:Envelope",
      "text \n",
      "start soap:Body",
      "text \n",
      "prefix =urn:attestra:api",
      "prefix x=urn:x",
      "start Result Kind=[a&b <c> &#38;] x:Extra=[q\"]",
      "text \n",
      "start Name",
      "text R&D Jos\xC3\xA9 <raw> & ",
      "end Name",
      "text \n",
      "start Empty",
      "end Empty",
      "text \n",
      "end Result",
      "end prefix ",
      "end prefix x",
      "text \n",
      "end soap:Body",
      "text \n",
      "end soap:Envelope",
      "end prefix soap",
      "endDocument",
  };
  EXPECT_EQ(reader.events, expected);
}

TEST_F(SaxTest, Latin1TextArrivesAsUtf8) {
  RecordingReader reader;
  CSAXReader sax(reader);
  ASSERT_EQ(sax.ParseFile(kData + "/xmlsax-latin1.xml"), S_OK);
  EXPECT_NE(std::find(reader.events.begin(), reader.events.end(), "text Jos\xC3\xA9 M\xC3\xBC" "ller"),
            reader.events.end());
}

// A text far larger than one read piece, with multi-byte characters across the piece borders,
// comes out whole.
TEST_F(SaxTest, TextAcrossReadPieces) {
  std::string text, expected;
  while (text.size() < 300 * 1024) {
    text += "\xE2\x82\xAC a&amp;b \xC3\xA9";
    expected += "\xE2\x82\xAC a&b \xC3\xA9";
  }
  const std::string document = "<r><t>" + text + "</t></r>";
  for (int fromFile = 0; fromFile < 2; ++fromFile) {
    RecordingReader reader;
    CSAXReader sax(reader);
    if (fromFile) {
      const std::string path = home_.Tmp() + "/big.xml";
      vlrtest::WriteFile(path, document);
      ASSERT_EQ(sax.ParseFile(path), S_OK);
    } else {
      ASSERT_EQ(sax.ParseText(document), S_OK);
    }
    ASSERT_EQ(reader.events.size(), 7u);
    EXPECT_TRUE(reader.events[3] == "text " + expected) << fromFile;
  }
}

TEST_F(SaxTest, ACallbackFailureStopsTheReading) {
  for (bool throwing : {false, true}) {
    RecordingReader reader;
    reader.stopAt = "Name";
    reader.throwAtStop = throwing;
    CSAXReader sax(reader);
    EXPECT_EQ(sax.ParseFile(kData + "/xmlsax-events.xml"), throwing ? E_ACCESSDENIED : E_ABORT);
    ASSERT_EQ(reader.events.size(), 11u);  // up to the text after "Result", nothing more
    EXPECT_EQ(reader.events[9].rfind("start Result", 0), 0u) << reader.events[9];
  }
}

TEST_F(SaxTest, BrokenDocumentsGiveAnErrorNotACrash) {
  const std::string full = vlrtest::ReadFile(kData + "/xmlsax-events.xml");
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"truncated", full.substr(0, full.size() / 2)},
      {"cut inside a tag", full.substr(0, full.find("<Empty") + 3)},
      {"mismatched tags", "<a><b></a></b>"},
      {"two roots", "<a/><b/>"},
      {"not XML", "hello world"},
      {"bad character reference", "<a>&#0;</a>"},
      {"undeclared entity", "<a>&nbsp;</a>"},
      {"binary", std::string("<a>\x01\x02\x00\xFF</a>", 10)},
  };
  for (const auto& c : cases) {
    const std::string path = home_.Tmp() + "/broken.xml";
    vlrtest::WriteFile(path, c.text);
    RecordingReader reader;
    CountingErrors errors;
    CSAXReader sax(reader, &errors);
    EXPECT_EQ(sax.ParseFile(path), E_FAIL) << c.what;
    EXPECT_NE(sax.Error().code, 0) << c.what;
    EXPECT_FALSE(sax.Error().message.empty()) << c.what;
    EXPECT_GE(errors.fatals, 1) << c.what;
    RecordingReader again;
    CSAXReader fromText(again);
    EXPECT_EQ(fromText.ParseText(c.text), E_FAIL) << c.what;
  }
  RecordingReader reader;
  CSAXReader sax(reader);
  EXPECT_EQ(sax.ParseFile(home_.Tmp() + "/missing.xml"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(SaxTest, ErrorHandlerDecidesOnRecoverableErrors) {
  // An unbound prefix is an error the parser can read past.
  const std::string text = "<x:a><b>1</b></x:a>";
  {
    RecordingReader reader;
    CountingErrors errors;
    CSAXReader sax(reader, &errors);
    EXPECT_EQ(sax.ParseText(text), S_OK);
    EXPECT_EQ(errors.errors, 1);
    EXPECT_EQ(reader.events[1], "start x:a");
    EXPECT_EQ(reader.events.back(), "endDocument");
  }
  {
    RecordingReader reader;
    CountingErrors errors;
    errors.refuse = E_ABORT;
    CSAXReader sax(reader, &errors);
    EXPECT_EQ(sax.ParseText(text), E_ABORT);
    EXPECT_EQ(reader.events.size(), 1u);  // stopped before the element
  }
}

TEST_F(SaxTest, DoctypesAreRefusedAndNothingOutsideIsRead) {
  const std::string secret = home_.Tmp() + "/secret.txt";
  vlrtest::WriteFile(secret, "TOP-SECRET-42");
  const std::string documents[] = {
      "<!DOCTYPE r [<!ENTITY xxe SYSTEM \"file://" + secret + "\">]><r>&xxe;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]><r/>",
      "<!DOCTYPE r SYSTEM \"file://" + secret + "\"><r/>",
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]><r>&b;</r>",
  };
  for (const std::string& text : documents) {
    RecordingReader reader;
    CSAXReader sax(reader);
    EXPECT_EQ(sax.ParseText(text), E_FAIL) << text;
    EXPECT_EQ(sax.Error().message, "DTD is prohibited");
    for (const std::string& e : reader.events) EXPECT_EQ(e.find("TOP-SECRET"), std::string::npos);
  }
}

// ---- the stack and the base handler's text routing ----------------------------------------

class CountedElem : public CXMLElem {
 public:
  explicit CountedElem(int* alive) : CXMLElem("Counted"), alive_(alive) { ++*alive_; }
  ~CountedElem() override { --*alive_; }

 private:
  int* alive_;
};

TEST(SaxStackTest, InnermostFirstOwnedOrObserved) {
  int alive = 0;
  CXMLElem outer("Outer");
  CSAXStack stack;
  EXPECT_TRUE(stack.IsEmpty());
  EXPECT_EQ(stack.Top(), nullptr);
  EXPECT_EQ(stack.Pop(), nullptr);
  stack.Push(&outer);
  CXMLElem* counted = stack.Push(std::make_unique<CountedElem>(&alive));
  stack.Push(std::make_unique<CXMLElem>("Inner"));
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(stack.Size(), 3u);
  EXPECT_EQ(stack.Top()->TagName(), "Inner");
  EXPECT_EQ(stack.At(1), counted);
  EXPECT_EQ(stack.At(2), &outer);
  EXPECT_EQ(stack.At(3), nullptr);

  EXPECT_EQ(stack.PopAs<CountedElem>(), nullptr);  // Inner is no CountedElem: destroyed
  std::unique_ptr<CountedElem> mine = stack.PopAs<CountedElem>();
  EXPECT_EQ(mine.get(), counted);
  EXPECT_EQ(alive, 1);
  mine.reset();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(stack.Pop(), nullptr);  // the observed one is not handed out
  EXPECT_TRUE(stack.IsEmpty());

  stack.Push(std::make_unique<CountedElem>(&alive));
  stack.Clear();
  EXPECT_EQ(alive, 0);
}

// A reader in the style of the model's readers: the document is the top object; PushChild
// collectors fill its members; "PDFBytes" goes to a temporary file.
class DocumentReader : public CSAXContentHandler {
 public:
  CXMLElem document{"Document"};
  std::string name, key;
  std::string pdfPath;
  std::map<std::string, HRESULT, std::less<>> pushed;  // PushChild's result per element

  HRESULT startElement(std::string_view element, const CSAXAttributes&) override {
    if (element == "Document") {
      stack_.Push(&document);
      return S_OK;
    }
    CXMLElem *top = nullptr, *child = nullptr;
    if (element == "PDFBytes") {
      if (stack_.Top() != &document) return S_OK;
      auto bytes = std::make_unique<CXMLElem>("PDFBytes");
      if (HRESULT hr = bytes->OpenTempFile(); FAILED(hr)) return hr;
      stack_.Push(std::move(bytes));
      return S_OK;
    }
    const HRESULT hr = PushChild("Document", element, top, child);
    pushed[std::string(element)] = hr;
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(top, &document);
      EXPECT_TRUE(child->CollectsText());
      EXPECT_EQ(child->TagName(), element);
      if (element == "Name") child->SetTextTarget(&name);
      if (element == "Key") child->SetTextTarget(&key);
    }
    return S_OK;
  }

  HRESULT endElement(std::string_view element) override {
    CXMLElem* top = stack_.Top();
    if (!top || top->TagName() != element) return S_OK;
    if (element == "PDFBytes") {
      if (HRESULT hr = top->CloseTempFile(); FAILED(hr)) return hr;
      pdfPath = top->TempFilePath();
    }
    stack_.Pop();
    return S_OK;
  }
};

TEST_F(SaxTest, PushChildAndTextRouting) {
  DocumentReader reader;
  CXMLElem *top = nullptr, *child = nullptr;
  EXPECT_EQ(reader.PushChild("Document", "Name", top, child), E_FAIL);  // empty stack
  EXPECT_EQ(top, nullptr);

  CSAXReader sax(reader);
  ASSERT_EQ(sax.ParseText("<Document><Name>Con<!-- x -->tract &amp; co</Name>"
                          "<Key> K1 <Sub/></Key><Other>dropped</Other>text of the document itself"
                          "<PDFBytes>SGVs\nbG8=</PDFBytes></Document>"),
            S_OK);
  EXPECT_EQ(reader.name, "Contract & co");  // collected as it comes, not trimmed
  EXPECT_EQ(reader.key, " K1 ");
  EXPECT_EQ(vlrtest::ReadFile(reader.pdfPath), "SGVs\nbG8=");
  EXPECT_EQ(reader.pdfPath.rfind(home_.Tmp() + "/ATg", 0), 0u) << reader.pdfPath;
  EXPECT_TRUE(reader.Stack().IsEmpty());
  EXPECT_EQ(reader.pushed["Name"], S_OK);
  EXPECT_EQ(reader.pushed["Other"], S_OK);
  EXPECT_EQ(reader.pushed["Sub"], E_FAIL);  // "Key" was on top, not "Document"

  CXMLElem other("Other");
  reader.Stack().Push(&other);
  EXPECT_EQ(reader.PushChild("Document", "Name", top, child), E_FAIL);
  EXPECT_EQ(reader.Stack().Size(), 1u);
}

TEST_F(SaxTest, TextWithoutATargetOrFileIsDropped) {
  CSAXContentHandler handler;
  CXMLElem plain("Plain");
  std::string target;
  plain.SetTextTarget(&target);  // a target without the collect flag does not collect
  handler.Stack().Push(&plain);
  EXPECT_EQ(handler.characters("lost"), S_OK);
  EXPECT_EQ(target, "");
  plain.SetCollectText(true);
  EXPECT_EQ(handler.characters("kept"), S_OK);
  EXPECT_EQ(target, "kept");
}

// A Base64 element of ~50 MB streams into a temporary file and decodes into the document,
// while the reading process stays small.
TEST_F(SaxTest, HugeBase64ElementStreamsToDisk) {
  const std::string xmlPath = home_.Tmp() + "/response.xml";
  constexpr int kBlocks = 800;
  constexpr int kBlockBytes = 3 * 16384;  // 64 KiB of Base64 per block
  auto blockByte = [](int block, int i) {
    return static_cast<unsigned char>((block * 131 + i * 7 + (i >> 9)) & 0xFF);
  };
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(xmlPath.c_str(), "wb"),
                                                        &std::fclose);
    ASSERT_TRUE(out);
    std::fputs("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"urn:s\">"
               "<soap:Body><Response><Document><PDFBytes>",
               out.get());
    std::vector<unsigned char> raw(kBlockBytes), text(kBlockBytes / 3 * 4 + 1);
    for (int b = 0; b < kBlocks; ++b) {
      for (int i = 0; i < kBlockBytes; ++i) raw[i] = blockByte(b, i);
      const int n = EVP_EncodeBlock(text.data(), raw.data(), kBlockBytes);
      ASSERT_EQ(std::fwrite(text.data(), 1, n, out.get()), static_cast<size_t>(n));
      std::fputc('\n', out.get());
    }
    std::fputs("</PDFBytes></Document></Response></soap:Body></soap:Envelope>\n", out.get());
  }

  struct rusage before {};
  getrusage(RUSAGE_SELF, &before);
  DocumentReader reader;
  CSAXReader sax(reader);
  ASSERT_EQ(sax.ParseFile(xmlPath), S_OK);
  struct rusage after {};
  getrusage(RUSAGE_SELF, &after);
  // The document is about 52 MB; holding it (or its text) would show here.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 24 * 1024) << "KiB";
  std::remove(xmlPath.c_str());

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> streamed(std::fopen(reader.pdfPath.c_str(), "rb"),
                                                           &std::fclose);
  ASSERT_TRUE(streamed);
  std::fseek(streamed.get(), 0, SEEK_END);
  EXPECT_EQ(std::ftell(streamed.get()), static_cast<long>(kBlocks) * (kBlockBytes / 3 * 4 + 1));
  streamed.reset();

  std::string decoded;
  ASSERT_EQ(CXMLElem::DecodeToTempFile(reader.pdfPath, ".pdf", decoded), S_OK);
  std::remove(reader.pdfPath.c_str());
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> pdf(std::fopen(decoded.c_str(), "rb"), &std::fclose);
  ASSERT_TRUE(pdf);
  std::vector<unsigned char> got(kBlockBytes);
  for (int b = 0; b < kBlocks; ++b) {
    ASSERT_EQ(std::fread(got.data(), 1, kBlockBytes, pdf.get()), static_cast<size_t>(kBlockBytes));
    for (int i = 0; i < kBlockBytes; ++i)
      ASSERT_EQ(got[i], blockByte(b, i)) << "block " << b << " byte " << i;
  }
  EXPECT_EQ(std::fgetc(pdf.get()), EOF);
  pdf.reset();
  std::remove(decoded.c_str());
}

}  // namespace

#include "service-sim/soaprequest.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "service-sim/soapfault.h"
#include "service-sim/wssecurity.h"
#include "service-sim/xmltext.h"
#include "tests/support/testenv.h"
#include "transport/soapnames.h"

namespace {

namespace fs = std::filesystem;

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

class SimXml : public vlrtest::HomeTest {
 protected:
  std::unique_ptr<sim::XmlDocument> Parse(const std::string& text) {
    vlrtest::WriteFile(Body(), text);
    return sim::XmlDocument::ParseFile(Body(), Stem());
  }
  fs::path Body() const { return fs::path(home_.Tmp()) / "body.xml"; }
  fs::path Stem() const { return fs::path(home_.Tmp()) / "body.text"; }
  size_t TextFiles() const {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(home_.Tmp())) n += e.path().extension() == ".txt";
    return n;
  }
};

const char* const kEnvelope =
    "<e:Envelope xmlns:e='http://schemas.xmlsoap.org/soap/envelope/' xmlns:x='urn:x'>"
    "<e:Header><x:Block e:mustUnderstand='1'/></e:Header>"
    "<e:Body><Op xmlns='urn:op' x:flag='yes'><Item>a &amp; b</Item><Item><![CDATA[<c>]]></Item></Op></e:Body>"
    "</e:Envelope>";

TEST_F(SimXml, ResolvesNamespacesOfElementsAndAttributes) {
  auto doc = Parse(kEnvelope);
  const sim::XmlElement& root = doc->Root();
  EXPECT_TRUE(root.Is(soapns::kEnvelope, "Envelope"));
  EXPECT_EQ(root.prefix, "e");
  const sim::XmlElement* op = root.Child(soapns::kEnvelope, "Body")->FirstChild();
  ASSERT_NE(op, nullptr);
  EXPECT_TRUE(op->Is("urn:op", "Op"));
  ASSERT_NE(op->Attribute("urn:x", "flag"), nullptr);
  EXPECT_EQ(*op->Attribute("urn:x", "flag"), "yes");
  EXPECT_EQ(op->Attribute("", "flag"), nullptr);
  auto items = op->Children("urn:op", "Item");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->text, "a & b");
  EXPECT_EQ(items[1]->text, "<c>");
  EXPECT_TRUE(op->Children("", "Item").empty());
}

TEST_F(SimXml, BigTextGoesToAFileThatLeavesWithTheDocument) {
  std::string big(3 * sim::XmlDocument::kInlineTextLimit + 17, 'Q');
  big[100] = 'A';
  big.back() = 'Z';
  {
    auto doc = Parse("<r><small>x</small><big>" + big + "</big></r>");
    const sim::XmlElement* e = doc->Root().Child("", "big");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->text.empty());
    EXPECT_EQ(e->textSize, big.size());
    ASSERT_FALSE(e->textFile.empty());
    EXPECT_EQ(vlrtest::ReadFile(e->textFile), big);
    EXPECT_EQ(doc->Root().Child("", "small")->text, "x");
    EXPECT_EQ(TextFiles(), 1u);
  }
  EXPECT_EQ(TextFiles(), 0u);
}

TEST_F(SimXml, ReleasedTextFilesStay) {
  fs::path kept;
  {
    auto doc = Parse("<r>" + std::string(sim::XmlDocument::kInlineTextLimit + 1, 'x') + "</r>");
    kept = doc->Root().textFile;
    doc->ReleaseTextFiles();
  }
  EXPECT_TRUE(fs::exists(kept));
}

TEST_F(SimXml, RefusesWhatIsNotPlainWellFormedXml) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"not XML", "hello world"},
      {"truncated", std::string(kEnvelope).substr(0, 120)},
      {"unclosed root", "<a><b/>"},
      {"two roots", "<a/><b/>"},
      {"undeclared prefix", "<p:a/>"},
      {"undefined entity", "<a>&nope;</a>"},
      {"entity expansion", "<!DOCTYPE a [<!ENTITY x 'xxxxxxxx'><!ENTITY y '&x;&x;&x;&x;'>]><a>&y;</a>"},
      {"external entity", "<!DOCTYPE a [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><a>&x;</a>"},
      {"huge name", "<" + std::string(100000, 'n') + "/>"},
      {"deep nesting", Repeat("<d>", 5000) + Repeat("</d>", 5000)},
      {"binary", std::string("\x00\x01\xff\xfe<a>", 7)},
      {"bad UTF-8", "<a>\xc3\x28</a>"},
  };
  for (const auto& [name, text] : cases) {
    EXPECT_THROW(Parse(text), sim::XmlError) << name;
    EXPECT_EQ(TextFiles(), 0u) << name;
  }
}

TEST_F(SimXml, StopsAtTheElementLimit) {
  std::string many = "<r>";
  for (size_t i = 0; i <= sim::XmlDocument::kMaxElements; ++i) many += "<e/>";
  many += "</r>";
  EXPECT_THROW(Parse(many), sim::XmlError);
}

TEST_F(SimXml, ReadsTheEnvelopeParts) {
  auto doc = Parse(kEnvelope);
  sim::SoapEnvelope env = sim::SoapEnvelope::Read(*doc, {{"urn:x", "Block"}});
  ASSERT_NE(env.header, nullptr);
  EXPECT_TRUE(env.operation->Is("urn:op", "Op"));
}

TEST_F(SimXml, EnvelopeRefusalsCarryTheirFaultCodes) {
  const std::string soap = "http://schemas.xmlsoap.org/soap/envelope/";
  const std::vector<std::tuple<const char*, std::string, const char*>> cases = {
      {"not an envelope", "<Order/>", sim::faultcode::kClient},
      {"SOAP 1.2", "<e:Envelope xmlns:e='http://www.w3.org/2003/05/soap-envelope'><e:Body><a/></e:Body></e:Envelope>",
       sim::faultcode::kVersionMismatch},
      {"no namespace", "<Envelope><Body><a/></Body></Envelope>", sim::faultcode::kVersionMismatch},
      {"no body", "<e:Envelope xmlns:e='" + soap + "'><e:Header/></e:Envelope>", sim::faultcode::kClient},
      {"empty body", "<e:Envelope xmlns:e='" + soap + "'><e:Body> </e:Body></e:Envelope>", sim::faultcode::kClient},
      {"body in another namespace", "<e:Envelope xmlns:e='" + soap + "'><Body><a/></Body></e:Envelope>",
       sim::faultcode::kClient},
      {"header not understood", kEnvelope, sim::faultcode::kMustUnderstand},
  };
  for (const auto& [name, text, code] : cases) {
    auto doc = Parse(text);
    try {
      sim::SoapEnvelope::Read(*doc, {});
      ADD_FAILURE() << name << ": accepted";
    } catch (const sim::SoapFault& fault) {
      EXPECT_EQ(fault.Code(), code) << name;
    }
  }
}

TEST_F(SimXml, ParsesUtcTimes) {
  const std::vector<std::pair<const char*, std::optional<int64_t>>> cases = {
      {"1970-01-01T00:00:00Z", 0},
      {"2024-02-29T12:34:56Z", 1709210096},
      {"2024-02-29T12:34:56.789Z", 1709210096},
      {"2024-02-29T14:34:56+02:00", 1709210096},
      {"2024-02-29T07:34:56-05:00", 1709210096},
      {"2024-02-29T12:34:56", std::nullopt},
      {"2024-02-29 12:34:56Z", std::nullopt},
      {"2024-13-01T00:00:00Z", std::nullopt},
      {"2024-02-29T12:34:56.Z", std::nullopt},
      {"2024-02-29T12:34:56ZZ", std::nullopt},
      {"tomorrow", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(sim::ParseUtcTime(text), expected) << text;
}

TEST_F(SimXml, EscapingKeepsAnswersWellFormed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
      {"tab\tline\nend", "tab\tline\nend"},
      {std::string("nul\x01\x1f", 5), "nul??"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"broken \xc3( \xff end \xe2\x82", "broken ?( ? end ??"},
      {"overlong \xc0\xaf", "overlong ??"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(sim::XmlEscape(in), out) << in;
}

}  // namespace

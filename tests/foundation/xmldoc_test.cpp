#include "foundation/xmldoc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win/registry.h"
#include "tests/support/testenv.h"

namespace {

const std::string kData = VLR_TEST_DATA_DIR;

class XmlDocTest : public vlrtest::HomeTest {
 protected:
  // A document loaded from the test data folder.
  void Load(const char* name) { ASSERT_EQ(doc_.LoadFile(kData + "/" + name), S_OK); }

  std::string Value(std::string_view path) {
    std::string out = "<unset>";
    doc_.GetSingleNodeValue(path, out);
    return out;
  }

  CXMLDoc doc_;
};

// ---- the defaults file, read the way the configuration store reads it ----------------------

TEST_F(XmlDocTest, ReadsDefaultsAsTheConfigurationDoes) {
  Load("xmldoc-defaults.xml");
  ASSERT_EQ(doc_.GotoNode("/vlrDefaults"), S_OK);
  std::string host;
  EXPECT_EQ(doc_.GetSingleNodeValue("Host", host), S_OK);
  EXPECT_EQ(host, "demo.attestra.example");
  long timeout = 0;
  EXPECT_EQ(doc_.GetSingleNodeValue("Timeout", timeout), S_OK);
  EXPECT_EQ(timeout, 42);
}

TEST_F(XmlDocTest, IntegerValuesAreReadLeniently) {
  Load("xmldoc-defaults.xml");
  ASSERT_EQ(doc_.GotoNode("/vlrDefaults"), S_OK);
  const struct {
    const char* name;
    long expected;
  } cases[] = {
      {"Timeout", 42},       // leading white space, trailing text
      {"Negative", -17},     // one sign
      {"Signed", 8},         //
      {"Word", 0},           // no digits at all
      {"Host", 0},           //
      {"Spaced", 0},         //
  };
  for (const auto& c : cases) {
    long value = 999;
    EXPECT_EQ(doc_.GetSingleNodeValue(c.name, value), S_OK) << c.name;
    EXPECT_EQ(value, c.expected) << c.name;
  }
}

TEST_F(XmlDocTest, ElementsWithoutTextFailAndLeaveTheValueAlone) {
  Load("xmldoc-defaults.xml");
  ASSERT_EQ(doc_.GotoNode("/vlrDefaults"), S_OK);
  for (const char* name : {"Empty", "EmptyPair", "Blank", "Missing", "Host/Nothing"}) {
    std::string text = "before";
    long number = 77;
    EXPECT_EQ(doc_.GetSingleNodeValue(name, text), S_FALSE) << name;
    EXPECT_EQ(doc_.GetSingleNodeValue(name, number), S_FALSE) << name;
    EXPECT_EQ(text, "before") << name;
    EXPECT_EQ(number, 77) << name;
  }
}

TEST_F(XmlDocTest, TextValues) {
  Load("xmldoc-defaults.xml");
  ASSERT_EQ(doc_.GotoNode("/vlrDefaults"), S_OK);
  EXPECT_EQ(Value("Spaced"), " keep me ");          // text is not trimmed
  EXPECT_EQ(Value("Mixed"), "after comment");        // the first text child, past a comment
  EXPECT_EQ(Value("Data"), "a < b & c");             // CDATA is text
  EXPECT_EQ(Value("Accented"), "Jos\xC3\xA9 \xE2\x82\xAC");  // UTF-8 in, UTF-8 out
  EXPECT_EQ(Value("/vlrDefaults/Host"), "demo.attestra.example");
  // A container holds no text of its own: the indentation is not a value.
  EXPECT_EQ(Value("/vlrDefaults"), "<unset>");
  std::string out;
  EXPECT_EQ(doc_.GetSingleNodeValue("", out), E_INVALIDARG);
}

TEST_F(XmlDocTest, Latin1FileArrivesAsUtf8) {
  Load("xmldoc-latin1.xml");
  EXPECT_EQ(Value("/Receipt/Name"), "Jos\xC3\xA9 M\xC3\xBCller");
}

// ---- paths ---------------------------------------------------------------------------------

TEST_F(XmlDocTest, PrefixesMatchAsWrittenAndNamespaceUrisDoNotMatter) {
  Load("xmldoc-response.xml");
  ASSERT_EQ(doc_.GotoNode("/soap:Envelope/soap:Body"), S_OK);
  // The API elements sit in a default namespace and are still found by their bare names.
  ASSERT_EQ(doc_.GotoNode("RequestStatusResponse"), S_OK);
  ASSERT_EQ(doc_.GotoNode("RequestStatusResult"), S_OK);
  EXPECT_EQ(Value("Status"), "Completed");
  // A name is the written name: no prefix-less match for a prefixed element and no other
  // prefix for the same namespace.
  EXPECT_EQ(doc_.GotoNode("/Envelope/Body"), S_FALSE);
  EXPECT_EQ(doc_.GotoNode("/SOAP-ENV:Envelope"), S_FALSE);
  EXPECT_EQ(Value("Status"), "Completed");  // the failed moves left the current node alone
}

TEST_F(XmlDocTest, SamePathsWhateverTheNamespaceBinding) {
  // The same literal names bound to another URI, and a prefix with no binding at all.
  ASSERT_EQ(doc_.LoadString("<soap:Envelope xmlns:soap='urn:other'><soap:Body><R>1</R>"
                            "</soap:Body></soap:Envelope>"),
            S_OK);
  EXPECT_EQ(Value("/soap:Envelope/soap:Body/R"), "1");
  ASSERT_EQ(doc_.LoadString("<x:Root><x:Item>2</x:Item></x:Root>"), S_OK);
  EXPECT_EQ(Value("/x:Root/x:Item"), "2");
}

TEST_F(XmlDocTest, ParentStepsClimbThenDescend) {
  Load("xmldoc-template.xml");
  ASSERT_EQ(doc_.GotoNode("/RequestTemplateResult/EnvelopeTemplateDefinition"), S_OK);
  EXPECT_EQ(Value("Name"), "NDA");
  // "..", then a sibling: how the template reader walks.
  ASSERT_EQ(doc_.GotoNode(".."), S_OK);
  ASSERT_EQ(doc_.GotoNode("Envelope"), S_OK);
  EXPECT_EQ(Value("Subject"), "Please sign");
  ASSERT_EQ(doc_.GotoNode("Documents"), S_OK);
  ASSERT_EQ(doc_.LoadNodesByName("Document"), S_OK);
  ASSERT_EQ(doc_.GotoNodeAt(1), S_OK);
  EXPECT_EQ(Value("Name"), "Second.pdf");
  ASSERT_EQ(doc_.GotoNode("../../Recipients"), S_OK);
  EXPECT_EQ(Value("Recipient/RoleName"), "Signer");
  // "../" then a child of the parent.
  ASSERT_EQ(doc_.GotoNode("../Tabs"), S_OK);
  EXPECT_EQ(Value("Tab/Type"), "SignHere");
  EXPECT_EQ(Value("../Subject"), "Please sign");
}

TEST_F(XmlDocTest, MoreSelectionForms) {
  Load("xmldoc-template.xml");
  const struct {
    const char* path;
    const char* value;
  } cases[] = {
      {"/RequestTemplateResult/Envelope/Tabs/Tab[2]/Type", "DateSigned"},
      {"/RequestTemplateResult/Envelope/Tabs/Tab[1]/Type", "SignHere"},
      {"/RequestTemplateResult/Envelope/Tabs/Tab[3]/Type", "<unset>"},
      {"//RoleName", "Signer"},
      {"//Document/Name", "First.pdf"},                 // the first in document order
      {"//Document[2]/Name", "Second.pdf"},
      {"/RequestTemplateResult/*/Name", "NDA"},
      {"/RequestTemplateResult/Envelope//Type", "SignHere"},
      {"/RequestTemplateResult/./Envelope/Subject", "Please sign"},
      {"RequestTemplateResult/Envelope/Subject", "Please sign"},  // relative to the document
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.path), c.value) << c.path;
}

TEST_F(XmlDocTest, UnreadablePathsAreRefused) {
  Load("xmldoc-template.xml");
  for (const char* path : {"a/", "a//", "a[0]", "a[", "a[x]", "@id", "text()", "a b", "a:b:c",
                           ":a", "1a", "a[1]b", "///a"}) {
    EXPECT_EQ(doc_.GotoNode(path), E_INVALIDARG) << path;
    std::string out = "same";
    EXPECT_EQ(doc_.GetSingleNodeValue(path, out), E_INVALIDARG) << path;
    EXPECT_EQ(out, "same");
  }
}

TEST_F(XmlDocTest, GotoNodeSpecialCases) {
  Load("xmldoc-template.xml");
  // The document's parent does not exist; the document stays current.
  EXPECT_EQ(doc_.GotoNode(".."), S_FALSE);
  ASSERT_EQ(doc_.GotoNode("RequestTemplateResult/Envelope"), S_OK);
  EXPECT_EQ(doc_.GotoNode(""), S_OK);  // stays
  EXPECT_EQ(Value("Subject"), "Please sign");
  ASSERT_EQ(doc_.GotoNode("/"), S_OK);  // the document itself
  EXPECT_EQ(Value("RequestTemplateResult/Envelope/Subject"), "Please sign");
}

TEST_F(XmlDocTest, NodeListsFindElementsAtAnyDepth) {
  Load("xmldoc-response.xml");
  long count = -1;
  ASSERT_EQ(doc_.GotoNode("/soap:Envelope/soap:Body/RequestStatusResponse/RequestStatusResult"),
            S_OK);
  ASSERT_EQ(doc_.LoadNodesByName("RecipientStatus"), S_OK);
  ASSERT_EQ(doc_.GetNodeCount(count), S_OK);
  ASSERT_EQ(count, 3);  // the one inside Group too
  std::vector<std::string> emails;
  for (long i = 0; i < count; ++i) {
    ASSERT_EQ(doc_.GotoNodeAt(i), S_OK);
    emails.push_back(Value("Email"));
  }
  EXPECT_EQ(emails, (std::vector<std::string>{"ann@example.com", "bob@example.com",
                                              "cy & dee@example.com"}));
  EXPECT_EQ(doc_.GotoNodeAt(3), E_INVALIDARG);
  EXPECT_EQ(doc_.GotoNodeAt(-1), E_INVALIDARG);
  EXPECT_EQ(Value("RoutingOrder"), "3");  // still at the last one

  // Descendants only, never the current element itself; none found is an empty list.
  ASSERT_EQ(doc_.LoadNodesByName("RecipientStatus"), S_OK);
  ASSERT_EQ(doc_.GetNodeCount(count), S_OK);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(doc_.GotoNode("/"), S_OK);
  ASSERT_EQ(doc_.LoadNodesByName("soap:Body"), S_OK);
  ASSERT_EQ(doc_.GetNodeCount(count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(doc_.LoadNodesByName(""), E_INVALIDARG);
}

TEST_F(XmlDocTest, NothingLoaded) {
  long count = 0;
  std::string out = "same";
  EXPECT_EQ(doc_.GetNodeCount(count), E_FAIL);
  EXPECT_EQ(doc_.GotoNodeAt(0), E_FAIL);
  EXPECT_EQ(doc_.GotoNode("/a"), E_FAIL);
  EXPECT_EQ(doc_.GotoNode("a"), E_FAIL);
  EXPECT_EQ(doc_.LoadNodesByName("a"), E_FAIL);
  EXPECT_EQ(doc_.GetSingleNodeValue("a", out), E_FAIL);
  EXPECT_EQ(doc_.GetNodeXml("a", out), E_FAIL);
  EXPECT_EQ(out, "same");
}

TEST_F(XmlDocTest, AfterLoadTheDocumentIsCurrentAndItsChildrenTheList) {
  ASSERT_EQ(doc_.LoadString("<?xml version='1.0'?><!-- c --><root><a>1</a></root>"), S_OK);
  long count = 0;
  ASSERT_EQ(doc_.GetNodeCount(count), S_OK);
  EXPECT_EQ(count, 2);  // the comment and the root element
  EXPECT_EQ(Value("root/a"), "1");
  ASSERT_EQ(doc_.GotoNodeAt(1), S_OK);
  EXPECT_EQ(Value("a"), "1");
}

// ---- node text -----------------------------------------------------------------------------

TEST_F(XmlDocTest, NodeXmlCarriesTheNamespacesItUses) {
  Load("xmldoc-response.xml");
  std::string xml;
  ASSERT_EQ(doc_.GetNodeXml("/soap:Envelope/soap:Body/RequestStatusResponse/RequestStatusResult/"
                            "EnvelopeID",
                            xml),
            S_OK);
  EXPECT_EQ(xml,
            "<EnvelopeID xmlns=\"http://www.attestra.example/API/3.0\">"
            "5d2c7c1e-0000-4000-8000-000000000001</EnvelopeID>");
  ASSERT_EQ(doc_.GetNodeXml("/soap:Envelope/soap:Body", xml), S_OK);
  EXPECT_EQ(xml.rfind("<soap:Body xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">", 0),
            0u)
      << xml;
  // The text stands on its own: it loads again and reads the same.
  CXMLDoc again;
  ASSERT_EQ(again.LoadString(xml), S_OK);
  std::string email;
  ASSERT_EQ(again.GotoNode("/soap:Body/RequestStatusResponse/RequestStatusResult/"
                           "RecipientStatuses"),
            S_OK);
  ASSERT_EQ(again.LoadNodesByName("Email"), S_OK);
  ASSERT_EQ(again.GotoNodeAt(2), S_OK);
  ASSERT_EQ(again.GetSingleNodeValue("..", email), S_FALSE);  // RecipientStatus has no text
  ASSERT_EQ(again.GotoNode(""), S_OK);
  std::string text;
  ASSERT_EQ(again.GetNodeXml("", text), S_OK);
  EXPECT_EQ(text, "<Email xmlns=\"http://www.attestra.example/API/3.0\">cy &amp; dee@example.com</Email>");
}

TEST_F(XmlDocTest, NodeXmlOfTheTemplateTabs) {
  Load("xmldoc-template.xml");
  ASSERT_EQ(doc_.GotoNode("/RequestTemplateResult/Envelope/Documents"), S_OK);
  std::string xml = "same";
  ASSERT_EQ(doc_.GetNodeXml("../Tabs", xml), S_OK);
  EXPECT_EQ(xml,
            "<Tabs><Tab><Type>SignHere</Type><PageNumber>1</PageNumber></Tab>"
            "<Tab><Type>DateSigned</Type><PageNumber>2</PageNumber></Tab></Tabs>");
  xml = "same";
  EXPECT_EQ(doc_.GetNodeXml("../Nothing", xml), S_FALSE);
  EXPECT_EQ(xml, "same");
  ASSERT_EQ(doc_.GetNodeXml("Document/Name", xml), S_OK);
  EXPECT_EQ(xml, "<Name>First.pdf</Name>");
}

// ---- loading -------------------------------------------------------------------------------

TEST_F(XmlDocTest, LoadStringIgnoresTheDeclaredEncoding) {
  // Text in memory is UTF-8 whatever the declaration says.
  ASSERT_EQ(doc_.LoadString("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>Jos\xC3\xA9</a>"),
            S_OK);
  EXPECT_EQ(Value("/a"), "Jos\xC3\xA9");
}

TEST_F(XmlDocTest, LoadFailures) {
  EXPECT_EQ(doc_.LoadFile(""), E_INVALIDARG);
  EXPECT_EQ(doc_.LoadFile(kData + "/no-such-file.xml"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(doc_.IsLoaded());

  Load("xmldoc-template.xml");
  EXPECT_EQ(doc_.LoadFile(kData + "/xmldoc-malformed.xml"), E_FAIL);
  EXPECT_FALSE(doc_.IsLoaded());  // the earlier document is gone, not half kept
  EXPECT_EQ(doc_.ParseErrorCode(), 76);  // libxml2's tag mismatch
  EXPECT_NE(doc_.ParseErrorReason().find("mismatch"), std::string::npos) << doc_.ParseErrorReason();
  EXPECT_EQ(doc_.ParseErrorLine(), 3);
  EXPECT_EQ(doc_.GotoNode("/a"), E_FAIL);

  for (const char* text : {"", "<a>", "<a></b>", "not xml", "<a/><b/>", "<a x='1' x='2'/>"}) {
    EXPECT_EQ(doc_.LoadString(text), E_FAIL) << text;
    EXPECT_NE(doc_.ParseErrorCode(), 0) << text;
  }
  ASSERT_EQ(doc_.LoadString("<a/>"), S_OK);
  EXPECT_EQ(doc_.ParseErrorCode(), 0);
}

// Documents may declare what they like; nothing outside them is read.
TEST_F(XmlDocTest, NothingOutsideTheDocumentIsLoaded) {
  const std::string secret = home_.Tmp() + "/secret.txt";
  vlrtest::WriteFile(secret, "TOP-SECRET-42");
  const std::string dtd = home_.Tmp() + "/evil.dtd";
  vlrtest::WriteFile(dtd, "<!ENTITY leak SYSTEM \"file://" + secret + "\">\n"
                          "<!ATTLIST r a CDATA \"TOP-SECRET-42\">\n");
  const std::string documents[] = {
      // an external general entity
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY xxe SYSTEM \"file://" + secret +
          "\">]><r><v>&xxe;</v></r>",
      // an external parameter entity pulling in more declarations
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY % ext SYSTEM \"file://" + dtd +
          "\"> %ext;]><r><v>&leak;</v></r>",
      // an external DTD with a defaulted attribute
      "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r><v>x</v></r>",
  };
  for (const std::string& text : documents) {
    const std::string file = home_.Tmp() + "/doc.xml";
    vlrtest::WriteFile(file, text);
    for (int fromFile = 0; fromFile < 2; ++fromFile) {
      CXMLDoc doc;
      const HRESULT hr = fromFile ? doc.LoadFile(file) : doc.LoadString(text);
      if (hr != S_OK) continue;  // refusing the document is fine too
      std::string xml, value;
      ASSERT_EQ(doc.GetNodeXml("/", xml), S_OK);
      EXPECT_EQ(xml.find("TOP-SECRET"), std::string::npos) << xml;
      doc.GetSingleNodeValue("/r/v", value);
      EXPECT_EQ(value.find("TOP-SECRET"), std::string::npos) << value;
    }
  }
}

// The parse error goes to the diagnostic log. The log is set up once per process, so a child
// process runs the load with diagnostics on and its console echo is read back.
TEST_F(XmlDocTest, ParseErrorIsLogged) {
  if (vlrtest::EnterDiagnosticsChild()) {
    CXMLDoc broken;
    EXPECT_EQ(broken.LoadFile(kData + "/xmldoc-malformed.xml"), E_FAIL);
    CXMLDoc good;
    ASSERT_EQ(good.LoadString("<a/>"), S_OK);
    EXPECT_EQ(good.GotoNode("a["), E_INVALIDARG);
    return;
  }
  std::string out, err;
  const int status = vlrtest::RerunWithDiagnostics(home_, &out, &err);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(err.find("XML Parse Error 0x4c : Opening and ending tag mismatch: b line 3 and c"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Caught Exception: CXMLDoc::GotoNode"), std::string::npos) << err;
}

}  // namespace

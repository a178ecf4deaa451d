// Service templates: the streaming reader of a RequestTemplate result held in a file, the
// document-tree reader, custom fields and tab flags, copies, and broken or faulty results.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "foundation/xmldoc.h"
#include "model/blueprint.h"
#include "model/template.h"
#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

const std::string kResult = std::string(VLR_TEST_DATA_DIR) + "/template-result.xml";
const char* kResultPath = "/soap:Envelope/soap:Body/RequestTemplateResponse/RequestTemplateResult";

class TemplateTest : public vlrtest::HomeTest {
 protected:
  std::string Write(const std::string& content) {
    const std::string path = home_.Root() + "/result.xml";
    vlrtest::WriteFile(path, content);
    return path;
  }
  bool NoTempFiles() {
    for (const auto& entry : fs::directory_iterator(home_.Tmp()))
      if (entry.path().filename().string().rfind("ATg", 0) == 0) return false;
    return true;
  }
};

V DocNames(const CTemplate& t) {
  V names;
  for (const CeDoc& doc : t.Documents) names.push_back(doc.Name);
  return names;
}

V RoleNames(const CTemplate& t) {
  V names;
  for (const CRole& role : t.Roles) names.push_back(role.RoleName);
  return names;
}

V FieldNames(const CTemplate& t) {
  V names;
  for (const CCustomField& field : t.CustomFields) names.push_back(field.Name);
  return names;
}

TEST_F(TemplateTest, AResultFileReadsInItsOwnOrderWithEverything) {
  CTemplate t("6d1c-44");
  ASSERT_EQ(t.Load(kResult), S_OK);
  EXPECT_EQ(t.ClassName, "CTemplate");
  EXPECT_TRUE(t.IsKindOf("CTemplate"));
  EXPECT_EQ(t.TemplateID, "6d1c-44");
  EXPECT_EQ(t.Name, "Sale & Purchase");
  EXPECT_EQ(t.Shared, "true");
  EXPECT_EQ(t.TemplatePassword, "secret");
  EXPECT_EQ(t.LastModified, "2021-03-04T05:06:07");
  EXPECT_EQ(t.PageCount, "3");
  EXPECT_EQ(t.Subject, "Please sign, Jos\xC3\xA9");
  EXPECT_EQ(t.Message, "Dear all,\nplease sign.");
  EXPECT_EQ(t.SigningLocation, "Online");
  EXPECT_EQ(t.AutoNavigation, "true");
  EXPECT_EQ(t.EnvelopeIdStamping, "false");
  EXPECT_EQ(t.AuthoritativeCopy, "false");
  EXPECT_EQ(t.ReminderEnabled, "true");
  EXPECT_EQ(t.RemindIn, 2);
  EXPECT_EQ(t.RemindFreq, 3);
  EXPECT_EQ(t.ExpireEnabled, "true");
  EXPECT_EQ(t.ExpiresIn, 30);
  EXPECT_EQ(t.WarnIn, 5);

  EXPECT_EQ(DocNames(t), (V{"A.pdf", "B.pdf"}));
  const CeDoc& a = *t.Documents.First();
  EXPECT_EQ(a.Key, "1");
  EXPECT_EQ(a.Description, "First document");
  EXPECT_EQ(vlrtest::ReadFile(a.FilePath), "JVBERi0xLjQKQQ==");
  TempFile decoded;
  ASSERT_EQ(DecodeDocumentFile(a, ".pdf", decoded), S_OK);
  EXPECT_EQ(vlrtest::ReadFile(decoded.Path()), "%PDF-1.4\nA");

  EXPECT_EQ(RoleNames(t), (V{"Buyer", "Seller"}));
  const CRole& buyer = *t.Roles.First();
  EXPECT_EQ(buyer.ID, "1");
  EXPECT_EQ(buyer.UserName, "Ann Buyer");
  EXPECT_EQ(buyer.Email, "ann@example.com");
  EXPECT_EQ(buyer.Type, "Signer");
  EXPECT_EQ(buyer.AccessCode, "1234");
  EXPECT_EQ(buyer.RequireIDLookup, "false");
  EXPECT_EQ(buyer.RoutingOrder, "1");
  EXPECT_EQ(buyer.TemplateLocked, "true");
  EXPECT_EQ(buyer.TemplateRequired, "false");
  EXPECT_EQ(t.Roles.At(1)->Type, "CarbonCopy");

  ASSERT_EQ(t.Tabs.size(), 2u);
  const CTab& sign = *t.Tabs.First();
  EXPECT_EQ(sign.Type, "SignHere");
  EXPECT_EQ(sign.Name, "Sign");
  EXPECT_EQ(sign.ScaleValue, "1");
  EXPECT_EQ(sign.LockedFlag, 1);
  EXPECT_EQ(sign.RequiredFlag, 0);  // "True" is not the service's true
  const CTab& price = *t.Tabs.At(1);
  EXPECT_EQ(price.DocumentID, "2");
  EXPECT_EQ(price.RecipientID, "2");
  EXPECT_EQ(price.PageNumber, "2");
  EXPECT_EQ(price.XPosition, "10");
  EXPECT_EQ(price.YPosition, "20");
  EXPECT_EQ(price.TabLabel, "price");
  EXPECT_EQ(price.Value, "100");
  EXPECT_EQ(price.CustomTabType, "Number");
  EXPECT_EQ(price.CustomTabWidth, "80");
  EXPECT_EQ(price.CustomTabHeight, "12");
  EXPECT_EQ(price.CustomTabRequired, "true");
  EXPECT_EQ(price.CustomTabLocked, "false");
  EXPECT_EQ(price.CustomTabDisableAutoSize, "true");
  EXPECT_EQ(price.CustomTabValidationPattern, "^[0-9]+$");
  EXPECT_EQ(price.CustomTabValidationMessage, "digits only");
  EXPECT_EQ(price.TemplateLocked, "True");  // the text stays, the flag does not follow it
  EXPECT_EQ(price.LockedFlag, 0);
  EXPECT_EQ(price.RequiredFlag, 1);

  EXPECT_EQ(FieldNames(t), (V{"Region", "Cost centre", "Batch"}));
  const struct {
    const char* show;
    int showFlag;
    const char* required;
    int requiredFlag;
    const char* value;
  } fields[] = {{"True", 1, "true", 1, "North"},
                {"TRUE", 0, "false", 0, ""},
                {"true", 1, "FALSE", 0, "7"}};
  int i = 0;
  for (const CCustomField& field : t.CustomFields) {
    EXPECT_EQ(field.TagName(), "CustomField");
    EXPECT_EQ(field.Show, fields[i].show);
    EXPECT_EQ(field.ShowFlag, fields[i].showFlag) << field.Name;
    EXPECT_EQ(field.Required, fields[i].required);
    EXPECT_EQ(field.RequiredFlag, fields[i].requiredFlag) << field.Name;
    EXPECT_EQ(field.Value, fields[i].value);
    ++i;
  }
}

TEST_F(TemplateTest, TheDocumentTreeReaderKeepsOrderAndReadsLess) {
  CXMLDoc doc;
  ASSERT_EQ(doc.LoadFile(kResult), S_OK);
  ASSERT_EQ(doc.GotoNode(kResultPath), S_OK);
  CTemplate t("given");
  t.CustomFields.Emplace().Name = "stale";
  t.Documents.Emplace().Name = "stale.pdf";
  ASSERT_EQ(t.ReadDefinition(doc), S_OK);

  EXPECT_EQ(t.Name, "Sale & Purchase");
  EXPECT_EQ(t.TemplateID, "6d1c-44");
  EXPECT_EQ(t.PageCount, "3");
  EXPECT_EQ(t.Subject, "Please sign, Jos\xC3\xA9");
  EXPECT_EQ(t.Message, "Dear all,\nplease sign.");
  EXPECT_EQ(t.SigningLocation, "Online");
  // Not read by this reader.
  EXPECT_EQ(t.AutoNavigation, "");
  EXPECT_EQ(t.RemindIn, 0);
  EXPECT_EQ(t.ExpiresIn, 0);
  EXPECT_TRUE(t.CustomFields.empty());

  EXPECT_EQ(DocNames(t), (V{"A.pdf", "B.pdf"}));
  EXPECT_EQ(t.Documents.First()->Key, "1");
  EXPECT_EQ(t.Documents.First()->Description, "");
  EXPECT_EQ(vlrtest::ReadFile(t.Documents.At(1)->FilePath), "JVBERi0xLjQKQg==");
  EXPECT_EQ(RoleNames(t), (V{"Buyer", "Seller"}));
  EXPECT_EQ(t.Roles.First()->AccessCode, "1234");
  EXPECT_EQ(t.Roles.First()->TemplateLocked, "true");
  ASSERT_EQ(t.Tabs.size(), 2u);
  const CTab& price = *t.Tabs.At(1);
  EXPECT_EQ(price.Type, "Custom");
  EXPECT_EQ(price.DocumentID, "2");
  EXPECT_EQ(price.XPosition, "10");
  EXPECT_EQ(price.TabLabel, "");  // only placement is read
  EXPECT_EQ(price.LockedFlag, 0);
  EXPECT_EQ(t.TabsXml.rfind("<Tabs", 0), 0u);
  EXPECT_NE(t.TabsXml.find("<TabLabel>price</TabLabel>"), std::string::npos);
}

TEST_F(TemplateTest, TheDocumentTreeReaderDropsIncompleteItemsAndToleratesMissingSections) {
  CXMLDoc doc;
  ASSERT_EQ(doc.LoadString(
                "<RequestTemplateResult>"
                "<EnvelopeTemplateDefinition><Name>N</Name></EnvelopeTemplateDefinition>"
                "<Envelope><Subject>S</Subject><Documents>"
                "<Document><ID>1</ID><Name>keep.pdf</Name></Document>"
                "<Document><Name>no-id.pdf</Name></Document>"
                "<Document><ID>3</ID><Name></Name></Document>"
                "</Documents><Recipients>"
                "<Recipient><ID>1</ID><RoleName>Buyer</RoleName></Recipient>"
                "<Recipient><RoleName>NoID</RoleName></Recipient>"
                "</Recipients></Envelope></RequestTemplateResult>"),
            S_OK);
  ASSERT_EQ(doc.GotoNode("/RequestTemplateResult"), S_OK);
  CTemplate t;
  ASSERT_EQ(t.ReadDefinition(doc), S_OK);  // no Tabs section
  EXPECT_EQ(DocNames(t), (V{"keep.pdf"}));
  EXPECT_EQ(RoleNames(t), (V{"Buyer"}));
  EXPECT_TRUE(t.Tabs.empty());
  EXPECT_EQ(t.TabsXml, "");

  // No documents and no recipients: still a template.
  CXMLDoc bare;
  ASSERT_EQ(bare.LoadString("<RequestTemplateResult><EnvelopeTemplateDefinition/>"
                            "<Envelope><Documents/><Tabs><Tab><Type>SignHere</Type></Tab></Tabs>"
                            "</Envelope></RequestTemplateResult>"),
            S_OK);
  ASSERT_EQ(bare.GotoNode("/RequestTemplateResult"), S_OK);
  CTemplate empty;
  EXPECT_EQ(empty.ReadDefinition(bare), S_OK);
  EXPECT_TRUE(empty.Documents.empty());
  EXPECT_TRUE(empty.Roles.empty());
}

TEST_F(TemplateTest, TheDocumentTreeReaderFailsWithoutDefinitionEnvelopeOrDocuments) {
  const char* cases[] = {
      "<RequestTemplateResult><Envelope><Documents/></Envelope></RequestTemplateResult>",
      "<RequestTemplateResult><EnvelopeTemplateDefinition/></RequestTemplateResult>",
      "<RequestTemplateResult><EnvelopeTemplateDefinition/><Envelope/></RequestTemplateResult>",
  };
  for (const char* text : cases) {
    CXMLDoc doc;
    ASSERT_EQ(doc.LoadString(text), S_OK);
    ASSERT_EQ(doc.GotoNode("/RequestTemplateResult"), S_OK);
    CTemplate t;
    EXPECT_TRUE(FAILED(t.ReadDefinition(doc))) << text;
  }
}

TEST_F(TemplateTest, AFaultInsteadOfAResultIsAFailure) {
  const std::string path = Write(
      "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
      "<soap:Body><soap:Fault><faultcode>soap:Client</faultcode>"
      "<faultstring>Template not found</faultstring></soap:Fault></soap:Body></soap:Envelope>");
  CTemplate t("x");
  EXPECT_EQ(t.Load(path), E_FAIL);
  EXPECT_EQ(t.LoadError().message, "Template not found");
}

TEST_F(TemplateTest, BrokenResultsFailWithAnErrorAndLeaveNoFilesBehind) {
  const std::string good = vlrtest::ReadFile(kResult);
  const std::size_t inBytes = good.find("JVBERi0xLjQKQg") + 6;
  const struct {
    const char* what;
    std::string text;
    std::size_t documents;
  } cases[] = {
      {"empty", "", 0},
      {"text", "Service Unavailable", 0},
      {"HTML error page", "<html><body><h1>502 Bad Gateway</h1></body>", 0},
      {"cut inside the second document's bytes", good.substr(0, inBytes), 1},
      {"cut after the documents", good.substr(0, good.find("<Recipients>")), 2},
      {"mismatched tags",
       "<RequestTemplateResult><Envelope><Subject>x</Envelope></RequestTemplateResult>", 0},
      {"entity declarations",
       "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
       "<RequestTemplateResult><EnvelopeTemplateDefinition><Name>&e;</Name>"
       "</EnvelopeTemplateDefinition></RequestTemplateResult>",
       0},
      {"no result", "<?xml version=\"1.0\"?><Other><Name>x</Name></Other>", 0},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.text);
    {
      CTemplate t("x");
      EXPECT_TRUE(FAILED(t.Load(path))) << c.what;
      EXPECT_NE(t.LoadError().code, 0) << c.what;
      EXPECT_EQ(t.Documents.size(), c.documents) << c.what;
      EXPECT_EQ(t.Name, c.documents ? "Sale & Purchase" : "") << c.what;
    }
    EXPECT_TRUE(NoTempFiles()) << c.what;
  }
}

TEST_F(TemplateTest, CopiesCarryTheTemplatesOwnMembersAndShareTheDocumentFiles) {
  std::string held;
  std::unique_ptr<CTemplate> copy;
  {
    CTemplate t("6d1c-44");
    ASSERT_EQ(t.Load(kResult), S_OK);
    held = t.Documents.First()->FilePath;
    copy = t.Clone();
    EXPECT_EQ(copy->TemplateID, "6d1c-44");
    EXPECT_EQ(copy->SigningLocation, "Online");
    EXPECT_EQ(copy->AuthoritativeCopy, "false");
    EXPECT_EQ(FieldNames(*copy), (V{"Region", "Cost centre", "Batch"}));
    EXPECT_EQ(copy->CustomFields.First()->ShowFlag, 1);
    EXPECT_EQ(DocNames(*copy), (V{"A.pdf", "B.pdf"}));
    EXPECT_EQ(copy->Documents.First()->FilePath, held);
  }
  EXPECT_TRUE(fs::exists(held));  // the copy still holds it
  copy->Clear();
  EXPECT_TRUE(copy->CustomFields.empty());
  EXPECT_TRUE(copy->Documents.empty());
  EXPECT_EQ(copy->Name, "Sale & Purchase");
  copy.reset();
  EXPECT_FALSE(fs::exists(held));
  EXPECT_TRUE(NoTempFiles());

  CTemplate t;
  EXPECT_EQ(t.Save(), S_OK);
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(TemplateTest, LargeDocumentsStreamToDisk) {
  const std::string path = home_.Root() + "/big.xml";
  constexpr std::size_t kLines = 1 << 20;  // 64 MB of Base64 in 64-character lines
  {
    std::ofstream out(path, std::ios::binary);
    out << "<RequestTemplateResult><Envelope><Documents><Document><ID>1</ID>"
           "<Name>big.pdf</Name><PDFBytes>";
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 gen(5);
    std::string line(64, 'A');
    for (std::size_t i = 0; i < kLines; ++i) {
      for (char& c : line) c = alphabet[gen() & 63];
      out << line << '\n';
    }
    out << "</PDFBytes></Document></Documents></Envelope></RequestTemplateResult>";
  }
  const long before = PeakRssKb();
  CTemplate t("big");
  ASSERT_EQ(t.Load(path), S_OK);
  ASSERT_EQ(t.Documents.size(), 1u);
  EXPECT_EQ(fs::file_size(t.Documents.First()->FilePath), kLines * 65);
  EXPECT_LT(PeakRssKb() - before, 24 * 1024);
}

}  // namespace

// The API 3.0 request shape: envelope, addressing block, security block, element writer.
#include "transport/opattestra.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "foundation/base64.h"
#include "foundation/config.h"
#include "foundation/xmldoc.h"
#include "tests/support/testenv.h"
#include "tests/transport/wirecompare.h"

namespace {

// An API 3.0 operation as the derived operations write them.
class StatusRequest : public OpAttestra {
 public:
  StatusRequest(const CCredentials& credentials, std::string action = "RequestStatus")
      : OpAttestra("https://api.example.test/api/3.0/api.asmx", credentials) {
    kind_ = "StatusRequest";
    action_ = std::move(action);
    bodyPath_ = "/soap:Envelope/soap:Body";
  }
  bool PrepareData() override {
    return BuildRequestFile([this](std::FILE* f) {
      return WriteElement("EnvelopeID", "e-1", f, false, true) == S_OK;
    });
  }
  bool BuildHeaders() { return OpAttestra::PrepareData(); }
  bool ParseResponse() override { return true; }
  using CWebSvrOp::RequestBody;
};

CCredentials Ann(std::string password = "secret") {
  CCredentials c;
  c.email = "ann@example.com";
  c.password = std::move(password);
  c.accountId = "1001";
  return c;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const auto a = text.find(open);
  if (a == std::string::npos) return "<missing " + open + ">";
  const auto b = text.find(close, a + open.size());
  return text.substr(a + open.size(), b - a - open.size());
}

std::time_t ParseUtc(const std::string& text) {
  std::tm parts{};
  if (!strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts)) return -1;
  return timegm(&parts);
}

class OpAttestraTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override { CConfig().SetKey("Host", "api.example.test"); }
};

TEST_F(OpAttestraTest, AddressingBlockNamesTheActionAMessageAndTheConfiguredHost) {
  StatusRequest op(Ann());
  ASSERT_TRUE(op.BuildHeaders());
  const std::string& a = op.AddressingHeader();
  const std::string action = Between(a, "<wsa:Action>", "</wsa:Action>");
  EXPECT_TRUE(action.ends_with("/api/3.0/RequestStatus")) << action;
  EXPECT_TRUE(std::regex_match(Between(a, "<wsa:MessageID>", "</wsa:MessageID>"),
                               std::regex("uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
  EXPECT_EQ(Between(a, "<wsa:To>", "</wsa:To>"), "https://api.example.test/api/3.0/api.asmx");
  EXPECT_NE(a.find("<wsa:ReplyTo>\n<wsa:Address>http://schemas.xmlsoap.org/ws/2004/03/addressing/role/anonymous"
                   "</wsa:Address>\n</wsa:ReplyTo>\n"),
            std::string::npos);

  StatusRequest again(Ann());
  ASSERT_TRUE(again.BuildHeaders());
  EXPECT_NE(Between(again.AddressingHeader(), "<wsa:MessageID>", "<"), Between(a, "<wsa:MessageID>", "<"));
}

TEST_F(OpAttestraTest, TimestampExpiresFiveMinutesAfterItWasCreated) {
  StatusRequest op(Ann());
  ASSERT_TRUE(op.BuildHeaders());
  const std::string& s = op.SecurityHeader();
  const std::string created = Between(s, "<wsu:Created>", "</wsu:Created>");
  const std::string expires = Between(s, "<wsu:Expires>", "</wsu:Expires>");
  ASSERT_TRUE(created.ends_with("Z") && expires.ends_with("Z")) << created << " " << expires;
  EXPECT_EQ(ParseUtc(expires) - ParseUtc(created), 300);
  // The username token repeats the timestamp's creation time.
  const std::string token = s.substr(s.find("<wsse:UsernameToken"));
  EXPECT_EQ(Between(token, "<wsu:Created>", "</wsu:Created>"), created);
}

TEST_F(OpAttestraTest, UserNameIsTheIntegratorKeyFollowedByTheEmail) {
  StatusRequest op(Ann());
  ASSERT_TRUE(op.BuildHeaders());
  const std::string user = Between(op.SecurityHeader(), "<wsse:Username>", "</wsse:Username>");
  ASSERT_EQ(user.size(), 43u + 15u);
  EXPECT_TRUE(std::regex_match(user.substr(0, 43),
                               std::regex("\\[[A-Z]{4}-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\]")));
  EXPECT_EQ(user.substr(43), "ann@example.com");
  EXPECT_EQ(Between(op.SecurityHeader(), "<AccountId>", "</AccountId>"), "1001");
}

TEST_F(OpAttestraTest, PasswordIsEscapedWithTheEntityTable) {
  struct Case {
    std::string password, sent;
  };
  const Case cases[] = {
      {"a&b<c", "a&amp;b&lt;c"},
      {"it\x92s", "it&#39;s"},                 // the code page's right single quote
      {"it\xE2\x80\x99s", "it&#39;s"},         // the same quote in UTF-8
      {"caf\xC3\xA9", "caf&#233;"},
      {"bad\xFF" "byte", "badbyte"},           // not UTF-8: dropped
  };
  for (const Case& c : cases) {
    StatusRequest op(Ann(c.password));
    ASSERT_TRUE(op.BuildHeaders());
    const std::string sent = Between(op.SecurityHeader(), "PasswordText\">", "</wsse:Password>");
    EXPECT_EQ(sent, c.sent) << c.password;
    EXPECT_EQ(op.Credentials().password, c.password);  // the caller's copy stays as typed
  }
}

TEST_F(OpAttestraTest, NonceIsSixteenFreshRandomBytes) {
  StatusRequest one(Ann()), two(Ann());
  ASSERT_TRUE(one.BuildHeaders());
  ASSERT_TRUE(two.BuildHeaders());
  const std::string a = Between(one.SecurityHeader(), "<wsse:Nonce>", "</wsse:Nonce>");
  const std::string b = Between(two.SecurityHeader(), "<wsse:Nonce>", "</wsse:Nonce>");
  ASSERT_EQ(a.size(), 24u);
  Base64Coder coder;
  coder.Decode(a);
  EXPECT_EQ(coder.GetDecodedLength(), 16u);
  EXPECT_NE(a, b);  // two requests in the same second still differ
}

TEST_F(OpAttestraTest, MarkupInTheEmailCannotChangeTheHeader) {
  CCredentials c = Ann();
  c.email = "a&b@example.com";
  StatusRequest op(c);
  ASSERT_TRUE(op.BuildHeaders());
  EXPECT_NE(op.SecurityHeader().find("a&amp;b&#64;example.com</wsse:Username>"), std::string::npos);
}

TEST_F(OpAttestraTest, EmptyActionFails) {
  StatusRequest op(Ann(), "");
  EXPECT_FALSE(op.BuildHeaders());
  EXPECT_FALSE(op.Run(nullptr, 0, 0));
  EXPECT_EQ(op.ResultCode(), E_FAIL);
}

TEST_F(OpAttestraTest, WriteElementToTheRequestBody) {
  struct Case {
    const char* name;
    const char* value;
    bool omit, escape;
    HRESULT hr;
    const char* written;
  };
  const Case cases[] = {
      {"Subject", "A & B", false, true, S_OK, "<Subject>A &amp; B</Subject>\n"},
      {"Subject", "A & B", false, false, S_OK, "<Subject>A & B</Subject>\n"},
      {"Note", "", false, true, S_OK, "<Note></Note>\n"},
      {"Note", "", true, true, S_OK, ""},
      {"", "<Tabs>", false, false, S_OK, "<Tabs>"},
      {"", "", false, false, E_INVALIDARG, ""},
  };
  for (const Case& c : cases) {
    StatusRequest op(Ann());
    EXPECT_EQ(op.WriteElement(c.name, c.value, nullptr, c.omit, c.escape), c.hr) << c.name << c.value;
    EXPECT_EQ(op.RequestBody(), c.written) << c.name << c.value;
  }
}

TEST_F(OpAttestraTest, AppendFileToRequestCopiesTheWholeFile) {
  const std::string source = home_.Tmp() + "/piece.txt";
  std::string content;
  for (int i = 0; i < 300; ++i) content += "line " + std::to_string(i) + "\n";  // over several blocks
  vlrtest::WriteFile(source, content);
  const std::string target = home_.Tmp() + "/request.xml";
  StatusRequest op(Ann());
  {
    FilePtr out(std::fopen(target.c_str(), "wb"));
    EXPECT_TRUE(op.AppendFileToRequest(out.get(), source));
    vlrtest::WriteFile(home_.Tmp() + "/empty.txt", "");
    EXPECT_FALSE(op.AppendFileToRequest(out.get(), home_.Tmp() + "/empty.txt"));
    EXPECT_FALSE(op.AppendFileToRequest(out.get(), home_.Tmp() + "/missing.txt"));
  }
  EXPECT_EQ(vlrtest::ReadFile(target), content);
}

TEST_F(OpAttestraTest, RequestFileHoldsTheWholeEnvelope) {
  StatusRequest op(Ann("p&ss"));
  ASSERT_TRUE(op.PrepareData());
  ASSERT_TRUE(op.BodyFromFile());
  const std::string text = vlrtest::ReadFile(op.RequestBody());
  EXPECT_TRUE(vlrtest::MatchesExpected(text, VLR_TEST_DATA_DIR, "requeststatus-body.xml"));
  CXMLDoc doc;
  ASSERT_EQ(doc.LoadString(text), S_OK);
  std::string value;
  EXPECT_EQ(doc.GetSingleNodeValue("/SOAP-ENV:Envelope/SOAP-ENV:Body/RequestStatus/EnvelopeID", value), S_OK);
  EXPECT_EQ(value, "e-1");
  EXPECT_EQ(doc.GetSingleNodeValue("/SOAP-ENV:Envelope/SOAP-ENV:Header/wsse:Security/wsse:UsernameToken/wsse:Password",
                                   value),
            S_OK);
  EXPECT_EQ(value, "p&ss");
  EXPECT_FALSE(op.ResponseFilePath().empty());
}

}  // namespace

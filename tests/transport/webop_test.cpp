// The operation engine without the network: headers, temporary files, the request/response
// log, the fault check and the stage bookkeeping.
#include "transport/webop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "foundation/config.h"
#include "foundation/xmldoc.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"
#include "transport/msgwindow.h"
#include "transport/webapi.h"

namespace {

class ProbeOp : public CWebSvrOp {
 public:
  explicit ProbeOp(std::string url = "https://api.example.test/api/3.0/api.asmx") : CWebSvrOp(std::move(url)) {
    kind_ = "ProbeOp";
  }
  bool PrepareData() override {
    ++prepared;
    if (!prepareResult && presetCode) result_ = presetCode;
    return prepareResult;
  }
  bool ParseResponse() override { return true; }
  void SetQuery(std::string q) { query_ = std::move(q); }
  void SetResponse(std::string text) { responseText_ = std::move(text); }
  void UseSoapPrefix() {
    bodyPath_ = "/soap:Envelope/soap:Body";
    faultElement_ = "soap:Fault";
  }
  bool prepareResult = true;
  HRESULT presetCode = S_OK;
  int prepared = 0;
};

// A window that keeps what was posted to it.
class PostedMessages : public CMsgWindow {
 public:
  struct Message {
    unsigned message;
    std::intptr_t wParam, lParam;
  };
  void PostMessage(unsigned message, std::intptr_t wParam, std::intptr_t lParam) override {
    posted.push_back({message, wParam, lParam});
  }
  std::vector<Message> posted;
};

class WebOpTest : public vlrtest::HomeTest {
 protected:
  void SwitchXmlLog(DWORD on) {
    win::RegKey key;
    ASSERT_EQ(win::RegKey::Create(win::Hive::CurrentUser, "Software\\Attestra\\Attestra for Outlook\\Advanced", "",
                                  key),
              ERROR_SUCCESS);
    key.SetDword("LogXML", on);
  }
  std::string LogPath() const { return home_.Tmp() + "/AttestraDebug.xml"; }
};

TEST_F(WebOpTest, HeaderBlockIsContentTypeBareLfSoapActionQuotedThenCrLf) {
  ProbeOp op;
  op.AddHeader("Content-Type", "text/xml; charset=utf-8", false);
  op.AddHeader("SOAPAction", "http://api.attestra.net/api/3.0/RequestStatus", true);
  op.AddHeader(nullptr, nullptr, false);
  EXPECT_EQ(op.HeaderBlock(),
            "Content-Type: text/xml; charset=utf-8\nSOAPAction: \"http://api.attestra.net/api/3.0/RequestStatus\"\r\n");
}

TEST_F(WebOpTest, UrlGivesServerNameAndPathWithTheQueryAfterStageZero) {
  struct Case {
    const char* url;
    const char* query;
    const char* server;
    const char* path;
  };
  const Case cases[] = {
      {"https://api.example.test/api/3.0/api.asmx", "", "api.example.test", "/api/3.0/api.asmx"},
      {"http://127.0.0.1:8080/API/3.0/Credential.asmx", "", "127.0.0.1:8080", "/API/3.0/Credential.asmx"},
      {"https://api.example.test/api/3.0/api.asmx", "op=1&x=y", "api.example.test", "/api/3.0/api.asmx?op=1&x=y"},
      {"api.example.test/x", "", "api.example.test", "/x"},
  };
  for (const Case& c : cases) {
    ProbeOp op(c.url);
    op.SetQuery(c.query);
    PostedMessages window;
    EXPECT_TRUE(op.Run(&window, WMU_RUN_OP, 0));
    EXPECT_EQ(transport::CurrentServerName(), c.server);
    EXPECT_EQ(op.RequestPath(), c.path);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(window.posted[0].message, 1124u);
    EXPECT_EQ(window.posted[0].wParam, 1);
    EXPECT_EQ(window.posted[0].lParam, 0);
  }
}

TEST_F(WebOpTest, FailedPrepareDataFailsTheRunWithACode) {
  ProbeOp op;
  op.prepareResult = false;
  PostedMessages window;
  EXPECT_FALSE(op.Run(&window, WMU_RUN_OP, 0));
  EXPECT_EQ(op.ResultCode(), E_FAIL);
  EXPECT_TRUE(window.posted.empty());

  ProbeOp own;
  own.prepareResult = false;
  own.presetCode = E_INVALIDARG;
  EXPECT_FALSE(own.Run(nullptr, 0, 0));
  EXPECT_EQ(own.ResultCode(), E_INVALIDARG);
}

TEST_F(WebOpTest, OpeningWithoutAConnectionFailsWithACode) {
  ProbeOp op;
  PostedMessages window;
  ASSERT_TRUE(op.Run(&window, WMU_RUN_OP, 0));
  EXPECT_FALSE(op.Run(&window, WMU_RUN_OP, 1));
  EXPECT_NE(op.ResultCode(), S_OK);
  EXPECT_EQ(window.posted.size(), 1u);
}

TEST_F(WebOpTest, AStrayStageWithoutAnOpenRequestFailsWithACode) {
  for (int stage : {2, 3, 4}) {
    SCOPED_TRACE(stage);
    ProbeOp op;
    PostedMessages window;
    EXPECT_FALSE(op.Run(&window, WMU_RUN_OP, stage));
    EXPECT_EQ(op.ResultCode(), E_UNEXPECTED);
    EXPECT_TRUE(window.posted.empty());
  }
}

TEST_F(WebOpTest, StageFiveDoesNothing) {
  ProbeOp op;
  PostedMessages window;
  EXPECT_TRUE(op.Run(&window, WMU_RUN_OP, 5));
  EXPECT_TRUE(window.posted.empty());
  EXPECT_EQ(op.prepared, 0);
}

TEST_F(WebOpTest, TemporaryFileNamesFollowThePattern) {
  ProbeOp op;
  ASSERT_EQ(op.MakeTempFile(".xml"), 0);
  const std::filesystem::path xml = op.LastTempFile();
  EXPECT_EQ(xml.extension(), ".xml");
  EXPECT_EQ(xml.parent_path(), std::filesystem::path(home_.Tmp()));
  EXPECT_TRUE(xml.filename().string().starts_with("ATg"));
  EXPECT_FALSE(std::filesystem::exists(xml));

  ASSERT_EQ(op.MakeTempFile("%s-signed.pdf"), 0);
  EXPECT_TRUE(op.LastTempFile().ends_with("-signed.pdf"));
  EXPECT_FALSE(std::filesystem::exists(op.LastTempFile()));

  ASSERT_EQ(op.MakeTempFile(""), 0);
  EXPECT_TRUE(op.LastTempFile().ends_with(".tmp"));
  EXPECT_TRUE(std::filesystem::exists(op.LastTempFile()));
  std::filesystem::remove(op.LastTempFile());
}

TEST_F(WebOpTest, ResponseFileGoesWithTheOperation) {
  std::string path;
  {
    ProbeOp op;
    ASSERT_TRUE(op.UseResponseFile());
    path = op.ResponseFilePath();
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(WebOpTest, RequestFileIsPrivateAndItsPathAnnounced) {
  ProbeOp op;
  std::string announced;
  std::FILE* f = op.OpenRequestFile(".xml", &announced);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(announced, op.RequestBody());
  EXPECT_TRUE(op.BodyFromFile());
  std::fputs("<x/>\n", f);
  ASSERT_TRUE(op.FinishRequestFile());
  EXPECT_EQ(vlrtest::ReadFile(announced), "<x/>\n");
  EXPECT_EQ(std::filesystem::status(announced).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(WebOpTest, CheckFaultTellsUsableAnswersFromFaults) {
  struct Case {
    const char* name;
    std::string response;
    bool fault;
    std::string faultCode, faultString;
    HRESULT result;
  };
  const std::string env = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">";
  const Case cases[] = {
      {"not XML", "<html><body>Oops", true, "", "", S_OK},
      {"no body", env + "<soap:Header/></soap:Envelope>", true, "Malformed SOAP", "Malformed SOAP", S_OK},
      {"fault",
       env + "<soap:Body><soap:Fault><faultcode>soap:Server</faultcode><faultstring>Envelope not found."
             "</faultstring></soap:Fault></soap:Body></soap:Envelope>",
       true, "soap:Server", "Envelope not found.", E_FAIL},
      {"answer", env + "<soap:Body><RequestStatusResponse/></soap:Body></soap:Envelope>", false, "", "", S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeOp op;
    op.UseSoapPrefix();
    op.SetResponse(c.response);
    EXPECT_EQ(op.CheckFault(), c.fault);
    EXPECT_EQ(op.FaultCode(), c.faultCode);
    EXPECT_EQ(op.FaultString(), c.faultString);
    EXPECT_EQ(op.ResultCode(), c.result);
  }
  // A usable answer leaves the document at the body for ParseResponse.
  ProbeOp op;
  op.UseSoapPrefix();
  op.SetResponse(env + "<soap:Body><LoginResponse><LoginResult>ok</LoginResult></LoginResponse></soap:Body></soap:Envelope>");
  ASSERT_FALSE(op.CheckFault());
  std::string value;
  EXPECT_EQ(op.Document()->GetSingleNodeValue("LoginResponse/LoginResult", value), S_OK);
  EXPECT_EQ(value, "ok");
}

TEST_F(WebOpTest, XmlLogKeepsOneWellFormedRootAcrossOperations) {
  SwitchXmlLog(1);
  {
    ProbeOp first;
    first.AppendXmlLog("<Request n=\"1\"/>\n");
    first.AppendXmlLog("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Response n=\"1\"/>\n");
  }
  ProbeOp second;
  const std::string file = home_.Tmp() + "/answer.xml";
  vlrtest::WriteFile(file, "<?xml version=\"1.0\"?><Response n=\"2\">" + std::string(5000, 'x') + "</Response>\n");
  second.AppendXmlLog("<Request n=\"2\"/>\n");
  second.AppendXmlLog(file, true);

  const std::string log = vlrtest::ReadFile(LogPath());
  EXPECT_TRUE(log.starts_with("<XmlLog>\n<Request n=\"1\"/>\n<Response n=\"1\"/>\n<Request n=\"2\"/>\n<Response n=\"2\">"));
  EXPECT_TRUE(log.ends_with("</Response>\n</XmlLog>\n"));
  CXMLDoc doc;
  ASSERT_EQ(doc.LoadString(log), S_OK);
  ASSERT_EQ(doc.GotoNode("/XmlLog"), S_OK);
  ASSERT_EQ(doc.LoadNodesByName("*"), S_OK);
  long count = 0;
  doc.GetNodeCount(count);
  EXPECT_EQ(count, 4);
}

TEST_F(WebOpTest, XmlLogIsOffUnlessSwitchedOn) {
  ProbeOp op;
  op.AppendXmlLog("<Request/>\n");
  EXPECT_FALSE(std::filesystem::exists(LogPath()));
  SwitchXmlLog(2);  // only 1 switches it on
  ProbeOp two;
  two.AppendXmlLog("<Request/>\n");
  EXPECT_FALSE(std::filesystem::exists(LogPath()));
}

}  // namespace

// The engine against the real attestra-sim: the requests as the service receives them, the kept
// connection, TLS, and every row of the failure table, run in one call and stage by stage.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "foundation/base64.h"
#include "foundation/config.h"
#include "foundation/xmldoc.h"
#include "platform/win/registry.h"
#include "operations/oplogin.h"
#include "operations/protocol.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "tests/transport/stepdriver.h"
#include "tests/transport/wirecompare.h"
#include "transport/opattestra.h"
#include "transport/servicenames.h"
#include "transport/userprompts.h"
#include "transport/webapi.h"

namespace {

const vlrtest::SimAccount kAnn{"ann@example.com", "secret", "1001", "Acme Legal", "u-ann"};

// Sets environment variables for the scope and restores them afterwards.
class ScopedEnv {
 public:
  void Set(const char* name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Counts the proxy prompts and answers them with fixed credentials (or none).
class CountingPrompts : public CTransportPrompts {
 public:
  bool AskProxyCredentials(const std::string&, std::string& user, std::string& password) override {
    ++asked;
    if (!give) return false;
    user = "proxyuser";
    password = "proxy pass";
    return true;
  }
  int asked = 0;
  bool give = true;
};

// An API 3.0 call that the simulator refuses for an unknown envelope: its request is all the
// tests need.
class StatusRequest : public OpAttestra {
 public:
  StatusRequest(std::string url, const CCredentials& credentials) : OpAttestra(std::move(url), credentials) {
    kind_ = "StatusRequest";
    action_ = "RequestStatus";
    soapAction_ = "http://" + host_ + "/api/3.0/RequestStatus";
    parseOnFault_ = true;
    bodyPath_ = "/soap:Envelope/soap:Body";
  }
  bool PrepareData() override {
    return BuildRequestFile([this](std::FILE* f) { return WriteElement("EnvelopeID", envelopeId, f, false, true) == S_OK; });
  }
  bool ParseResponse() override {
    result_ = doc_ ? doc_->GotoNode("RequestStatusResponse/RequestStatusResult") : E_FAIL;
    return result_ == S_OK;
  }
  std::string envelopeId = "0d1c0a3e-0000-4000-8000-000000000000";
};

// A request body of any size, written to a temporary file and streamed from there; the answer
// goes to a response file.
class FileUpload : public CWebSvrOp {
 public:
  FileUpload(std::string url, std::string body) : CWebSvrOp(std::move(url)), content_(std::move(body)) {
    kind_ = "FileUpload";
    parseOnFault_ = true;
    bodyPath_ = "/soap:Envelope/soap:Body";
    faultElement_ = "soap:Fault";
  }
  bool PrepareData() override {
    std::FILE* f = OpenRequestFile();
    if (!f || std::fwrite(content_.data(), 1, content_.size(), f) != content_.size()) return false;
    return FinishRequestFile() && UseResponseFile(".xml");
  }
  bool ParseResponse() override { return true; }

 private:
  std::string content_;
};

std::string BigEnvelope(size_t approxBytes) {
  std::string s = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><Big>\n";
  for (size_t i = 0; s.size() < approxBytes; ++i) s += "<Line n=\"" + std::to_string(i) + "\">abcdefghijklmnopqrstuvwxyz</Line>\n";
  return s + "</Big></soap:Body></soap:Envelope>\n";
}

std::string WireText(const vlrtest::SimRequest& r) {
  std::string text = r.method + " " + r.target + "\n";
  for (const auto& [name, value] : r.headers) text += name + ": " + value + "\n";
  return text + "\n" + r.body;
}

class TransportTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                             "NO_PROXY", "SSL_CERT_FILE", "CURL_CA_BUNDLE", "VLR_PROXY_USER", "VLR_PROXY_PASSWORD"})
      env_.Set(name, std::nullopt);
  }
  void TearDown() override {
    SetTransportPrompts(nullptr);
    SetTheProtocol(nullptr);
  }

  void Start(bool tls = false, std::vector<vlrtest::SimAccount> accounts = {kAnn}) {
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.tls = tls, .accounts = std::move(accounts)});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", tls ? 1L : 0L);
    if (tls) env_.Set("SSL_CERT_FILE", sim_->CertFile());
  }

  // Connects the process to the Credential endpoint, as the login does.
  std::string ConnectCredential() {
    SetTheProtocol(std::make_unique<CProtocol>());
    std::string url;
    EXPECT_EQ(CConfig().GetServiceUrl(url, attestra::kCredentialPath), S_OK);
    EXPECT_EQ(TheProtocol()->Connect(url), S_OK);
    return TheApi()->Endpoint();
  }

  std::unique_ptr<OpLogin> Login(const std::string& email = kAnn.email, const std::string& password = kAnn.password) {
    auto op = std::make_unique<OpLogin>(TheApi()->Endpoint());
    op->Credentials().email = email;
    op->Credentials().password = password;
    return op;
  }

  ScopedEnv env_;
  std::unique_ptr<vlrtest::SimProcess> sim_;
};

TEST_F(TransportTest, LoginGoesOutAsTheServiceExpectsAndFillsTheRecord) {
  Start();
  ConnectCredential();
  auto op = Login();
  ASSERT_TRUE(op->Run(nullptr, 0, 0)) << op->FaultString();
  EXPECT_EQ(op->ResultCode(), S_OK);
  EXPECT_EQ(op->Credentials().accountId, "1001");
  EXPECT_EQ(op->Credentials().accountName, "Acme Legal");
  EXPECT_EQ(op->Credentials().userId, "u-ann");
  EXPECT_EQ(op->HttpStatus(), 200);
  EXPECT_TRUE(vlrtest::MatchesExpected(WireText(sim_->Request()), VLR_TEST_DATA_DIR, "login-request.txt"));
}

TEST_F(TransportTest, ApiRequestGoesOutWithItsHeaderBlocksAndAFaultComesBack) {
  Start();
  ConnectCredential();
  TheApi()->SetEndpoint(sim_->ApiUrl());
  CCredentials ann;
  ann.email = kAnn.email;
  ann.password = kAnn.password;
  ann.accountId = kAnn.accountId;
  StatusRequest op(TheApi()->Endpoint(), ann);
  EXPECT_FALSE(op.Run(nullptr, 0, 0));
  EXPECT_NE(op.ResultCode(), S_OK);
  EXPECT_FALSE(op.FaultString().empty());
  EXPECT_EQ(op.FaultCode().rfind("soap:", 0), 0u) << op.FaultCode();
  EXPECT_TRUE(vlrtest::MatchesExpected(WireText(sim_->Request()), VLR_TEST_DATA_DIR, "requeststatus-request.txt"));
  // The request file went once its status was known; the response file goes with the operation.
  EXPECT_FALSE(std::filesystem::exists(op.RequestBody()));
}

TEST_F(TransportTest, TheConnectionIsKeptBetweenOperations) {
  Start();
  ConnectCredential();
  for (int i = 0; i < 3; ++i) {
    auto op = Login();
    ASSERT_TRUE(op->Run(nullptr, 0, 0));
    EXPECT_EQ(op->NewConnections(), i == 0 ? 1 : 0) << "operation " << i;
  }
  // Moving to the API endpoint without disconnecting keeps the connection; only the endpoint
  // string changes.
  CWebSvrAPI* api = TheApi();
  ASSERT_EQ(TheProtocol()->Connect(sim_->ApiUrl()), S_OK);
  EXPECT_EQ(TheApi(), api);
  EXPECT_EQ(TheApi()->Endpoint(), sim_->ApiUrl());
  auto op = std::make_unique<OpLogin>(sim_->CredentialUrl());
  op->Credentials().email = kAnn.email;
  op->Credentials().password = kAnn.password;
  vlrtest::StepDriver stepped;
  ASSERT_TRUE(stepped.Drive(*op));
  EXPECT_EQ(op->NewConnections(), 0);
  // Disconnecting closes it.
  TheProtocol()->Disconnect();
  EXPECT_EQ(TheApi(), nullptr);
  ConnectCredential();
  auto fresh = Login();
  ASSERT_TRUE(fresh->Run(nullptr, 0, 0));
  EXPECT_EQ(fresh->NewConnections(), 1);
}

TEST_F(TransportTest, TlsIsVerifiedAgainstTheNamedCertificate) {
  Start(true);
  ConnectCredential();
  auto op = Login();
  ASSERT_TRUE(op->Run(nullptr, 0, 0)) << op->TransportError();
  EXPECT_EQ(op->Credentials().accountId, "1001");

  // Without the simulator's certificate the peer is not trusted.
  env_.Set("SSL_CERT_FILE", std::nullopt);
  SetTheProtocol(nullptr);
  ConnectCredential();
  auto untrusted = Login();
  EXPECT_FALSE(untrusted->Run(nullptr, 0, 0));
  EXPECT_EQ(untrusted->ResultCode(), kInternetException);
  EXPECT_EQ(untrusted->FaultString(), kInternetExceptionText);
  EXPECT_FALSE(untrusted->TransportError().empty());
  env_.Set("CURL_CA_BUNDLE", sim_->CertFile());
  auto named = Login();
  EXPECT_TRUE(named->Run(nullptr, 0, 0)) << named->TransportError();
}

// The failure table, row by row, run both ways.
struct Row {
  const char* name;
  std::function<void(vlrtest::SimProcess&)> inject;
  bool ok;
  HRESULT result;        // for a failure, 0 means any non-zero code
  const char* fault;     // nullptr: not checked
  const char* faultCode; // nullptr: not checked
  int failedStage;       // stepped: the stage that failed; -1: the run reaches stage 5; -2: not checked
};

std::vector<Row> FailureRows() {
  const std::string noBody =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header/></soap:Envelope>";
  return {
      {"404", [](auto& s) { s.InjectStatus(404); }, false, RPC_E_SERVERFAULT, "", nullptr, 3},
      {"302", [](auto& s) { s.InjectStatus(302); }, false, RPC_E_SERVERFAULT, "", nullptr, 3},
      {"500 with a fault", [](auto& s) { s.InjectFault("soap:Server", "The service is down for maintenance."); },
       false, 0, "The service is down for maintenance.", "soap:Server", -1},
      {"400 with a fault",
       [](auto& s) {
         s.Inject({{"mode", "fault"}, {"status", "400"}, {"faultcode", "soap:Client"}, {"faultstring", "Bad request."}});
       },
       false, 0, "Bad request.", "soap:Client", -1},
      {"not XML", [](auto& s) { s.InjectBody("<html><body>Gateway error", "text/html", 1, 500); }, false, 0, "", nullptr,
       -1},
      {"no Body", [noBody](auto& s) { s.InjectBody(noBody); }, false, 0, "Malformed SOAP", "Malformed SOAP", -1},
      {"empty answer", [](auto& s) { s.InjectBody(""); }, false, 0, "", nullptr, -1},
      {"dropped connection", [](auto& s) { s.InjectDrop(); }, false, kInternetException, kInternetExceptionText, nullptr,
       3},
      // Cut short while its status arrives or while it is read, as the packets fall.
      {"truncated answer", [](auto& s) { s.InjectTruncate(); }, false, kInternetException, kInternetExceptionText,
       nullptr, -2},
      {"delay", [](auto& s) { s.InjectDelay(400); }, true, S_OK, "", nullptr, -1},
  };
}

void ExpectOutcome(const CWebSvrOp& op, const Row& row) {
  if (row.ok || row.result) {
    EXPECT_EQ(op.ResultCode(), row.result);
  } else {
    EXPECT_NE(op.ResultCode(), S_OK);
  }
  if (row.fault) {
    EXPECT_EQ(op.FaultString(), row.fault);
  }
  if (row.faultCode) {
    EXPECT_EQ(op.FaultCode(), row.faultCode);
  }
}

TEST_F(TransportTest, FailureTableInOneCall) {
  Start();
  ConnectCredential();
  for (const Row& row : FailureRows()) {
    SCOPED_TRACE(row.name);
    sim_->Reset();
    row.inject(*sim_);
    auto op = Login();
    EXPECT_EQ(op->Run(nullptr, 0, 0), row.ok);
    ExpectOutcome(*op, row);
    EXPECT_FALSE(op->HasOpenRequest());
  }
}

TEST_F(TransportTest, FailureTableStageByStage) {
  Start();
  ConnectCredential();
  for (const Row& row : FailureRows()) {
    SCOPED_TRACE(row.name);
    sim_->Reset();
    row.inject(*sim_);
    auto op = Login();
    vlrtest::StepDriver driver;
    EXPECT_EQ(driver.Drive(*op), row.ok);
    ExpectOutcome(*op, row);
    // A failure before the answer is read ends the run there; one while reading it (or in
    // ParseResponse) still reaches stage 5.
    if (row.failedStage >= 0) {
      EXPECT_EQ(driver.failedStage, row.failedStage);
    } else if (row.failedStage == -1) {
      EXPECT_EQ(driver.stages.back(), 5);
    }
  }
}

TEST_F(TransportTest, ADelayedAnswerGivesTheEventLoopBackWhileWaiting) {
  Start();
  ConnectCredential();
  sim_->InjectDelay(500);
  auto op = Login();
  vlrtest::StepDriver driver;
  ASSERT_TRUE(driver.Drive(*op));
  // Stage 3 waits a short while per call and posts itself again until the status is there.
  EXPECT_GT(driver.Calls(3), 1);
  EXPECT_EQ(op->Credentials().accountId, "1001");
}

TEST_F(TransportTest, A407AsksOnceAndSendsTheRequestOnceMore) {
  Start();
  ConnectCredential();
  CountingPrompts prompts;
  SetTransportPrompts(&prompts);

  sim_->InjectStatus(407);
  auto op = Login();
  ASSERT_TRUE(op->Run(nullptr, 0, 0));
  EXPECT_EQ(prompts.asked, 1);
  EXPECT_EQ(sim_->Requests(2)[1].body, sim_->Requests(2)[0].body);  // the same request, twice

  // A second 407 is like any other unexpected status.
  sim_->Reset();
  sim_->InjectStatus(407, 2);
  auto twice = Login();
  vlrtest::StepDriver driver;
  EXPECT_FALSE(driver.Drive(*twice));
  EXPECT_EQ(twice->ResultCode(), RPC_E_SERVERFAULT);
  EXPECT_EQ(prompts.asked, 2);
  EXPECT_EQ(driver.failedStage, 3);

  // No credentials given: no resend.
  sim_->Reset();
  prompts.give = false;
  sim_->InjectStatus(407, 1);
  auto refused = Login();
  EXPECT_FALSE(refused->Run(nullptr, 0, 0));
  EXPECT_EQ(refused->ResultCode(), RPC_E_SERVERFAULT);
  EXPECT_EQ(prompts.asked, 3);
  EXPECT_NO_THROW(sim_->Request(0));
  EXPECT_THROW(sim_->Request(1), std::runtime_error);
}

TEST_F(TransportTest, ProxyCredentialsFromTheEnvironmentReachTheProxy) {
  Start();
  // The simulator serves as the proxy of a host that does not exist.
  CConfig().SetKey("Host", "attestra.test");
  env_.Set("http_proxy", sim_->BaseUrl());
  env_.Set("VLR_PROXY_USER", "proxyuser");
  env_.Set("VLR_PROXY_PASSWORD", "proxy pass");
  sim_->RequireProxyAuth("attestra-sim", "proxyuser", "proxy pass");
  ConnectCredential();
  auto op = Login();
  ASSERT_TRUE(op->Run(nullptr, 0, 0)) << op->TransportError() << " status " << op->HttpStatus();
  EXPECT_EQ(op->Credentials().accountId, "1001");
  const auto seen = sim_->Requests(2);
  Base64Coder coder;
  coder.Encode(std::string("proxyuser:proxy pass"));
  EXPECT_EQ(seen[0].Header("Proxy-Authorization"), std::string("Basic ") + coder.GetEncoded());
  EXPECT_EQ(seen[1].Header("Proxy-Authorization"), "");
  EXPECT_EQ(seen[0].target, "http://attestra.test/API/3.0/Credential.asmx");

  // The next operation sends the credentials at once.
  auto next = Login();
  ASSERT_TRUE(next->Run(nullptr, 0, 0));
  EXPECT_NE(sim_->Request().Header("Proxy-Authorization"), "");
}

TEST_F(TransportTest, XmlLogHoldsEveryRequestAndResponse) {
  Start();
  {
    win::RegKey key;
    ASSERT_EQ(win::RegKey::Create(win::Hive::CurrentUser, "Software\\Attestra\\Attestra for Outlook\\Advanced", "", key),
              ERROR_SUCCESS);
    key.SetDword("LogXML", 1);
  }
  ConnectCredential();
  auto first = Login();
  ASSERT_TRUE(first->Run(nullptr, 0, 0));
  auto second = Login("ann@example.com", "wrong");
  vlrtest::StepDriver driver;
  EXPECT_FALSE(driver.Drive(*second));
  CXMLDoc log;
  ASSERT_EQ(log.LoadFile(home_.Tmp() + "/AttestraDebug.xml"), S_OK);
  ASSERT_EQ(log.GotoNode("/XmlLog"), S_OK);
  long requests = 0, responses = 0;
  log.LoadNodesByName("SOAP-ENV:Envelope");
  log.GetNodeCount(requests);
  log.GotoNode("/XmlLog");
  log.LoadNodesByName("soap:Envelope");
  log.GetNodeCount(responses);
  EXPECT_EQ(requests, 2);
  EXPECT_EQ(responses, 2);
}

}  // namespace

namespace {

TEST_F(TransportTest, ALargeBodyGoesOutOfItsFilePieceByPiece) {
  Start();
  ConnectCredential();
  const std::string body = BigEnvelope(300 * 1024);
  FileUpload op(sim_->ApiUrl(), body);
  vlrtest::StepDriver driver;
  driver.Drive(op);  // the service refuses what it cannot read; the upload is what counts here
  EXPECT_EQ(op.BytesSent(), static_cast<long long>(body.size()));
  EXPECT_GE(driver.Calls(2), static_cast<int>(body.size() / 4095));
  EXPECT_EQ(sim_->Request().body, body);
  EXPECT_FALSE(std::filesystem::exists(op.RequestBody()));

  FileUpload whole(sim_->ApiUrl(), body);
  whole.Run(nullptr, 0, 0);
  EXPECT_EQ(whole.BytesSent(), static_cast<long long>(body.size()));
  EXPECT_EQ(sim_->Request().body, body);
}

TEST_F(TransportTest, ALostConnectionLeavesNoRequestFileBehind) {
  // The request file holds the password and every document: a failed run must not leave it.
  Start();
  ConnectCredential();
  for (bool stepped : {false, true}) {
    SCOPED_TRACE(stepped ? "stage by stage" : "one call");
    sim_->Reset();
    sim_->InjectDrop();
    FileUpload op(sim_->ApiUrl(), BigEnvelope(64 * 1024));
    if (stepped) {
      vlrtest::StepDriver driver;
      EXPECT_FALSE(driver.Drive(op));
    } else {
      EXPECT_FALSE(op.Run(nullptr, 0, 0));
    }
    EXPECT_EQ(op.ResultCode(), kInternetException);
    EXPECT_FALSE(std::filesystem::exists(op.RequestBody()));
  }
}

TEST_F(TransportTest, ALargeAnswerComesInPieceByPiece) {
  Start();
  ConnectCredential();
  const std::string answer = BigEnvelope(200 * 1024);
  sim_->InjectBody(answer, "text/xml; charset=utf-8", 2);
  FileUpload op(sim_->ApiUrl(), "<x/>");
  vlrtest::StepDriver driver;
  ASSERT_TRUE(driver.Drive(op));
  EXPECT_GE(driver.Calls(4), static_cast<int>(answer.size() / 4096));
  EXPECT_EQ(op.BytesReceived(), static_cast<long long>(answer.size()));
  EXPECT_EQ(vlrtest::ReadFile(op.ResponseFilePath()), answer);

  FileUpload whole(sim_->ApiUrl(), "<x/>");
  ASSERT_TRUE(whole.Run(nullptr, 0, 0));
  EXPECT_EQ(vlrtest::ReadFile(whole.ResponseFilePath()), answer);
}

TEST_F(TransportTest, A407ResendStreamsTheBodyFileAgain) {
  Start();
  ConnectCredential();
  CountingPrompts prompts;
  SetTransportPrompts(&prompts);
  const std::string body = BigEnvelope(50 * 1024);
  sim_->InjectStatus(407);
  FileUpload op(sim_->ApiUrl(), body);
  vlrtest::StepDriver driver;
  driver.Drive(op);
  EXPECT_EQ(prompts.asked, 1);
  const auto seen = sim_->Requests(2);
  EXPECT_EQ(seen[1].body, body);
  EXPECT_EQ(seen[0].body, body);
  EXPECT_FALSE(std::filesystem::exists(op.RequestBody()));
}

}  // namespace

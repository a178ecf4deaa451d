// Every injection of the control interface, observed by real clients (raw sockets, httplib,
// curl) against the real simulator.
#include <httplib.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
namespace soap = vlrtest::simsoap;

const std::string kLoginPath = std::string("/") + attestra::kCredentialPath;
const std::string kLoginAction = std::string("\"") + attestra::kCredentialNamespace + "/Login\"";

struct RawAnswer {
  std::string statusLine;
  std::string head;
  std::string body;
  size_t contentLength = std::string::npos;
};

RawAnswer SplitAnswer(const std::string& raw) {
  RawAnswer a;
  size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return a;
  a.head = raw.substr(0, end + 2);
  a.body = raw.substr(end + 4);
  a.statusLine = a.head.substr(0, a.head.find("\r\n"));
  size_t cl = a.head.find("Content-Length: ");
  if (cl != std::string::npos) a.contentLength = std::stoul(a.head.substr(cl + 16));
  return a;
}

class SimControl : public vlrtest::HomeTest {
 protected:
  std::string LoginBody() const { return soap::LoginEnvelope("ann@example.com", "secret"); }

  SimResponse Login() { return sim_.Post(kLoginPath, LoginBody(), {{"SOAPAction", kLoginAction}}); }

  std::string RawLogin() const {
    std::string body = LoginBody();
    return "POST " + kLoginPath + " HTTP/1.1\r\nHost: " + sim_.HostPort() +
           "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: " + kLoginAction +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

  static void ExpectLoggedIn(const SimResponse& r, const char* when) {
    EXPECT_EQ(r.status, 200) << when << ": " << r.error;
    EXPECT_EQ(soap::ElementText(r.body, "Success"), "true") << when;
  }

  vlrtest::SimProcess sim_{{.accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-ann"}}}};
};

TEST_F(SimControl, IsOffWithoutTheFlag) {
  vlrtest::SimProcess closed({.control = false, .accounts = {{"ann@example.com", "secret", "1001", "Acme", "u"}}});
  EXPECT_EQ(closed.Get("/_control/requests").status, 403);
  EXPECT_EQ(closed.Post("/_control/inject", "mode=drop", {{"Content-Type", "application/x-www-form-urlencoded"}}).status, 403);
  EXPECT_EQ(closed.Post("/_control/reset", "").status, 403);
  EXPECT_THROW(closed.InjectStatus(503), std::runtime_error);
  ExpectLoggedIn(closed.Post(kLoginPath, LoginBody(), {{"SOAPAction", kLoginAction}}), "nothing injected");
}

TEST_F(SimControl, StatusAnswersTheNextRequestsThenServiceResumes) {
  sim_.InjectStatus(503, 2, "busy");
  for (int i = 0; i < 2; ++i) {
    SimResponse r = Login();
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.body, "busy");
  }
  ExpectLoggedIn(Login(), "after two");

  sim_.Inject({{"mode", "status"}, {"status", "404"}, {"header", "Retry-After: 5"}});
  SimResponse r = Login();
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.Header("Retry-After"), "5");
  EXPECT_EQ(r.body, "");
}

TEST_F(SimControl, BodyIsSentAsGiven) {
  sim_.InjectBody("Service temporarily unavailable", "text/plain");
  SimResponse text = Login();
  EXPECT_EQ(text.status, 200);
  EXPECT_EQ(text.Header("Content-Type"), "text/plain");
  EXPECT_EQ(text.body, "Service temporarily unavailable");

  const std::string noBody =
      "<?xml version=\"1.0\"?>\n<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">\n"
      "<soap:Header/>\n</soap:Envelope>\n";
  sim_.InjectBody(noBody, "text/xml; charset=utf-8", 1, 500);
  SimResponse xml = Login();
  EXPECT_EQ(xml.status, 500);
  EXPECT_EQ(xml.body, noBody);
}

TEST_F(SimControl, FaultCarriesTheGivenCodeAndString) {
  sim_.InjectFault("soap:Server", "Database <down> & out");
  SimResponse r = Login();
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(soap::ElementText(r.body, "faultcode"), "soap:Server");
  EXPECT_EQ(soap::ElementText(r.body, "faultstring"), "Database <down> & out");
  EXPECT_NE(r.body.find("<soap:Body>\n<soap:Fault>"), std::string::npos);

  sim_.Inject({{"mode", "fault"}, {"status", "400"}});
  SimResponse defaults = Login();
  EXPECT_EQ(defaults.status, 400);
  EXPECT_EQ(soap::ElementText(defaults.body, "faultstring"), "Injected fault");
}

TEST_F(SimControl, InjectionsApplyInTheOrderGiven) {
  sim_.InjectStatus(404);
  sim_.InjectFault("soap:Client", "second");
  sim_.InjectStatus(502, 2);
  EXPECT_NE(sim_.Get("/_control/injections").body.find("\"remaining\":2"), std::string::npos);
  EXPECT_EQ(Login().status, 404);
  EXPECT_EQ(soap::ElementText(Login().body, "faultstring"), "second");
  EXPECT_EQ(Login().status, 502);
  EXPECT_EQ(Login().status, 502);
  ExpectLoggedIn(Login(), "queue empty");
}

TEST_F(SimControl, OnlyServiceRequestsTakeInjections) {
  sim_.InjectStatus(503);
  EXPECT_EQ(sim_.Post("/nowhere", "x").status, 404);
  EXPECT_EQ(sim_.Get(kLoginPath).status, 405);
  EXPECT_EQ(Login().status, 503);
}

TEST_F(SimControl, DelayKeepsTheAnswerBack) {
  sim_.InjectDelay(20000);
  httplib::Client impatient("http://" + sim_.HostPort());
  impatient.set_read_timeout(1);
  httplib::Result r = impatient.Post(kLoginPath.c_str(), {{"SOAPAction", kLoginAction}}, LoginBody(), "text/xml");
  EXPECT_FALSE(r) << "answered within a second despite a 20 s delay";

  sim_.InjectDelay(50);
  ExpectLoggedIn(Login(), "short delay");
  EXPECT_NE(sim_.Get("/_control/requests?count=1").body.find("injected delay"), std::string::npos);
}

TEST_F(SimControl, TruncateAnnouncesTheFullLengthAndSendsLess) {
  const SimResponse reference = Login();
  ExpectLoggedIn(reference, "reference");
  const size_t full = reference.body.size();

  sim_.InjectTruncate(1, 10);
  RawAnswer cut = SplitAnswer(vlrtest::RawHttpExchange(sim_.Port(), RawLogin()));
  EXPECT_EQ(cut.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(cut.contentLength, full);
  EXPECT_EQ(cut.body, reference.body.substr(0, 10));

  sim_.InjectTruncate();
  RawAnswer half = SplitAnswer(vlrtest::RawHttpExchange(sim_.Port(), RawLogin()));
  EXPECT_EQ(half.contentLength, full);
  EXPECT_EQ(half.body.size(), full / 2);

  sim_.InjectTruncate();
  httplib::Client client("http://" + sim_.HostPort());
  EXPECT_FALSE(client.Post(kLoginPath.c_str(), LoginBody(), "text/xml"));
}

TEST_F(SimControl, DropClosesWithoutAnAnswer) {
  sim_.InjectDrop(2);
  EXPECT_EQ(vlrtest::RawHttpExchange(sim_.Port(), RawLogin()), "");
  SimResponse r = Login();
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.error.empty());
  ExpectLoggedIn(Login(), "after the drops");
}

TEST_F(SimControl, ProcessLetsTheRequestTakeEffectBeforeTheAnswerIsReplaced) {
  soap::Security ann{.email = "ann@example.com", .password = "secret", .accountId = "1001"};
  const std::string api = std::string("/") + attestra::kApiPath;
  std::string first = soap::ApiEnvelope("NoSuchOperation", "", ann);
  sim_.InjectDrop();
  EXPECT_EQ(sim_.Post(api, first).status, 0);
  // Not handled: its nonce is still fresh.
  EXPECT_NE(soap::ElementText(sim_.Post(api, first).body, "faultstring").find("Unknown operation"), std::string::npos);

  std::string second = soap::ApiEnvelope("NoSuchOperation", "", ann);
  sim_.Inject({{"mode", "drop"}, {"process", "1"}});
  EXPECT_EQ(sim_.Post(api, second).status, 0);
  // Handled before the drop: its nonce is spent.
  EXPECT_NE(soap::ElementText(sim_.Post(api, second).body, "faultstring").find("replay"), std::string::npos);
}

TEST_F(SimControl, ProxyAuthAsksUntilCredentialsCome) {
  sim_.RequireProxyAuth("sim-proxy", "user", "pass");
  for (const char* credentials : {"", "Basic dXNlcjp3cm9uZw=="}) {  // none, then user:wrong
    vlrtest::SimHeaders h = {{"SOAPAction", kLoginAction}};
    if (*credentials) h.emplace_back("Proxy-Authorization", credentials);
    SimResponse r = sim_.Post(kLoginPath, LoginBody(), h);
    EXPECT_EQ(r.status, 407) << credentials;
    EXPECT_EQ(r.Header("Proxy-Authenticate"), "Basic realm=\"sim-proxy\"");
  }
  ExpectLoggedIn(sim_.Post(kLoginPath, LoginBody(), {{"SOAPAction", kLoginAction}, {"Proxy-Authorization", "Basic dXNlcjpwYXNz"}}),
                 "user:pass");
  ExpectLoggedIn(Login(), "mode ended");

  sim_.RequireProxyAuth();
  sim_.InjectStatus(502);  // waits behind the proxy challenge
  EXPECT_EQ(Login().status, 407);
  EXPECT_EQ(sim_.Post(kLoginPath, LoginBody(), {{"Proxy-Authorization", "Basic anything"}}).status, 502);
}

TEST_F(SimControl, CurlAnswersTheChallengeAsAProxyClient) {
  sim_.RequireProxyAuth("sim-proxy", "user", "pass");
  std::string file = home_.Tmp() + "/login.xml";
  vlrtest::WriteFile(file, LoginBody());
  std::string out, err;
  int rc = vlrtest::RunCommand("curl -sS --noproxy '' -x http://" + sim_.HostPort() +
                                   " --proxy-anyauth --proxy-user user:pass -H 'Content-Type: text/xml; charset=utf-8'"
                                   " -H 'SOAPAction: " + kLoginAction + "' --data-binary @" + file + " " +
                                   sim_.CredentialUrl(),
                               &out, &err);
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(soap::ElementText(out, "Success"), "true") << out;
  auto seen = sim_.Requests(2);
  EXPECT_EQ(seen[1].Header("Proxy-Authorization"), "");
  EXPECT_EQ(seen[0].Header("Proxy-Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(seen[0].target, sim_.CredentialUrl());  // a proxy request names the whole URL
}

TEST_F(SimControl, RecordsRequestsAsReceived) {
  const std::string body = LoginBody();
  sim_.Post(kLoginPath, body, {{"SOAPAction", kLoginAction}, {"X-Trace", "abc"}});
  sim_.InjectStatus(503);
  sim_.Post("/api/3.0/api.asmx?x=1", "<other/>", {{"Content-Type", "text/plain"}});

  vlrtest::SimRequest newest = sim_.Request(0);
  EXPECT_EQ(newest.method, "POST");
  EXPECT_EQ(newest.target, "/api/3.0/api.asmx?x=1");
  EXPECT_EQ(newest.body, "<other/>");
  EXPECT_EQ(newest.Header("content-type"), "text/plain");

  vlrtest::SimRequest login = sim_.Request(1);
  EXPECT_EQ(login.target, kLoginPath);
  EXPECT_EQ(login.body, body);
  EXPECT_EQ(login.Header("SOAPAction"), kLoginAction);
  EXPECT_EQ(login.Header("X-Trace"), "abc");
  EXPECT_EQ(login.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(login.Header("REMOTE_ADDR"), "");  // the library's own notes are not headers

  std::string json = sim_.Get("/_control/requests?count=2").body;
  EXPECT_NE(json.find("\"target\":\"/api/3.0/api.asmx?x=1\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"status\":503,\"note\":\"injected status 503\""), std::string::npos) << json;
  EXPECT_NE(json.find("[\"X-Trace\",\"abc\"]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"body_size\":" + std::to_string(body.size())), std::string::npos);
}

TEST_F(SimControl, KeepsTheLast32Requests) {
  for (int i = 0; i < 40; ++i) sim_.Post("/nowhere/" + std::to_string(i), std::to_string(i));
  EXPECT_EQ(sim_.Request(0).body, "39");
  EXPECT_EQ(sim_.Request(31).body, "8");
  EXPECT_THROW(sim_.Request(32), std::runtime_error);
  size_t bodies = 0;
  for (const auto& e : std::filesystem::directory_iterator(sim_.DataDir() + "/spool")) bodies += e.path().extension() == ".body";
  EXPECT_EQ(bodies, 32u);
}

TEST_F(SimControl, ResetEmptiesInjectionsAndRecords) {
  sim_.InjectStatus(503, 5);
  Login();
  sim_.Reset();
  EXPECT_THROW(sim_.Request(0), std::runtime_error);
  ExpectLoggedIn(Login(), "after reset");
}

TEST_F(SimControl, RefusesBadControlCalls) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"mode=nonsense", 400},
      {"mode=status", 400},
      {"mode=status&status=99", 400},
      {"mode=delay", 400},
      {"mode=drop&count=0", 400},
      {"mode=status&status=500&header=NoColon", 400},
      {"mode=proxy_auth&realm=a%22b", 400},
  };
  for (const auto& [form, status] : cases) {
    SimResponse r = sim_.Post("/_control/inject", form, {{"Content-Type", "application/x-www-form-urlencoded"}});
    EXPECT_EQ(r.status, status) << form << " " << r.body;
    EXPECT_NE(r.body.find("\"error\""), std::string::npos) << form;
  }
  EXPECT_EQ(sim_.Get("/_control/nothing").status, 404);
  EXPECT_EQ(sim_.Get("/_control/request?index=0&part=all").status, 400);
  ExpectLoggedIn(Login(), "nothing was queued");
}

TEST_F(SimControl, LogsRequestsAndAnswersWithBigBodiesCut) {
  sim_.InjectFault("soap:Server", "logged fault");
  Login();
  sim_.Post("/nowhere", std::string(100000, 'x'));
  std::string log = sim_.LogText();
  EXPECT_NE(log.find("POST " + kLoginPath + " HTTP/1.1"), std::string::npos);
  EXPECT_NE(log.find("SOAPAction: " + kLoginAction), std::string::npos);
  EXPECT_NE(log.find("<m:Password>secret</m:Password>"), std::string::npos);
  EXPECT_NE(log.find("answer 500 (injected fault 500)"), std::string::npos) << log;
  EXPECT_NE(log.find("logged fault"), std::string::npos);
  EXPECT_NE(log.find("[... " + std::to_string(100000 - 16 * 1024) + " more bytes]"), std::string::npos);
  EXPECT_LT(log.size(), 60000u);
}

}  // namespace

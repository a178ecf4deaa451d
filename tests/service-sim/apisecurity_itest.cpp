// The checks that every API 3.0 call passes, against the real simulator. The requests name an
// operation it does not answer, so one that passes every check ends in "Unknown operation".
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
namespace soap = vlrtest::simsoap;

const std::string kOperation = "NoSuchOperation";

void Erase(std::string& text, const std::string& from, const std::string& to) {
  size_t b = text.find(from);
  ASSERT_NE(b, std::string::npos) << from;
  size_t e = text.find(to, b);
  ASSERT_NE(e, std::string::npos) << to;
  text.erase(b, e + to.size() - b);
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

class SimApiSecurity : public vlrtest::HomeTest {
 protected:
  SimResponse Call(const std::string& body) {
    return sim_.Post(std::string("/") + attestra::kApiPath, body,
                     {{"SOAPAction", std::string("\"http://") + sim_.HostPort() + "/api/3.0/" + kOperation + "\""}});
  }

  static soap::Security Ann() { return soap::Security{.email = "ann@example.com", .password = "secret", .accountId = "1002"}; }

  static void ExpectFault(const SimResponse& r, const std::string& code, const std::string& text,
                          const std::string& name) {
    EXPECT_EQ(r.status, 500) << name << ": " << r.error;
    EXPECT_EQ(r.Header("Content-Type"), "text/xml; charset=utf-8") << name;
    EXPECT_NE(r.body.find("<soap:Envelope "), std::string::npos) << name;
    EXPECT_NE(r.body.find("<soap:Body>\n<soap:Fault>\n<faultcode>"), std::string::npos) << name << "\n" << r.body;
    EXPECT_EQ(soap::ElementText(r.body, "faultcode"), code) << name << "\n" << r.body;
    EXPECT_NE(soap::ElementText(r.body, "faultstring").find(text), std::string::npos)
        << name << ": " << soap::ElementText(r.body, "faultstring");
  }

  vlrtest::SimProcess sim_{{.accounts = {
                                {"ann@example.com", "secret", "1001", "Acme", "u-ann"},
                                {"ann@example.com", "secret", "1002", "Acme East", "u-ann"},
                                {"ann@example.com", "second", "1003", "Elsewhere", "u-ann"},
                                {"bob@example.com", "bobpw", "2001", "Bob", "u-bob"},
                            }}};
};

TEST_F(SimApiSecurity, AWellFormedCallPassesEveryCheck) {
  ExpectFault(Call(soap::ApiEnvelope(kOperation, "", Ann())), "soap:Client", "Unknown operation \"NoSuchOperation\"",
              "valid");
  // Each account with its own password, the address in any case.
  soap::Security other{.email = "ANN@example.com", .password = "second", .accountId = "1003"};
  ExpectFault(Call(soap::ApiEnvelope(kOperation, "", other)), "soap:Client", "Unknown operation", "second account");
}

TEST_F(SimApiSecurity, RefusesBadSecurityHeaders) {
  const std::time_t now = std::time(nullptr);
  struct Case {
    const char* name;
    std::function<void(soap::Security&)> security;
    std::function<void(std::string&)> text;
    const char* faultcode;
    const char* faultstring;
  };
  auto none = [](auto&) {};
  const std::vector<Case> cases = {
      {"expired", [&](soap::Security& s) { s.created = now - 600; s.expires = now - 300; }, none,
       "wsu:MessageExpired", "The message has expired."},
      {"created far ahead", [&](soap::Security& s) { s.created = now + 900; s.expires = now + 1200; }, none,
       "wsse:InvalidSecurity", "future"},
      {"expires before created", [&](soap::Security& s) { s.created = now; s.expires = now - 1; }, none,
       "wsse:InvalidSecurity", "before"},
      {"timestamp not UTC", none,
       [](std::string& t) { Replace(t, "Z</wsu:Expires>", "</wsu:Expires>"); },
       "wsse:InvalidSecurity", "not a UTC time"},
      {"no timestamp", none, [](std::string& t) { Erase(t, "<wsu:Timestamp", "</wsu:Timestamp>\n"); },
       "wsse:InvalidSecurity", "no wsu:Timestamp"},
      {"wrong password", [](soap::Security& s) { s.password = "Secret"; }, none,
       "wsse:FailedAuthentication", "wrong password"},
      {"password of another account of the address", [](soap::Security& s) { s.password = "second"; }, none,
       "wsse:FailedAuthentication", "does not belong"},
      {"unknown user", [](soap::Security& s) { s.email = "eve@example.com"; }, none,
       "wsse:FailedAuthentication", "unknown user name"},
      {"no integrator key", none, [](std::string& t) { Replace(t, attestra::kIntegratorKey, ""); },
       "wsse:FailedAuthentication", "integrator key"},
      {"account of another user", [](soap::Security& s) { s.accountId = "2001"; }, none,
       "wsse:FailedAuthentication", "\"2001\" does not belong"},
      {"no account id", [](soap::Security& s) { s.accountId = ""; }, none,
       "wsse:FailedAuthentication", "no AccountId"},
      {"digest password", none,
       [](std::string& t) { Replace(t, "#PasswordText", "#PasswordDigest"); },
       "wsse:UnsupportedSecurityToken", "PasswordDigest"},
      {"no nonce", none, [](std::string& t) { Erase(t, "<wsse:Nonce>", "</wsse:Nonce>\n"); },
       "wsse:InvalidSecurity", "no wsse:Nonce"},
      {"no security header", none, [](std::string& t) { Erase(t, "<wsse:Security", "</wsse:Security>\n"); },
       "wsse:InvalidSecurity", "no wsse:Security"},
      {"no header at all", none, [](std::string& t) { Erase(t, "<SOAP-ENV:Header>", "</SOAP-ENV:Header>\n"); },
       "wsse:InvalidSecurity", "no wsse:Security"},
      {"other action", [](soap::Security& s) { s.action = std::string(attestra::kActionBase) + "/Other"; }, none,
       "soap:Client", "does not match the operation"},
      {"action of another service", [](soap::Security& s) { s.action = "http://example.com/API/3.0/" + kOperation; },
       none, "soap:Client", "does not match the operation"},
      {"no action", none, [](std::string& t) { Erase(t, "<wsa:Action>", "</wsa:Action>\n"); },
       "soap:Client", "no wsa:Action"},
      {"unknown mandatory header", none,
       [](std::string& t) {
         Replace(t, "<SOAP-ENV:Header>\n", "<SOAP-ENV:Header>\n<x:Routing xmlns:x='urn:x' SOAP-ENV:mustUnderstand='1'/>\n");
       },
       "soap:MustUnderstand", "Routing"},
      {"malformed XML", none, [](std::string& t) { t.resize(t.size() * 2 / 3); }, "soap:Client", "not well-formed"},
      {"not SOAP", none, [](std::string& t) { t = "<?xml version=\"1.0\"?>\n<Order><Item/></Order>\n"; },
       "soap:Client", "not a SOAP envelope"},
      {"SOAP 1.2", none,
       [](std::string& t) { Replace(t, "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/2003/05/soap-envelope"); },
       "soap:VersionMismatch", "SOAP 1.1"},
      {"not XML", none, [](std::string& t) { t = "Hello, service"; }, "soap:Client", "not well-formed"},
      {"empty", none, [](std::string& t) { t.clear(); }, "soap:Client", "empty"},
  };
  for (const Case& c : cases) {
    soap::Security s = Ann();
    c.security(s);
    std::string body = soap::ApiEnvelope(kOperation, "", s);
    c.text(body);
    ExpectFault(Call(body), c.faultcode, c.faultstring, c.name);
  }
  EXPECT_TRUE(sim_.Running());
}

TEST_F(SimApiSecurity, ANonceServesOnce) {
  soap::Security s = Ann();
  s.nonce = soap::RandomNonce();
  std::string body = soap::ApiEnvelope(kOperation, "", s);
  ExpectFault(Call(body), "soap:Client", "Unknown operation", "first");
  ExpectFault(Call(body), "wsse:FailedAuthentication", "replay", "same request again");
  soap::Security fresh = Ann();
  fresh.nonce = s.nonce;  // a new timestamp does not make an old nonce new
  fresh.created = std::time(nullptr) + 1;
  ExpectFault(Call(soap::ApiEnvelope(kOperation, "", fresh)), "wsse:FailedAuthentication", "replay", "new timestamp");
}

TEST_F(SimApiSecurity, ARefusedCallDoesNotSpendItsNonce) {
  soap::Security wrong = Ann();
  wrong.password = "guess";
  wrong.nonce = soap::RandomNonce();
  ExpectFault(Call(soap::ApiEnvelope(kOperation, "", wrong)), "wsse:FailedAuthentication", "wrong password", "guess");
  soap::Security right = Ann();
  right.nonce = wrong.nonce;
  ExpectFault(Call(soap::ApiEnvelope(kOperation, "", right)), "soap:Client", "Unknown operation", "same nonce, right password");
}

TEST_F(SimApiSecurity, ResetForgetsNonces) {
  std::string body = soap::ApiEnvelope(kOperation, "", Ann());
  ExpectFault(Call(body), "soap:Client", "Unknown operation", "first");
  sim_.Reset();
  ExpectFault(Call(body), "soap:Client", "Unknown operation", "after reset");
}

}  // namespace

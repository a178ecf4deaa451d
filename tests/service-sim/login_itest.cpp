// Login at the Credential endpoint of the real simulator.
#include <gtest/gtest.h>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
namespace soap = vlrtest::simsoap;

const std::string kLoginAction = std::string("\"") + attestra::kCredentialNamespace + "/Login\"";

class SimLogin : public vlrtest::HomeTest {
 protected:
  SimResponse Login(const std::string& email, const std::string& password) {
    return sim_.Post(std::string("/") + attestra::kCredentialPath, soap::LoginEnvelope(email, password),
                     {{"SOAPAction", kLoginAction}});
  }

  vlrtest::SimProcess sim_{{.accounts = {
                                {"ann@example.com", "secret", "1001", "Acme", "u-ann"},
                                {"Ann@Example.COM", "secret", "1002", "Acme East", "u-ann2"},
                                {"ann@example.com", "other", "1003", "Elsewhere", "u-ann3"},
                                {"bob@example.com", "p&<'\"ss", "2001", "Bob & Co", "u-bob"},
                            }}};
};

TEST_F(SimLogin, ListsEveryAccountOfTheAddressWhosePasswordMatches) {
  SimResponse r = Login("ann@example.com", "secret");
  ASSERT_EQ(r.status, 200) << r.error << r.body;
  EXPECT_EQ(r.Header("Content-Type"), "text/xml; charset=utf-8");
  EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
  auto accounts = soap::ChildTexts(r.body, "Account");
  ASSERT_EQ(accounts.size(), 2u) << r.body;
  const std::map<std::string, std::string> first = {
      {"AccountID", "1001"}, {"AccountName", "Acme"}, {"Email", "ann@example.com"}, {"UserID", "u-ann"}};
  const std::map<std::string, std::string> second = {
      {"AccountID", "1002"}, {"AccountName", "Acme East"}, {"Email", "Ann@Example.COM"}, {"UserID", "u-ann2"}};
  EXPECT_EQ(accounts[0], first);
  EXPECT_EQ(accounts[1], second);
}

TEST_F(SimLogin, AnswersInTheShapeTheClientReads) {
  SimResponse r = Login("ann@example.com", "secret");
  // The client selects literal names: soap:Envelope/soap:Body, then unprefixed elements.
  EXPECT_NE(r.body.find("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""), std::string::npos);
  EXPECT_NE(r.body.find("<soap:Body>\n<LoginResponse xmlns=\"" + std::string(attestra::kCredentialNamespace) +
                        "\">\n<LoginResult>\n<Success>true</Success>\n<Accounts>\n<Account>\n"),
            std::string::npos)
      << r.body;
}

TEST_F(SimLogin, FindsTheAddressInAnyLetterCase) {
  SimResponse r = Login("ANN@example.com", "other");
  EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
  auto accounts = soap::ChildTexts(r.body, "Account");
  ASSERT_EQ(accounts.size(), 1u);
  EXPECT_EQ(accounts[0]["AccountID"], "1003");
  EXPECT_EQ(accounts[0]["Email"], "ann@example.com");  // as stored, not as asked
}

TEST_F(SimLogin, TakesPasswordsWithMarkupCharacters) {
  SimResponse r = Login("bob@example.com", "p&<'\"ss");
  EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
  EXPECT_EQ(soap::ChildTexts(r.body, "Account").at(0).at("AccountName"), "Bob & Co");
}

TEST_F(SimLogin, RefusesWrongCredentialsWithSuccessFalse) {
  struct Case {
    const char* name;
    std::string body;
  };
  std::string noKey = soap::LoginEnvelope("ann@example.com", "secret");
  noKey.erase(noKey.find(attestra::kIntegratorKey), std::string(attestra::kIntegratorKey).size());
  std::string lowerKey = soap::LoginEnvelope("ann@example.com", "secret");
  lowerKey.replace(lowerKey.find("[QKTZ"), 5, "[qktz");
  const std::vector<Case> cases = {
      {"wrong password", soap::LoginEnvelope("ann@example.com", "Secret")},
      {"unknown address", soap::LoginEnvelope("nobody@example.com", "secret")},
      {"empty password", soap::LoginEnvelope("ann@example.com", "")},
      {"no integrator key", noKey},
      {"integrator key in other case", lowerKey},
  };
  for (const Case& c : cases) {
    SimResponse r = sim_.Post(std::string("/") + attestra::kCredentialPath, c.body, {{"SOAPAction", kLoginAction}});
    EXPECT_EQ(r.status, 200) << c.name;
    EXPECT_EQ(soap::ElementText(r.body, "Success"), "false") << c.name;
    EXPECT_TRUE(soap::ChildTexts(r.body, "Account").empty()) << c.name;
    EXPECT_EQ(soap::ElementText(r.body, "Fault"), "") << c.name;
  }
}

TEST_F(SimLogin, RefusesWhatIsNoLoginWithAFault) {
  struct Case {
    const char* name;
    std::string body;
    std::string soapAction;
    const char* faultcode;
  };
  std::string login = soap::LoginEnvelope("ann@example.com", "secret");
  std::string otherOp = login;
  for (size_t at; (at = otherOp.find("m:Login")) != std::string::npos;) otherOp.replace(at, 7, "m:Logout");
  const std::vector<Case> cases = {
      {"malformed", login.substr(0, login.size() / 2), kLoginAction, "soap:Client"},
      {"not SOAP", "<Login><Email>x</Email></Login>", kLoginAction, "soap:Client"},
      {"other operation", otherOp, kLoginAction, "soap:Client"},
      {"other SOAPAction", login, "\"urn:somewhere/Login\"", "soap:Client"},
  };
  for (const Case& c : cases) {
    SimResponse r = sim_.Post(std::string("/") + attestra::kCredentialPath, c.body, {{"SOAPAction", c.soapAction}});
    EXPECT_EQ(r.status, 500) << c.name;
    EXPECT_EQ(soap::ElementText(r.body, "faultcode"), c.faultcode) << c.name << "\n" << r.body;
    EXPECT_FALSE(soap::ElementText(r.body, "faultstring").empty()) << c.name;
  }
}

TEST_F(SimLogin, AccountsAddedThroughTheControlInterfaceCanLogIn) {
  EXPECT_EQ(soap::ElementText(Login("cy@example.com", "pw").body, "Success"), "false");
  sim_.AddAccount({"cy@example.com", "pw", "3001", "Cy Ltd", "u-cy"});
  SimResponse r = Login("cy@example.com", "pw");
  EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
  EXPECT_EQ(soap::ChildTexts(r.body, "Account").at(0).at("UserID"), "u-cy");
}

}  // namespace

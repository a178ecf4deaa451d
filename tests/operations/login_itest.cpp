// The protocol front's connection and silent login against the real attestra-sim.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "foundation/config.h"
#include "operations/protocol.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"
#include "transport/webapi.h"

namespace {

const vlrtest::SimAccount kAnn{"ann@example.com", "secret", "1001", "Acme Legal", "u-ann"};

class ProtocolTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    unsetenv("http_proxy");
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", 0L);
  }
  void TearDown() override { SetTheProtocol(nullptr); }

  static CCredentials Record(std::string email, std::string password) {
    CCredentials c;
    c.email = std::move(email);
    c.password = std::move(password);
    return c;
  }

  std::unique_ptr<vlrtest::SimProcess> sim_;
};

TEST_F(ProtocolTest, FireUpProtocolNeedsTheProtocolObjectAndUsesTheConfiguredUrl) {
  EXPECT_EQ(CWebService::FireUpProtocol(), E_INVALIDARG);
  EXPECT_EQ(TheApi(), nullptr);
  SetTheProtocol(std::make_unique<CProtocol>());
  ASSERT_EQ(CWebService::FireUpProtocol(), S_OK);
  ASSERT_NE(TheApi(), nullptr);
  EXPECT_EQ(TheApi()->Endpoint(), sim_->ApiUrl());
  EXPECT_EQ(TheApi()->UserAgent(), "Vellora/1.2");
  ASSERT_EQ(CWebService::FireUpProtocol(sim_->CredentialUrl().c_str()), S_OK);
  EXPECT_EQ(TheApi()->Endpoint(), sim_->CredentialUrl());
}

TEST_F(ProtocolTest, SilentLoginFillsTheRecordAndLeavesTheCredentialEndpointConnected) {
  SetTheProtocol(std::make_unique<CProtocol>());
  CCredentials ann = Record("ann@example.com", "secret");
  ASSERT_EQ(TheProtocol()->Login(ann), S_OK) << TheProtocol()->LastLoginDetail();
  EXPECT_EQ(ann.accountId, "1001");
  EXPECT_EQ(ann.accountName, "Acme Legal");
  EXPECT_EQ(ann.userId, "u-ann");
  EXPECT_EQ(TheApi()->Endpoint(), sim_->CredentialUrl());
  EXPECT_EQ(sim_->Request().target, "/API/3.0/Credential.asmx");

  // The callers' next step: over to the API endpoint.
  TheProtocol()->Disconnect();
  std::string api;
  ASSERT_EQ(CConfig().GetServiceUrl(api), S_OK);
  ASSERT_EQ(TheProtocol()->Connect(api), S_OK);
  EXPECT_EQ(TheApi()->Endpoint(), sim_->ApiUrl());
}

TEST_F(ProtocolTest, SilentLoginFailuresKeepTheRecordUnfilled) {
  SetTheProtocol(std::make_unique<CProtocol>());
  struct Case {
    const char* name;
    std::string email, password;
    HRESULT hr;
  };
  const Case cases[] = {
      {"wrong password", "ann@example.com", "wrong", E_ACCESSDENIED},
      {"address in another letter case", "ANN@example.com", "secret", E_ACCESSDENIED},
      {"empty password", "ann@example.com", "", E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CCredentials record = Record(c.email, c.password);
    EXPECT_EQ(TheProtocol()->Login(record), c.hr);
    EXPECT_EQ(record.accountId, "");
  }
  // An answer that fails a reading step with "nothing found" is still a failure.
  sim_->InjectBody("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
                   "<Other/></soap:Body></soap:Envelope>");
  CCredentials record = Record("ann@example.com", "secret");
  EXPECT_TRUE(FAILED(TheProtocol()->Login(record)));
}

}  // namespace

namespace {

// A program may end with its protocol object still connected: the connection must close
// before the TLS library shuts itself down, or the process crashes on its way out.
TEST(ProtocolExitTest, ProcessEndsCleanlyWithATlsConnectionOpen) {
  vlrtest::TestHome home;
  unsetenv("http_proxy");
  unsetenv("https_proxy");
  vlrtest::SimProcess sim(vlrtest::SimConfig{.tls = true, .accounts = {kAnn}});
  setenv("SSL_CERT_FILE", sim.CertFile().c_str(), 1);
  {
    CConfig config;
    config.SetKey("Host", sim.HostPort());
    config.SetKey("SSL", 1L);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetTheProtocol(std::make_unique<CProtocol>());
    CCredentials ann;
    ann.email = "ann@example.com";
    ann.password = "secret";
    const HRESULT hr = TheProtocol()->Login(ann);
    std::exit(hr == S_OK ? 0 : 3);  // static destruction with the connection still open
  }
  int status = 0;
  waitpid(child, &status, 0);
  unsetenv("SSL_CERT_FILE");
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

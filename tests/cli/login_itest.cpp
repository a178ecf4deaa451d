// vlr login as a whole process against the real attestra-sim.
#include <gtest/gtest.h>

#include <memory>

#include "foundation/config.h"
#include "foundation/credentials.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"

namespace {

const std::string kVlr = VLR_BIN_DIR "/vlr";
const vlrtest::SimAccount kAnn{"ann@example.com", "s3cret pass", "1001", "Acme Legal", "u-ann"};
const char* const kAnnOut = "AccountID: 1001\nAccountName: Acme Legal\nUserID: u-ann\n";

class VlrLoginTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override { Start(false); }

  void Start(bool tls) {
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.tls = tls, .accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", tls ? 1L : 0L);
  }

  // Runs vlr with a clean proxy and credential environment plus `env`.
  int Vlr(const std::string& args, const std::string& env = "") {
    out_.clear();
    err_.clear();
    return vlrtest::RunCommand("env -u http_proxy -u https_proxy -u all_proxy -u VLR_EMAIL -u VLR_PASSWORD " + env +
                                   " " + kVlr + " login " + args,
                               &out_, &err_);
  }

  std::unique_ptr<vlrtest::SimProcess> sim_;
  std::string out_, err_;
};

TEST_F(VlrLoginTest, PrintsTheAccountOfTheGivenCredentials) {
  ASSERT_EQ(Vlr("--email ann@example.com --password 's3cret pass'"), 0) << err_;
  EXPECT_EQ(out_, kAnnOut);
  EXPECT_EQ(err_, "");
}

TEST_F(VlrLoginTest, TakesTheEnvironmentThenTheStoredCredentials) {
  EXPECT_EQ(Vlr("", "VLR_EMAIL=ann@example.com VLR_PASSWORD='s3cret pass'"), 0) << err_;
  EXPECT_EQ(out_, kAnnOut);

  // Nothing stored yet, nothing given.
  EXPECT_EQ(Vlr(""), 2);
  EXPECT_NE(err_.find("no credentials"), std::string::npos);

  // A failed login stores nothing, even when asked to.
  EXPECT_EQ(Vlr("--email ann@example.com --password wrong --remember"), 3);
  EXPECT_EQ(Vlr(""), 2);

  ASSERT_EQ(Vlr("--email ann@example.com --password 's3cret pass' --remember"), 0) << err_;
  CCredentials stored;
  ASSERT_EQ(CConfig().GetCredentials(stored), S_OK);
  EXPECT_EQ(stored.email, "ann@example.com");
  EXPECT_EQ(stored.password, "s3cret pass");
  EXPECT_EQ(Vlr(""), 0) << err_;
  EXPECT_EQ(out_, kAnnOut);

  // The environment goes before what is stored.
  EXPECT_EQ(Vlr("", "VLR_EMAIL=ann@example.com VLR_PASSWORD=wrong"), 3);
}

TEST_F(VlrLoginTest, RejectedCredentialsExitWithThree) {
  EXPECT_EQ(Vlr("--email ann@example.com --password wrong"), 3);
  EXPECT_EQ(out_, "");
  EXPECT_NE(err_.find("Your user credentials were rejected by Attestra."), std::string::npos) << err_;

  // The service matches the address in any letter case; the login takes only its exact form.
  EXPECT_EQ(Vlr("--email Ann@Example.com --password 's3cret pass'"), 3);
  EXPECT_NE(err_.find("No Attestra account was found for the e-mail address Ann@Example.com."), std::string::npos)
      << err_;
}

TEST_F(VlrLoginTest, AServiceThatAnswersWronglyExitsWithFour) {
  sim_->InjectFault("soap:Server", "The service is down for maintenance.");
  EXPECT_EQ(Vlr("--email ann@example.com --password 's3cret pass'"), 4);
  EXPECT_NE(err_.find("The service is down for maintenance."), std::string::npos) << err_;

  sim_->InjectStatus(404);
  EXPECT_EQ(Vlr("--email ann@example.com --password 's3cret pass'"), 4);
  EXPECT_NE(err_.find("HTTP status 404"), std::string::npos) << err_;
}

TEST_F(VlrLoginTest, AServiceThatCannotBeReachedExitsWithFour) {
  sim_->Stop();
  EXPECT_EQ(Vlr("--email ann@example.com --password 's3cret pass'"), 4);
  EXPECT_NE(err_.find("Your connection to the remote service has failed."), std::string::npos) << err_;
  EXPECT_NE(err_.find("onnect"), std::string::npos) << err_;  // the transport's own words
}

TEST_F(VlrLoginTest, LogsInOverHttpsWithTheNamedCertificate) {
  Start(true);
  ASSERT_EQ(Vlr("--email ann@example.com --password 's3cret pass'", "SSL_CERT_FILE=" + sim_->CertFile()), 0) << err_;
  EXPECT_EQ(out_, kAnnOut);
  EXPECT_EQ(Vlr("--email ann@example.com --password 's3cret pass'", "-u SSL_CERT_FILE -u CURL_CA_BUNDLE"), 4);
}

TEST_F(VlrLoginTest, UsageMistakesExitWithTwo) {
  EXPECT_EQ(Vlr("--help"), 0);
  EXPECT_NE(out_.find("usage: vlr login"), std::string::npos);
  EXPECT_EQ(Vlr("--email ann@example.com"), 2);
  EXPECT_EQ(Vlr("--bogus"), 2);
}

// An empty e-mail address or password is no credential at all: the service is never asked, so
// neither "rejected" (3) nor "unreachable" (4) would be true.
TEST_F(VlrLoginTest, EmptyCredentialsAreAUsageError) {
  const struct {
    const char* args;
    const char* env;
  } cases[] = {
      {"--email '' --password 's3cret pass'", ""},
      {"--email ann@example.com --password ''", ""},
      {"", "VLR_EMAIL= VLR_PASSWORD='s3cret pass'"},
      {"", "VLR_EMAIL=ann@example.com VLR_PASSWORD="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Vlr(c.args, c.env), 2) << c.args << " " << c.env << ": " << err_;
    EXPECT_EQ(out_, "") << c.args << " " << c.env;
  }
}

}  // namespace

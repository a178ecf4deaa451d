// HTTPS with the certificate the simulator makes at its first start: clients that trust that
// file (SSL_CERT_FILE, CURL_CA_BUNDLE, an explicit CA path) verify the peer by name or address.
#include <httplib.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
namespace soap = vlrtest::simsoap;

const std::string kLoginPath = std::string("/") + attestra::kCredentialPath;
const std::string kLoginAction = std::string("\"") + attestra::kCredentialNamespace + "/Login\"";

// Sets an environment variable for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class SimTls : public vlrtest::HomeTest {
 protected:
  // Login through a client that trusts only what OpenSSL's default paths name.
  SimResponse LoginTrustingDefaults(const std::string& host) {
    httplib::SSLClient client(host, sim_.Port());
    client.enable_server_certificate_verification(true);
    client.set_connection_timeout(10);
    SimResponse r;
    httplib::Result result = client.Post(kLoginPath.c_str(), {{"SOAPAction", kLoginAction}},
                                         soap::LoginEnvelope("ann@example.com", "secret"), "text/xml; charset=utf-8");
    if (!result) {
      r.error = httplib::to_string(result.error());
      return r;
    }
    r.status = result->status;
    r.body = result->body;
    return r;
  }

  std::string LoginFile() {
    std::string file = home_.Tmp() + "/login.xml";
    vlrtest::WriteFile(file, soap::LoginEnvelope("ann@example.com", "secret"));
    return file;
  }

  vlrtest::SimProcess sim_{{.tls = true, .accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-ann"}}}};
};

TEST_F(SimTls, LoginOverHttpsWithTheGeneratedCertificate) {
  SimResponse r = sim_.Post(kLoginPath, soap::LoginEnvelope("ann@example.com", "secret"), {{"SOAPAction", kLoginAction}});
  EXPECT_EQ(r.status, 200) << r.error;
  EXPECT_EQ(soap::ElementText(r.body, "Success"), "true");
}

TEST_F(SimTls, SslCertFileMakesTheCertificateTrustedByAddressAndName) {
  {
    ScopedEnv trust("SSL_CERT_FILE", sim_.CertFile());
    for (const char* host : {"127.0.0.1", "localhost"}) {
      SimResponse r = LoginTrustingDefaults(host);
      EXPECT_EQ(r.status, 200) << host << ": " << r.error;
      EXPECT_EQ(soap::ElementText(r.body, "Success"), "true") << host;
    }
  }
  ScopedEnv systemStore("SSL_CERT_FILE", "/etc/ssl/certs/ca-certificates.crt");
  SimResponse untrusted = LoginTrustingDefaults("127.0.0.1");
  EXPECT_EQ(untrusted.status, 0) << "a self-signed certificate passed the system store";
}

TEST_F(SimTls, OpensslVerifiesNameAndAddress) {
  for (const std::string check : {"-verify_hostname localhost", "-verify_ip 127.0.0.1"}) {
    std::string out;
    vlrtest::RunCommand("SSL_CERT_FILE=" + sim_.CertFile() + " openssl s_client -connect 127.0.0.1:" +
                            std::to_string(sim_.Port()) + " -verify_return_error " + check + " </dev/null 2>&1",
                        &out);
    EXPECT_NE(out.find("Verify return code: 0 (ok)"), std::string::npos) << check << "\n" << out;
  }
  std::string out;
  vlrtest::RunCommand("SSL_CERT_FILE=" + sim_.CertFile() + " openssl s_client -connect 127.0.0.1:" +
                          std::to_string(sim_.Port()) + " -verify_return_error -verify_hostname example.com </dev/null 2>&1",
                      &out);
  EXPECT_EQ(out.find("Verify return code: 0 (ok)"), std::string::npos) << "a foreign name passed";
}

TEST_F(SimTls, CurlTrustsItThroughItsCaBundle) {
  std::string out, err;
  std::string file = LoginFile();
  for (const char* host : {"127.0.0.1", "localhost"}) {
    int rc = vlrtest::RunCommand("CURL_CA_BUNDLE=" + sim_.CertFile() + " curl -sS --noproxy '' -H 'SOAPAction: " +
                                     kLoginAction + "' -H 'Content-Type: text/xml' --data-binary @" + file +
                                     " https://" + host + ":" + std::to_string(sim_.Port()) + kLoginPath,
                                 &out, &err);
    EXPECT_EQ(rc, 0) << host << ": " << err;
    EXPECT_EQ(soap::ElementText(out, "Success"), "true") << host;
  }
  int rc = vlrtest::RunCommand("CURL_CA_BUNDLE=/etc/ssl/certs/ca-certificates.crt curl -sS --noproxy '' -o /dev/null " +
                                   sim_.CredentialUrl(),
                               &out, &err);
  EXPECT_EQ(rc, 60) << err;  // peer certificate cannot be authenticated
}

TEST_F(SimTls, PlainHttpGetsNoHttpAnswer) {
  httplib::Client plain("http://" + sim_.HostPort());
  plain.set_read_timeout(10);
  httplib::Result r = plain.Post(kLoginPath.c_str(), soap::LoginEnvelope("ann@example.com", "secret"), "text/xml");
  EXPECT_TRUE(!r || r->status >= 400) << "a plain HTTP request was served on the HTTPS port";
  if (r) {
    EXPECT_EQ(soap::ElementText(r->body, "Success"), "");
  }
  EXPECT_TRUE(sim_.Running());
}

}  // namespace

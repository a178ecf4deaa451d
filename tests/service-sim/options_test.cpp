#include "service-sim/options.h"

#include <gtest/gtest.h>

#include "tests/support/testenv.h"

namespace {

using SimOptions = vlrtest::HomeTest;

TEST_F(SimOptions, ReadsEveryArgument) {
  sim::Options o = sim::ParseCommandLine({"--port", "0", "--tls", "--cert", "c.pem", "--key", "k.pem", "--data",
                                          "d", "--control", "--account", "a@x.com:pw:1001:Acme:u1",
                                          "--account", "a@x.com:pw2:1002:Beta:u2"});
  EXPECT_EQ(o.port, 0);
  EXPECT_TRUE(o.tls);
  EXPECT_EQ(o.certFile, "c.pem");
  EXPECT_EQ(o.keyFile, "k.pem");
  EXPECT_EQ(o.dataDir, "d");
  EXPECT_TRUE(o.control);
  ASSERT_EQ(o.accounts.size(), 2u);
  EXPECT_EQ(o.accounts[1].email, "a@x.com");
  EXPECT_EQ(o.accounts[1].password, "pw2");
  EXPECT_EQ(o.accounts[1].accountId, "1002");
  EXPECT_EQ(o.accounts[1].accountName, "Beta");
  EXPECT_EQ(o.accounts[1].userId, "u2");
}

TEST_F(SimOptions, AccountFieldsTakeEscapedColonsAndBackslashes) {
  sim::Account a = sim::ParseAccount(R"(a@x.com:pa\:ss\\:1001:Acme\: East:)");
  EXPECT_EQ(a.password, "pa:ss\\");
  EXPECT_EQ(a.accountName, "Acme: East");
  EXPECT_EQ(a.userId, "");
}

TEST_F(SimOptions, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
      {"--data", "d"},                                     // no port
      {"--port", "0"},                                     // no data folder
      {"--port", "65536", "--data", "d"},                  // port out of range
      {"--port", "12a", "--data", "d"},                    // not a number
      {"--port", "-1", "--data", "d"},                     // negative
      {"--port", "0", "--data", "d", "--tls", "--cert", "c.pem"},  // cert without key
      {"--port", "0", "--data", "d", "--cert", "c.pem", "--key", "k.pem"},  // cert without tls
      {"--port", "0", "--data", "d", "--verbose"},         // unknown argument
      {"--port", "0", "--data", "d", "--account", "a@x.com:pw:1001:Acme"},  // four fields
      {"--port", "0", "--data", "d", "--account", ":pw:1001:Acme:u"},       // no e-mail
      {"--port", "0", "--data", "d", "--account", "a@x.com:pw::Acme:u"},    // no account id
      {"--port", "0", "--data"},                           // missing value
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_THROW(sim::ParseCommandLine(args), std::invalid_argument) << joined;
  }
}

}  // namespace

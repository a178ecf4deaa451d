// GetAccountSettingsList against the real simulator, with settings changed through the
// control interface.
#include <gtest/gtest.h>

#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"
#include "transport/servicenames.h"

namespace {

using vlrtest::SimResponse;
using vlrtest::SimSettings;
namespace soap = vlrtest::simsoap;

const std::string kApiPath = std::string("/") + attestra::kApiPath;

const SimSettings kDefaults = {
    {"UserOverrideEnabled", "True"}, {"ReminderEnabled", "True"},     {"ReminderDelay", "3"},
    {"ReminderFrequency", "2"},      {"EnvelopeIdStamping", "True"},  {"ExpireEnabled", "True"},
    {"ExpireAfter", "90"},           {"ExpireWarnBuffer", "7"},       {"SignerAttachmentsEnabled", "False"},
};

class SimAccountSettings : public vlrtest::HomeTest {
 protected:
  static soap::Security As(const std::string& email, const std::string& accountId) {
    return soap::Security{.email = email, .password = "secret", .accountId = accountId};
  }

  // The request as the client writes it: AccountId with a lower-case d.
  SimResponse Ask(const std::string& accountId, const soap::Security& security) {
    return sim_.Post(kApiPath, soap::ApiEnvelope("GetAccountSettingsList",
                                                 "<AccountId>" + accountId + "</AccountId>\n", security));
  }
  SimResponse Ask(const std::string& accountId) { return Ask(accountId, As("ann@example.com", accountId)); }

  // Name and Value of every AccountSetting, as the client selects them.
  static SimSettings Answered(const SimResponse& r) {
    SimSettings out;
    for (auto& fields : soap::ChildTexts(r.body, "AccountSetting")) out.emplace_back(fields["Name"], fields["Value"]);
    return out;
  }

  vlrtest::SimProcess sim_{{.accounts = {{"ann@example.com", "secret", "1001", "Acme", "u-ann"},
                                         {"ann@example.com", "secret", "1002", "Acme East", "u-ann2"}}}};
};

TEST_F(SimAccountSettings, ANewAccountHasTheDefaultsInTheShapeTheClientReads) {
  SimResponse r = Ask("1001");
  ASSERT_EQ(r.status, 200) << r.error << r.body;
  EXPECT_NE(r.body.find("<soap:Body>\n<GetAccountSettingsListResponse xmlns=\"" + std::string(attestra::kApiNamespace) +
                        "\">\n<GetAccountSettingsListResult>\n<AccountSettings>\n<AccountSetting>\n"
                        "<Name>UserOverrideEnabled</Name>\n<Value>True</Value>\n</AccountSetting>\n"),
            std::string::npos)
      << r.body;
  EXPECT_EQ(Answered(r), kDefaults);
  EXPECT_EQ(sim_.AccountSettings("1001"), kDefaults);
}

TEST_F(SimAccountSettings, ControlChangesOneAccountOnly) {
  SimSettings changed = sim_.SetAccountSettings(
      "1001", {{"ReminderEnabled", "False"}, {"ExpireAfter", "30"}, {"NewSetting", "a=b & <c>"}}, {"ExpireWarnBuffer"});
  SimSettings expected = kDefaults;
  expected[1].second = "False";
  expected[6].second = "30";
  expected.erase(expected.begin() + 7);
  expected.emplace_back("NewSetting", "a=b & <c>");
  EXPECT_EQ(changed, expected);
  EXPECT_EQ(Answered(Ask("1001")), expected);
  EXPECT_EQ(Answered(Ask("1002", As("ann@example.com", "1002"))), kDefaults);

  // Changes build on the current settings unless told to start again.
  EXPECT_EQ(sim_.SetAccountSettings("1001", {{"ExpireAfter", "31"}}).at(6).second, "31");
  EXPECT_EQ(sim_.SetAccountSettings("1001", {}, {}, vlrtest::SimSettingsBase::Defaults), kDefaults);
}

TEST_F(SimAccountSettings, AnAccountMayHaveNoSettingsAtAll) {
  sim_.SetAccountSettings("1001", {}, {}, vlrtest::SimSettingsBase::Empty);
  SimResponse r = Ask("1001");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_NE(r.body.find("<GetAccountSettingsListResult>\n<AccountSettings>\n</AccountSettings>\n"), std::string::npos)
      << r.body;
  EXPECT_TRUE(Answered(r).empty());
  EXPECT_EQ(sim_.SetAccountSettings("1001", {{"ExpireAfter", "5"}}), (SimSettings{{"ExpireAfter", "5"}}));
}

TEST_F(SimAccountSettings, RefusesRequestsForNoOrAnotherAccount) {
  struct Case {
    const char* name;
    std::string body;
    const char* fault;
  };
  const std::vector<Case> cases = {
      {"no AccountId", "", "The request has no AccountId."},
      {"AccountID spelt as elsewhere", "<AccountID>1001</AccountID>\n", "The request has no AccountId."},
      {"empty AccountId", "<AccountId> </AccountId>\n", "The request has no AccountId."},
      {"the user's other account", "<AccountId>1002</AccountId>\n",
       "The AccountId \"1002\" is not the account of the authenticated user (1001)."},
      {"someone else's account", "<AccountId>9999</AccountId>\n",
       "The AccountId \"9999\" is not the account of the authenticated user (1001)."},
  };
  for (const Case& c : cases) {
    SimResponse r =
        sim_.Post(kApiPath, soap::ApiEnvelope("GetAccountSettingsList", c.body, As("ann@example.com", "1001")));
    EXPECT_EQ(r.status, 500) << c.name;
    EXPECT_EQ(soap::ElementText(r.body, "faultcode"), "soap:Client") << c.name;
    EXPECT_EQ(soap::ElementText(r.body, "faultstring"), c.fault) << c.name;
  }
}

TEST_F(SimAccountSettings, ControlRefusesBadChanges) {
  EXPECT_THROW(sim_.SetAccountSettings("1001", {{"", "x"}}), std::runtime_error);
  EXPECT_THROW(sim_.SetAccountSettings("", {{"A", "x"}}), std::runtime_error);
  EXPECT_EQ(sim_.AccountSettings("1001"), kDefaults);
}

}  // namespace

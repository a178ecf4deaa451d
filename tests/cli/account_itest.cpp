// vlr account-settings as a whole process against the real attestra-sim.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/config.h"
#include "tests/service-sim/simprocess.h"
#include "tests/support/testenv.h"

namespace {

const std::string kVlr = VLR_BIN_DIR "/vlr";
const vlrtest::SimAccount kAnn{"ann@example.com", "s3cret pass", "1001", "Acme Legal", "u-ann"};
const std::string kLogin = "--email ann@example.com --password 's3cret pass'";

class VlrAccountSettingsTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<vlrtest::SimProcess>(vlrtest::SimConfig{.accounts = {kAnn}});
    CConfig config;
    config.SetKey("Host", sim_->HostPort());
    config.SetKey("SSL", 0L);
  }

  int Vlr(const std::string& args, const std::string& env = "") {
    out_.clear();
    err_.clear();
    return vlrtest::RunCommand("env -u http_proxy -u https_proxy -u all_proxy -u VLR_EMAIL -u VLR_PASSWORD " + env +
                                   " " + kVlr + " account-settings " + args,
                               &out_, &err_);
  }

  std::unique_ptr<vlrtest::SimProcess> sim_;
  std::string out_, err_;
};

TEST_F(VlrAccountSettingsTest, PrintsTheAccountsSettings) {
  sim_->SetAccountSettings("1001",
                           {{"UserOverrideEnabled", "False"},
                            {"ReminderEnabled", "True"},
                            {"ReminderDelay", "4"},
                            {"ReminderFrequency", "6"},
                            {"ExpireEnabled", "True"},
                            {"ExpireAfter", "60"},
                            {"ExpireWarnBuffer", "10"},
                            {"SignerAttachmentsEnabled", "True"}},
                           {}, vlrtest::SimSettingsBase::Empty);
  ASSERT_EQ(Vlr(kLogin), 0) << err_;
  EXPECT_EQ(out_,
            "UserOverrideEnabled: False\nReminderEnabled: True\nExpireEnabled: True\nReminderDelay: 4\n"
            "ReminderFrequency: 6\nExpireAfter: 60\nExpireWarnBuffer: 10\n");
  EXPECT_EQ(err_, "");
}

TEST_F(VlrAccountSettingsTest, SettingsTheServiceLeavesOutShowTheirDefaults) {
  // "true" is not the service's spelling of a set flag; no ExpireAfter leaves 120 days.
  sim_->SetAccountSettings("1001", {{"ReminderEnabled", "true"}, {"ReminderDelay", "5"}}, {},
                           vlrtest::SimSettingsBase::Empty);
  ASSERT_EQ(Vlr("", "VLR_EMAIL=ann@example.com VLR_PASSWORD='s3cret pass'"), 0) << err_;
  EXPECT_EQ(out_,
            "UserOverrideEnabled: True\nReminderEnabled: False\nExpireEnabled: True\nReminderDelay: 5\n"
            "ReminderFrequency: 0\nExpireAfter: 120\nExpireWarnBuffer: 0\n");
}

TEST_F(VlrAccountSettingsTest, FailuresExitWithTheirStatus) {
  EXPECT_EQ(Vlr("--email ann@example.com --password wrong"), 3);
  EXPECT_NE(err_.find("Your user credentials were rejected by Attestra."), std::string::npos) << err_;

  sim_->InjectDelay(0);  // the login passes; the settings request meets the fault
  sim_->InjectFault("soap:Server", "Settings are being migrated.");
  EXPECT_EQ(Vlr(kLogin), 4);
  EXPECT_NE(err_.find("vlr account-settings: Settings are being migrated."), std::string::npos) << err_;
  EXPECT_EQ(out_, "");

  EXPECT_EQ(Vlr(""), 2);
  EXPECT_NE(err_.find("no credentials"), std::string::npos) << err_;
  EXPECT_EQ(Vlr("--email ann@example.com"), 2);
  EXPECT_EQ(Vlr("--bogus"), 2);
  EXPECT_EQ(Vlr("--help"), 0);
  EXPECT_NE(out_.find("usage: vlr account-settings"), std::string::npos);
}

}  // namespace

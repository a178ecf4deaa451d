// The account-settings request, its reading of the service's answers, and the settings block.
#include "operations/opgasl.h"

#include <gtest/gtest.h>

#include "foundation/config.h"
#include "tests/operations/opsenddoc_expect.h"
#include "tests/support/testenv.h"

namespace {

const char* const kUrl = "https://api.example.test/api/3.0/api.asmx";

CCredentials Ann() {
  CCredentials c;
  c.email = "ann@example.com";
  c.password = "p<w";
  c.accountId = "1001";
  return c;
}

// Reads an answer as the engine's last stage does: the fault check, then (faults are parsed
// too) ParseResponse.
class SettingsReader : public OpGASL {
 public:
  SettingsReader() : OpGASL(kUrl, Ann()) {}
  bool Read(const std::string& file) {
    responseText_ = vlrtest::ReadFile(sendtest::DataPath(file));
    CheckFault();
    return ParseResponse();
  }
  const std::string& SoapAction() const { return soapAction_; }
};

struct Values {
  int overrides, reminders, expirations, delay, freq, expires, warn;
};

Values Of(const CAcctSets& s) {
  return {s.UserOverrides, s.Reminders, s.Expirations, s.RemindDelay, s.RemindFreq, s.ExpiresAfter,
          s.ExpireWarnBuffer};
}

bool operator==(const Values& a, const Values& b) {
  return a.overrides == b.overrides && a.reminders == b.reminders && a.expirations == b.expirations &&
         a.delay == b.delay && a.freq == b.freq && a.expires == b.expires && a.warn == b.warn;
}

std::ostream& operator<<(std::ostream& o, const Values& v) {
  return o << v.overrides << "," << v.reminders << "," << v.expirations << "," << v.delay << "," << v.freq << ","
           << v.expires << "," << v.warn;
}

class OpGASLTest : public vlrtest::HomeTest {};

TEST_F(OpGASLTest, RequestCarriesTheAccountIdInItsOwnSpelling) {
  CConfig().SetKey("Host", "sim.example.test:8443");
  CAcctSets settings;
  SettingsReader op;
  op.SetSettings(&settings);
  ASSERT_TRUE(op.PrepareData());
  EXPECT_TRUE(op.BodyFromFile());
  EXPECT_TRUE(sendtest::MatchesExpected(vlrtest::ReadFile(op.RequestBody()), "opgasl_request.xml"));
  EXPECT_EQ(op.SoapAction(), "http://sim.example.test:8443/api/3.0/GetAccountSettingsList");
  EXPECT_EQ(op.Kind(), "OpGASL");
  EXPECT_STREQ(op.ProgressText(2), "Requesting Account Settings");
  EXPECT_STREQ(op.ProgressText(5), "Account Settings Received");
}

TEST_F(OpGASLTest, WithoutARecordTheFirstStageFails) {
  OpGASL op(kUrl, Ann());
  EXPECT_FALSE(op.Run(nullptr, 0, 0));
  EXPECT_EQ(op.ResultCode(), E_INVALIDARG);
}

TEST_F(OpGASLTest, ReadsTheAnswers) {
  struct Case {
    const char* file;
    bool ok;
    Values values;
  };
  const Case cases[] = {
      // Numbers read leniently, unknown settings ignored.
      {"opgasl_settings.xml", true, {0, 1, 0, 3, -2, 45, 7}},
      // "true" is not "True"; settings without a name or a value, or with a name in another
      // letter case, change nothing; a number without digits is 0.
      {"opgasl_partial.xml", true, {1, 0, 1, 0, 0, 120, 0}},
      // No result at all: the record keeps its values, and that is a success.
      {"opgasl_noresult.xml", true, {1, 0, 1, 0, 0, 120, 0}},
      {"opgasl_fault.xml", false, {1, 0, 1, 0, 0, 120, 0}},
  };
  for (const Case& c : cases) {
    CAcctSets settings;
    SettingsReader op;
    op.SetSettings(&settings);
    EXPECT_EQ(op.Read(c.file), c.ok) << c.file;
    EXPECT_EQ(Of(settings), c.values) << c.file;
    EXPECT_EQ(op.ResultCode() == S_OK, c.ok) << c.file;
  }
  SettingsReader op;
  CAcctSets settings;
  op.SetSettings(&settings);
  op.Read("opgasl_fault.xml");
  EXPECT_EQ(op.FaultString(), "Account 1001 not found");
}

TEST_F(OpGASLTest, SettingsBlockInElementOrder) {
  CAcctSets fresh;
  CXMLIO out;
  ASSERT_TRUE(fresh.Write(out));
  EXPECT_EQ(out.Text(),
            "<AccountSettings>\n<UserOverrides>true</UserOverrides>\n<Reminders>false</Reminders>\n"
            "<Expirations>true</Expirations>\n<ExpiresAfter>120</ExpiresAfter>\n"
            "<ExpireWarnBuffer>0</ExpireWarnBuffer>\n<RemindDelay>0</RemindDelay>\n<RemindFreq>0</RemindFreq>\n"
            "</AccountSettings>\n");

  CAcctSets changed;
  changed.UserOverrides = 0;
  changed.Reminders = 1;
  changed.RemindDelay = -3;
  changed.RemindFreq = 14;
  changed.ExpiresAfter = 365;
  changed.ExpireWarnBuffer = 9;
  CAcctSets copy;
  copy.CopyFrom(changed);
  CXMLIO second;
  ASSERT_TRUE(copy.Write(second));
  EXPECT_EQ(second.Text(),
            "<AccountSettings>\n<UserOverrides>false</UserOverrides>\n<Reminders>true</Reminders>\n"
            "<Expirations>true</Expirations>\n<ExpiresAfter>365</ExpiresAfter>\n"
            "<ExpireWarnBuffer>9</ExpireWarnBuffer>\n<RemindDelay>-3</RemindDelay>\n<RemindFreq>14</RemindFreq>\n"
            "</AccountSettings>\n");
}

}  // namespace

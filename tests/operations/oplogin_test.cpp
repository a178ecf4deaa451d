// The login operation's request and its reading of the service's answers.
#include "operations/oplogin.h"

#include <gtest/gtest.h>

#include "tests/support/testenv.h"

namespace {

// Reads an answer as the engine's last stage does: the fault check, then (the login parses
// faults too) ParseResponse.
class LoginReader : public OpLogin {
 public:
  LoginReader() : OpLogin("https://api.example.test/API/3.0/Credential.asmx") {
    Credentials().email = "ann@example.com";
    Credentials().password = "secret";
  }
  bool Read(const std::string& file) {
    responseText_ = vlrtest::ReadFile(std::string(VLR_TEST_DATA_DIR) + "/" + file);
    CheckFault();
    return ParseResponse();
  }
};

class OpLoginTest : public vlrtest::HomeTest {};

TEST_F(OpLoginTest, RequestCarriesTheLoginNameAndTheEscapedPassword) {
  OpLogin op("https://api.example.test/API/3.0/Credential.asmx");
  op.Credentials().email = "ann@example.com";
  op.Credentials().password = "p&ss<w\xE2\x80\x99rd";
  ASSERT_TRUE(op.PrepareData());
  EXPECT_FALSE(op.BodyFromFile());
  EXPECT_EQ(op.RequestBody(), vlrtest::ReadFile(std::string(VLR_TEST_DATA_DIR) + "/login-request.xml"));
  EXPECT_FALSE(op.ResponseFilePath().empty());
  EXPECT_EQ(op.Kind(), "OpLogin");
  EXPECT_STREQ(op.ProgressText(0), "Preparing Data");
  EXPECT_STREQ(op.ProgressText(5), "User Logged In");
}

TEST_F(OpLoginTest, EmptyEmailOrPasswordFailsTheFirstStage) {
  for (const auto& [email, password] : {std::pair{"", "secret"}, {"ann@example.com", ""}}) {
    OpLogin op("https://api.example.test/API/3.0/Credential.asmx");
    op.Credentials().email = email;
    op.Credentials().password = password;
    EXPECT_FALSE(op.Run(nullptr, 0, 0));
    EXPECT_EQ(op.ResultCode(), E_FAIL);
    EXPECT_EQ(op.FaultString(), "");
  }
}

TEST_F(OpLoginTest, TheLastAccountWithTheLoginEmailWins) {
  LoginReader op;
  ASSERT_TRUE(op.Read("login-three-accounts.xml"));
  EXPECT_EQ(op.ResultCode(), S_OK);
  EXPECT_EQ(op.Credentials().accountId, "1003");
  EXPECT_EQ(op.Credentials().accountName, "Third");
  EXPECT_EQ(op.Credentials().userId, "u-3");
}

TEST_F(OpLoginTest, AnAccountWhoseEmailDiffersInCaseIsNotTaken) {
  LoginReader op;
  EXPECT_FALSE(op.Read("login-case-differs.xml"));
  EXPECT_EQ(op.ResultCode(), E_ACCESSDENIED);
  EXPECT_EQ(op.FaultString(), "No Attestra account was found for the e-mail address ann@example.com.");
  EXPECT_EQ(op.Credentials().accountId, "");
}

TEST_F(OpLoginTest, RefusedCredentialsAreAccessDeniedWithoutAFaultString) {
  LoginReader op;
  EXPECT_FALSE(op.Read("login-refused.xml"));
  EXPECT_EQ(op.ResultCode(), E_ACCESSDENIED);
  EXPECT_EQ(op.FaultString(), "");  // the dialog then shows its own text
}

TEST_F(OpLoginTest, AnUnreadableEmailOfTheLastAccountFailsTheLogin) {
  LoginReader op;
  EXPECT_FALSE(op.Read("login-last-without-email.xml"));
  EXPECT_NE(op.ResultCode(), S_OK);
  EXPECT_EQ(op.Credentials().accountId, "1001");  // read before the failing step
}

TEST_F(OpLoginTest, AFaultGivesTheServicesTextAndAFailure) {
  LoginReader op;
  EXPECT_FALSE(op.Read("login-fault.xml"));
  EXPECT_NE(op.ResultCode(), S_OK);
  EXPECT_EQ(op.FaultString(), "The integrator key is not valid.");
  EXPECT_EQ(op.FaultCode(), "soap:Client");
}

}  // namespace

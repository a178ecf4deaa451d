// The send-options document that travels with a broadcast.
#include "operations/sendoptions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/config.h"
#include "model/blueprint.h"
#include "model/template.h"
#include "tests/operations/opsenddoc_expect.h"
#include "tests/support/testenv.h"

namespace {

class SendOptionsTest : public vlrtest::HomeTest {};

TEST_F(SendOptionsTest, FreshOptionsWriteTheDefaults) {
  CConfig().SetKey("ReceiptType", 2L);
  CSendOptions options;
  std::string path;
  ASSERT_TRUE(options.Write(path));
  EXPECT_EQ(path.rfind(home_.Tmp() + "/ATg", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 4), ".xml");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(sendtest::MatchesExpected(vlrtest::ReadFile(path), "sendoptions_defaults.xml"));
}

TEST_F(SendOptionsTest, EveryMemberInItsPlace) {
  CSendOptions options;
  options.Password = "pa<ss";  // markup would break the agent's reading
  options.DisplayReceipt = 0;
  options.RoutingOrder = 1;
  options.Mode = CSendOptions::kModeGoverned;
  options.TemplateFile = "/home/ann/NDA template.xml";
  options.ReceiptType = 1;
  options.CategoryTags = "Sales;Legal";
  options.ReceiptSubject = "Receipt: Jos\xC3\xA9";
  options.ExpireAfter = 30;
  options.ExpireWarn = 5;
  options.RemindAfter = 2;
  options.RemindFreq = 3;
  options.Broadcast = 1;
  options.AccountSettings.Reminders = 1;
  std::string first, second;
  ASSERT_TRUE(options.Write(first));
  ASSERT_TRUE(options.Write(second));
  EXPECT_NE(first, second);  // each Write makes its own file
  EXPECT_TRUE(sendtest::MatchesExpected(vlrtest::ReadFile(first), "sendoptions_full.xml"));
  EXPECT_EQ(vlrtest::ReadFile(first), vlrtest::ReadFile(second));
}

TEST_F(SendOptionsTest, WithoutATemporaryFolderNothingIsWritten) {
  ::setenv("TMPDIR", (home_.Root() + "/missing").c_str(), 1);
  CSendOptions options;
  std::string path = "stale";
  EXPECT_FALSE(options.Write(path));
  EXPECT_TRUE(path.empty());
}

TEST_F(SendOptionsTest, KeepsACopyOfTheGoverningTransaction) {
  CSendOptions options;
  {
    CTemplate t("tpl-1");
    t.Name = "NDA";
    t.SigningLocation = "Online";
    ASSERT_EQ(options.SetTransaction(t), S_OK);
  }
  ASSERT_TRUE(options.Transaction);
  ASSERT_TRUE(options.Transaction->IsKindOf("CTemplate"));
  EXPECT_EQ(options.Transaction->Name, "NDA");
  EXPECT_EQ(static_cast<CTemplate&>(*options.Transaction).SigningLocation, "Online");

  CBlueprint b;
  b.Name = "Sale";
  ASSERT_EQ(options.SetTransaction(b), S_OK);
  EXPECT_TRUE(options.Transaction->IsKindOf("CBlueprint"));
  EXPECT_EQ(options.Transaction->Name, "Sale");
}

}  // namespace

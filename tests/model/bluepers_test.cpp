// The blueprint library: loading a folder (with a broken file among the good ones) and finding
// the blueprints that fit an outgoing transaction.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "model/anchor.h"
#include "model/bluepers.h"
#include "tests/support/testenv.h"

namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

class BluepersTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    folder_ = home_.Root() + "/library";
    fs::create_directories(folder_);
  }

  // Writes a blueprint named `name` with one document of key `key` (none when empty) and one
  // free signer per role.
  void Blueprint(const std::string& file, const std::string& name, const std::string& key,
                 const V& roles) {
    CBlueprint bp;
    bp.Name = name;
    if (!key.empty()) {
      CeDoc& doc = bp.Documents.Emplace();
      doc.Key = key;
      doc.Name = key;
    }
    for (const std::string& role : roles) {
      CRecip& signer = bp.Recipients.Emplace("Signer");
      signer.Name = role + " person";
      signer.Email = role + "@blueprint.example";
      signer.RoleName = role;
      signer.Type = "Carbon Copy";
      signer.Role = std::make_unique<CRole>();
      signer.Role->RoleName = role;
      SwitchSlot(*signer.Role, "Custom", 0, true);
    }
    ASSERT_EQ(bp.WriteTo(folder_ + "/" + file), S_OK);
  }

  V Loaded() const {
    V names;
    for (const CBlueprint& bp : library_.Blueprints) names.push_back(bp.Name);
    return names;
  }

  std::string folder_;
  CBluepers library_;
};

TEST_F(BluepersTest, EveryBlueprintFileOfTheFolderIsLoadedInNameOrder) {
  Blueprint("b.xml", "Bravo", "b.pdf", {"Buyer", ""});
  Blueprint("a.xml", "Alpha", "a.pdf", {});
  Blueprint("C.XML", "Charlie", "c.pdf", {"Seller"});
  vlrtest::WriteFile(folder_ + "/notes.txt", "not a blueprint");
  fs::create_directories(folder_ + "/folder.xml");

  ASSERT_TRUE(library_.LoadFolder(folder_));
  EXPECT_EQ(library_.Folder, folder_);
  EXPECT_EQ(Loaded(), (V{"Alpha", "Bravo", "Charlie"}));
  EXPECT_EQ(library_.FailedPath, "");

  const CBlueprint& bravo = *library_.Find("Bravo");
  EXPECT_EQ(bravo.Path, folder_ + "/b.xml");
  // One role per signer with a role name, with the signer's anchors.
  ASSERT_EQ(bravo.Roles.size(), 1u);
  const CRole& role = *bravo.Roles.First();
  EXPECT_EQ(role.RoleName, "Buyer");
  EXPECT_EQ(role.RoleTitle, "Buyer");
  EXPECT_EQ(role.Type, "Carbon Copy");
  EXPECT_EQ(role.ID, "1");
  EXPECT_EQ(role.Anchors[0].Text, "[BuyerSignHere]");
  EXPECT_EQ(library_.Find("Charlie")->Roles.First()->ID, "1");
  EXPECT_EQ(library_.Find("Delta"), nullptr);

  // Loading again replaces the library.
  ASSERT_TRUE(library_.LoadFolder(folder_));
  EXPECT_EQ(library_.Blueprints.size(), 3u);
}

TEST_F(BluepersTest, EachBlueprintCarriesItsFilesLastWriteTime) {
  Blueprint("a.xml", "Alpha", "a.pdf", {});
  // 2021-01-01 00:00:00.1234567 UTC.
  const timespec times[2] = {{1609459200, 123456700}, {1609459200, 123456700}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (folder_ + "/a.xml").c_str(), times, 0), 0);
  ASSERT_TRUE(library_.LoadFolder(folder_));
  // Windows file time: 100-nanosecond ticks since 1601.
  EXPECT_EQ(library_.Blueprints.First()->FileTime.Ticks(), 132539328001234567ULL);
}

TEST_F(BluepersTest, WithoutAFolderTheSettingNamesIt) {
  CConfig().SetBlueprintFolder(folder_);
  Blueprint("a.xml", "Alpha", "a.pdf", {});
  ASSERT_TRUE(library_.LoadFolder());
  EXPECT_EQ(library_.Folder, folder_);
  EXPECT_EQ(Loaded(), (V{"Alpha"}));
}

TEST_F(BluepersTest, OneBrokenFileEndsTheWalk) {
  Blueprint("a.xml", "Alpha", "a.pdf", {});
  vlrtest::WriteFile(folder_ + "/b.xml", "<vlrBlueprint><Name>Bravo</Name><Documents>");
  Blueprint("c.xml", "Charlie", "c.pdf", {});
  EXPECT_FALSE(library_.LoadFolder(folder_));
  EXPECT_EQ(Loaded(), (V{"Alpha"}));  // those before it stay, those after it are not read
  EXPECT_EQ(library_.FailedPath, folder_ + "/b.xml");
  EXPECT_TRUE(FAILED(library_.FailedCode));
}

TEST_F(BluepersTest, AnEmptyOrMissingFolderLoadsNothing) {
  EXPECT_FALSE(library_.LoadFolder(folder_));
  EXPECT_TRUE(library_.Blueprints.empty());
  EXPECT_FALSE(library_.LoadFolder(folder_ + "/missing"));
  EXPECT_EQ(library_.FailedPath, "");
}

class FindApplicableTest : public BluepersTest {
 protected:
  void SetUp() override {
    BluepersTest::SetUp();
    Blueprint("1.xml", "NoDocs", "", {"Buyer"});
    Blueprint("2.xml", "One", "contract.pdf", {"Buyer"});
    Blueprint("3.xml", "Two", "contract.pdf", {"Buyer", "Seller"});
    Blueprint("4.xml", "Other", "other.pdf", {"Buyer"});
    ASSERT_TRUE(library_.LoadFolder(folder_));
    CRecip& ann = mail_.Recipients.Emplace();
    ann.Name = "Ann";
    ann.Email = "ann@mail.example";
    mail_.Documents.Emplace().Name = "mail.pdf";
  }

  // The names the callback heard, and the count returned.
  std::pair<V, int> Find(const std::string& required, const std::string& excluded) {
    V heard;
    const int count = library_.FindApplicable(
        mail_, required, excluded, [&](CBlueprint& bp) { heard.push_back(bp.Name); });
    return {heard, count};
  }
  V Applicable() const {
    V names;
    for (const CBlueprint& bp : library_.Blueprints)
      if (bp.Applicable) names.push_back(bp.Name);
    return names;
  }

  CBlueprint mail_;
};

TEST_F(FindApplicableTest, BlueprintsThatApplyToACopyOfTheTransactionAreApplicable) {
  const auto [heard, count] = Find("", "");
  EXPECT_EQ(heard, (V{"One", "Other"}));  // "Two" has a signer too many
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Applicable(), (V{"One", "Other"}));
  // Only a copy was changed.
  EXPECT_EQ(mail_.Recipients.size(), 1u);
  EXPECT_FALSE(mail_.Recipients.First()->IsPaired());
  EXPECT_EQ(mail_.Recipients.First()->RoleName, "");
  EXPECT_EQ(mail_.Documents.First()->Name, "mail.pdf");
  for (const CBlueprint& bp : library_.Blueprints)
    for (const CRecip& signer : bp.Recipients) EXPECT_FALSE(signer.IsPaired()) << bp.Name;
}

TEST_F(FindApplicableTest, ARequiredKeyOrAnExcludedKeyNarrowsTheChoice) {
  EXPECT_EQ(Find("contract.pdf", "").first, (V{"One"}));
  EXPECT_EQ(Applicable(), (V{"One"}));
  EXPECT_EQ(Find("", "other.pdf").first, (V{"One"}));
  EXPECT_EQ(Find("", "contract.pdf").first, (V{"Other"}));
  // A required key wins over an excluded one.
  EXPECT_EQ(Find("other.pdf", "other.pdf").first, (V{"Other"}));
  EXPECT_EQ(Find("missing.pdf", "").second, 0);
  EXPECT_TRUE(Applicable().empty());
}

TEST_F(FindApplicableTest, TwoRecipientsFitTheBlueprintWithTwoSigners) {
  CRecip& bob = mail_.Recipients.Emplace();
  bob.Name = "Bob";
  bob.Email = "bob@mail.example";
  EXPECT_EQ(Find("", "").first, (V{"Two"}));
}

}  // namespace

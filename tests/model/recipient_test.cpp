// Recipients: copies, links that never dangle, and the pairing helpers used when a blueprint
// is applied.
#include "model/recipient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/testenv.h"

namespace {

using RecipTest = vlrtest::HomeTest;
using V = std::vector<std::string>;

std::string CRecip::* const kRecipTexts[] = {
    &CRecip::Name,       &CRecip::Email, &CRecip::Type, &CRecip::RoleName,
    &CRecip::AccessCode, &CRecip::IDCheck, &CRecip::Note, &CRecip::RoutingOrder};
std::int32_t CRecip::* const kRecipCopiedIntegers[] = {
    &CRecip::Excluded, &CRecip::MailType, &CRecip::ID,     &CRecip::BroadcastID,
    &CRecip::Sequence, &CRecip::BroadcastFixed, &CRecip::Sender, &CRecip::HardCoded};

CRecip& Add(CRecipList& list, const std::string& name, int hardCoded = 0, int sender = 0) {
  CRecip& recip = list.Emplace();
  recip.Name = name;
  recip.Email = name + "@example.com";
  recip.HardCoded = hardCoded;
  recip.Sender = sender;
  return recip;
}

std::vector<std::string> Names(const CRecipList& list) {
  std::vector<std::string> names;
  for (const CRecip& r : list) names.push_back(r.Name);
  return names;
}

TEST_F(RecipTest, Defaults) {
  CRecip recip;
  EXPECT_EQ(recip.TagName(), "");
  EXPECT_EQ(CRecip("Signer").TagName(), "Signer");
  EXPECT_EQ(recip.Type, "Signer");
  EXPECT_EQ(recip.IDCheck, "No");
  EXPECT_EQ(recip.MailType, 1);
  EXPECT_EQ(recip.Sequence, -1);
  EXPECT_EQ(recip.FromMail, 0);
  EXPECT_EQ(recip.Role, nullptr);
  EXPECT_EQ(recip.Link(), nullptr);
}

TEST_F(RecipTest, CopyTakesEverythingButFromMail) {
  CRecip partner;
  CRecip source("Signer");
  int n = 0;
  for (auto member : kRecipTexts) source.*member = "text" + std::to_string(n++);
  for (auto member : kRecipCopiedIntegers) source.*member = 100 + n++;
  source.FromMail = 1;
  source.Role = std::make_unique<CRole>();
  source.Role->RoleName = "Buyer";
  source.Role->Anchors[0].Text = "[BuyerSignHere]";
  source.SetLink(&partner);

  CRecip target;
  target.Copy(source);
  for (auto member : kRecipTexts) EXPECT_EQ(target.*member, source.*member);
  for (auto member : kRecipCopiedIntegers) EXPECT_EQ(target.*member, source.*member);
  EXPECT_EQ(target.TagName(), "Signer");
  EXPECT_EQ(target.FromMail, 0);
  EXPECT_EQ(target.Link(), &partner);
  ASSERT_NE(target.Role, nullptr);
  EXPECT_NE(target.Role.get(), source.Role.get());
  EXPECT_EQ(target.Role->Anchors[0].Text, "[BuyerSignHere]");

  source.Role->RoleName = "Seller";
  EXPECT_EQ(target.Role->RoleName, "Buyer");

  // A source without a role object takes the target's away.
  CRecip roleless;
  target.Copy(roleless);
  EXPECT_EQ(target.Role, nullptr);
  EXPECT_EQ(target.Link(), nullptr);
}

TEST_F(RecipTest, CopyAppendsRoleChoicesAndCandidatesToTheOldOnes) {
  CRecip source, target;
  source.RoleChoices = {"Buyer", "Seller"};
  source.Candidates = {"Ann Lee"};
  target.RoleChoices = {"Witness"};
  target.Candidates = {"A. Lee"};
  target.Copy(source);
  EXPECT_EQ(target.RoleChoices, (V{"Witness", "Buyer", "Seller"}));
  EXPECT_EQ(target.Candidates, (V{"A. Lee", "Ann Lee"}));
  target.Copy(target);
  EXPECT_EQ(target.RoleChoices, (V{"Witness", "Buyer", "Seller"}));
}

TEST_F(RecipTest, CloneIsAFaithfulDuplicate) {
  CRecip partner, source;
  source.FromMail = 1;
  source.Name = "Ann";
  source.RoleChoices = {"Buyer"};
  source.SetLink(&partner);
  auto clone = source.Clone();
  EXPECT_EQ(clone->FromMail, 1);
  EXPECT_EQ(clone->Name, "Ann");
  EXPECT_EQ(clone->RoleChoices, (V{"Buyer"}));
  EXPECT_EQ(clone->Link(), &partner);
}

TEST_F(RecipTest, LinksAreClearedWhenThePartnerIsDeleted) {
  auto signer = std::make_unique<CRecip>("Signer");
  CRecip a, b;
  CRecip::Pair(a, *signer);
  b.SetLink(signer.get());  // one-way, as in a broadcast
  EXPECT_EQ(signer->Link(), &a);
  signer.reset();
  EXPECT_EQ(a.Link(), nullptr);
  EXPECT_EQ(b.Link(), nullptr);

  // A recipient that goes away first leaves nothing behind in its partner.
  auto gone = std::make_unique<CRecip>();
  CRecip stays;
  CRecip::Pair(*gone, stays);
  gone.reset();
  EXPECT_EQ(stays.Link(), nullptr);
  stays.SetLink(nullptr);
}

TEST_F(RecipTest, RelinkingMovesTheLink) {
  CRecip a, first, second;
  a.SetLink(&first);
  a.SetLink(&second);
  a.SetLink(&second);
  {
    CRecip doomed;
    a.SetLink(&doomed);
  }
  EXPECT_EQ(a.Link(), nullptr);
  a.SetLink(&a);  // a recipient paired with itself is harmless
  EXPECT_EQ(a.Link(), &a);
}

TEST_F(RecipTest, UnpairAllClearsLinksAndOptionallyDropsHardCoded) {
  struct Case {
    bool deleteHardCoded;
    std::vector<std::string> left;
  };
  const Case cases[] = {{false, {"mail1", "fixed", "mail2"}}, {true, {"mail1", "mail2"}}};
  for (const Case& c : cases) {
    CRecipList blueprint, mail;
    CRecip& s1 = Add(blueprint, "s1");
    CRecip& s2 = Add(blueprint, "s2");
    CRecip::Pair(Add(mail, "mail1"), s1);
    CRecip::Pair(Add(mail, "fixed", 1), s2);
    Add(mail, "mail2");
    UnpairAll(mail, c.deleteHardCoded);
    EXPECT_EQ(Names(mail), c.left);
    EXPECT_EQ(CountUnpaired(mail), static_cast<int>(c.left.size()));
    EXPECT_EQ(s1.Link(), &*mail.begin());  // only this list's links are cleared
    // The deleted recipient no longer counts as s2's partner.
    EXPECT_EQ(s2.Link() != nullptr, !c.deleteHardCoded);
  }
}

TEST_F(RecipTest, NextUnpairedWalksFromAHeldPosition) {
  CRecipList blueprint, mail;
  CRecip& signer = Add(blueprint, "s");
  Add(mail, "a");
  CRecip::Pair(Add(mail, "b"), signer);
  Add(mail, "c");
  EXPECT_EQ(CountUnpaired(mail), 2);

  auto pos = mail.begin();
  CRecip* first = NextUnpaired(mail, pos);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Name, "a");
  Add(mail, "d");  // added while the walk is under way
  CRecip* second = NextUnpaired(mail, pos);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Name, "c");
  EXPECT_EQ(NextUnpaired(mail, pos)->Name, "d");
  EXPECT_EQ(NextUnpaired(mail, pos), nullptr);
  EXPECT_EQ(pos, mail.end());
  EXPECT_EQ(NextUnpaired(mail, pos), nullptr);

  CRecipList none;
  auto start = none.begin();
  EXPECT_EQ(NextUnpaired(none, start), nullptr);
}

TEST_F(RecipTest, HasSender) {
  CRecipList list;
  EXPECT_FALSE(HasSender(list));
  Add(list, "a");
  EXPECT_FALSE(HasSender(list));
  Add(list, "me", 0, 1);
  EXPECT_TRUE(HasSender(list));
}

TEST_F(RecipTest, MergePairedKeepsIdentityAndTakesTheRest) {
  CRecipList blueprint, mail;
  CRecip& signer = Add(blueprint, "Signer One", 0, 1);
  signer.RoleName = "Buyer";
  signer.Type = "Carbon Copy";
  signer.Sequence = 3;
  signer.RoutingOrder = "3";
  signer.AccessCode = "1234";
  signer.FromMail = 0;
  signer.Role = std::make_unique<CRole>();
  signer.Role->UseAnchors = 1;

  CRecip& paired = Add(mail, "Ann");
  paired.FromMail = 1;
  paired.MailType = 2;
  CRecip::Pair(paired, signer);
  CRecip& loose = Add(mail, "Bob");

  ASSERT_EQ(MergePaired(mail), S_OK);
  EXPECT_EQ(paired.Name, "Ann");
  EXPECT_EQ(paired.Email, "Ann@example.com");
  EXPECT_EQ(paired.FromMail, 1);
  EXPECT_EQ(paired.HardCoded, 0);
  EXPECT_EQ(paired.RoleName, "Buyer");
  EXPECT_EQ(paired.Type, "Carbon Copy");
  EXPECT_EQ(paired.MailType, 1);
  EXPECT_EQ(paired.Sequence, 3);
  EXPECT_EQ(paired.AccessCode, "1234");
  EXPECT_EQ(paired.Sender, 1);
  ASSERT_NE(paired.Role, nullptr);
  EXPECT_NE(paired.Role.get(), signer.Role.get());
  // Both stay paired with each other.
  EXPECT_EQ(paired.Link(), &signer);
  EXPECT_EQ(signer.Link(), &paired);
  EXPECT_EQ(loose.RoleName, "");
  EXPECT_EQ(loose.Name, "Bob");
}

TEST_F(RecipTest, MergePairedWithAOneWayBroadcastLink) {
  CRecipList blueprint, mail;
  CRecip& signer = Add(blueprint, "Customer");
  signer.RoleName = "Customer";
  signer.HardCoded = 0;
  for (const char* n : {"a", "b", "c"}) {
    CRecip& r = Add(mail, n);
    r.HardCoded = 1;
    r.SetLink(&signer);
  }
  ASSERT_EQ(MergePaired(mail), S_OK);
  for (const CRecip& r : mail) {
    EXPECT_EQ(r.RoleName, "Customer");
    EXPECT_EQ(r.HardCoded, 1);
    EXPECT_EQ(r.Link(), &signer);
  }
  EXPECT_EQ(signer.Link(), nullptr);
  EXPECT_EQ(Names(mail), (V{"a", "b", "c"}));
}

}  // namespace

#include "model/transaction.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/testenv.h"

namespace {

// The two kinds of the system, without their files.
class Kind : public CTransaction {
 public:
  explicit Kind(const char* className) : CTransaction(className) {}
  HRESULT Save() override { return S_OK; }
  HRESULT Load(const std::string&) override { return S_OK; }
};
struct Blueprint : Kind {
  Blueprint() : Kind("CBlueprint") {}
};
struct Template : Kind {
  Template() : Kind("CTemplate") {}
};

using TransactionTest = vlrtest::HomeTest;
using V = std::vector<std::string>;

std::string CTransaction::* const kTexts[] = {
    &CTransaction::Name,    &CTransaction::Path,    &CTransaction::Description,
    &CTransaction::LastModified, &CTransaction::Subject, &CTransaction::Message,
    &CTransaction::TabsXml, &CTransaction::ReminderEnabled, &CTransaction::ExpireEnabled};
std::int32_t CTransaction::* const kIntegers[] = {&CTransaction::RemindIn,
                                                  &CTransaction::RemindFreq,
                                                  &CTransaction::ExpiresIn, &CTransaction::WarnIn};

void FillScalars(CTransaction& t, const std::string& prefix) {
  int n = 0;
  for (auto m : kTexts) t.*m = prefix + std::to_string(n++);
  for (auto m : kIntegers) t.*m = 10 + n++;
  t.FileTime = FileTimeWords::FromTicks(0x01D9'ABCD'1234'5678ull);
}
void ExpectScalars(const CTransaction& t, const std::string& prefix) {
  int n = 0;
  for (auto m : kTexts) EXPECT_EQ(t.*m, prefix + std::to_string(n++));
  for (auto m : kIntegers) EXPECT_EQ(t.*m, 10 + n++);
  EXPECT_EQ(t.FileTime.Low, 0x12345678u);
  EXPECT_EQ(t.FileTime.High, 0x01D9ABCDu);
}

// A transaction with two of everything, named after `tag`.
void Fill(CTransaction& t, const std::string& tag) {
  FillScalars(t, tag);
  for (int i = 1; i <= 2; ++i) {
    const std::string n = tag + std::to_string(i);
    CeDoc& doc = t.Documents.Emplace();
    doc.Name = "doc" + n;
    auto field = std::make_unique<CKeywordValue>("Field");
    field->Keyword = "field" + n;
    doc.Fields.Append(std::move(field));
    CRecip& recip = t.Recipients.Emplace();
    recip.Name = "recip" + n;
    recip.FromMail = i == 1;
    recip.Role = std::make_unique<CRole>();
    recip.Role->RoleName = "role" + n;
    t.Roles.Emplace().RoleName = "role" + n;
    CTab& tab = t.Tabs.Emplace();
    tab.TabLabel = "tab" + n;
    tab.BoundField = std::make_unique<CKeywordValue>();
    tab.BoundField->Value = "bound" + n;
    t.Keywords.Emplace().Keyword = "key" + n;
  }
}

template <class T, class F>
std::vector<std::string> Collect(const COwnedList<T>& list, F get) {
  std::vector<std::string> out;
  for (const T& item : list) out.push_back(get(item));
  return out;
}
V DocNames(const CTransaction& t) { return Collect(t.Documents, [](const CeDoc& d) { return d.Name; }); }
V RecipNames(const CTransaction& t) { return Collect(t.Recipients, [](const CRecip& r) { return r.Name; }); }
V RoleNames(const CTransaction& t) { return Collect(t.Roles, [](const CRole& r) { return r.RoleName; }); }
V TabLabels(const CTransaction& t) { return Collect(t.Tabs, [](const CTab& x) { return x.TabLabel; }); }
V Keys(const CTransaction& t) { return Collect(t.Keywords, [](const CKeywordValue& k) { return k.Keyword; }); }

TEST_F(TransactionTest, Defaults) {
  Blueprint t;
  EXPECT_EQ(t.TagName(), "");
  for (auto m : kTexts) EXPECT_TRUE((t.*m).empty());
  for (auto m : kIntegers) EXPECT_EQ(t.*m, 0);
  EXPECT_EQ(t.FileTime.Ticks(), 0u);
  EXPECT_TRUE(t.Documents.empty() && t.Recipients.empty() && t.Roles.empty() && t.Tabs.empty() &&
              t.Keywords.empty());
}

TEST_F(TransactionTest, IsKindOfComparesTheClassNameExactly) {
  struct Case {
    const char* asked;
    bool blueprint, templ;
  };
  const Case cases[] = {{"CBlueprint", true, false}, {"CTemplate", false, true},
                        {"ctemplate", false, false}, {"CTEMPLATE", false, false},
                        {"CBluePrint", false, false}, {"CTemplate ", false, false},
                        {"", false, false},          {"CTransaction", false, false}};
  Blueprint b;
  Template t;
  for (const Case& c : cases) {
    EXPECT_EQ(b.IsKindOf(c.asked), c.blueprint) << c.asked;
    EXPECT_EQ(t.IsKindOf(c.asked), c.templ) << c.asked;
  }
}

TEST_F(TransactionTest, FileTimeWordsHoldTheTicks) {
  const FileTimeWords words = FileTimeWords::FromTicks(0x0123456789ABCDEFull);
  EXPECT_EQ(words.Low, 0x89ABCDEFu);
  EXPECT_EQ(words.High, 0x01234567u);
  EXPECT_EQ(words.Ticks(), 0x0123456789ABCDEFull);
}

TEST_F(TransactionTest, AssignMakesAnIndependentDeepCopyInListOrder) {
  auto source = std::make_unique<Blueprint>();
  Fill(*source, "s");
  Blueprint copy;
  Fill(copy, "old");
  ASSERT_EQ(copy.Assign(*source), S_OK);

  ExpectScalars(copy, "s");
  EXPECT_EQ(DocNames(copy), (V{"docs1", "docs2"}));
  EXPECT_EQ(RecipNames(copy), (V{"recips1", "recips2"}));
  EXPECT_EQ(RoleNames(copy), (V{"roles1", "roles2"}));
  EXPECT_EQ(TabLabels(copy), (V{"tabs1", "tabs2"}));
  EXPECT_EQ(Keys(copy), (V{"keys1", "keys2"}));  // keyword rows are replaced too
  EXPECT_EQ(copy.Recipients.First()->FromMail, 1);
  EXPECT_EQ(copy.Recipients.Last()->FromMail, 0);

  // Change and then destroy the source: the copy keeps its own items.
  source->Documents.First()->Fields.First()->Keyword = "changed";
  source->Recipients.First()->Role->RoleName = "changed";
  source->Tabs.First()->BoundField->Value = "changed";
  source.reset();
  EXPECT_EQ(copy.Documents.First()->Fields.First()->Keyword, "fields1");
  EXPECT_EQ(copy.Recipients.First()->Role->RoleName, "roles1");
  EXPECT_EQ(copy.Tabs.First()->BoundField->Value, "bounds1");
}

TEST_F(TransactionTest, AssigningATransactionToItselfChangesNothing) {
  Blueprint t;
  Fill(t, "x");
  const CeDoc* firstDoc = t.Documents.First();
  ASSERT_EQ(t.Assign(t), S_OK);
  ExpectScalars(t, "x");
  EXPECT_EQ(t.Documents.First(), firstDoc);
  EXPECT_EQ(DocNames(t), (V{"docx1", "docx2"}));
  EXPECT_EQ(Keys(t), (V{"keyx1", "keyx2"}));
  t.CopyScalars(t);
  ExpectScalars(t, "x");
}

TEST_F(TransactionTest, AssignKeepsPairingsInsideTheCopy) {
  Blueprint signers;  // stands for a blueprint whose signers outlive the copy
  CRecip& outside = signers.Recipients.Emplace("Signer");

  Blueprint source;
  CRecip& a = source.Recipients.Emplace();
  CRecip& b = source.Recipients.Emplace();
  CRecip& c = source.Recipients.Emplace();
  CRecip::Pair(a, b);
  c.SetLink(&outside);

  Blueprint copy;
  ASSERT_EQ(copy.Assign(source), S_OK);
  CRecip* a2 = copy.Recipients.At(0);
  CRecip* b2 = copy.Recipients.At(1);
  CRecip* c2 = copy.Recipients.At(2);
  EXPECT_EQ(a2->Link(), b2);  // not the source's b
  EXPECT_EQ(b2->Link(), a2);
  EXPECT_EQ(c2->Link(), &outside);
  EXPECT_EQ(a.Link(), &b);  // the source keeps its own pairing
}

TEST_F(TransactionTest, ACopyThatGoesAwayLeavesNoDanglingLinks) {
  // The blueprint is applied to a scratch copy that is then discarded; the blueprint's signers
  // must not keep pointing into it.
  Blueprint blueprint;
  CRecip& signer = blueprint.Recipients.Emplace("Signer");
  {
    Blueprint mail;
    mail.Recipients.Emplace().Name = "Ann";
    Blueprint scratch;
    ASSERT_EQ(scratch.Assign(mail), S_OK);
    CRecip::Pair(*scratch.Recipients.First(), signer);
    EXPECT_EQ(signer.Link(), scratch.Recipients.First());
  }
  EXPECT_EQ(signer.Link(), nullptr);
}

TEST_F(TransactionTest, AssignDropsTheItemsItReplaces) {
  Blueprint outsideList;
  CRecip& watcher = outsideList.Recipients.Emplace();
  Blueprint target;
  watcher.SetLink(&target.Recipients.Emplace());
  Blueprint source;
  ASSERT_EQ(target.Assign(source), S_OK);
  EXPECT_TRUE(target.Recipients.empty());
  EXPECT_EQ(watcher.Link(), nullptr);  // the old recipient was deleted
}

TEST_F(TransactionTest, ClearEmptiesFourListsAndKeepsKeywordsAndScalars) {
  Blueprint t, watchers;
  Fill(t, "c");
  CRecip& watcher = watchers.Recipients.Emplace();
  watcher.SetLink(t.Recipients.First());
  t.Clear();
  EXPECT_TRUE(t.Documents.empty());
  EXPECT_TRUE(t.Recipients.empty());
  EXPECT_TRUE(t.Roles.empty());
  EXPECT_TRUE(t.Tabs.empty());
  EXPECT_EQ(Keys(t), (V{"keyc1", "keyc2"}));
  ExpectScalars(t, "c");
  EXPECT_EQ(watcher.Link(), nullptr);
}

TEST_F(TransactionTest, CopyScalarsLeavesListsAndKindAlone) {
  Template source;
  Fill(source, "t");
  Blueprint target;
  Fill(target, "b");
  target.CopyScalars(source);
  ExpectScalars(target, "t");
  EXPECT_EQ(DocNames(target), (V{"docb1", "docb2"}));
  EXPECT_EQ(RecipNames(target), (V{"recipb1", "recipb2"}));
  EXPECT_EQ(Keys(target), (V{"keyb1", "keyb2"}));
  // A blueprint that took a template's values is still a blueprint.
  EXPECT_TRUE(target.IsKindOf("CBlueprint"));
  EXPECT_FALSE(target.IsKindOf("CTemplate"));
  ASSERT_EQ(target.Assign(source), S_OK);
  EXPECT_TRUE(target.IsKindOf("CBlueprint"));
}

}  // namespace

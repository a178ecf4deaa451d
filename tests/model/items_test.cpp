// Copies of the items of a transaction: documents, keyword rows, roles with their anchors, tabs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/anchor.h"
#include "model/document.h"
#include "model/keywordvalue.h"
#include "model/role.h"
#include "model/tab.h"
#include "tests/support/testenv.h"

namespace {

using ItemsTest = vlrtest::HomeTest;
using V = std::vector<std::string>;

// Sets every listed text of `item` to a value of its own, so a copy that misses or mixes up a
// member shows.
template <class T, std::size_t N>
void FillTexts(T& item, std::string T::* const (&texts)[N], const std::string& prefix) {
  for (std::size_t i = 0; i < N; ++i) item.*texts[i] = prefix + std::to_string(i);
}
template <class T, std::size_t N>
void ExpectTexts(const T& item, std::string T::* const (&texts)[N], const std::string& prefix) {
  for (std::size_t i = 0; i < N; ++i) EXPECT_EQ(item.*texts[i], prefix + std::to_string(i)) << "text " << i;
}

std::string CTab::* const kTabTexts[] = {
    &CTab::DocumentID, &CTab::RecipientID, &CTab::PageNumber, &CTab::ScaleValue, &CTab::Type,
    &CTab::XPosition, &CTab::YPosition, &CTab::Name, &CTab::TabLabel, &CTab::Value,
    &CTab::CustomTabType, &CTab::CustomTabWidth, &CTab::CustomTabHeight,
    &CTab::CustomTabRequired, &CTab::CustomTabLocked, &CTab::CustomTabDisableAutoSize,
    &CTab::CustomTabValidationPattern, &CTab::CustomTabValidationMessage,
    &CTab::TemplateLocked, &CTab::TemplateRequired, &CTab::AnchorTabString, &CTab::XOffset,
    &CTab::YOffset, &CTab::Unit};

std::string CRole::* const kRoleTexts[] = {
    &CRole::RoleName, &CRole::RoleTitle, &CRole::ID, &CRole::UserName, &CRole::Email,
    &CRole::Type, &CRole::RoutingOrder, &CRole::AccessCode, &CRole::RequireIDLookup,
    &CRole::TemplateLocked, &CRole::TemplateRequired, &CRole::AnchorLabel};

std::string CKeywordValue::* const kKeywordTexts[] = {
    &CKeywordValue::Keyword, &CKeywordValue::Value, &CKeywordValue::Kind,
    &CKeywordValue::Prompt, &CKeywordValue::ValidationPattern,
    &CKeywordValue::ValidationMessage};

std::string CeDoc::* const kDocTexts[] = {&CeDoc::Name, &CeDoc::Description, &CeDoc::Key,
                                          &CeDoc::FilePath, &CeDoc::Extension};

std::string CAnchor::* const kAnchorTexts[] = {&CAnchor::Text, &CAnchor::Type,
                                               &CAnchor::XOffset, &CAnchor::YOffset,
                                               &CAnchor::Units};

std::unique_ptr<CKeywordValue> Field(const std::string& keyword, const std::string& value) {
  auto field = std::make_unique<CKeywordValue>("Field");
  field->Keyword = keyword;
  field->Value = value;
  return field;
}

TEST_F(ItemsTest, DefaultsAndTags) {
  CTab tab;
  EXPECT_EQ(tab.TagName(), "Tab");
  for (auto member : kTabTexts) EXPECT_TRUE((tab.*member).empty());
  EXPECT_EQ(tab.RequiredFlag, 0);
  EXPECT_EQ(tab.LockedFlag, 0);
  EXPECT_EQ(tab.BoundField, nullptr);
  EXPECT_EQ(tab.GroupField, nullptr);

  CKeywordValue row;
  EXPECT_EQ(row.TagName(), "");
  EXPECT_EQ(row.Kind, "Text");
  EXPECT_EQ(row.Required, 0);
  EXPECT_EQ(row.Editable, 1);
  EXPECT_EQ(row.ByLabel, 0);
  EXPECT_EQ(row.Selected, -1);
  EXPECT_EQ(row.Tag, 0);
  EXPECT_TRUE(row.Choices.empty());

  CeDoc doc;
  EXPECT_EQ(doc.TagName(), "Document");
  EXPECT_EQ(doc.Source, 0);
  EXPECT_TRUE(doc.Fields.empty());

  CAnchor anchor;
  EXPECT_EQ(anchor.TagName(), "Anchor");
  EXPECT_EQ(anchor.Index, -1);
  EXPECT_EQ(anchor.Present, 0);
}

TEST_F(ItemsTest, ARoleAlwaysHasSixUnusedAnchorSlots) {
  CRole role;
  EXPECT_EQ(role.TagName(), "Recipient");
  EXPECT_EQ(role.UseAnchors, 0);
  ASSERT_EQ(role.Anchors.size(), 6u);
  for (const CAnchor& slot : role.Anchors) {
    EXPECT_EQ(slot.TagName(), "Anchor");
    EXPECT_EQ(slot.Index, -1);
    EXPECT_EQ(slot.Present, 0);
    EXPECT_TRUE(slot.Text.empty());
  }
}

TEST_F(ItemsTest, TabCopyTakesEveryTextFlagAndOwnFieldCopies) {
  CTab source;
  FillTexts(source, kTabTexts, "t");
  source.RequiredFlag = 1;
  source.LockedFlag = 1;
  source.BoundField = Field("Amount", "120");
  source.BoundField->ByLabel = 1;
  source.GroupField = Field("Choice", "B");

  CTab copy;
  copy.Copy(source);
  ExpectTexts(copy, kTabTexts, "t");
  EXPECT_EQ(copy.RequiredFlag, 1);
  EXPECT_EQ(copy.LockedFlag, 1);
  ASSERT_NE(copy.BoundField, nullptr);
  ASSERT_NE(copy.GroupField, nullptr);
  EXPECT_NE(copy.BoundField.get(), source.BoundField.get());
  EXPECT_EQ(copy.BoundField->Keyword, "Amount");
  EXPECT_EQ(copy.BoundField->ByLabel, 1);
  EXPECT_EQ(copy.GroupField->Value, "B");

  // The copy's fields are its own.
  source.BoundField->Value = "999";
  source.GroupField.reset();
  EXPECT_EQ(copy.BoundField->Value, "120");
  EXPECT_EQ(copy.GroupField->Value, "B");

  // A source without fields leaves the target without fields.
  copy.Copy(source);
  EXPECT_EQ(copy.GroupField, nullptr);
  EXPECT_EQ(copy.BoundField->Value, "999");
}

TEST_F(ItemsTest, CopyingAnItemOntoItselfChangesNothing) {
  CTab tab;
  FillTexts(tab, kTabTexts, "s");
  tab.BoundField = Field("F", "v");
  CKeywordValue* bound = tab.BoundField.get();
  tab.Copy(tab);
  ExpectTexts(tab, kTabTexts, "s");
  EXPECT_EQ(tab.BoundField.get(), bound);

  CKeywordValue row;
  row.Choices = {"a", "b"};
  row.Copy(row);
  EXPECT_EQ(row.Choices, (V{"a", "b"}));

  CeDoc doc;
  doc.Fields.Append(Field("F", "v"));
  doc.Copy(doc);
  EXPECT_EQ(doc.Fields.size(), 1u);
}

TEST_F(ItemsTest, KeywordCopyTakesTagTextsIntegersAndAppendsChoices) {
  CKeywordValue source("Field");
  FillTexts(source, kKeywordTexts, "k");
  source.Required = 1;
  source.Editable = 0;
  source.ByLabel = 1;
  source.Selected = 2;
  source.Tag = 1044;
  source.Choices = {"Buyer", "Seller"};

  CKeywordValue target;
  target.Choices = {"Sender"};
  target.Copy(source);
  EXPECT_EQ(target.TagName(), "Field");
  ExpectTexts(target, kKeywordTexts, "k");
  EXPECT_EQ(target.Required, 1);
  EXPECT_EQ(target.Editable, 0);
  EXPECT_EQ(target.ByLabel, 1);
  EXPECT_EQ(target.Selected, 2);
  EXPECT_EQ(target.Tag, 1044);
  EXPECT_EQ(target.Choices, (V{"Sender", "Buyer", "Seller"}));

  auto clone = source.Clone();
  EXPECT_EQ(clone->Choices, (V{"Buyer", "Seller"}));
  EXPECT_EQ(clone->TagName(), "Field");
}

TEST_F(ItemsTest, DocumentCopyReplacesTheFieldsWithDeepCopies) {
  CeDoc source;
  FillTexts(source, kDocTexts, "d");
  source.Source = 2;
  source.Fields.Append(Field("First", "Buyer"));
  source.Fields.Append(Field("Second", "Seller"));

  CeDoc target;
  target.Fields.Append(Field("Stale", "x"));
  target.Copy(source);
  ExpectTexts(target, kDocTexts, "d");
  EXPECT_EQ(target.Source, 2);
  ASSERT_EQ(target.Fields.size(), 2u);
  EXPECT_EQ(target.Fields.At(0)->Keyword, "First");
  EXPECT_EQ(target.Fields.At(1)->Keyword, "Second");
  EXPECT_EQ(target.Fields.At(0)->TagName(), "Field");
  EXPECT_NE(target.Fields.At(0), source.Fields.At(0));

  source.Fields.Clear();
  source.Name = "changed";
  EXPECT_EQ(target.Fields.size(), 2u);
  EXPECT_EQ(target.Name, "d0");
  EXPECT_TRUE(target.HasFormFields());
  EXPECT_FALSE(source.HasFormFields());
}

TEST_F(ItemsTest, DocumentExtensionFallsBackToTheName) {
  struct Case {
    const char* extension;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"docx", "Contract.pdf", "docx"},  // an explicit extension wins
      {"", "Contract.pdf", "pdf"},
      {"", "Contract.v2.PDF", "PDF"},     // the last dot, letter case kept
      {"", "README", ""},
      {"", "", ""},
      {"", "trailing.", ""},
  };
  for (const Case& c : cases) {
    CeDoc doc;
    doc.Extension = c.extension;
    doc.Name = c.name;
    EXPECT_EQ(doc.FileExtension(), c.expected) << c.name;
  }
}

TEST_F(ItemsTest, RoleCopyTakesTextsFlagAndEachAnchorSlot) {
  CRole source;
  FillTexts(source, kRoleTexts, "r");
  source.UseAnchors = 1;
  for (int i = 0; i < 6; ++i) {
    CAnchor& slot = source.Anchors[i];
    FillTexts(slot, kAnchorTexts, "a" + std::to_string(i) + "_");
    slot.Index = i;
    slot.Present = i % 2;
  }

  CRole target;
  target.Copy(source);
  ExpectTexts(target, kRoleTexts, "r");
  EXPECT_EQ(target.UseAnchors, 1);
  for (int i = 0; i < 6; ++i) {
    const CAnchor& slot = target.Anchors[i];
    ExpectTexts(slot, kAnchorTexts, "a" + std::to_string(i) + "_");
    EXPECT_EQ(slot.Index, i);
    EXPECT_EQ(slot.Present, i % 2);
  }

  source.Anchors[3].Text = "[changed]";
  EXPECT_EQ(target.Anchors[3].Text, "a3_0");

  auto clone = target.Clone();
  ExpectTexts(*clone, kRoleTexts, "r");
  EXPECT_EQ(clone->Anchors[5].Index, 5);
}

}  // namespace

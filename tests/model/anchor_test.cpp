// Anchor slots of a role: the three tag syntaxes, resetting and switching slots, new
// designations, and the anchor tabs a role gives the envelope request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/anchor.h"
#include "model/recipient.h"
#include "model/role.h"
#include "tests/support/testenv.h"

namespace {

using AnchorTest = vlrtest::HomeTest;

TEST_F(AnchorTest, TheThreeSyntaxesMakeTheirTexts) {
  const struct {
    const char* syntax;
    const char* label;
    const char* designation;
    int index;
    const char* text;
  } cases[] = {
      {"EchoSign", "Buyer", "signer1", 0, "{{_es_signer1_signature"},
      {"EchoSign", "", "signer", 1, "{{_es_signer_initials"},
      {"EchoSign", "", "signer", 2, "{{_es_signer_date"},
      {"EchoSign", "", "sender", 3, "{{_es_sender_fullname"},
      {"EchoSign", "", "signer2", 4, "{{_es_signer2_company"},
      {"EchoSign", "", "signer", 5, "{{_es_signer_title"},
      {"Sertifi", "Buyer", "1", 0, "SertifiSignature_1"},
      {"Sertifi", "", "2", 1, "SertifiInitial_2"},
      {"Sertifi", "", "2", 2, "SertifiDate_2"},
      {"Sertifi", "", "3", 3, "SertifiName_3"},
      {"Sertifi", "", "1", 4, "SertifiCompany_1"},
      {"Sertifi", "", "1", 5, "SertifiTitle_1"},
      {"Custom", "Customer", "signer", 0, "[CustomerSignHere]"},
      {"Custom", "Sender", "", 2, "[SenderDateSigned]"},
      {"Custom", "", "", 0, "[SignerSignHere]"},  // a role without a name
      {"Custom", "Agent", "", 3, "[AgentFullName]"},
      {"Custom", "Agent", "", 4, "[AgentCompany]"},
      {"Custom", "Agent", "", 5, "[AgentTitle]"},
      {"Custom", "Agent", "", 1, "[AgentInitialHere]"},
      {"", "Agent", "x", 1, "[AgentInitialHere]"},          // no syntax is the default
      {"echosign", "Agent", "x", 0, "[AgentSignHere]"},     // names are case-sensitive
      {"Custom", "Agent", "", 6, ""},
      {"EchoSign", "", "signer", -1, ""},
      {"Sertifi", "", "1", 6, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeAnchorText(c.syntax, c.label, c.designation, c.index), c.text)
        << c.syntax << " " << c.index;
}

TEST_F(AnchorTest, ResetSlotFillsTheSlotOfItsTabType) {
  const char* types[] = {"SignHere", "InitialHere", "DateSigned", "FullName", "Company", "Title"};
  for (int i = 0; i < 6; ++i) {
    CRole role;
    role.Anchors[i].Text = "old";
    role.Anchors[i].Units = "Inches";
    ResetSlot(role, i, 1);
    EXPECT_EQ(role.UseAnchors, 1);
    const CAnchor& slot = role.Anchors[i];
    EXPECT_EQ(slot.Index, i);
    EXPECT_EQ(slot.Type, types[i]);
    EXPECT_EQ(slot.Present, 1);
    EXPECT_EQ(slot.Text, "");
    EXPECT_EQ(slot.XOffset, "0");
    EXPECT_EQ(slot.YOffset, "0");
    EXPECT_EQ(slot.Units, "Cms");
    EXPECT_EQ(AnchorType(i), types[i]);
    for (int j = 0; j < 6; ++j) {
      if (j != i) {
        EXPECT_EQ(role.Anchors[j].Index, -1) << "slot " << j << " untouched";
      }
    }
  }
  CRole role;
  ResetSlot(role, 2, 0);
  EXPECT_EQ(role.Anchors[2].Present, 0);
  EXPECT_EQ(role.UseAnchors, 1);
}

TEST_F(AnchorTest, ResettingASlotOutsideTheSixChangesNothing) {
  for (int index : {6, -1, 100}) {
    CRole role;
    ResetSlot(role, index, 1);
    EXPECT_EQ(role.UseAnchors, 0) << index;
    for (const CAnchor& slot : role.Anchors) {
      EXPECT_EQ(slot.Index, -1);
      EXPECT_EQ(slot.Present, 0);
      EXPECT_EQ(slot.Units, "");
    }
  }
  EXPECT_EQ(AnchorType(6), "");
}

TEST_F(AnchorTest, SwitchingSlotsOnAndOff) {
  CRole role;
  role.RoleName = "Customer";
  SwitchSlot(role, "Custom", 0, true);
  SwitchSlot(role, "Custom", 2, true);
  EXPECT_EQ(role.Anchors[0].Text, "[CustomerSignHere]");
  EXPECT_EQ(role.Anchors[2].Text, "[CustomerDateSigned]");
  EXPECT_EQ(role.Anchors[2].Present, 1);
  EXPECT_EQ(role.UseAnchors, 1);
  SwitchSlot(role, "Custom", 2, false);
  EXPECT_EQ(role.Anchors[2].Text, "");
  EXPECT_EQ(role.Anchors[2].Present, 0);
  EXPECT_EQ(role.Anchors[0].Text, "[CustomerSignHere]");
}

TEST_F(AnchorTest, ANewDesignationRewritesOnlyTheSwitchedOnSlots) {
  CRole role;
  for (int i = 0; i < 6; ++i) ResetSlot(role, i, 0);
  SetAnchorDesignation(role, "EchoSign", "signer1");
  SwitchSlot(role, "EchoSign", 0, true);
  SwitchSlot(role, "EchoSign", 3, true);
  EXPECT_EQ(role.Anchors[0].Text, "{{_es_signer1_signature");

  SetAnchorDesignation(role, "EchoSign", "sender");
  EXPECT_EQ(role.AnchorLabel, "sender");
  EXPECT_EQ(role.Anchors[0].Text, "{{_es_sender_signature");
  EXPECT_EQ(role.Anchors[3].Text, "{{_es_sender_fullname");
  for (int i : {1, 2, 4, 5}) {
    EXPECT_EQ(role.Anchors[i].Text, "") << i;
    EXPECT_EQ(role.Anchors[i].Present, 0) << i;
  }
}

TEST_F(AnchorTest, DesignationsOfNewParticipants) {
  const struct {
    const char* syntax;
    int number;
    bool sender;
    const char* roleName;
    const char* designation;
  } cases[] = {
      {"EchoSign", 1, false, "Buyer", "signer"},
      {"EchoSign", 2, false, "Buyer", "signer2"},
      {"EchoSign", 3, false, "", "signer3"},
      {"EchoSign", 3, true, "Sender", "sender"},
      {"Sertifi", 1, false, "Buyer", "1"},
      {"Sertifi", 4, true, "Sender", "4"},
      {"Custom", 2, false, "Buyer", "Buyer"},
      {"Custom", 2, false, "", "Signer"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParticipantDesignation(c.syntax, c.number, c.sender, c.roleName), c.designation)
        << c.syntax << " " << c.number;
}

TEST_F(AnchorTest, ARoleWithThreePresentSlotsGivesThreeTabsInSlotOrder) {
  CRole role;
  role.RoleName = "Buyer";
  for (int i : {4, 0, 2}) SwitchSlot(role, "Custom", i, true);
  role.Anchors[4].XOffset = "-5";  // travels unchanged; the request decides what to send
  role.Anchors[4].Units = "Inches";
  ResetSlot(role, 5, 0);  // reset but not in use

  CTabList tabs;
  EXPECT_EQ(AnchorsToTabs(role, 7, tabs), 3);
  ASSERT_EQ(tabs.size(), 3u);
  const struct {
    const char* type;
    const char* text;
    const char* x;
    const char* unit;
  } expected[] = {{"SignHere", "[BuyerSignHere]", "0", "Cms"},
                  {"DateSigned", "[BuyerDateSigned]", "0", "Cms"},
                  {"Company", "[BuyerCompany]", "-5", "Inches"}};
  int i = 0;
  for (const CTab& tab : tabs) {
    EXPECT_EQ(tab.RecipientID, "7");
    EXPECT_EQ(tab.Type, expected[i].type);
    EXPECT_EQ(tab.AnchorTabString, expected[i].text);
    EXPECT_EQ(tab.XOffset, expected[i].x);
    EXPECT_EQ(tab.YOffset, "0");
    EXPECT_EQ(tab.Unit, expected[i].unit);
    EXPECT_EQ(tab.PageNumber, "");
    ++i;
  }
}

TEST_F(AnchorTest, OnlyRolesThatUseAnchorsGiveTabs) {
  CRole role;
  SwitchSlot(role, "Custom", 0, true);
  role.UseAnchors = 0;
  CTabList tabs;
  EXPECT_EQ(AnchorsToTabs(role, 1, tabs), 0);

  // A slot marked present without a tab type is not a slot in use.
  CRole odd;
  odd.UseAnchors = 1;
  odd.Anchors[1].Present = 1;
  odd.Anchors[1].Text = "x";
  EXPECT_EQ(AnchorsToTabs(odd, 1, tabs), 0);
  EXPECT_TRUE(tabs.empty());
}

TEST_F(AnchorTest, EveryRecipientWithAnchorsGetsItsTabsUnderItsNumber) {
  CRecipList recipients;
  CRecip& first = recipients.Emplace();
  first.ID = 1;
  first.Role = std::make_unique<CRole>();
  first.Role->RoleName = "Buyer";
  SwitchSlot(*first.Role, "Custom", 0, true);
  CRecip& plain = recipients.Emplace();  // no role object
  plain.ID = 2;
  CRecip& third = recipients.Emplace();
  third.ID = 3;
  third.Role = std::make_unique<CRole>();
  third.Role->AnchorLabel = "2";
  SwitchSlot(*third.Role, "Sertifi", 0, true);
  SwitchSlot(*third.Role, "Sertifi", 2, true);

  CTabList tabs;
  EXPECT_EQ(AnchorsToTabs(recipients, tabs), 3);
  std::vector<std::string> seen;
  for (const CTab& tab : tabs) seen.push_back(tab.RecipientID + ":" + tab.AnchorTabString);
  EXPECT_EQ(seen, (std::vector<std::string>{"1:[BuyerSignHere]", "3:SertifiSignature_2",
                                            "3:SertifiDate_2"}));
}

}  // namespace

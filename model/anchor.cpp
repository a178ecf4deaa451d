#include "model/anchor.h"

#include <array>

#include "model/recipient.h"
#include "model/role.h"

namespace {

struct SlotFormat {
  const char* type;
  const char* echoSign;  // no closing braces: the text is the start of the tag in the document
  const char* sertifi;
};

constexpr std::array<SlotFormat, CRole::kAnchorSlots> kSlots{{
    {"SignHere", "{{_es_%s_signature", "SertifiSignature_%s"},
    {"InitialHere", "{{_es_%s_initials", "SertifiInitial_%s"},
    {"DateSigned", "{{_es_%s_date", "SertifiDate_%s"},
    {"FullName", "{{_es_%s_fullname", "SertifiName_%s"},
    {"Company", "{{_es_%s_company", "SertifiCompany_%s"},
    {"Title", "{{_es_%s_title", "SertifiTitle_%s"},
}};

bool ValidSlot(int index) { return index >= 0 && index < static_cast<int>(kSlots.size()); }

// `format` holds one "%s".
std::string Fill(std::string_view format, std::string_view designation) {
  const std::size_t at = format.find("%s");
  std::string text(format.substr(0, at));
  text += designation;
  text += format.substr(at + 2);
  return text;
}

}  // namespace

CAnchor::CAnchor() : CXMLElem("Anchor") {}

CAnchor::~CAnchor() = default;

void CAnchor::Copy(const CAnchor& source) {
  if (&source == this) return;
  SetTagName(source.TagName());
  Text = source.Text;
  Index = source.Index;
  Type = source.Type;
  XOffset = source.XOffset;
  YOffset = source.YOffset;
  Units = source.Units;
  Present = source.Present;
}

std::unique_ptr<CAnchor> CAnchor::Clone() const {
  auto copy = std::make_unique<CAnchor>();
  copy->Copy(*this);
  return copy;
}

std::string_view AnchorType(int index) { return ValidSlot(index) ? kSlots[index].type : ""; }

void ResetSlot(CRole& role, int index, std::int32_t present) {
  if (!ValidSlot(index)) return;
  role.UseAnchors = 1;
  CAnchor& slot = role.Anchors[index];
  slot.Index = index;
  slot.Type = kSlots[index].type;
  slot.Present = present;
  slot.Text.clear();
  slot.XOffset = "0";
  slot.YOffset = "0";
  slot.Units = "Cms";
}

std::string MakeAnchorText(std::string_view syntax, std::string_view roleLabel,
                           std::string_view designation, int index) {
  if (!ValidSlot(index)) return {};
  if (syntax == kSyntaxEchoSign) return Fill(kSlots[index].echoSign, designation);
  if (syntax == kSyntaxSertifi) return Fill(kSlots[index].sertifi, designation);
  std::string text = "[";
  text += roleLabel.empty() ? std::string_view("Signer") : roleLabel;
  text += kSlots[index].type;
  text += "]";
  return text;
}

std::string MakeAnchorText(std::string_view syntax, const CRole& role, int index) {
  return MakeAnchorText(syntax, role.RoleName, role.AnchorLabel, index);
}

void SwitchSlot(CRole& role, std::string_view syntax, int index, bool on) {
  if (!ValidSlot(index)) return;
  CAnchor& slot = role.Anchors[index];
  if (slot.Index != index) ResetSlot(role, index, 0);
  slot.Present = on ? 1 : 0;
  slot.Text = on ? MakeAnchorText(syntax, role, index) : std::string();
}

void SetAnchorDesignation(CRole& role, std::string_view syntax, std::string designation) {
  role.AnchorLabel = std::move(designation);
  for (int i = 0; i < static_cast<int>(kSlots.size()); ++i)
    if (role.Anchors[i].Present) role.Anchors[i].Text = MakeAnchorText(syntax, role, i);
}

std::string ParticipantDesignation(std::string_view syntax, int number, bool sender,
                                   std::string_view roleName) {
  if (syntax == kSyntaxEchoSign) {
    if (sender) return "sender";
    return number == 1 ? "signer" : "signer" + std::to_string(number);
  }
  if (syntax == kSyntaxSertifi) return std::to_string(number);
  return roleName.empty() ? "Signer" : std::string(roleName);
}

int AnchorsToTabs(const CRole& role, std::int32_t recipientID, COwnedList<CTab>& tabs) {
  if (!role.UseAnchors) return 0;
  int made = 0;
  for (const CAnchor& slot : role.Anchors) {
    if (slot.Index == -1 || !slot.Present) continue;
    auto tab = std::make_unique<CTab>();
    tab->RecipientID = std::to_string(recipientID);
    tab->Type = slot.Type;
    tab->AnchorTabString = slot.Text;
    tab->XOffset = slot.XOffset;
    tab->YOffset = slot.YOffset;
    tab->Unit = slot.Units;
    tabs.Append(std::move(tab));
    ++made;
  }
  return made;
}

int AnchorsToTabs(const COwnedList<CRecip>& recipients, COwnedList<CTab>& tabs) {
  int made = 0;
  for (const CRecip& recip : recipients)
    if (recip.Role) made += AnchorsToTabs(*recip.Role, recip.ID, tabs);
  return made;
}

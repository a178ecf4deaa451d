#pragma once
// One anchor slot of a role: the text the service searches for in the documents to place one
// tab type of the role's recipient. Also the three tag syntaxes that make those texts, and the
// turning of a recipient's anchor slots into anchor tabs for the envelope request.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/xmlio.h"
#include "model/ownedlist.h"
#include "model/tab.h"

class CRole;
class CRecip;

class CAnchor : public CXMLElem {
 public:
  CAnchor();
  ~CAnchor() override;

  // Copies every member; nothing happens when `source` is this anchor.
  void Copy(const CAnchor& source);
  std::unique_ptr<CAnchor> Clone() const;

  std::string Text;            // searched for in the documents
  std::int32_t Index = -1;     // tab-type index 0 to 5; -1 unassigned
  std::string Type;            // tab type name ("SignHere"...)
  std::string XOffset;         // decimal text
  std::string YOffset;         // decimal text
  std::string Units;           // unit of the offsets, passed on unchanged
  std::int32_t Present = 0;    // the slot is in use
};

// The anchor-tag syntaxes a blueprint may use.
inline constexpr const char* kSyntaxCustom = "Custom";  // the default
inline constexpr const char* kSyntaxEchoSign = "EchoSign";
inline constexpr const char* kSyntaxSertifi = "Sertifi";

// The tab type of slot `index` ("SignHere", "InitialHere", "DateSigned", "FullName",
// "Company", "Title"); empty outside 0 to 5.
std::string_view AnchorType(int index);

// Resets slot `index` (0 to 5; any other index changes nothing): the role then places its
// tabs by anchor text, and the slot gets its tab type, `present`, an empty text, offsets "0"
// and units "Cms".
void ResetSlot(CRole& role, int index, std::int32_t present);

// The anchor text of slot `index` in `syntax`: for "EchoSign" and "Sertifi" their tag with
// `designation` in it; otherwise (the "Custom" bracket tags) "[" + label + type + "]", where an
// empty `roleLabel` counts as "Signer". Empty for an index outside 0 to 5.
std::string MakeAnchorText(std::string_view syntax, std::string_view roleLabel,
                           std::string_view designation, int index);
// The text of the role's slot `index`: the Custom label is the role's name, the designation
// its `AnchorLabel`.
std::string MakeAnchorText(std::string_view syntax, const CRole& role, int index);

// Switches slot `index` on (present, with the text of `syntax`) or off (not present, no text).
void SwitchSlot(CRole& role, std::string_view syntax, int index, bool on);
// Gives the role a new designation and computes the text of every switched-on slot again.
void SetAnchorDesignation(CRole& role, std::string_view syntax, std::string designation);
// The designation of the `number`th participant of a blueprint (counted from 1): "EchoSign"
// gives "sender" for the sender, "signer" for the first and "signer<n>" for the others;
// "Sertifi" the number; "Custom" the role name, or "Signer" without one.
std::string ParticipantDesignation(std::string_view syntax, int number, bool sender,
                                   std::string_view roleName);

// Appends one anchor tab per switched-on slot of `role` (in slot order) for the recipient
// numbered `recipientID`, when the role places its tabs by anchor text. Returns how many.
int AnchorsToTabs(const CRole& role, std::int32_t recipientID, COwnedList<CTab>& tabs);
// The same for every recipient that plays a role with anchors, in list order.
int AnchorsToTabs(const COwnedList<CRecip>& recipients, COwnedList<CTab>& tabs);

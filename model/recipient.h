#pragma once
// One recipient of a transaction (a mail recipient or a blueprint signer) and the helpers that
// pair mail recipients with blueprint signers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/xmlio.h"
#include "model/ownedlist.h"
#include "model/role.h"
#include "platform/win/hresult.h"

class CRecip : public CXMLElem {
 public:
  // Empty for a mail recipient, "Signer" for one read from a blueprint.
  explicit CRecip(std::string tagName = {});
  // Unpairs: nobody keeps pointing at a deleted recipient.
  ~CRecip() override;

  // Copies every member except FromMail: the role object is replaced by a deep copy of the
  // source's (or none), the link is copied as a pointer, and the source's role choices and
  // candidate names are appended to this recipient's own. Nothing happens when `source` is
  // this recipient.
  void Copy(const CRecip& source);
  // A new recipient equal to this one, FromMail included, linked to the same partner.
  std::unique_ptr<CRecip> Clone() const;

  // The recipient this one is paired with (not owned). The pointer is cleared when that
  // recipient is deleted, so it never dangles.
  CRecip* Link() const { return link_; }
  void SetLink(CRecip* partner);
  bool IsPaired() const { return link_ != nullptr; }
  // Links `a` and `b` to each other.
  static void Pair(CRecip& a, CRecip& b);

  std::int32_t Excluded = 0;     // not written into a blueprint
  std::int32_t FromMail = 0;     // came from the mail item's own recipients
  std::string Name;              // display name, sent as UserName
  std::string Email;             // SMTP address
  std::string Type = "Signer";   // "Signer", "Carbon Copy" or "Certified Delivery"
  std::unique_ptr<CRole> Role;   // the role played, with its anchor slots; may be absent
  std::string RoleName;          // role name (the blueprint's Role element)
  std::vector<std::string> RoleChoices;  // role names still open to this recipient
  std::string AccessCode;
  std::string IDCheck = "No";    // "Yes" is sent as RequireIDLookup true
  std::int32_t MailType = 1;     // the mail recipient type: 1 To, 2 Cc, 3 Bcc
  std::int32_t ID = 0;           // RecipientID outside a broadcast
  std::int32_t BroadcastID = 0;  // number given while a broadcast request is written
  std::string Note;              // private note to the recipient
  std::vector<std::string> Candidates;  // full names the service knows for the address
  std::int32_t Sequence = -1;    // signing sequence from the blueprint
  std::string RoutingOrder;
  std::int32_t BroadcastFixed = 0;  // numbered from 2 upwards in a broadcast request
  std::int32_t Sender = 0;       // the signer stands for the sending user
  std::int32_t HardCoded = 0;    // added from a blueprint signer with fixed name and address

 private:
  void Unlink();

  CRecip* link_ = nullptr;
  std::vector<CRecip*> linkedBy_;  // the recipients whose link is this one
};

using CRecipList = COwnedList<CRecip>;

// Clears every recipient's link; with `deleteHardCoded` also deletes the recipients that were
// added from blueprint signers.
void UnpairAll(CRecipList& recipients, bool deleteHardCoded);
// The number of recipients without a link.
int CountUnpaired(const CRecipList& recipients);
// The first recipient without a link at or after `pos`; `pos` moves past it (to end() when
// none is left, and the result is then null). Start with `pos` = recipients.begin().
CRecip* NextUnpaired(CRecipList& recipients, CRecipList::iterator& pos);
// True when a recipient stands for the sending user.
bool HasSender(const CRecipList& recipients);
// Each paired recipient takes everything from its partner except its own Name, Email,
// HardCoded, FromMail and link. Stops at the first failure and returns it.
HRESULT MergePaired(CRecipList& recipients);

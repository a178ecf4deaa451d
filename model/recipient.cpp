#include "model/recipient.h"

#include <algorithm>
#include <utility>

#include "foundation/guard.h"

CRecip::CRecip(std::string tagName) : CXMLElem(std::move(tagName)) {}

CRecip::~CRecip() {
  Unlink();
  for (CRecip* follower : linkedBy_) follower->link_ = nullptr;
}

void CRecip::Unlink() {
  if (!link_) return;
  auto& followers = link_->linkedBy_;
  followers.erase(std::find(followers.begin(), followers.end(), this));
  link_ = nullptr;
}

void CRecip::SetLink(CRecip* partner) {
  if (partner == link_) return;
  // Registered first: when that fails the old link stays as it was.
  if (partner) partner->linkedBy_.push_back(this);
  Unlink();
  link_ = partner;
}

void CRecip::Pair(CRecip& a, CRecip& b) {
  a.SetLink(&b);
  b.SetLink(&a);
}

void CRecip::Copy(const CRecip& source) {
  if (&source == this) return;
  // What can fail is built first, so that a failure leaves this recipient as it was.
  std::unique_ptr<CRole> role = source.Role ? source.Role->Clone() : nullptr;
  std::vector<std::string> roleChoices = RoleChoices;
  roleChoices.insert(roleChoices.end(), source.RoleChoices.begin(), source.RoleChoices.end());
  std::vector<std::string> candidates = Candidates;
  candidates.insert(candidates.end(), source.Candidates.begin(), source.Candidates.end());
  SetLink(source.link_);

  SetTagName(source.TagName());
  Excluded = source.Excluded;
  Name = source.Name;
  Email = source.Email;
  Type = source.Type;
  Role = std::move(role);
  RoleName = source.RoleName;
  RoleChoices = std::move(roleChoices);
  AccessCode = source.AccessCode;
  IDCheck = source.IDCheck;
  MailType = source.MailType;
  ID = source.ID;
  BroadcastID = source.BroadcastID;
  Note = source.Note;
  Candidates = std::move(candidates);
  Sequence = source.Sequence;
  RoutingOrder = source.RoutingOrder;
  BroadcastFixed = source.BroadcastFixed;
  Sender = source.Sender;
  HardCoded = source.HardCoded;
}

std::unique_ptr<CRecip> CRecip::Clone() const {
  auto copy = std::make_unique<CRecip>();
  copy->Copy(*this);
  copy->FromMail = FromMail;
  return copy;
}

void UnpairAll(CRecipList& recipients, bool deleteHardCoded) {
  for (CRecip& recip : recipients) recip.SetLink(nullptr);
  if (deleteHardCoded)
    recipients.RemoveIf([](const CRecip& recip) { return recip.HardCoded != 0; });
}

int CountUnpaired(const CRecipList& recipients) {
  return static_cast<int>(std::count_if(recipients.begin(), recipients.end(),
                                        [](const CRecip& recip) { return !recip.IsPaired(); }));
}

CRecip* NextUnpaired(CRecipList& recipients, CRecipList::iterator& pos) {
  while (pos != recipients.end()) {
    CRecip& recip = *pos++;
    if (!recip.IsPaired()) return &recip;
  }
  return nullptr;
}

bool HasSender(const CRecipList& recipients) {
  return recipients.FindIf([](const CRecip& recip) { return recip.Sender != 0; }) != nullptr;
}

HRESULT MergePaired(CRecipList& recipients) {
  return Guarded("CRecip::MergePaired", [&] {
    for (CRecip& recip : recipients) {
      CRecip* partner = recip.Link();
      if (!partner) continue;
      std::string name = recip.Name;
      std::string email = recip.Email;
      const std::int32_t hardCoded = recip.HardCoded;
      recip.Copy(*partner);  // leaves FromMail alone
      // The pairing is the recipient's own: the partner's link points back here (or nowhere,
      // in a broadcast), and copying it would unpair the recipient or pair it with itself.
      recip.SetLink(partner);
      recip.Name = std::move(name);
      recip.Email = std::move(email);
      recip.HardCoded = hardCoded;
    }
  });
}

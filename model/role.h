#pragma once
// A role: a template recipient, or a role derived from a blueprint signer, with its six anchor
// slots.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/xmlio.h"
#include "model/anchor.h"
#include "model/ownedlist.h"

class CRole : public CXMLElem {
 public:
  // One slot per tab type; slot i always belongs to tab type i.
  static constexpr std::size_t kAnchorSlots = 6;

  CRole();
  ~CRole() override;

  // Copies every text and integer and the six anchor slots one by one. Nothing happens when
  // `source` is this role.
  void Copy(const CRole& source);
  std::unique_ptr<CRole> Clone() const;

  std::string RoleName;
  std::string RoleTitle;         // second copy of the role name
  std::string ID;                // recipient ID of the role, decimal text
  std::string UserName;          // default name
  std::string Email;             // default address
  std::string Type;              // recipient type
  std::string RoutingOrder;
  std::string AccessCode;
  std::string RequireIDLookup;   // "true" or "false"
  std::string TemplateLocked;    // as the service gives it
  std::string TemplateRequired;  // as the service gives it
  std::string AnchorLabel;       // designation of the role's anchor set
  std::int32_t UseAnchors = 0;   // the role's tabs are placed by anchor text
  std::array<CAnchor, kAnchorSlots> Anchors;
};

using CRoleList = COwnedList<CRole>;

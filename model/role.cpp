#include "model/role.h"

CRole::CRole() : CXMLElem("Recipient") {}

CRole::~CRole() = default;

void CRole::Copy(const CRole& source) {
  if (&source == this) return;
  SetTagName(source.TagName());
  RoleName = source.RoleName;
  RoleTitle = source.RoleTitle;
  ID = source.ID;
  UserName = source.UserName;
  Email = source.Email;
  Type = source.Type;
  RoutingOrder = source.RoutingOrder;
  AccessCode = source.AccessCode;
  RequireIDLookup = source.RequireIDLookup;
  TemplateLocked = source.TemplateLocked;
  TemplateRequired = source.TemplateRequired;
  AnchorLabel = source.AnchorLabel;
  UseAnchors = source.UseAnchors;
  for (std::size_t i = 0; i < kAnchorSlots; ++i) Anchors[i].Copy(source.Anchors[i]);
}

std::unique_ptr<CRole> CRole::Clone() const {
  auto copy = std::make_unique<CRole>();
  copy->Copy(*this);
  return copy;
}

#include "model/tab.h"

namespace {

std::unique_ptr<CKeywordValue> CloneField(const std::unique_ptr<CKeywordValue>& field) {
  return field ? field->Clone() : nullptr;
}

}  // namespace

CTab::CTab() : CXMLElem("Tab") {}

CTab::~CTab() = default;

void CTab::Copy(const CTab& source) {
  if (&source == this) return;
  // The field copies are made first, so that a failure leaves the old fields in place.
  auto bound = CloneField(source.BoundField);
  auto group = CloneField(source.GroupField);
  SetTagName(source.TagName());
  DocumentID = source.DocumentID;
  RecipientID = source.RecipientID;
  PageNumber = source.PageNumber;
  ScaleValue = source.ScaleValue;
  Type = source.Type;
  XPosition = source.XPosition;
  YPosition = source.YPosition;
  Name = source.Name;
  TabLabel = source.TabLabel;
  Value = source.Value;
  CustomTabType = source.CustomTabType;
  CustomTabWidth = source.CustomTabWidth;
  CustomTabHeight = source.CustomTabHeight;
  CustomTabRequired = source.CustomTabRequired;
  CustomTabLocked = source.CustomTabLocked;
  CustomTabDisableAutoSize = source.CustomTabDisableAutoSize;
  CustomTabValidationPattern = source.CustomTabValidationPattern;
  CustomTabValidationMessage = source.CustomTabValidationMessage;
  TemplateLocked = source.TemplateLocked;
  TemplateRequired = source.TemplateRequired;
  AnchorTabString = source.AnchorTabString;
  XOffset = source.XOffset;
  YOffset = source.YOffset;
  Unit = source.Unit;
  RequiredFlag = source.RequiredFlag;
  LockedFlag = source.LockedFlag;
  BoundField = std::move(bound);
  GroupField = std::move(group);
}

std::unique_ptr<CTab> CTab::Clone() const {
  auto copy = std::make_unique<CTab>();
  copy->Copy(*this);
  return copy;
}

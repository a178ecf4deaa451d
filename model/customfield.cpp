#include "model/customfield.h"

CCustomField::CCustomField() : CXMLElem("CustomField") {}

CCustomField::~CCustomField() = default;

void CCustomField::Copy(const CCustomField& source) {
  if (&source == this) return;
  SetTagName(source.TagName());
  Name = source.Name;
  Show = source.Show;
  ShowFlag = source.ShowFlag;
  Required = source.Required;
  RequiredFlag = source.RequiredFlag;
  Value = source.Value;
}

std::unique_ptr<CCustomField> CCustomField::Clone() const {
  auto copy = std::make_unique<CCustomField>();
  copy->Copy(*this);
  return copy;
}

void CCustomField::SetFlags() {
  ShowFlag = IsTrueText(Show) ? 1 : 0;
  RequiredFlag = IsTrueText(Required) ? 1 : 0;
}

#include "model/keywordvalue.h"

#include <utility>

CKeywordValue::CKeywordValue(std::string tagName) : CXMLElem(std::move(tagName)) {}

CKeywordValue::~CKeywordValue() = default;

void CKeywordValue::Copy(const CKeywordValue& source) {
  if (&source == this) return;
  SetTagName(source.TagName());
  Keyword = source.Keyword;
  Value = source.Value;
  Kind = source.Kind;
  Prompt = source.Prompt;
  ValidationPattern = source.ValidationPattern;
  ValidationMessage = source.ValidationMessage;
  Required = source.Required;
  Editable = source.Editable;
  ByLabel = source.ByLabel;
  Selected = source.Selected;
  Tag = source.Tag;
  Choices.insert(Choices.end(), source.Choices.begin(), source.Choices.end());
}

std::unique_ptr<CKeywordValue> CKeywordValue::Clone() const {
  auto copy = std::make_unique<CKeywordValue>();
  copy->Copy(*this);
  return copy;
}

#include "model/document.h"

CeDoc::CeDoc() : CXMLElem("Document") {}

CeDoc::~CeDoc() = default;

void CeDoc::Copy(const CeDoc& source) {
  if (&source == this) return;
  // The copies are made first, so that a failure leaves the fields as they were.
  CKeywordList fields = CloneItems(source.Fields);
  SetTagName(source.TagName());
  Name = source.Name;
  Description = source.Description;
  Key = source.Key;
  FilePath = source.FilePath;
  Extension = source.Extension;
  Source = source.Source;
  Fields.Swap(fields);
}

std::unique_ptr<CeDoc> CeDoc::Clone() const {
  auto copy = std::make_unique<CeDoc>();
  copy->Copy(*this);
  return copy;
}

std::string CeDoc::FileExtension() const {
  if (!Extension.empty()) return Extension;
  const auto dot = Name.find_last_of('.');
  return dot == std::string::npos ? std::string() : Name.substr(dot + 1);
}

#include "model/anchor.h"

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

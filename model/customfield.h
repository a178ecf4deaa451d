#pragma once
// A custom envelope field of a service template, sent with the envelope it governs.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/xmlio.h"
#include "model/ownedlist.h"

class CCustomField : public CXMLElem {
 public:
  CCustomField();
  ~CCustomField() override;

  // Copies every text and flag; nothing happens when `source` is this field.
  void Copy(const CCustomField& source);
  std::unique_ptr<CCustomField> Clone() const;
  // Sets both flags from their texts: only "True" and "true" count as true.
  void SetFlags();

  std::string Name;
  std::string Show;
  std::int32_t ShowFlag = 0;
  std::string Required;
  std::int32_t RequiredFlag = 0;
  std::string Value;
};

using CCustomFieldList = COwnedList<CCustomField>;

// The service's two spellings of a true boolean.
inline bool IsTrueText(std::string_view text) { return text == "True" || text == "true"; }

#pragma once
// A keyword/value row: a document's form field (keyword = field name, value = the role that
// fills it in), a template parameter of the wizard, or a row of a blueprint summary.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/xmlio.h"
#include "model/ownedlist.h"

class CKeywordValue : public CXMLElem {
 public:
  explicit CKeywordValue(std::string tagName = {});
  ~CKeywordValue() override;

  // Copies the tag name, every text and integer, and appends the source's choices to this
  // row's own. Nothing happens when `source` is this row.
  void Copy(const CKeywordValue& source);
  // A new row equal to this one.
  std::unique_ptr<CKeywordValue> Clone() const;

  std::string Keyword;             // field or option name
  std::string Value;               // current value
  std::string Kind = "Text";       // "Text", "List", or a custom tab type
  std::string Prompt;              // shown while the value is empty
  std::string ValidationPattern;   // regular expression a typed value must match
  std::string ValidationMessage;   // shown when it does not
  std::int32_t Required = 0;       // a value must be given
  std::int32_t Editable = 1;       // 1 typed values allowed; 0 only a choice from Choices
  std::int32_t ByLabel = 0;        // a tab bound to this field is sent by its label only
  std::int32_t Selected = -1;      // index into Choices, -1 for none
  std::vector<std::string> Choices;
  std::int32_t Tag = 0;            // which option the row stands for
};

using CKeywordList = COwnedList<CKeywordValue>;

#pragma once
// One tab ("sticky tab") of a transaction. Its values are the service's wire texts.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/xmlio.h"
#include "model/keywordvalue.h"
#include "model/ownedlist.h"

class CTab : public CXMLElem {
 public:
  CTab();
  ~CTab() override;

  // Copies every text and the two flags and replaces both fields with new deep copies of the
  // source's (or none). Nothing happens when `source` is this tab.
  void Copy(const CTab& source);
  std::unique_ptr<CTab> Clone() const;

  std::string DocumentID;
  std::string RecipientID;
  std::string PageNumber;
  std::string ScaleValue;
  std::string Type;
  std::string XPosition;
  std::string YPosition;
  std::string Name;
  std::string TabLabel;
  std::string Value;
  std::string CustomTabType;
  std::string CustomTabWidth;
  std::string CustomTabHeight;
  std::string CustomTabRequired;
  std::string CustomTabLocked;
  std::string CustomTabDisableAutoSize;
  std::string CustomTabValidationPattern;
  std::string CustomTabValidationMessage;
  std::string TemplateLocked;
  std::string TemplateRequired;
  std::string AnchorTabString;
  std::string XOffset;
  std::string YOffset;
  std::string Unit;
  std::int32_t RequiredFlag = 0;  // TemplateRequired is "true"
  std::int32_t LockedFlag = 0;    // TemplateLocked is "true"
  // The form field or template parameter row the tab stands for, and the field a radio tab is
  // checked against; the tab owns its copies.
  std::unique_ptr<CKeywordValue> BoundField;
  std::unique_ptr<CKeywordValue> GroupField;
};

using CTabList = COwnedList<CTab>;

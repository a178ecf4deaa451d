#pragma once
// One anchor slot of a role: the text the service searches for in the documents to place one
// tab type of the role's recipient.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/xmlio.h"

class CAnchor : public CXMLElem {
 public:
  CAnchor();
  ~CAnchor() override;

  // Copies every member; nothing happens when `source` is this anchor.
  void Copy(const CAnchor& source);
  std::unique_ptr<CAnchor> Clone() const;

  std::string Text;            // searched for in the documents
  std::int32_t Index = -1;     // tab-type index 0 to 5; -1 unassigned
  std::string Type;            // tab type name ("SignHere"...)
  std::string XOffset;         // decimal text
  std::string YOffset;         // decimal text
  std::string Units;           // unit of the offsets, passed on unchanged
  std::int32_t Present = 0;    // the slot is in use
};

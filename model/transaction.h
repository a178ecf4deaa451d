#pragma once
// The in-memory form of one e-signature transaction: documents, recipients, roles, tabs,
// keyword rows, the e-mail texts and the expiry and reminder periods. CBlueprint and CTemplate
// derive from it; `ClassName` tells them apart.
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/xmlio.h"
#include "model/document.h"
#include "model/keywordvalue.h"
#include "model/recipient.h"
#include "model/role.h"
#include "model/tab.h"
#include "platform/win/hresult.h"

// A 64-bit file time (100-nanosecond ticks since 1601) kept as two 32-bit words.
struct FileTimeWords {
  std::uint32_t Low = 0;
  std::uint32_t High = 0;

  std::uint64_t Ticks() const { return (std::uint64_t{High} << 32) | Low; }
  static FileTimeWords FromTicks(std::uint64_t ticks) {
    return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
  }
  friend bool operator==(const FileTimeWords&, const FileTimeWords&) = default;
};

class CTransaction : public CXMLElem {
 public:
  ~CTransaction() override;

  // Deep copy: the scalar members (`CopyScalars`), then each list replaced by copies of the
  // source's items in list order. Recipients linked to recipients of the source are linked to
  // their copies. Nothing happens when `source` is this transaction. On failure this
  // transaction's lists are left as they were. S_OK or E_OUTOFMEMORY.
  virtual HRESULT Assign(const CTransaction& source);
  // Writes the transaction to its file.
  virtual HRESULT Save() = 0;
  // Reads the transaction from `path`.
  virtual HRESULT Load(const std::string& path) = 0;
  // Deletes the documents, recipients, roles and tabs. The keyword rows stay.
  virtual void Clear();
  // Copies the members below except the lists and `ClassName`.
  virtual void CopyScalars(const CTransaction& source);

  // True when `ClassName` is exactly `className` (case-sensitive).
  bool IsKindOf(std::string_view className) const { return ClassName == className; }

  std::string Name;            // a blueprint's file base name, a template's name
  std::string Path;            // file the transaction was read from
  std::string Description;
  std::string LastModified;    // the service's stamp (templates)
  FileTimeWords FileTime;      // last-write time of the blueprint file
  std::string Subject;         // e-mail subject of the envelope
  std::string Message;         // e-mail message, sent as EmailBlurb
  std::string TabsXml;         // XML of a template definition's Tabs section
  // The concrete kind, "CBlueprint" or "CTemplate". It is the object's own and never copied:
  // a blueprint that took a template's values is still a blueprint.
  const std::string ClassName;
  std::string ReminderEnabled;   // a template's text
  std::int32_t RemindIn = 0;     // days before the first reminder; 0 none
  std::int32_t RemindFreq = 0;   // days between reminders
  std::string ExpireEnabled;     // a template's text
  std::int32_t ExpiresIn = 0;    // days until the envelope expires; 0 never
  std::int32_t WarnIn = 0;       // days before expiry a warning is sent

  CTabList Tabs;
  CRoleList Roles;
  CKeywordList Keywords;
  CRecipList Recipients;
  CDocList Documents;

 protected:
  explicit CTransaction(std::string className);
};

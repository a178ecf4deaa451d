#include "model/transaction.h"

#include <unordered_map>
#include <utility>

#include "foundation/guard.h"

namespace {

// Copies of the source's recipients. A link between two recipients of the source becomes a
// link between their copies; a link to anyone else is copied as it is.
CRecipList CloneRecipients(const CRecipList& source) {
  CRecipList copies;
  std::unordered_map<const CRecip*, CRecip*> copyOf;
  for (const CRecip& recip : source) copyOf[&recip] = copies.Append(recip.Clone());
  for (CRecip& copy : copies) {
    auto it = copyOf.find(copy.Link());
    if (it != copyOf.end()) copy.SetLink(it->second);
  }
  return copies;
}

}  // namespace

CTransaction::CTransaction(std::string className) : ClassName(std::move(className)) {}

CTransaction::~CTransaction() = default;

HRESULT CTransaction::Assign(const CTransaction& source) {
  if (&source == this) return S_OK;
  return Guarded("CTransaction::Assign", [&] {
    // Every copy is made before anything changes here, so a failure changes no list.
    CDocList documents = CloneItems(source.Documents);
    CRecipList recipients = CloneRecipients(source.Recipients);
    CRoleList roles = CloneItems(source.Roles);
    CTabList tabs = CloneItems(source.Tabs);
    CKeywordList keywords = CloneItems(source.Keywords);
    CopyScalars(source);
    Documents.Swap(documents);
    Recipients.Swap(recipients);
    Roles.Swap(roles);
    Tabs.Swap(tabs);
    Keywords.Swap(keywords);
  });
}

void CTransaction::Clear() {
  Documents.Clear();
  Recipients.Clear();
  Roles.Clear();
  Tabs.Clear();
}

void CTransaction::CopyScalars(const CTransaction& source) {
  if (&source == this) return;
  Name = source.Name;
  Path = source.Path;
  Description = source.Description;
  LastModified = source.LastModified;
  FileTime = source.FileTime;
  Subject = source.Subject;
  Message = source.Message;
  TabsXml = source.TabsXml;
  ReminderEnabled = source.ReminderEnabled;
  RemindIn = source.RemindIn;
  RemindFreq = source.RemindFreq;
  ExpireEnabled = source.ExpireEnabled;
  ExpiresIn = source.ExpiresIn;
  WarnIn = source.WarnIn;
}

#pragma once
// Outlook items: mail, task, contact and journal items (and plain appointments and notes),
// one automation object per item with the members of its kind. Changes stay in the object
// until Save writes the whole item to the store in one transaction.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/session.h"
#include "platform/outlook/store.h"

namespace outlook {

// Object class (Class property) of an item type, and the other way round; 0 / -1 when unknown.
int ClassOfItemType(int itemType);
int ItemTypeOfClass(int objectClass);
// "IPM.Note", "IPM.Task", "IPM.Contact", "IPM.Activity", ...
std::string DefaultMessageClass(int objectClass);
// The object class a message class belongs to ("IPM.Task.Attestra" is a task); 0 when unknown.
int ClassOfMessageClass(std::string_view messageClass);
// The default folder a new item of that type goes to (CreateItem).
int DefaultFolderOfItemType(int itemType);

class ItemObject : public com::DispatchObject {
 public:
  ItemObject(std::shared_ptr<Session> session, ItemRecord record);

  Session& GetSession() { return *session_; }
  std::shared_ptr<Session> SessionPtr() const { return session_; }
  ItemRecord& Record() { return record_; }
  int ObjectClass() const { return record_.objectClass; }
  bool IsStored() const { return record_.id != 0; }
  bool IsDeleted() const { return deleted_; }
  void Touch() { dirty_ = true; }

  // A plain property's value: the stored one or the kind's default.
  com::Variant Prop(std::string_view name) const;
  void SetProp(std::string_view name, com::Variant value);
  std::string Text(std::string_view name) const;

  HRESULT Save();
  // olSave, olDiscard or olPromptForSave (saved): fires the item's Close event first.
  HRESULT Close(int saveMode);
  // Into Deleted Items; from Deleted Items for good.
  HRESULT Delete();
  HRESULT Move(std::int64_t folderId);
  // The item as an RFC 5322 message (SaveAs type 3).
  HRESULT WriteMessageFile(const std::string& path);
  std::string MessageText();

  // Turns the item into a received message: sent, with sender and times (delivery).
  void MarkReceived(std::string_view senderName, std::string_view senderAddress);

  // Recipients' To/CC/BCC texts: names joined by "; ".
  std::string RecipientText(int type) const;
  void SetRecipientText(int type, std::string_view text);

 protected:
  ~ItemObject() override;

 private:
  void AddCommonMembers();
  void AddMailMembers();
  void AddTaskMembers();
  void AddContactMembers();
  void AddJournalMembers();
  void AddPlain(const char* name, com::VarType type, bool writable = true);
  void Reload();
  HRESULT Display(bool modal);

  std::shared_ptr<Session> session_;
  ItemRecord record_;
  bool dirty_ = false;
  bool deleted_ = false;
};

}  // namespace outlook

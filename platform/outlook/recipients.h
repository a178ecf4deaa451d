#pragma once
// An item's Recipients, each Recipient, and the address entries they resolve to (with the
// members of a distribution list).
#include <memory>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/item.h"
#include "platform/outlook/session.h"
#include "platform/outlook/store.h"

namespace outlook {

class RecipientsCollection : public com::DispatchObject {
 public:
  explicit RecipientsCollection(com::ComPtr<ItemObject> item);

 private:
  com::ComPtr<ItemObject> item_;
};

class RecipientObject : public com::DispatchObject {
 public:
  // `item` may be null for a recipient that belongs to no item (NameSpace.CreateRecipient).
  RecipientObject(std::shared_ptr<Session> session, com::ComPtr<ItemObject> item, std::shared_ptr<RecipientRecord> record);
  // Resolves the recipient; true when it is resolved afterwards.
  bool Resolve();

 private:
  std::shared_ptr<Session> session_;
  com::ComPtr<ItemObject> item_;
  std::shared_ptr<RecipientRecord> record_;
};

// What an address entry shows; a directory list reads its members from the directory.
struct AddressData {
  std::string name;
  std::string addressType;
  std::string address;
  int displayType = 0;
  std::string entryId;  // hexadecimal
};

class AddressEntryObject : public com::DispatchObject {
 public:
  AddressEntryObject(std::shared_ptr<Session> session, AddressData data);

 private:
  std::shared_ptr<Session> session_;
  AddressData data_;
};

class AddressEntriesCollection : public com::DispatchObject {
 public:
  AddressEntriesCollection(std::shared_ptr<Session> session, std::vector<AddressData> entries);

 private:
  std::shared_ptr<Session> session_;
  std::vector<AddressData> entries_;
};

// The address data of a directory entry.
struct DirectoryEntry;
AddressData AddressOfDirectoryEntry(const DirectoryEntry& entry);

}  // namespace outlook

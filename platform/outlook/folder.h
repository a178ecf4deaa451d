#pragma once
// Folders, a folder's subfolders, and the Items collection that also sources the folder's
// ItemAdd, ItemChange and ItemRemove events.
#include <cstdint>
#include <memory>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/session.h"

namespace outlook {

class ItemObject;

class FolderObject : public com::DispatchObject {
 public:
  FolderObject(std::shared_ptr<Session> session, std::int64_t folderId);
  std::int64_t Id() const { return id_; }
  FolderRecord Record() const;

 private:
  std::shared_ptr<Session> session_;
  std::int64_t id_;
};

class FoldersCollection : public com::DispatchObject {
 public:
  FoldersCollection(std::shared_ptr<Session> session, std::int64_t parentId);

 private:
  std::shared_ptr<Session> session_;
  std::int64_t parentId_;
};

class ItemsCollection : public com::DispatchObject {
 public:
  ItemsCollection(std::shared_ptr<Session> session, std::int64_t folderId);

  void FireItemAdd(ItemObject* item);
  void FireItemChange(ItemObject* item);
  void FireItemRemove();

 protected:
  ~ItemsCollection() override;

 private:
  HRESULT ItemAt(const com::Variant& index, com::Variant& result, bool nothingPastEnd);
  std::shared_ptr<Session> session_;
  std::int64_t folderId_;
  std::size_t cursor_ = 0;  // GetFirst / GetNext
};

// A folder object for a store folder (E_FAIL when the store cannot say).
com::ComPtr<FolderObject> MakeFolder(const std::shared_ptr<Session>& session, std::int64_t folderId);
// The folder an object value stands for (a FolderObject of this process), or 0.
std::int64_t FolderIdOf(const com::Variant& value);

}  // namespace outlook

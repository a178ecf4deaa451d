#include "platform/outlook/folder.h"

#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/events.h"
#include "platform/outlook/item.h"

namespace outlook {
namespace {

template <class T>
T FromStore(const std::function<T()>& body) {
  T value{};
  HRESULT hr = StoreCall([&] { value = body(); });
  if (FAILED(hr)) com::Throw(hr);
  return value;
}

constexpr int kItemsClass = 16;   // olItems
constexpr int kFoldersClass = 15;  // olFolders

}  // namespace

com::ComPtr<FolderObject> MakeFolder(const std::shared_ptr<Session>& session, std::int64_t folderId) {
  return com::Make<FolderObject>(session, folderId);
}

std::int64_t FolderIdOf(const com::Variant& value) {
  if (!value.IsObject()) return 0;
  auto* folder = dynamic_cast<FolderObject*>(value.Dispatch());
  return folder ? folder->Id() : 0;
}

FolderObject::FolderObject(std::shared_ptr<Session> session, std::int64_t folderId)
    : session_(std::move(session)), id_(folderId) {
  Property("Class", [] { return static_cast<int>(olFolder); });
  Property("Name", [this] { return Record().name; });
  Property("EntryID", [this] { return Record().entryId; });
  Property("StoreID", [this] { return session_->Store().StoreUid(); });
  Property("DefaultItemType", [this] { return Record().defaultItemType; });
  Property("DefaultMessageClass", [this] {
    return DefaultMessageClass(ClassOfItemType(Record().defaultItemType));
  });
  Property("Items", [this] { return com::Make<ItemsCollection>(session_, id_); });
  Property("Folders", [this] { return com::Make<FoldersCollection>(session_, id_); });
  Property("Parent", [this](com::Variant& result) -> HRESULT {
    FolderRecord f = Record();
    if (f.parentId == 0) return E_FAIL;  // the root's parent is the namespace, not a folder
    result = com::Variant(MakeFolder(session_, f.parentId));
    return S_OK;
  });
  Property("FolderPath", [this] {
    std::string path;
    for (FolderRecord f = Record();;) {
      path = "\\" + f.name + path;
      if (f.parentId == 0) break;
      f = FromStore<FolderRecord>([&] { return *session_->Store().FolderById(f.parentId); });
    }
    return "\\" + path;
  });
}

FolderRecord FolderObject::Record() const {
  return FromStore<FolderRecord>([&] {
    std::optional<FolderRecord> f = session_->Store().FolderById(id_);
    if (!f) com::Throw(MAPI_E_OBJECT_DELETED);
    return *f;
  });
}

FoldersCollection::FoldersCollection(std::shared_ptr<Session> session, std::int64_t parentId)
    : session_(std::move(session)), parentId_(parentId) {
  Property("Class", [] { return kFoldersClass; });
  Property("Count", [this] {
    return static_cast<int>(
        FromStore<std::vector<FolderRecord>>([&] { return session_->Store().ChildFolders(parentId_); }).size());
  });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    auto folders = FromStore<std::vector<FolderRecord>>([&] { return session_->Store().ChildFolders(parentId_); });
    std::size_t i = IndexArg(a[0], folders.size(), [&](std::size_t k) { return folders[k].name; });
    return MakeFolder(session_, folders[i].id);
  });
  Method("Add", 1, 2, [this](const com::DispParams& a) {
    std::string name = a.Text(0);
    if (name.empty()) com::Throw(E_INVALIDARG);
    int type = a.Has(1) ? a.Int(1) : -1;
    FolderRecord made = FromStore<FolderRecord>([&] {
      if (type < 0) type = session_->Store().FolderById(parentId_)->defaultItemType;
      return session_->Store().AddFolder(parentId_, name, type);
    });
    return MakeFolder(session_, made.id);
  });
}

ItemsCollection::ItemsCollection(std::shared_ptr<Session> session, std::int64_t folderId)
    : session_(std::move(session)), folderId_(folderId) {
  AddEventSource(IID_ItemsEvents);
  session_->Listen(folderId_, this);
  Property("Class", [] { return kItemsClass; });
  Property("Count", [this] {
    return static_cast<int>(FromStore<std::int64_t>([&] { return session_->Store().CountItems(folderId_); }));
  });
  Property("Parent", [this] { return MakeFolder(session_, folderId_); });
  Method("Item", 1, 1, [this](const com::DispParams& a, com::Variant& r) { return ItemAt(a[0], r, false); });
  Method("Add", 0, 1, [this](const com::DispParams& a) {
    int type = -1;
    std::string messageClass;
    if (a.Has(0)) {
      if (a[0].Type() == com::VarType::Text)
        messageClass = a.Text(0);
      else
        type = a.Int(0);
    } else {
      type = FromStore<int>([&] { return session_->Store().FolderById(folderId_)->defaultItemType; });
    }
    com::ComPtr<ItemObject> item;
    HRESULT hr = session_->NewItem(type, messageClass, folderId_, item);
    if (FAILED(hr)) com::Throw(hr);
    return item;
  });
  Method("Remove", 1, 1, [this](const com::DispParams& a) {
    auto ids = FromStore<std::vector<std::int64_t>>([&] { return session_->Store().ItemIds(folderId_); });
    std::int32_t n = a.Int(0);
    if (n < 1 || static_cast<std::size_t>(n) > ids.size()) com::Throw(DISP_E_BADINDEX);
    com::ComPtr<ItemObject> item;
    HRESULT hr = session_->OpenItem(ids[static_cast<std::size_t>(n - 1)], item);
    if (SUCCEEDED(hr)) hr = item->Delete();
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("GetFirst", 0, 0, [this](const com::DispParams&, com::Variant& r) {
    cursor_ = 0;
    return ItemAt(com::Variant(static_cast<int>(++cursor_)), r, true);
  });
  Method("GetNext", 0, 0, [this](const com::DispParams&, com::Variant& r) {
    return ItemAt(com::Variant(static_cast<int>(++cursor_)), r, true);
  });
  Method("GetLast", 0, 0, [this](const com::DispParams&, com::Variant& r) {
    cursor_ = static_cast<std::size_t>(FromStore<std::int64_t>([&] { return session_->Store().CountItems(folderId_); }));
    return ItemAt(com::Variant(static_cast<int>(cursor_)), r, true);
  });
}

ItemsCollection::~ItemsCollection() { session_->Unlisten(folderId_, this); }

HRESULT ItemsCollection::ItemAt(const com::Variant& index, com::Variant& result, bool nothingPastEnd) {
  auto ids = FromStore<std::vector<std::int64_t>>([&] { return session_->Store().ItemIds(folderId_); });
  std::size_t i;
  if (index.Type() == com::VarType::Text) {
    // By the default property, the subject.
    std::string subject = index.AsText();
    for (i = 0; i < ids.size(); ++i) {
      com::ComPtr<ItemObject> item;
      if (SUCCEEDED(session_->OpenItem(ids[i], item)) && item->Text("Subject") == subject) {
        result = com::Variant(item);
        return S_OK;
      }
    }
    return DISP_E_BADINDEX;
  }
  std::int32_t n = index.AsInt();
  if (n < 1 || static_cast<std::size_t>(n) > ids.size()) {
    // GetFirst/GetNext past the end answer Nothing, as Outlook does.
    result = com::Variant(static_cast<IDispatch*>(nullptr));
    return nothingPastEnd ? S_OK : DISP_E_BADINDEX;
  }
  i = static_cast<std::size_t>(n - 1);
  com::ComPtr<ItemObject> item;
  HRESULT hr = session_->OpenItem(ids[i], item);
  if (FAILED(hr)) return hr;
  result = com::Variant(item);
  return S_OK;
}

void ItemsCollection::FireItemAdd(ItemObject* item) {
  FireEvent(IID_ItemsEvents, DISPID_ItemAdd, com::DispParams{com::Variant(static_cast<IDispatch*>(item))});
}

void ItemsCollection::FireItemChange(ItemObject* item) {
  FireEvent(IID_ItemsEvents, DISPID_ItemChange, com::DispParams{com::Variant(static_cast<IDispatch*>(item))});
}

void ItemsCollection::FireItemRemove() { FireEvent(IID_ItemsEvents, DISPID_ItemRemove); }

}  // namespace outlook

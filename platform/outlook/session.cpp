#include "platform/outlook/session.h"

#include "platform/outlook/codes.h"
#include "platform/outlook/folder.h"
#include "platform/outlook/item.h"
#include "platform/win/folders.h"
#include "platform/win/registry.h"

namespace outlook {
namespace {

constexpr const char* kProfilesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

}  // namespace

std::string ProfilesFolder() { return win::AppDataFolder() + "/Outlook"; }

std::string ProfilePath(std::string_view profileName) {
  std::string name(profileName.empty() ? DefaultProfileName() : std::string(profileName));
  // A profile name is a file name here: keep it inside the folder.
  for (char& c : name)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  if (name == "." || name == "..") name = "_";
  return ProfilesFolder() + "/" + name + ".profile";
}

std::string DefaultProfileName() {
  win::RegKey key;
  std::string name;
  if (win::RegKey::Open(win::Hive::CurrentUser, kProfilesKey, key) == ERROR_SUCCESS &&
      key.QueryString("DefaultProfile", name) == ERROR_SUCCESS && !name.empty())
    return name;
  return "Outlook";
}

void SetDefaultProfileName(std::string_view profileName) {
  win::RegKey key;
  if (win::RegKey::Create(win::Hive::CurrentUser, kProfilesKey, "", key) == ERROR_SUCCESS)
    key.SetString("DefaultProfile", profileName);
}

Session::Session(std::unique_ptr<ProfileStore> store, std::string profileName)
    : store_(std::move(store)), profileName_(std::move(profileName)) {}

Session::~Session() = default;

HRESULT Session::Logon(std::string_view profileName, std::shared_ptr<Session>& out, OpenFailure* failure) {
  std::string name(profileName.empty() ? DefaultProfileName() : std::string(profileName));
  std::unique_ptr<ProfileStore> store;
  HRESULT hr = ProfileStore::Open(ProfilePath(name), store, failure);
  if (FAILED(hr)) return hr;
  out.reset(new Session(std::move(store), name));
  return S_OK;
}

bool Session::Offline() {
  bool offline = false;
  StoreCall([&] { offline = store_->Setting("offline").value_or("0") == "1"; });
  return offline;
}

void Session::SetOffline(bool offline) {
  HRESULT hr = StoreCall([&] { store_->SetSetting("offline", offline ? "1" : "0"); });
  if (FAILED(hr)) com::Throw(hr);
}

HRESULT Session::OpenItem(std::int64_t id, com::ComPtr<ItemObject>& out) {
  auto live = live_.find(id);
  if (live != live_.end()) {
    out = com::ComPtr<ItemObject>(live->second);
    return S_OK;
  }
  std::optional<ItemRecord> record;
  HRESULT hr = StoreCall([&] { record = store_->LoadItem(id); });
  if (FAILED(hr)) return hr;
  if (!record) return MAPI_E_NOT_FOUND;
  out = com::Make<ItemObject>(shared_from_this(), std::move(*record));
  return S_OK;
}

HRESULT Session::OpenItemByEntryId(std::string_view entryId, com::ComPtr<ItemObject>& out) {
  std::optional<std::int64_t> id;
  HRESULT hr = StoreCall([&] { id = store_->ItemIdByEntryId(entryId); });
  if (FAILED(hr)) return hr;
  if (!id) return MAPI_E_NOT_FOUND;
  return OpenItem(*id, out);
}

HRESULT Session::NewItem(int itemType, std::string_view messageClass, std::int64_t folderId,
                         com::ComPtr<ItemObject>& out) {
  int objectClass = messageClass.empty() ? ClassOfItemType(itemType) : ClassOfMessageClass(messageClass);
  if (objectClass == 0) return E_INVALIDARG;
  ItemRecord record;
  record.folderId = folderId;
  record.objectClass = objectClass;
  record.messageClass = messageClass.empty() ? DefaultMessageClass(objectClass) : std::string(messageClass);
  out = com::Make<ItemObject>(shared_from_this(), std::move(record));
  return S_OK;
}

void Session::Register(ItemObject* item, std::int64_t id) { live_[id] = item; }

void Session::Unregister(ItemObject* item) {
  for (auto it = live_.begin(); it != live_.end(); ++it) {
    if (it->second == item) {
      live_.erase(it);
      return;
    }
  }
}

void Session::Listen(std::int64_t folderId, ItemsCollection* items) { listeners_.emplace(folderId, items); }

void Session::Unlisten(std::int64_t folderId, ItemsCollection* items) {
  auto [first, last] = listeners_.equal_range(folderId);
  for (auto it = first; it != last; ++it) {
    if (it->second == items) {
      listeners_.erase(it);
      return;
    }
  }
}

std::vector<com::ComPtr<ItemsCollection>> Session::ListenersOf(std::int64_t folderId) {
  // Held while the events go out: a sink may drop the last reference to any of them.
  std::vector<com::ComPtr<ItemsCollection>> out;
  auto [first, last] = listeners_.equal_range(folderId);
  for (auto it = first; it != last; ++it) out.emplace_back(it->second);
  return out;
}

void Session::ItemAdded(std::int64_t folderId, ItemObject* item) {
  for (auto& items : ListenersOf(folderId)) items->FireItemAdd(item);
}

void Session::ItemChanged(std::int64_t folderId, ItemObject* item) {
  for (auto& items : ListenersOf(folderId)) items->FireItemChange(item);
}

void Session::ItemRemoved(std::int64_t folderId) {
  for (auto& items : ListenersOf(folderId)) items->FireItemRemove();
}

}  // namespace outlook

#pragma once
// One logged-on profile inside this process: the store, the item objects that are alive (so
// that every caller who reaches an item reaches the same object), and the collections that
// listen for items arriving in a folder. The object model's objects share it.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/outlook/store.h"

namespace outlook {

class ItemObject;
class ItemsCollection;
class ApplicationObject;

// Profile files live in the application-data folder under "Outlook", one "<name>.profile"
// file each. The default profile is "Outlook" unless the messaging subsystem's key names
// another.
std::string ProfilesFolder();
std::string ProfilePath(std::string_view profileName);
std::string DefaultProfileName();
void SetDefaultProfileName(std::string_view profileName);

class Session : public std::enable_shared_from_this<Session> {
 public:
  // Opens the profile's store (an empty name means the default profile).
  static HRESULT Logon(std::string_view profileName, std::shared_ptr<Session>& out, OpenFailure* failure = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ProfileStore& Store() { return *store_; }
  const std::string& ProfileName() const { return profileName_; }

  // Working offline is a setting of the profile, so every process sees the same state.
  bool Offline();
  void SetOffline(bool offline);

  // The item's object: the live one when some caller holds it, else loaded from the store.
  // MAPI_E_NOT_FOUND when the store has no such item.
  HRESULT OpenItem(std::int64_t id, com::ComPtr<ItemObject>& out);
  HRESULT OpenItemByEntryId(std::string_view entryId, com::ComPtr<ItemObject>& out);
  // A new, unsaved item of an Outlook item type (CreateItem kinds) or message class, to be
  // saved into `folderId`.
  HRESULT NewItem(int itemType, std::string_view messageClass, std::int64_t folderId, com::ComPtr<ItemObject>& out);

  // Item objects enter the registry once they have a row in the store.
  void Register(ItemObject* item, std::int64_t id);
  void Unregister(ItemObject* item);

  // Items collections hear about the items of their folder.
  void Listen(std::int64_t folderId, ItemsCollection* items);
  void Unlisten(std::int64_t folderId, ItemsCollection* items);
  void ItemAdded(std::int64_t folderId, ItemObject* item);
  void ItemChanged(std::int64_t folderId, ItemObject* item);
  void ItemRemoved(std::int64_t folderId);

  // The application object of this session (not owned; it clears itself when it goes).
  ApplicationObject* Application() const { return application_; }
  void SetApplication(ApplicationObject* app) { application_ = app; }

 private:
  Session(std::unique_ptr<ProfileStore> store, std::string profileName);
  std::vector<com::ComPtr<ItemsCollection>> ListenersOf(std::int64_t folderId);

  std::unique_ptr<ProfileStore> store_;
  std::string profileName_;
  std::map<std::int64_t, ItemObject*> live_;
  std::multimap<std::int64_t, ItemsCollection*> listeners_;
  ApplicationObject* application_ = nullptr;
};

}  // namespace outlook

#pragma once
// The profile store: one SQLite file per Outlook profile holding folders, items with their
// properties, recipients, attachments (content kept whole as BLOBs) and user properties, the
// directory (Global Address List) and the profile's settings. Several processes may open the
// same file: every change is one write transaction, every item is read inside one read
// transaction, and a busy connection waits instead of failing.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/outlook/sqlite.h"
#include "platform/win/hresult.h"

namespace outlook {

struct FolderRecord {
  std::int64_t id = 0;
  std::string entryId;
  std::int64_t parentId = 0;  // 0 for the root
  std::string name;
  int defaultItemType = 0;
  int defaultFolder = 0;  // Outlook's default-folder number, 0 for other folders
};

struct RecipientRecord {
  int type = 1;  // olTo
  std::string name;
  bool resolved = false;
  std::string addressType;  // "EX", "SMTP"
  std::string address;
  int displayType = 0;
  std::string entryId;  // hexadecimal address-book entry ID
};

struct AttachmentRecord {
  std::int64_t id = 0;  // row in the store; 0 until saved
  int type = 1;
  std::string fileName;
  std::string displayName;
  std::string pathName;  // the linked file of a by-reference attachment
  int position = 0;      // rendering position in the body
  std::int64_t size = 0;
  // The content until it is stored; stored content is read from the store on demand.
  std::optional<std::string> content;
};

struct UserPropRecord {
  std::string name;
  int type = 1;
  com::Variant value;
};

struct ItemRecord {
  std::int64_t id = 0;  // 0 until saved
  std::string entryId;
  std::int64_t folderId = 0;
  int objectClass = 0;
  std::string messageClass;
  double created = 0;   // automation dates, local time
  double modified = 0;
  // Plain properties by member name (as registered, e.g. "Subject").
  std::map<std::string, com::Variant> props;
  std::vector<std::shared_ptr<RecipientRecord>> recipients;
  std::vector<std::shared_ptr<AttachmentRecord>> attachments;
  std::vector<std::shared_ptr<UserPropRecord>> userProps;
};

struct ShortcutGroupRecord {
  std::int64_t id = 0;
  std::string name;
  int viewType = 0;
};

struct ShortcutRecord {
  std::int64_t id = 0;
  std::string name;
  std::string targetText;    // a text target (URL or path)
  std::string targetFolder;  // or a folder's entry ID
  std::string icon;
};

// Why a profile could not be opened: the code and a sentence for people.
struct OpenFailure {
  HRESULT code = S_OK;
  std::string message;
};

class ProfileStore {
 public:
  // The schema version this build writes; older files are migrated when opened.
  static constexpr int kSchemaVersion = 1;

  // Makes a new profile file with the default folders. Fails (MAPI_E_COLLISION) when the file
  // exists. The file appears complete or not at all.
  static HRESULT Create(const std::string& path, OpenFailure* failure = nullptr);
  // Opens an existing profile file. Missing: MAPI_E_NOT_FOUND; not a profile (not SQLite, a
  // foreign database, damaged): MAPI_E_CORRUPT_DATA; written by a newer version: MAPI_E_VERSION.
  // A file that is refused is left exactly as it was.
  static HRESULT Open(const std::string& path, std::unique_ptr<ProfileStore>& out, OpenFailure* failure = nullptr);

  const std::string& Path() const { return db_.Path(); }
  sql::Database& Db() { return db_; }

  // Folders.
  std::optional<FolderRecord> DefaultFolder(int number);
  std::optional<FolderRecord> FolderById(std::int64_t id);
  std::optional<FolderRecord> FolderByEntryId(std::string_view entryId);
  // A parent of 0 lists the store's top folder.
  std::vector<FolderRecord> ChildFolders(std::int64_t parentId);
  FolderRecord RootFolder();
  FolderRecord AddFolder(std::int64_t parentId, std::string_view name, int defaultItemType);

  // Items. Ids in a folder come in the order the items were first saved.
  std::int64_t CountItems(std::int64_t folderId);
  std::vector<std::int64_t> ItemIds(std::int64_t folderId);
  std::optional<ItemRecord> LoadItem(std::int64_t id);
  std::optional<ItemRecord> LoadItemByEntryId(std::string_view entryId);
  std::optional<std::int64_t> ItemIdByEntryId(std::string_view entryId);
  // Writes the whole item in one transaction; a new item gets its id and entry ID, and its
  // attachments their ids (their content then leaves memory). True when the item was new.
  bool SaveItem(ItemRecord& item);
  void MoveItem(std::int64_t id, std::int64_t folderId);
  void DeleteItem(std::int64_t id);
  // Streams a stored attachment's content to `sink` in pieces.
  void ReadAttachment(std::int64_t attachmentId, const std::function<void(const char*, std::size_t)>& sink);

  // Profile settings (small texts).
  std::optional<std::string> Setting(std::string_view name);
  void SetSetting(std::string_view name, std::string_view value);
  void RemoveSetting(std::string_view name);

  // Custom form pages published for a message class (ModifiedFormPages of its inspectors).
  std::vector<std::string> FormPages(std::string_view messageClass);
  void PublishFormPage(std::string_view messageClass, std::string_view page);

  // The shortcut pane's groups and their shortcuts, in order.
  std::vector<ShortcutGroupRecord> ShortcutGroups();
  // Inserts at 1-based `position` (clamped to the end).
  ShortcutGroupRecord AddShortcutGroup(std::string_view name, int position);
  void UpdateShortcutGroup(const ShortcutGroupRecord& group);
  void RemoveShortcutGroup(std::int64_t id);
  std::vector<ShortcutRecord> Shortcuts(std::int64_t groupId);
  ShortcutRecord AddShortcut(std::int64_t groupId, const ShortcutRecord& shortcut, int position);
  void UpdateShortcut(const ShortcutRecord& shortcut);
  void RemoveShortcut(std::int64_t id);

  // The store's own 16-byte identity as 32 hexadecimal digits (part of every entry ID).
  const std::string& StoreUid() const { return storeUid_; }

 private:
  explicit ProfileStore(sql::Database db);
  std::string MakeEntryId(char kind, std::int64_t id) const;
  void LoadItemParts(ItemRecord& item);
  void SaveAttachments(ItemRecord& item);

  sql::Database db_;
  std::string storeUid_;
};

// Runs `body`, turning store failures into codes: SQLITE_BUSY/LOCKED into MAPI_E_BUSY, a
// damaged file into MAPI_E_CORRUPT_DATA, anything else into E_FAIL.
HRESULT StoreCall(const std::function<void()>& body);
HRESULT CodeOfStoreError(int sqliteCode);

}  // namespace outlook

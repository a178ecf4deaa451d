#include "platform/outlook/store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <set>

#include "platform/com/unknown.h"
#include "platform/outlook/codes.h"
#include "platform/win/folders.h"
#include "platform/win/guid.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

// "VLRO" in the file header tells our profiles from any other SQLite file.
constexpr int kApplicationId = 0x564C524F;
constexpr int kBusyTimeoutMs = 30000;
constexpr int kBlobChunk = 64 * 1024;

// Each step brings the schema from the previous version to `version`. Steps are never edited
// once released: a change of schema is a new step.
struct Migration {
  int version;
  const char* sql;
};

constexpr Migration kMigrations[] = {
    {1, R"sql(
CREATE TABLE settings(
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;
CREATE TABLE folders(
  id INTEGER PRIMARY KEY,
  entry_id TEXT UNIQUE,
  parent_id INTEGER REFERENCES folders(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  default_item_type INTEGER NOT NULL,
  default_folder INTEGER UNIQUE
);
CREATE TABLE items(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  entry_id TEXT UNIQUE,
  folder_id INTEGER NOT NULL REFERENCES folders(id),
  class INTEGER NOT NULL,
  message_class TEXT NOT NULL,
  created REAL NOT NULL,
  modified REAL NOT NULL
);
CREATE INDEX items_by_folder ON items(folder_id, id);
CREATE TABLE item_props(
  item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  kind INTEGER NOT NULL,
  value,
  PRIMARY KEY(item_id, name)
) WITHOUT ROWID;
CREATE TABLE recipients(
  item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  type INTEGER NOT NULL,
  name TEXT NOT NULL,
  resolved INTEGER NOT NULL,
  address_type TEXT NOT NULL,
  address TEXT NOT NULL,
  display_type INTEGER NOT NULL,
  entry_id TEXT NOT NULL,
  PRIMARY KEY(item_id, ordinal)
) WITHOUT ROWID;
CREATE TABLE attachments(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  type INTEGER NOT NULL,
  file_name TEXT NOT NULL,
  display_name TEXT NOT NULL,
  path_name TEXT NOT NULL,
  position INTEGER NOT NULL,
  content BLOB NOT NULL
);
CREATE INDEX attachments_by_item ON attachments(item_id, ordinal);
CREATE TABLE user_props(
  item_id INTEGER NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  value,
  PRIMARY KEY(item_id, ordinal)
) WITHOUT ROWID;
CREATE TABLE form_pages(
  message_class TEXT NOT NULL COLLATE NOCASE,
  ordinal INTEGER NOT NULL,
  page TEXT NOT NULL,
  PRIMARY KEY(message_class, ordinal)
) WITHOUT ROWID;
CREATE TABLE shortcut_groups(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  ordinal INTEGER NOT NULL,
  name TEXT NOT NULL,
  view_type INTEGER NOT NULL
);
CREATE TABLE shortcuts(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  group_id INTEGER NOT NULL REFERENCES shortcut_groups(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  name TEXT NOT NULL,
  target_text TEXT NOT NULL,
  target_folder TEXT NOT NULL,
  icon TEXT NOT NULL
);
CREATE TABLE directory(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  display_name TEXT NOT NULL,
  alias TEXT NOT NULL,
  legacy_dn TEXT NOT NULL UNIQUE COLLATE NOCASE,
  display_type INTEGER NOT NULL,
  first_name TEXT NOT NULL,
  last_name TEXT NOT NULL
);
CREATE TABLE directory_proxies(
  entry INTEGER NOT NULL REFERENCES directory(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  proxy TEXT NOT NULL,
  PRIMARY KEY(entry, ordinal)
) WITHOUT ROWID;
CREATE TABLE directory_members(
  list INTEGER NOT NULL REFERENCES directory(id) ON DELETE CASCADE,
  ordinal INTEGER NOT NULL,
  member INTEGER NOT NULL REFERENCES directory(id) ON DELETE CASCADE,
  PRIMARY KEY(list, ordinal)
) WITHOUT ROWID;
)sql"},
};

struct DefaultFolderEntry {
  int number;
  const char* name;
  int itemType;
};

constexpr DefaultFolderEntry kDefaultFolders[] = {
    {olFolderInbox, "Inbox", olMailItem},           {olFolderOutbox, "Outbox", olMailItem},
    {olFolderSentMail, "Sent Items", olMailItem},   {olFolderDeletedItems, "Deleted Items", olMailItem},
    {olFolderDrafts, "Drafts", olMailItem},         {olFolderCalendar, "Calendar", olAppointmentItem},
    {olFolderContacts, "Contacts", olContactItem},  {olFolderJournal, "Journal", olJournalItem},
    {olFolderNotes, "Notes", olNoteItem},           {olFolderTasks, "Tasks", olTaskItem},
};

int SchemaVersion(sql::Database& db) { return static_cast<int>(db.QueryInt("PRAGMA user_version")); }

// Brings the schema up to date inside one write transaction; another process may have done it
// meanwhile, so the version is read again under the lock.
void Migrate(sql::Database& db) {
  sql::Transaction tx(db);
  int version = SchemaVersion(db);
  for (const Migration& step : kMigrations) {
    if (step.version <= version) continue;
    db.Exec(step.sql);
    version = step.version;
  }
  db.Exec("PRAGMA user_version = " + std::to_string(version));
  tx.Commit();
}

double NowOleDate() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return com::OleDateFromTime(t + local.tm_gmtoff);
}

void BindVariant(sql::Statement& st, int index, const com::Variant& v) {
  switch (v.Type()) {
    case com::VarType::Int:
      st.Bind(index, static_cast<std::int64_t>(v.AsInt()));
      break;
    case com::VarType::Bool:
      st.Bind(index, static_cast<std::int64_t>(v.AsBool() ? 1 : 0));
      break;
    case com::VarType::Double:
      st.Bind(index, v.AsDouble());
      break;
    case com::VarType::Date:
      st.Bind(index, v.AsDate());
      break;
    case com::VarType::Text:
      st.Bind(index, v.AsText());
      break;
    default:
      st.BindNull(index);
  }
}

com::Variant ColumnVariant(sql::Statement& st, int kindColumn, int valueColumn) {
  switch (static_cast<com::VarType>(st.Int(kindColumn))) {
    case com::VarType::Int:
      return com::Variant(static_cast<std::int32_t>(st.Int(valueColumn)));
    case com::VarType::Bool:
      return com::Variant(st.Int(valueColumn) != 0);
    case com::VarType::Double:
      return com::Variant(st.Double(valueColumn));
    case com::VarType::Date:
      return com::Variant::FromDate(st.Double(valueColumn));
    case com::VarType::Text:
      return com::Variant(st.Text(valueColumn));
    case com::VarType::Null:
      return com::Variant::Null();
    default:
      return com::Variant();
  }
}

bool Storable(const com::Variant& v) {
  return v.Type() != com::VarType::Dispatch && v.Type() != com::VarType::Unknown;
}

std::string UpperHex(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

FolderRecord ReadFolder(sql::Statement& st) {
  FolderRecord f;
  f.id = st.Int(0);
  f.entryId = st.Text(1);
  f.parentId = st.IsNull(2) ? 0 : st.Int(2);
  f.name = st.Text(3);
  f.defaultItemType = static_cast<int>(st.Int(4));
  f.defaultFolder = st.IsNull(5) ? 0 : static_cast<int>(st.Int(5));
  return f;
}

constexpr const char* kFolderColumns = "SELECT id, entry_id, parent_id, name, default_item_type, default_folder FROM folders ";

void ConfigureConnection(sql::Database& db) {
  db.SetBusyTimeout(kBusyTimeoutMs);
  db.Exec("PRAGMA foreign_keys = ON");
}

// The checks that decide whether a file is ours, made before anything is written to it.
HRESULT Validate(sql::Database& db, std::string& message) {
  if (db.QueryInt("PRAGMA application_id") != kApplicationId ||
      db.QueryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'items'") != 1) {
    message = "not an Outlook profile store";
    return MAPI_E_CORRUPT_DATA;
  }
  int version = SchemaVersion(db);
  if (version > ProfileStore::kSchemaVersion) {
    message = "written by a newer version (schema " + std::to_string(version) + ", this build knows " +
              std::to_string(ProfileStore::kSchemaVersion) + ")";
    return MAPI_E_VERSION;
  }
  return S_OK;
}

void Fill(OpenFailure* failure, HRESULT code, const std::string& path, const std::string& why) {
  if (failure) {
    failure->code = code;
    failure->message = "profile \"" + path + "\": " + why;
  }
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

HRESULT CodeOfStoreError(int sqliteCode) {
  switch (sqliteCode) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return MAPI_E_BUSY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return MAPI_E_CORRUPT_DATA;
    case SQLITE_NOMEM:
      return E_OUTOFMEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return E_ACCESSDENIED;
    case SQLITE_CANTOPEN:
      return MAPI_E_NOT_FOUND;
    default:
      return E_FAIL;
  }
}

HRESULT StoreCall(const std::function<void()>& body) {
  try {
    body();
    return S_OK;
  } catch (const sql::StoreError& e) {
    return CodeOfStoreError(e.Code());
  } catch (const com::ComError& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;  // nothing the store does may escape a caller that expects a code
  }
}

ProfileStore::ProfileStore(sql::Database db) : db_(std::move(db)) {
  storeUid_ = Setting("store_uid").value_or(std::string(32, '0'));
}

HRESULT ProfileStore::Create(const std::string& path, OpenFailure* failure) {
  if (win::FileExists(path)) {
    Fill(failure, MAPI_E_COLLISION, path, "a profile of that name exists");
    return MAPI_E_COLLISION;
  }
  if (!win::CreateDirectories(FolderOf(path))) {
    Fill(failure, E_ACCESSDENIED, path, "cannot create its folder");
    return E_ACCESSDENIED;
  }
  // Built under a private name and linked into place, so no process ever opens a half-made
  // profile and two creators cannot both win.
  std::string temp = path + ".new-" + std::to_string(::getpid()) + "-" + win::GuidToString(win::NewGuid());
  HRESULT hr = StoreCall([&] {
    sql::Database db(temp, sql::Database::Mode::Create);
    ConfigureConnection(db);
    db.Exec("PRAGMA application_id = " + std::to_string(kApplicationId));
    db.Exec("PRAGMA journal_mode = WAL");
    Migrate(db);
    sql::Transaction tx(db);
    std::string uid = win::GuidToString(win::NewGuid());
    std::string hex;
    for (char c : uid)
      if (c != '{' && c != '}' && c != '-') hex += c;
    sql::Statement(db, "INSERT INTO settings(name, value) VALUES('store_uid', ?)").Bind(1, hex).Run();
    sql::Statement(db, "INSERT INTO folders(id, entry_id, parent_id, name, default_item_type) "
                       "VALUES(1, NULL, NULL, 'Personal Folders', 0)")
        .Run();
    for (const DefaultFolderEntry& folder : kDefaultFolders) {
      sql::Statement(db, "INSERT INTO folders(parent_id, name, default_item_type, default_folder) VALUES(1, ?, ?, ?)")
          .Bind(1, folder.name)
          .Bind(2, folder.itemType)
          .Bind(3, folder.number)
          .Run();
    }
    // Entry IDs follow from the store identity and the row.
    sql::Statement ids(db, "SELECT id FROM folders");
    std::vector<std::int64_t> rows;
    while (ids.Step()) rows.push_back(ids.Int(0));
    for (std::int64_t id : rows) {
      char tail[16];
      std::snprintf(tail, sizeof tail, "%08llX", static_cast<unsigned long long>(id));
      sql::Statement(db, "UPDATE folders SET entry_id = ? WHERE id = ?")
          .Bind(1, "00000001" + hex + tail)
          .Bind(2, id)
          .Run();
    }
    sql::Statement(db, "INSERT INTO shortcut_groups(ordinal, name, view_type) VALUES(1, 'Shortcuts', 0)").Run();
    tx.Commit();
  });
  if (FAILED(hr)) {
    ::unlink(temp.c_str());
    Fill(failure, hr, path, "cannot be created");
    return hr;
  }
  int linked = ::link(temp.c_str(), path.c_str());
  int err = errno;
  ::unlink(temp.c_str());
  if (linked != 0) {
    HRESULT code = err == EEXIST ? MAPI_E_COLLISION : E_ACCESSDENIED;
    Fill(failure, code, path, err == EEXIST ? "a profile of that name exists" : "cannot be put in place");
    return code;
  }
  return S_OK;
}

HRESULT ProfileStore::Open(const std::string& path, std::unique_ptr<ProfileStore>& out, OpenFailure* failure) {
  out.reset();
  if (!win::FileExists(path)) {
    Fill(failure, MAPI_E_NOT_FOUND, path, "no such profile file");
    return MAPI_E_NOT_FOUND;
  }
  std::string message;
  HRESULT hr = StoreCall([&] {
    sql::Database db(path, sql::Database::Mode::OpenExisting);
    db.SetBusyTimeout(kBusyTimeoutMs);
    HRESULT valid = Validate(db, message);
    if (FAILED(valid)) com::Throw(valid);
    ConfigureConnection(db);
    if (SchemaVersion(db) < kSchemaVersion) Migrate(db);
    out.reset(new ProfileStore(std::move(db)));
  });
  if (FAILED(hr)) {
    out.reset();
    if (message.empty()) message = hr == MAPI_E_CORRUPT_DATA ? "not an Outlook profile store (damaged or foreign file)"
                                                             : "cannot be opened";
    Fill(failure, hr, path, message);
  }
  return hr;
}

std::string ProfileStore::MakeEntryId(char kind, std::int64_t id) const {
  char tail[16];
  std::snprintf(tail, sizeof tail, "%08llX", static_cast<unsigned long long>(id));
  return std::string(kind == 'F' ? "00000001" : "00000000") + storeUid_ + tail;
}

std::optional<FolderRecord> ProfileStore::DefaultFolder(int number) {
  sql::Statement st(db_, std::string(kFolderColumns) + "WHERE default_folder = ?");
  st.Bind(1, number);
  if (!st.Step()) return std::nullopt;
  return ReadFolder(st);
}

std::optional<FolderRecord> ProfileStore::FolderById(std::int64_t id) {
  sql::Statement st(db_, std::string(kFolderColumns) + "WHERE id = ?");
  st.Bind(1, id);
  if (!st.Step()) return std::nullopt;
  return ReadFolder(st);
}

std::optional<FolderRecord> ProfileStore::FolderByEntryId(std::string_view entryId) {
  sql::Statement st(db_, std::string(kFolderColumns) + "WHERE entry_id = ?");
  st.Bind(1, UpperHex(entryId));
  if (!st.Step()) return std::nullopt;
  return ReadFolder(st);
}

std::vector<FolderRecord> ProfileStore::ChildFolders(std::int64_t parentId) {
  sql::Statement st(db_, std::string(kFolderColumns) + "WHERE coalesce(parent_id, 0) = ? ORDER BY id");
  st.Bind(1, parentId);
  std::vector<FolderRecord> out;
  while (st.Step()) out.push_back(ReadFolder(st));
  return out;
}

FolderRecord ProfileStore::RootFolder() {
  sql::Statement st(db_, std::string(kFolderColumns) + "WHERE parent_id IS NULL ORDER BY id LIMIT 1");
  if (!st.Step()) com::Throw(MAPI_E_CORRUPT_DATA);
  return ReadFolder(st);
}

FolderRecord ProfileStore::AddFolder(std::int64_t parentId, std::string_view name, int defaultItemType) {
  sql::Transaction tx(db_);
  sql::Statement exists(db_, "SELECT count(*) FROM folders WHERE parent_id = ? AND name = ? COLLATE NOCASE");
  exists.Bind(1, parentId).Bind(2, name);
  if (exists.Step() && exists.Int(0) > 0) com::Throw(MAPI_E_COLLISION);
  sql::Statement(db_, "INSERT INTO folders(parent_id, name, default_item_type) VALUES(?, ?, ?)")
      .Bind(1, parentId)
      .Bind(2, name)
      .Bind(3, defaultItemType)
      .Run();
  std::int64_t id = db_.LastInsertId();
  sql::Statement(db_, "UPDATE folders SET entry_id = ? WHERE id = ?").Bind(1, MakeEntryId('F', id)).Bind(2, id).Run();
  tx.Commit();
  return *FolderById(id);
}

std::int64_t ProfileStore::CountItems(std::int64_t folderId) {
  sql::Statement st(db_, "SELECT count(*) FROM items WHERE folder_id = ?");
  st.Bind(1, folderId);
  return st.Step() ? st.Int(0) : 0;
}

std::vector<std::int64_t> ProfileStore::ItemIds(std::int64_t folderId) {
  sql::Statement st(db_, "SELECT id FROM items WHERE folder_id = ? ORDER BY id");
  st.Bind(1, folderId);
  std::vector<std::int64_t> out;
  while (st.Step()) out.push_back(st.Int(0));
  return out;
}

std::optional<std::int64_t> ProfileStore::ItemIdByEntryId(std::string_view entryId) {
  sql::Statement st(db_, "SELECT id FROM items WHERE entry_id = ?");
  st.Bind(1, UpperHex(entryId));
  if (!st.Step()) return std::nullopt;
  return st.Int(0);
}

std::optional<ItemRecord> ProfileStore::LoadItem(std::int64_t id) {
  // One read transaction: a writer in another process cannot hand us half an item.
  sql::Transaction tx(db_, sql::Transaction::Kind::Read);
  sql::Statement st(db_, "SELECT id, entry_id, folder_id, class, message_class, created, modified FROM items WHERE id = ?");
  st.Bind(1, id);
  if (!st.Step()) return std::nullopt;
  ItemRecord item;
  item.id = st.Int(0);
  item.entryId = st.Text(1);
  item.folderId = st.Int(2);
  item.objectClass = static_cast<int>(st.Int(3));
  item.messageClass = st.Text(4);
  item.created = st.Double(5);
  item.modified = st.Double(6);
  LoadItemParts(item);
  tx.Commit();
  return item;
}

std::optional<ItemRecord> ProfileStore::LoadItemByEntryId(std::string_view entryId) {
  std::optional<std::int64_t> id = ItemIdByEntryId(entryId);
  if (!id) return std::nullopt;
  return LoadItem(*id);
}

void ProfileStore::LoadItemParts(ItemRecord& item) {
  sql::Statement props(db_, "SELECT name, kind, value FROM item_props WHERE item_id = ?");
  props.Bind(1, item.id);
  while (props.Step()) item.props[props.Text(0)] = ColumnVariant(props, 1, 2);

  sql::Statement recips(db_,
                        "SELECT type, name, resolved, address_type, address, display_type, entry_id "
                        "FROM recipients WHERE item_id = ? ORDER BY ordinal");
  recips.Bind(1, item.id);
  while (recips.Step()) {
    auto r = std::make_shared<RecipientRecord>();
    r->type = static_cast<int>(recips.Int(0));
    r->name = recips.Text(1);
    r->resolved = recips.Int(2) != 0;
    r->addressType = recips.Text(3);
    r->address = recips.Text(4);
    r->displayType = static_cast<int>(recips.Int(5));
    r->entryId = recips.Text(6);
    item.recipients.push_back(std::move(r));
  }

  sql::Statement atts(db_,
                      "SELECT id, type, file_name, display_name, path_name, position, length(content) "
                      "FROM attachments WHERE item_id = ? ORDER BY ordinal");
  atts.Bind(1, item.id);
  while (atts.Step()) {
    auto a = std::make_shared<AttachmentRecord>();
    a->id = atts.Int(0);
    a->type = static_cast<int>(atts.Int(1));
    a->fileName = atts.Text(2);
    a->displayName = atts.Text(3);
    a->pathName = atts.Text(4);
    a->position = static_cast<int>(atts.Int(5));
    a->size = atts.Int(6);
    item.attachments.push_back(std::move(a));
  }

  sql::Statement ups(db_, "SELECT name, type, kind, value FROM user_props WHERE item_id = ? ORDER BY ordinal");
  ups.Bind(1, item.id);
  while (ups.Step()) {
    auto u = std::make_shared<UserPropRecord>();
    u->name = ups.Text(0);
    u->type = static_cast<int>(ups.Int(1));
    u->value = ColumnVariant(ups, 2, 3);
    item.userProps.push_back(std::move(u));
  }
}

bool ProfileStore::SaveItem(ItemRecord& item) {
  const bool isNew = item.id == 0;
  const double now = NowOleDate();
  std::int64_t id = item.id;
  std::string entryId = item.entryId;
  std::vector<std::pair<AttachmentRecord*, std::int64_t>> newAttachments;

  sql::Transaction tx(db_);
  if (isNew) {
    sql::Statement(db_, "INSERT INTO items(folder_id, class, message_class, created, modified) VALUES(?, ?, ?, ?, ?)")
        .Bind(1, item.folderId)
        .Bind(2, item.objectClass)
        .Bind(3, item.messageClass)
        .Bind(4, now)
        .Bind(5, now)
        .Run();
    id = db_.LastInsertId();
    entryId = MakeEntryId('I', id);
    sql::Statement(db_, "UPDATE items SET entry_id = ? WHERE id = ?").Bind(1, entryId).Bind(2, id).Run();
  } else {
    sql::Statement st(db_, "UPDATE items SET folder_id = ?, class = ?, message_class = ?, modified = ? WHERE id = ?");
    st.Bind(1, item.folderId).Bind(2, item.objectClass).Bind(3, item.messageClass).Bind(4, now).Bind(5, id).Run();
    if (db_.Changes() == 0) com::Throw(MAPI_E_OBJECT_DELETED);  // deleted meanwhile, here or elsewhere
  }

  sql::Statement(db_, "DELETE FROM item_props WHERE item_id = ?").Bind(1, id).Run();
  sql::Statement prop(db_, "INSERT INTO item_props(item_id, name, kind, value) VALUES(?, ?, ?, ?)");
  for (const auto& [name, value] : item.props) {
    if (!Storable(value)) continue;
    prop.Reset();
    prop.Bind(1, id).Bind(2, name).Bind(3, static_cast<int>(value.Type()));
    BindVariant(prop, 4, value);
    prop.Run();
  }

  sql::Statement(db_, "DELETE FROM recipients WHERE item_id = ?").Bind(1, id).Run();
  sql::Statement recip(db_,
                       "INSERT INTO recipients(item_id, ordinal, type, name, resolved, address_type, address, "
                       "display_type, entry_id) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
  int ordinal = 0;
  for (const auto& r : item.recipients) {
    recip.Reset();
    recip.Bind(1, id)
        .Bind(2, ++ordinal)
        .Bind(3, r->type)
        .Bind(4, r->name)
        .Bind(5, r->resolved ? 1 : 0)
        .Bind(6, r->addressType)
        .Bind(7, r->address)
        .Bind(8, r->displayType)
        .Bind(9, r->entryId)
        .Run();
  }

  sql::Statement(db_, "DELETE FROM user_props WHERE item_id = ?").Bind(1, id).Run();
  sql::Statement up(db_, "INSERT INTO user_props(item_id, ordinal, name, type, kind, value) VALUES(?, ?, ?, ?, ?, ?)");
  ordinal = 0;
  for (const auto& u : item.userProps) {
    up.Reset();
    up.Bind(1, id).Bind(2, ++ordinal).Bind(3, u->name).Bind(4, u->type).Bind(5, static_cast<int>(u->value.Type()));
    BindVariant(up, 6, u->value);
    up.Run();
  }

  // Attachments: stored content is never rewritten; rows that left the item go.
  std::set<std::int64_t> kept;
  for (const auto& a : item.attachments)
    if (a->id) kept.insert(a->id);
  {
    sql::Statement rows(db_, "SELECT id FROM attachments WHERE item_id = ?");
    rows.Bind(1, id);
    std::vector<std::int64_t> gone;
    while (rows.Step())
      if (!kept.count(rows.Int(0))) gone.push_back(rows.Int(0));
    for (std::int64_t g : gone) sql::Statement(db_, "DELETE FROM attachments WHERE id = ?").Bind(1, g).Run();
  }
  ordinal = 0;
  for (const auto& a : item.attachments) {
    ++ordinal;
    if (a->id) {
      sql::Statement(db_,
                     "UPDATE attachments SET ordinal = ?, type = ?, file_name = ?, display_name = ?, path_name = ?, "
                     "position = ? WHERE id = ? AND item_id = ?")
          .Bind(1, ordinal)
          .Bind(2, a->type)
          .Bind(3, a->fileName)
          .Bind(4, a->displayName)
          .Bind(5, a->pathName)
          .Bind(6, a->position)
          .Bind(7, a->id)
          .Bind(8, id)
          .Run();
      if (db_.Changes() == 0) com::Throw(MAPI_E_OBJECT_DELETED);
      continue;
    }
    const std::string& content = a->content ? *a->content : std::string();
    sql::Statement(db_,
                   "INSERT INTO attachments(item_id, ordinal, type, file_name, display_name, path_name, position, "
                   "content) VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
        .Bind(1, id)
        .Bind(2, ordinal)
        .Bind(3, a->type)
        .Bind(4, a->fileName)
        .Bind(5, a->displayName)
        .Bind(6, a->pathName)
        .Bind(7, a->position)
        .BindBlob(8, content.data(), content.size())
        .Run();
    newAttachments.emplace_back(a.get(), db_.LastInsertId());
  }
  tx.Commit();

  // Only now that the store holds it does the record take the ids.
  item.id = id;
  item.entryId = entryId;
  if (isNew) item.created = now;
  item.modified = now;
  for (auto& [a, rowid] : newAttachments) {
    a->id = rowid;
    a->size = a->content ? static_cast<std::int64_t>(a->content->size()) : 0;
    a->content.reset();
  }
  return isNew;
}

void ProfileStore::MoveItem(std::int64_t id, std::int64_t folderId) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "UPDATE items SET folder_id = ?, modified = ? WHERE id = ?")
      .Bind(1, folderId)
      .Bind(2, NowOleDate())
      .Bind(3, id)
      .Run();
  if (db_.Changes() == 0) com::Throw(MAPI_E_OBJECT_DELETED);
  tx.Commit();
}

void ProfileStore::DeleteItem(std::int64_t id) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "DELETE FROM items WHERE id = ?").Bind(1, id).Run();
  tx.Commit();
}

void ProfileStore::ReadAttachment(std::int64_t attachmentId, const std::function<void(const char*, std::size_t)>& sink) {
  sql::Transaction tx(db_, sql::Transaction::Kind::Read);
  sql::BlobReader blob(db_, "attachments", "content", attachmentId);
  std::int64_t size = blob.Size();
  std::string buffer(kBlobChunk, '\0');
  for (std::int64_t offset = 0; offset < size;) {
    int n = static_cast<int>(std::min<std::int64_t>(kBlobChunk, size - offset));
    blob.Read(buffer.data(), n, offset);
    sink(buffer.data(), static_cast<std::size_t>(n));
    offset += n;
  }
  tx.Commit();
}

std::optional<std::string> ProfileStore::Setting(std::string_view name) {
  sql::Statement st(db_, "SELECT value FROM settings WHERE name = ?");
  st.Bind(1, name);
  if (!st.Step()) return std::nullopt;
  return st.Text(0);
}

void ProfileStore::SetSetting(std::string_view name, std::string_view value) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "INSERT OR REPLACE INTO settings(name, value) VALUES(?, ?)").Bind(1, name).Bind(2, value).Run();
  tx.Commit();
}

void ProfileStore::RemoveSetting(std::string_view name) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "DELETE FROM settings WHERE name = ?").Bind(1, name).Run();
  tx.Commit();
}

std::vector<std::string> ProfileStore::FormPages(std::string_view messageClass) {
  sql::Statement st(db_, "SELECT page FROM form_pages WHERE message_class = ? ORDER BY ordinal");
  st.Bind(1, messageClass);
  std::vector<std::string> out;
  while (st.Step()) out.push_back(st.Text(0));
  return out;
}

void ProfileStore::PublishFormPage(std::string_view messageClass, std::string_view page) {
  sql::Transaction tx(db_);
  sql::Statement(db_,
                 "INSERT INTO form_pages(message_class, ordinal, page) SELECT ?1, "
                 "coalesce(max(ordinal), 0) + 1, ?2 FROM form_pages WHERE message_class = ?1")
      .Bind(1, messageClass)
      .Bind(2, page)
      .Run();
  tx.Commit();
}

std::vector<ShortcutGroupRecord> ProfileStore::ShortcutGroups() {
  sql::Statement st(db_, "SELECT id, name, view_type FROM shortcut_groups ORDER BY ordinal, id");
  std::vector<ShortcutGroupRecord> out;
  while (st.Step()) out.push_back({st.Int(0), st.Text(1), static_cast<int>(st.Int(2))});
  return out;
}

ShortcutGroupRecord ProfileStore::AddShortcutGroup(std::string_view name, int position) {
  sql::Transaction tx(db_);
  std::int64_t count = db_.QueryInt("SELECT count(*) FROM shortcut_groups");
  if (position < 1 || position > count + 1) position = static_cast<int>(count + 1);
  // Renumber so that ordinals stay 1..n with the new group at `position`.
  std::vector<std::int64_t> ids;
  {
    sql::Statement st(db_, "SELECT id FROM shortcut_groups ORDER BY ordinal, id");
    while (st.Step()) ids.push_back(st.Int(0));
  }
  sql::Statement(db_, "INSERT INTO shortcut_groups(ordinal, name, view_type) VALUES(0, ?, 0)").Bind(1, name).Run();
  std::int64_t newId = db_.LastInsertId();
  ids.insert(ids.begin() + (position - 1), newId);
  for (std::size_t i = 0; i < ids.size(); ++i)
    sql::Statement(db_, "UPDATE shortcut_groups SET ordinal = ? WHERE id = ?")
        .Bind(1, static_cast<std::int64_t>(i + 1))
        .Bind(2, ids[i])
        .Run();
  tx.Commit();
  return {newId, std::string(name), 0};
}

void ProfileStore::UpdateShortcutGroup(const ShortcutGroupRecord& group) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "UPDATE shortcut_groups SET name = ?, view_type = ? WHERE id = ?")
      .Bind(1, group.name)
      .Bind(2, group.viewType)
      .Bind(3, group.id)
      .Run();
  if (db_.Changes() == 0) com::Throw(MAPI_E_OBJECT_DELETED);
  tx.Commit();
}

void ProfileStore::RemoveShortcutGroup(std::int64_t id) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "DELETE FROM shortcut_groups WHERE id = ?").Bind(1, id).Run();
  tx.Commit();
}

std::vector<ShortcutRecord> ProfileStore::Shortcuts(std::int64_t groupId) {
  sql::Statement st(db_,
                    "SELECT id, name, target_text, target_folder, icon FROM shortcuts WHERE group_id = ? "
                    "ORDER BY ordinal, id");
  st.Bind(1, groupId);
  std::vector<ShortcutRecord> out;
  while (st.Step()) out.push_back({st.Int(0), st.Text(1), st.Text(2), st.Text(3), st.Text(4)});
  return out;
}

ShortcutRecord ProfileStore::AddShortcut(std::int64_t groupId, const ShortcutRecord& shortcut, int position) {
  sql::Transaction tx(db_);
  std::vector<std::int64_t> ids;
  {
    sql::Statement st(db_, "SELECT id FROM shortcuts WHERE group_id = ? ORDER BY ordinal, id");
    st.Bind(1, groupId);
    while (st.Step()) ids.push_back(st.Int(0));
  }
  if (position < 1 || position > static_cast<int>(ids.size()) + 1) position = static_cast<int>(ids.size()) + 1;
  sql::Statement(db_,
                 "INSERT INTO shortcuts(group_id, ordinal, name, target_text, target_folder, icon) "
                 "VALUES(?, 0, ?, ?, ?, ?)")
      .Bind(1, groupId)
      .Bind(2, shortcut.name)
      .Bind(3, shortcut.targetText)
      .Bind(4, shortcut.targetFolder)
      .Bind(5, shortcut.icon)
      .Run();
  ShortcutRecord made = shortcut;
  made.id = db_.LastInsertId();
  ids.insert(ids.begin() + (position - 1), made.id);
  for (std::size_t i = 0; i < ids.size(); ++i)
    sql::Statement(db_, "UPDATE shortcuts SET ordinal = ? WHERE id = ?")
        .Bind(1, static_cast<std::int64_t>(i + 1))
        .Bind(2, ids[i])
        .Run();
  tx.Commit();
  return made;
}

void ProfileStore::UpdateShortcut(const ShortcutRecord& shortcut) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "UPDATE shortcuts SET name = ?, target_text = ?, target_folder = ?, icon = ? WHERE id = ?")
      .Bind(1, shortcut.name)
      .Bind(2, shortcut.targetText)
      .Bind(3, shortcut.targetFolder)
      .Bind(4, shortcut.icon)
      .Bind(5, shortcut.id)
      .Run();
  if (db_.Changes() == 0) com::Throw(MAPI_E_OBJECT_DELETED);
  tx.Commit();
}

void ProfileStore::RemoveShortcut(std::int64_t id) {
  sql::Transaction tx(db_);
  sql::Statement(db_, "DELETE FROM shortcuts WHERE id = ?").Bind(1, id).Run();
  tx.Commit();
}

}  // namespace outlook

// The profile store on disk: creation with the default folders, refusing missing, foreign,
// damaged and newer files without touching them, entry IDs that survive a reopen, and the
// transaction that rolls back unless committed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/outlook/codes.h"
#include "platform/outlook/session.h"
#include "platform/outlook/sqlite.h"
#include "platform/outlook/standin.h"
#include "platform/outlook/store.h"
#include "tests/support/testenv.h"

namespace {

using outlook::OpenFailure;
using outlook::ProfileStore;

class StoreTest : public vlrtest::HomeTest {
 protected:
  std::string Path() const { return outlook::ProfilePath(""); }
};

struct DefaultFolderCase {
  int number;
  const char* name;
  int itemType;
};

TEST_F(StoreTest, NewProfileHasTheDefaultFoldersWithOutlooksNumbers) {
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::unique_ptr<ProfileStore> store;
  ASSERT_EQ(ProfileStore::Open(Path(), store), S_OK);
  const DefaultFolderCase cases[] = {
      {6, "Inbox", 0},          {10, "Contacts", 2}, {13, "Tasks", 3},   {5, "Sent Items", 0},
      {16, "Drafts", 0},        {3, "Deleted Items", 0}, {4, "Outbox", 0}, {11, "Journal", 4},
      {9, "Calendar", 1},       {12, "Notes", 5},
  };
  for (const auto& c : cases) {
    std::optional<outlook::FolderRecord> f = store->DefaultFolder(c.number);
    ASSERT_TRUE(f) << c.number;
    EXPECT_EQ(f->name, c.name);
    EXPECT_EQ(f->defaultItemType, c.itemType) << c.name;
    EXPECT_EQ(f->entryId.size(), 48u);
  }
  EXPECT_FALSE(store->DefaultFolder(7));
  EXPECT_EQ(store->Db().QueryInt("PRAGMA user_version"), ProfileStore::kSchemaVersion);
  outlook::sql::Statement mode(store->Db(), "PRAGMA journal_mode");
  ASSERT_TRUE(mode.Step());
  EXPECT_EQ(mode.Text(0), "wal");
}

TEST_F(StoreTest, CreatingAnExistingProfileIsACollisionAndKeepsIt) {
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::string before = vlrtest::ReadFile(Path());
  OpenFailure failure;
  EXPECT_EQ(outlook::CreateProfile("", &failure), MAPI_E_COLLISION);
  EXPECT_EQ(vlrtest::ReadFile(Path()), before);
  EXPECT_NE(failure.message.find("exists"), std::string::npos);
}

TEST_F(StoreTest, MissingProfileIsNotFoundAndNoFileAppears) {
  std::unique_ptr<ProfileStore> store;
  OpenFailure failure;
  EXPECT_EQ(ProfileStore::Open(Path(), store, &failure), MAPI_E_NOT_FOUND);
  EXPECT_FALSE(store);
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_NE(failure.message.find(Path()), std::string::npos);
}

// Files that are not our profiles: each is refused with its code and left byte for byte.
TEST_F(StoreTest, ForeignDamagedAndNewerFilesAreRefusedUntouched) {
  std::filesystem::create_directories(outlook::ProfilesFolder());
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    HRESULT code;
  };
  const Case cases[] = {
      {"text", [](const std::string& p) { vlrtest::WriteFile(p, "this is not a database\n"); }, MAPI_E_CORRUPT_DATA},
      {"empty", [](const std::string& p) { vlrtest::WriteFile(p, ""); }, MAPI_E_CORRUPT_DATA},
      {"truncated header", [](const std::string& p) { vlrtest::WriteFile(p, std::string("SQLite format 3\0\x10", 18)); },
       MAPI_E_CORRUPT_DATA},
      {"foreign sqlite",
       [](const std::string& p) {
         outlook::sql::Database db(p, outlook::sql::Database::Mode::Create);
         db.Exec("CREATE TABLE items(x); INSERT INTO items VALUES(1);");
       },
       MAPI_E_CORRUPT_DATA},
      {"newer schema",
       [](const std::string& p) {
         ASSERT_EQ(ProfileStore::Create(p), S_OK);
         outlook::sql::Database db(p, outlook::sql::Database::Mode::OpenExisting);
         db.Exec("PRAGMA user_version = 99");
       },
       MAPI_E_VERSION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(Path());
    c.make(Path());
    std::string before = vlrtest::ReadFile(Path());
    std::unique_ptr<ProfileStore> store;
    OpenFailure failure;
    EXPECT_EQ(ProfileStore::Open(Path(), store, &failure), c.code);
    EXPECT_FALSE(store);
    EXPECT_FALSE(failure.message.empty());
    EXPECT_EQ(vlrtest::ReadFile(Path()), before);
  }
}

TEST_F(StoreTest, ItemsKeepTheirEntryIdsAndContentAcrossReopening) {
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::string entryId;
  std::string blob(70000, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 31 % 251);
  {
    std::unique_ptr<ProfileStore> store;
    ASSERT_EQ(ProfileStore::Open(Path(), store), S_OK);
    outlook::ItemRecord item;
    item.folderId = store->DefaultFolder(outlook::olFolderTasks)->id;
    item.objectClass = outlook::olTask;
    item.messageClass = "IPM.Task";
    item.props["Subject"] = com::Variant("kept");
    item.props["PercentComplete"] = com::Variant(40);
    item.props["DueDate"] = com::Variant::FromDate(45000.5);
    auto att = std::make_shared<outlook::AttachmentRecord>();
    att->fileName = "data.bin";
    att->displayName = "Data";
    att->content = blob;
    item.attachments.push_back(att);
    EXPECT_TRUE(store->SaveItem(item));
    entryId = item.entryId;
    EXPECT_EQ(entryId.size(), 48u);
    EXPECT_FALSE(att->content) << "stored content leaves memory";
    EXPECT_FALSE(store->SaveItem(item)) << "second save updates";
  }
  std::unique_ptr<ProfileStore> store;
  ASSERT_EQ(ProfileStore::Open(Path(), store), S_OK);
  std::optional<outlook::ItemRecord> back = store->LoadItemByEntryId(entryId);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->props["Subject"].AsText(), "kept");
  EXPECT_EQ(back->props["PercentComplete"].Type(), com::VarType::Int);
  EXPECT_EQ(back->props["PercentComplete"].AsInt(), 40);
  EXPECT_EQ(back->props["DueDate"].Type(), com::VarType::Date);
  EXPECT_DOUBLE_EQ(back->props["DueDate"].AsDate(), 45000.5);
  ASSERT_EQ(back->attachments.size(), 1u);
  std::string read;
  store->ReadAttachment(back->attachments[0]->id, [&](const char* d, std::size_t n) { read.append(d, n); });
  EXPECT_EQ(read, blob);
  // Lower-case entry IDs name the same item.
  std::string lower = entryId;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(store->LoadItemByEntryId(lower));
}

TEST_F(StoreTest, TransactionRollsBackUnlessCommitted) {
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::unique_ptr<ProfileStore> store;
  ASSERT_EQ(ProfileStore::Open(Path(), store), S_OK);
  auto& db = store->Db();
  try {
    outlook::sql::Transaction tx(db);
    db.Exec("INSERT INTO settings(name, value) VALUES('left', 'behind')");
    throw std::runtime_error("a step failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(store->Setting("left"));
  {
    outlook::sql::Transaction tx(db);
    db.Exec("INSERT INTO settings(name, value) VALUES('kept', 'yes')");
    tx.Commit();
  }
  EXPECT_EQ(store->Setting("kept").value_or(""), "yes");
}

TEST_F(StoreTest, AReaderKeepsAWholeViewWhileAnotherConnectionWrites) {
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::unique_ptr<ProfileStore> a, b;
  ASSERT_EQ(ProfileStore::Open(Path(), a), S_OK);
  ASSERT_EQ(ProfileStore::Open(Path(), b), S_OK);
  // While one connection reads inside a transaction, the other commits; the reader's view
  // stays whole and it sees the change afterwards.
  {
    outlook::sql::Transaction read(a->Db(), outlook::sql::Transaction::Kind::Read);
    EXPECT_FALSE(a->Setting("x"));
    b->SetSetting("x", "1");
    EXPECT_FALSE(a->Setting("x"));
    read.Commit();
  }
  EXPECT_EQ(a->Setting("x").value_or(""), "1");
}

TEST_F(StoreTest, ProfileNamesStayInsideTheProfilesFolder) {
  EXPECT_EQ(outlook::ProfilePath("../../etc/x"), outlook::ProfilesFolder() + "/.._.._etc_x.profile");
  EXPECT_EQ(outlook::DefaultProfileName(), "Outlook");
  outlook::SetDefaultProfileName("Work");
  EXPECT_EQ(outlook::DefaultProfileName(), "Work");
  EXPECT_EQ(outlook::ProfilePath(""), outlook::ProfilesFolder() + "/Work.profile");
}

}  // namespace

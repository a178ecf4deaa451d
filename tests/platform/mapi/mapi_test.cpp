// The messaging library over a profile: log-on, the address book's hierarchy and the Global
// Address List, name resolution, entry properties with proxy addresses, the identity, and the
// memory and copying helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mapi/mapi.h"
#include "platform/outlook/abentry.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"
#include "tests/support/testenv.h"

namespace {

std::string Text(const SPropValue& v) { return v.Value.lpszA ? v.Value.lpszA : ""; }

// Releases an interface and frees library blocks at the end of a test.
template <class T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p) p->Release();
  }
  T** Put() { return &p; }
  IUnknown** PutUnknown() { return reinterpret_cast<IUnknown**>(&p); }
  T* operator->() const { return p; }
};

struct Block {
  void* p = nullptr;
  ~Block() { MAPIFreeBuffer(p); }
};

class MapiTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(outlook::CreateProfile(""), S_OK);
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    if (Exchange()) {
      dir.EnableExchange("Vellora");
      alice_ = dir.AddUser({0, "Alice Archer", "aarcher", "", 0, "Alice", "Archer",
                            {"smtp:a.archer@example.com", "SMTP:alice@example.com"}});
      bob_ = dir.AddUser({0, "Bob Baker", "bbaker", "", 0, "Bob", "Baker", {"SMTP:bob@example.com"}});
      list_ = dir.AddList("Signers", "signers", {alice_.id, bob_.id});
      dir.SetCurrentUser(alice_.id);
    } else {
      dir.SetCurrentUser("Pat Pop", "SMTP", "pat@pop.example");
    }
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x108068, session_.Put()), S_OK);
    ASSERT_EQ(session_->OpenAddressBook(0, nullptr, 0, book_.Put()), S_OK);
  }
  void TearDown() override { MAPIUninitialize(); }
  virtual bool Exchange() const { return true; }

  // The hierarchy rows that the Exchange provider's container 0 restriction selects.
  std::vector<std::string> GalRows() {
    Held<IABContainer> root;
    ULONG type = 0;
    EXPECT_EQ(book_->OpenEntry(0, nullptr, nullptr, 8, &type, root.PutUnknown()), S_OK);
    EXPECT_EQ(type, MAPI_ABCONT);
    Held<IMAPITable> table;
    EXPECT_EQ(root->GetHierarchyTable(9, table.Put()), S_OK);
    SPropValue provider{};
    provider.ulPropTag = PR_AB_PROVIDER_ID;
    provider.Value.bin = {16, const_cast<BYTE*>(outlook::kExchangeProviderUid.data())};
    SPropValue zero{};
    zero.ulPropTag = PR_EMS_AB_CONTAINERID;
    SRestriction parts[2]{};
    parts[0].rt = RES_PROPERTY;
    parts[0].res.resProperty = {RELOP_EQ, PR_AB_PROVIDER_ID, &provider};
    parts[1].rt = RES_PROPERTY;
    parts[1].res.resProperty = {RELOP_EQ, PR_EMS_AB_CONTAINERID, &zero};
    SRestriction both{};
    both.rt = RES_AND;
    both.res.resAnd = {2, parts};
    SizedSPropTagArray<2> columns{2, {PR_ENTRYID, PR_DISPLAY_NAME}};
    LPSRowSet rows = nullptr;
    EXPECT_EQ(HrQueryAllRows(table.p, columns.Get(), &both, nullptr, 0, &rows), S_OK);
    std::vector<std::string> names;
    for (ULONG i = 0; rows && i < rows->cRows; ++i) names.push_back(Text(rows->aRow[i].lpProps[1]));
    FreeProws(rows);
    return names;
  }

  IABContainer* OpenGal(Held<IABContainer>& gal) {
    outlook::Bytes id = outlook::DirectoryEntryId(outlook::kDirectoryContainer, "/");
    ULONG type = 0;
    EXPECT_EQ(book_->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), &IID_IABContainer,
                               0x18, &type, gal.PutUnknown()),
              S_OK);
    return gal.p;
  }

  // An address list of one entry named `name`, as a caller builds it.
  LPADRLIST OneEntry(const char* name) {
    void* block = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(1)), &block), S_OK);
    std::memset(block, 0, CbNewADRLIST(1));
    auto* list = static_cast<LPADRLIST>(block);
    list->cEntries = 1;
    SPropValue props[2]{};
    props[0].ulPropTag = PR_DISPLAY_NAME;
    props[0].Value.lpszA = const_cast<char*>(name);
    props[1].ulPropTag = PR_RECIPIENT_TYPE;
    props[1].Value.l = 2;
    EXPECT_EQ(ScDupPropset(2, props, &MAPIAllocateBuffer, &list->aEntries[0].rgPropVals), S_OK);
    list->aEntries[0].cValues = 2;
    return list;
  }

  const SPropValue* Find(const ADRENTRY& e, ULONG tag) {
    for (ULONG i = 0; i < e.cValues; ++i)
      if (e.rgPropVals[i].ulPropTag == tag) return &e.rgPropVals[i];
    return nullptr;
  }

  outlook::DirectoryEntry alice_, bob_, list_;
  Held<IMAPISession> session_;
  Held<IAddrBook> book_;
};

TEST_F(MapiTest, TheHierarchyHasExactlyOneGlobalAddressList) {
  EXPECT_EQ(GalRows(), std::vector<std::string>{"Global Address List"});
}

TEST_F(MapiTest, ResolveNamesReplacesTheEntryWithTheDirectoryEntry) {
  Held<IABContainer> gal;
  ASSERT_TRUE(OpenGal(gal));
  const char* typed[] = {"Bob Baker", "bbaker", "/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=bbaker",
                         "BOB@example.com"};
  for (const char* name : typed) {
    SCOPED_TRACE(name);
    LPADRLIST list = OneEntry(name);
    ASSERT_EQ(gal->ResolveNames(nullptr, 0, list, nullptr), S_OK);
    ASSERT_EQ(list->cEntries, 1u);
    const ADRENTRY& e = list->aEntries[0];
    ASSERT_TRUE(Find(e, PR_DISPLAY_NAME));
    EXPECT_EQ(Text(*Find(e, PR_DISPLAY_NAME)), "Bob Baker");
    EXPECT_EQ(Text(*Find(e, PR_ADDRTYPE)), "EX");
    EXPECT_EQ(Find(e, PR_RECIPIENT_TYPE)->Value.l, 2) << "the recipient type stays";
    ASSERT_TRUE(Find(e, PR_ENTRYID));
    auto parsed = outlook::ParseEntryId(Find(e, PR_ENTRYID)->Value.bin.lpb, Find(e, PR_ENTRYID)->Value.bin.cb);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->legacyDn, bob_.legacyDn);
    FreePadrlist(list);
  }
}

TEST_F(MapiTest, UnresolvedNamesFailOrAreFlagged) {
  Held<IABContainer> gal;
  ASSERT_TRUE(OpenGal(gal));
  LPADRLIST list = OneEntry("Nobody");
  EXPECT_EQ(gal->ResolveNames(nullptr, 0, list, nullptr), MAPI_E_NOT_FOUND);
  FlagList flags{1, {MAPI_UNRESOLVED}};
  EXPECT_EQ(gal->ResolveNames(nullptr, 0, list, &flags), S_OK);
  EXPECT_EQ(flags.ulFlag[0], MAPI_UNRESOLVED);
  EXPECT_EQ(Text(*Find(list->aEntries[0], PR_DISPLAY_NAME)), "Nobody") << "left as it was";
  FreePadrlist(list);
  list = OneEntry("x");
  EXPECT_EQ(gal->ResolveNames(nullptr, MAPI_UNICODE, list, nullptr), MAPI_E_BAD_CHARWIDTH);
  FreePadrlist(list);
}

TEST_F(MapiTest, UsersCarryTheirProxyAddressesAndListsTheirMembers) {
  outlook::Bytes id = outlook::DirectoryEntryId(outlook::kDirectoryUser, alice_.legacyDn);
  Held<IMailUser> user;
  ULONG type = 0;
  ASSERT_EQ(book_->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), nullptr, 0, &type,
                             user.PutUnknown()),
            S_OK);
  EXPECT_EQ(type, MAPI_MAILUSER);
  SizedSPropTagArray<3> tags{3, {PR_EMS_AB_PROXY_ADDRESSES, PR_SMTP_ADDRESS, 0x12340003}};
  ULONG count = 0;
  LPSPropValue props = nullptr;
  ASSERT_EQ(user->GetProps(tags.Get(), 0, &count, &props), MAPI_W_ERRORS_RETURNED);
  ASSERT_EQ(count, 3u);
  ASSERT_EQ(props[0].ulPropTag, PR_EMS_AB_PROXY_ADDRESSES);
  ASSERT_EQ(props[0].Value.MVszA.cValues, 2u);
  EXPECT_STREQ(props[0].Value.MVszA.lppszA[0], "smtp:a.archer@example.com");
  EXPECT_STREQ(props[0].Value.MVszA.lppszA[1], "SMTP:alice@example.com");
  EXPECT_EQ(Text(props[1]), "alice@example.com");
  EXPECT_EQ(props[2].ulPropTag, 0x1234000Au);
  EXPECT_EQ(props[2].Value.err, MAPI_E_NOT_FOUND);
  MAPIFreeBuffer(props);

  outlook::Bytes listId = outlook::DirectoryEntryId(outlook::kDirectoryList, list_.legacyDn);
  Held<IDistList> list;
  ASSERT_EQ(book_->OpenEntry(static_cast<ULONG>(listId.size()), reinterpret_cast<LPENTRYID>(listId.data()), nullptr, 0,
                             &type, list.PutUnknown()),
            S_OK);
  EXPECT_EQ(type, MAPI_DISTLIST);
  Held<IMAPITable> members;
  ASSERT_EQ(list->GetContentsTable(0, members.Put()), S_OK);
  LPSRowSet rows = nullptr;
  SizedSPropTagArray<1> names{1, {PR_DISPLAY_NAME}};
  ASSERT_EQ(HrQueryAllRows(members.p, names.Get(), nullptr, nullptr, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 2u);
  EXPECT_EQ(Text(rows->aRow[0].lpProps[0]), "Alice Archer");
  EXPECT_EQ(Text(rows->aRow[1].lpProps[0]), "Bob Baker");
  FreeProws(rows);
  EXPECT_EQ(HrQueryAllRows(members.p, names.Get(), nullptr, nullptr, 1, &rows), MAPI_E_TABLE_TOO_BIG);

  outlook::Bytes bad = {1, 2, 3};
  Held<IMailUser> none;
  EXPECT_EQ(book_->OpenEntry(3, reinterpret_cast<LPENTRYID>(bad.data()), nullptr, 0, &type, none.PutUnknown()),
            MAPI_E_INVALID_ENTRYID);
}

TEST_F(MapiTest, TheIdentityIsTheProfileUsersDirectoryEntry) {
  ULONG cb = 0;
  LPENTRYID id = nullptr;
  ASSERT_EQ(session_->QueryIdentity(&cb, &id), S_OK);
  auto parsed = outlook::ParseEntryId(reinterpret_cast<const std::uint8_t*>(id), cb);
  MAPIFreeBuffer(id);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->kind, outlook::EntryKind::Directory);
  EXPECT_EQ(parsed->legacyDn, alice_.legacyDn);
}

class NoExchangeMapiTest : public MapiTest {
  bool Exchange() const override { return false; }
};

TEST_F(NoExchangeMapiTest, NoDirectoryMeansNoGlobalAddressListAndAOneOffIdentity) {
  EXPECT_TRUE(GalRows().empty());
  ULONG cb = 0;
  LPENTRYID id = nullptr;
  ASSERT_EQ(session_->QueryIdentity(&cb, &id), S_OK);
  Held<IMailUser> user;
  ULONG type = 0;
  ASSERT_EQ(book_->OpenEntry(cb, id, nullptr, 0, &type, user.PutUnknown()), S_OK);
  MAPIFreeBuffer(id);
  SizedSPropTagArray<3> tags{3, {PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE}};
  ULONG count = 0;
  LPSPropValue props = nullptr;
  ASSERT_EQ(user->GetProps(tags.Get(), 0, &count, &props), S_OK);
  EXPECT_EQ(Text(props[0]), "Pat Pop");
  EXPECT_EQ(Text(props[1]), "pat@pop.example");
  EXPECT_EQ(Text(props[2]), "SMTP");
  MAPIFreeBuffer(props);
}

TEST(MapiLogon, NeedsInitialisationAndAProfile) {
  vlrtest::TestHome home;
  IMAPISession* session = nullptr;
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session), MAPI_E_NOT_INITIALIZED);
  ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session), MAPI_E_LOGON_FAILED) << "no profile yet";
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, MAPI_UNICODE, &session), MAPI_E_BAD_CHARWIDTH);
  ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0, &session), S_OK);
  ULONG cb = 0;
  LPENTRYID id = nullptr;
  EXPECT_EQ(session->QueryIdentity(&cb, &id), MAPI_E_NOT_FOUND) << "the profile names no user";
  EXPECT_EQ(session->Logoff(0, 0, 0), S_OK);
  IAddrBook* book = nullptr;
  EXPECT_EQ(session->OpenAddressBook(0, nullptr, 0, &book), MAPI_E_LOGON_FAILED) << "after Logoff";
  session->Release();
  MAPIUninitialize();
}

TEST(MapiMemory, DuplicatesAreDeepAndOneBlock) {
  char name[] = "Original";
  std::uint8_t bytes[] = {1, 2, 3};
  char proxyA[] = "SMTP:a@b.c";
  char* proxies[] = {proxyA};
  SPropValue props[3]{};
  props[0].ulPropTag = PR_DISPLAY_NAME;
  props[0].Value.lpszA = name;
  props[1].ulPropTag = PR_ENTRYID;
  props[1].Value.bin = {3, bytes};
  props[2].ulPropTag = PR_EMS_AB_PROXY_ADDRESSES;
  props[2].Value.MVszA = {1, proxies};
  LPSPropValue copy = nullptr;
  ASSERT_EQ(ScDupPropset(3, props, &MAPIAllocateBuffer, &copy), S_OK);
  name[0] = 'X';
  bytes[0] = 9;
  proxyA[0] = 'x';
  EXPECT_STREQ(copy[0].Value.lpszA, "Original");
  EXPECT_EQ(copy[1].Value.bin.lpb[0], 1);
  EXPECT_STREQ(copy[2].Value.MVszA.lppszA[0], "SMTP:a@b.c");
  EXPECT_EQ(MAPIFreeBuffer(copy), static_cast<ULONG>(S_OK));

  void* parent = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(16, &parent), S_OK);
  void* more = nullptr;
  ASSERT_EQ(MAPIAllocateMore(32, parent, &more), S_OK);
  std::memset(more, 0xAB, 32);
  EXPECT_EQ(MAPIFreeBuffer(parent), static_cast<ULONG>(S_OK));  // frees both
  EXPECT_EQ(MAPIFreeBuffer(nullptr), static_cast<ULONG>(S_OK));
  EXPECT_EQ(MAPIAllocateMore(8, nullptr, &more), E_INVALIDARG);
}

TEST(MapiLibraryTest, FunctionsAreFoundByOrdinal) {
  using L = mapi::MapiLibrary;
  EXPECT_EQ(L::GetProc(21), reinterpret_cast<void*>(&MAPIInitialize));
  EXPECT_EQ(L::GetProc(11), reinterpret_cast<void*>(&MAPILogonEx));
  EXPECT_EQ(L::GetProc(23), reinterpret_cast<void*>(&MAPIUninitialize));
  EXPECT_EQ(L::GetProc(13), reinterpret_cast<void*>(&MAPIAllocateBuffer));
  EXPECT_EQ(L::GetProc(17), reinterpret_cast<void*>(&MAPIFreeBuffer));
  EXPECT_EQ(L::GetProc(75), reinterpret_cast<void*>(&HrQueryAllRows));
  EXPECT_EQ(L::GetProc(140), reinterpret_cast<void*>(&FreeProws));
  EXPECT_EQ(L::GetProc(139), reinterpret_cast<void*>(&FreePadrlist));
  EXPECT_EQ(L::GetProc(174), reinterpret_cast<void*>(&ScDupPropset));
  EXPECT_EQ(L::GetProc(12), nullptr);
}

}  // namespace

#include "operations/mapinator.h"

#include <strings.h>

#include <cstring>

#include "foundation/config.h"
#include "foundation/guard.h"
#include "platform/mapi/mapi.h"
#include "platform/outlook/abentry.h"

namespace {

// Logs on without a window, to the default profile, with no password.
constexpr ULONG kLogonFlags = 0x108068;
constexpr ULONG kOpenGalFlags = MAPI_BEST_ACCESS | MAPI_DEFERRED_ERRORS;  // 0x18
constexpr ULONG kRootOpenFlags = 8;
constexpr ULONG kHierarchyFlags = 9;
constexpr ULONG PR_PROXY_ADDRESSES = 0x800F101E;

// Set once this module has initialised the library, so that it is uninitialised once.
bool mapiInitialized = false;

template <class F>
void Import(F& slot, int ordinal) {
  slot = reinterpret_cast<F>(mapi::MapiLibrary::GetProc(ordinal));
}

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The address after the prefix: first a primary "SMTP:" entry, else any "smtp:" alias.
bool PickSmtpProxy(const SStringArray8& proxies, std::string& out) {
  for (int pass = 0; pass < 2; ++pass) {
    for (ULONG i = 0; i < proxies.cValues; ++i) {
      const char* p = proxies.lppszA[i];
      std::size_t n = p ? std::strlen(p) : 0;
      // Entries of four characters or fewer cannot hold the prefix; one with nothing after it
      // names no address.
      if (n <= 5) continue;
      bool hit = pass == 0 ? std::strncmp(p, "SMTP:", 5) == 0 : strncasecmp(p, "smtp:", 5) == 0;
      if (hit) {
        out.assign(p + 5);
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool CMapinator::Imports::Complete() const {
  return initialize && logonEx && uninitialize && allocateBuffer && freeBuffer && queryAllRows && freeProws &&
         freePadrlist && dupPropset;
}

CMapinator::CMapinator() {
  using L = mapi::MapiLibrary;
  Import(mapi_.initialize, L::kMAPIInitialize);
  Import(mapi_.logonEx, L::kMAPILogonEx);
  Import(mapi_.uninitialize, L::kMAPIUninitialize);
  Import(mapi_.allocateBuffer, L::kMAPIAllocateBuffer);
  Import(mapi_.freeBuffer, L::kMAPIFreeBuffer);
  Import(mapi_.queryAllRows, L::kHrQueryAllRows);
  Import(mapi_.freeProws, L::kFreeProws);
  Import(mapi_.freePadrlist, L::kFreePadrlist);
  Import(mapi_.dupPropset, L::kScDupPropset);
}

CMapinator::~CMapinator() { Close(); }

HRESULT CMapinator::Open() {
  return Guarded("CMapinator::Open", [&] {
    if (session_) return;
    CheckTrue(mapi_.Complete(), MAPI_E_NOT_INITIALIZED);
    Check(mapi_.initialize(nullptr));
    mapiInitialized = true;
    Check(mapi_.logonEx(0, nullptr, nullptr, kLogonFlags, &session_));
    Check(session_->OpenAddressBook(0, nullptr, 0, &addressBook_));
  });
}

HRESULT CMapinator::Close() {
  return Guarded("CMapinator::Close", [&] {
    if (addressBook_) {
      DiagLog().Comment("Releasing the address book");
      Release(addressBook_);
    }
    if (session_) {
      DiagLog().Comment("Logging off the session");
      session_->Logoff(0, 0, 0);
      DiagLog().Comment("Releasing the session");
      Release(session_);
    }
    if (mapiInitialized && mapi_.uninitialize) {
      DiagLog().Comment("Calling MAPIUninitialize");
      mapi_.uninitialize();
      mapiInitialized = false;
    }
  });
}

HRESULT CMapinator::FindTheGAL(IAddrBook* addressBook, ULONG* cbEntryId, LPENTRYID* entryId) {
  IABContainer* root = nullptr;
  IMAPITable* table = nullptr;
  LPSRowSet rows = nullptr;
  LPENTRYID copy = nullptr;
  HRESULT hr = Guarded("CMapinator::FindTheGAL", [&] {
    CheckTrue(addressBook && cbEntryId && entryId, E_INVALIDARG);
    *cbEntryId = 0;
    *entryId = nullptr;
    ULONG type = 0;
    Check(addressBook->OpenEntry(0, nullptr, nullptr, kRootOpenFlags, &type, reinterpret_cast<IUnknown**>(&root)));
    CheckTrue(type == MAPI_ABCONT, E_FAIL);
    Check(root->GetHierarchyTable(kHierarchyFlags, &table));

    // The Exchange provider's container with container ID 0 is the Global Address List.
    SPropValue provider{};
    provider.ulPropTag = PR_AB_PROVIDER_ID;
    provider.Value.bin.cb = static_cast<ULONG>(outlook::kExchangeProviderUid.size());
    provider.Value.bin.lpb = const_cast<BYTE*>(outlook::kExchangeProviderUid.data());
    SPropValue containerId{};
    containerId.ulPropTag = PR_EMS_AB_CONTAINERID;
    containerId.Value.l = 0;
    SRestriction both[2]{};
    both[0].rt = RES_PROPERTY;
    both[0].res.resProperty = {RELOP_EQ, PR_AB_PROVIDER_ID, &provider};
    both[1].rt = RES_PROPERTY;
    both[1].res.resProperty = {RELOP_EQ, PR_EMS_AB_CONTAINERID, &containerId};
    SRestriction restriction{};
    restriction.rt = RES_AND;
    restriction.res.resAnd = {2, both};
    SizedSPropTagArray<1> columns{1, {PR_ENTRYID}};
    Check(mapi_.queryAllRows(table, columns.Get(), &restriction, nullptr, 0, &rows));

    CheckTrue(rows && rows->cRows == 1, E_FAIL);
    const SRow& row = rows->aRow[0];
    CheckTrue(row.cValues >= 1 && row.lpProps[0].ulPropTag == PR_ENTRYID, MAPI_E_NOT_FOUND);
    const SBinary& bin = row.lpProps[0].Value.bin;
    Check(mapi_.allocateBuffer(bin.cb, reinterpret_cast<void**>(&copy)));
    std::memcpy(copy, bin.lpb, bin.cb);
    *cbEntryId = bin.cb;
    *entryId = copy;
    copy = nullptr;
  });
  Release(table);
  Release(root);
  if (rows) mapi_.freeProws(rows);
  if (copy) mapi_.freeBuffer(copy);
  return hr;
}

HRESULT CProxy::CreateSizedAddressList(ULONG count, LPADRLIST* list) {
  return Guarded("CProxy::CreateSizedAddressList", [&] {
    CheckTrue(list != nullptr, E_INVALIDARG);
    *list = nullptr;
    CheckTrue(mapi_.Complete(), MAPI_E_NOT_INITIALIZED);
    const std::size_t size = CbNewADRLIST(count);
    void* block = nullptr;
    Check(mapi_.allocateBuffer(static_cast<ULONG>(size), &block));
    std::memset(block, 0, size);
    *list = static_cast<LPADRLIST>(block);
    (*list)->cEntries = count;
  });
}

HRESULT CProxy::SetAddressList(LPADRLIST list, ULONG index, ULONG propCount, LPSPropValue props) {
  return Guarded("CProxy::SetAddressList", [&] {
    CheckTrue(list != nullptr, E_INVALIDARG);
    CheckTrue(index < list->cEntries, E_FAIL);
    LPSPropValue copy = nullptr;
    Check(mapi_.dupPropset(static_cast<int>(propCount), props, mapi_.allocateBuffer, &copy));
    ADRENTRY& entry = list->aEntries[index];
    if (entry.rgPropVals) mapi_.freeBuffer(entry.rgPropVals);
    entry.rgPropVals = copy;
    entry.cValues = propCount;
  });
}

HRESULT CProxy::Resolve(IABContainer* container, const std::string& exchangeAddress, ULONG* cbEntryId,
                        LPENTRYID* entryId) {
  LPADRLIST list = nullptr;
  HRESULT hr = Guarded("CProxy::Resolve", [&] {
    CheckTrue(container && cbEntryId && entryId, E_INVALIDARG);
    *cbEntryId = 0;
    *entryId = nullptr;
    Check(CreateSizedAddressList(1, &list));

    // A configured mailbox name is what the directory resolves, whatever the address.
    std::string mailbox = CConfig().GetMailboxName();
    std::string shown = mailbox.empty() ? exchangeAddress : mailbox;
    SPropValue props[3]{};
    props[0].ulPropTag = PR_DISPLAY_NAME;
    props[0].Value.lpszA = shown.data();
    props[1].ulPropTag = PR_RECIPIENT_TYPE;
    props[1].Value.l = MAPI_TO;
    props[2].ulPropTag = PR_EMAIL_ADDRESS;
    props[2].Value.lpszA = const_cast<char*>(exchangeAddress.c_str());
    Check(SetAddressList(list, 0, 3, props));

    DiagLog().Comment("Calling ResolveNames");
    Check(container->ResolveNames(nullptr, 0, list, nullptr));
    CheckTrue(list->cEntries == 1, E_INVALIDARG);
    const SBinary* found = nullptr;
    const ADRENTRY& entry = list->aEntries[0];
    for (ULONG i = 0; i < entry.cValues; ++i)
      if (entry.rgPropVals[i].ulPropTag == PR_ENTRYID) found = &entry.rgPropVals[i].Value.bin;
    CheckTrue(found != nullptr, MAPI_E_NOT_FOUND);

    DiagLog().Comment("Allocating memory for EntryID");
    void* block = nullptr;
    Check(mapi_.allocateBuffer(found->cb, &block));
    DiagLog().Comment("Copying EntryID");
    std::memcpy(block, found->lpb, found->cb);
    *cbEntryId = found->cb;
    *entryId = static_cast<LPENTRYID>(block);
  });
  if (list) {
    DiagLog().Comment("Releasing memory");
    mapi_.freePadrlist(list);
  }
  return hr;
}

HRESULT CProxy::GetSmtpProxy(const std::string& exchangeAddress, std::string& emailAddress) {
  ULONG cbGal = 0, cbUser = 0, count = 0;
  LPENTRYID gal = nullptr, user = nullptr;
  IABContainer* container = nullptr;
  IMailUser* entry = nullptr;
  LPSPropValue props = nullptr;
  std::string found;
  HRESULT hr = Guarded("CProxy::GetSmtpProxy", [&] {
    Check(Open());
    Check(FindTheGAL(addressBook_, &cbGal, &gal));
    ULONG type = 0;
    Check(addressBook_->OpenEntry(cbGal, gal, &IID_IABContainer, kOpenGalFlags, &type,
                                  reinterpret_cast<IUnknown**>(&container)));
    Check(Resolve(container, exchangeAddress, &cbUser, &user));
    Check(container->OpenEntry(cbUser, user, nullptr, 0, &type, reinterpret_cast<IUnknown**>(&entry)));
    SizedSPropTagArray<1> tags{1, {PR_PROXY_ADDRESSES}};
    Check(entry->GetProps(tags.Get(), 0, &count, &props));
    CheckTrue(count == 1 && props && props[0].ulPropTag == PR_PROXY_ADDRESSES, MAPI_E_NOT_FOUND);
    CheckTrue(PickSmtpProxy(props[0].Value.MVszA, found), MAPI_E_NOT_FOUND);
  });
  if (props) mapi_.freeBuffer(props);
  Release(entry);
  if (user) mapi_.freeBuffer(user);
  Release(container);
  if (gal) mapi_.freeBuffer(gal);
  Close();
  if (SUCCEEDED(hr)) emailAddress = found;
  return hr;
}

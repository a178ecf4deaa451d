// Start-up, log-on and the session; whole-table queries; the library's ordinal table.
#include <atomic>
#include <memory>

#include "platform/com/object.h"
#include "platform/mapi/addressbook.h"
#include "platform/mapi/mapi.h"
#include "platform/outlook/abentry.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/standin.h"

namespace {

std::atomic<int> initCount{0};

class SessionObject : public com::Object<IMAPISession> {
 public:
  explicit SessionObject(mapi::StorePtr store) : store_(std::move(store)) {}

  HRESULT OpenAddressBook(ULONG_PTR, const IID* iid, ULONG, IAddrBook** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!store_) return MAPI_E_LOGON_FAILED;
    if (iid && *iid != IID_IAddrBook && *iid != IID_IUnknown) return E_NOINTERFACE;
    *out = mapi::MakeAddressBook(store_).Detach();
    return S_OK;
  }

  HRESULT QueryIdentity(ULONG* cbEntryId, LPENTRYID* entryId) override {
    if (!cbEntryId || !entryId) return E_INVALIDARG;
    *cbEntryId = 0;
    *entryId = nullptr;
    if (!store_) return MAPI_E_LOGON_FAILED;
    std::optional<outlook::Identity> me;
    HRESULT hr = outlook::StoreCall([&] { me = outlook::Directory(*store_).CurrentUser(); });
    if (FAILED(hr)) return hr;
    if (!me) return MAPI_E_NOT_FOUND;
    outlook::Bytes id = me->addressType == "EX" ? outlook::DirectoryEntryId(outlook::kDirectoryUser, me->address)
                                                : outlook::OneOffEntryId(me->displayName, me->addressType, me->address);
    void* block = nullptr;
    hr = MAPIAllocateBuffer(static_cast<ULONG>(id.size()), &block);
    if (FAILED(hr)) return hr;
    std::copy(id.begin(), id.end(), static_cast<BYTE*>(block));
    *cbEntryId = static_cast<ULONG>(id.size());
    *entryId = static_cast<LPENTRYID>(block);
    return S_OK;
  }

  HRESULT Logoff(ULONG_PTR, ULONG, ULONG) override {
    store_.reset();
    return S_OK;
  }

 private:
  mapi::StorePtr store_;
};

}  // namespace

HRESULT MAPIInitialize(void*) {
  ++initCount;
  return S_OK;
}

void MAPIUninitialize() {
  int count = initCount.load();
  while (count > 0 && !initCount.compare_exchange_weak(count, count - 1)) {
  }
}

HRESULT MAPILogonEx(ULONG_PTR, const char* profileName, const char*, ULONG flags, IMAPISession** session) {
  if (!session) return E_INVALIDARG;
  *session = nullptr;
  if (initCount.load() == 0) return MAPI_E_NOT_INITIALIZED;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  std::unique_ptr<outlook::ProfileStore> store;
  if (FAILED(outlook::OpenProfileStore(profileName ? profileName : "", store))) return MAPI_E_LOGON_FAILED;
  auto made = com::Make<SessionObject>(mapi::StorePtr(std::move(store)));
  *session = made.Detach();
  return S_OK;
}

HRESULT HrQueryAllRows(IMAPITable* table, LPSPropTagArray tags, LPSRestriction restriction, SSortOrderSet* sort,
                       LONG crowsMax, LPSRowSet* rows) {
  if (!table || !rows) return E_INVALIDARG;
  *rows = nullptr;
  if (sort) return MAPI_E_NO_SUPPORT;
  HRESULT hr = tags ? table->SetColumns(tags, 0) : S_OK;
  if (SUCCEEDED(hr)) hr = table->Restrict(restriction, 0);
  ULONG count = 0;
  if (SUCCEEDED(hr)) hr = table->GetRowCount(0, &count);
  if (FAILED(hr)) return hr;
  if (crowsMax > 0 && count > static_cast<ULONG>(crowsMax)) return MAPI_E_TABLE_TOO_BIG;
  hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
  if (FAILED(hr)) return hr;
  return table->QueryRows(static_cast<LONG>(count), 0, rows);
}

namespace mapi {

void* MapiLibrary::GetProc(int ordinal) {
  switch (ordinal) {
    case kMAPILogonEx: return reinterpret_cast<void*>(&MAPILogonEx);
    case kMAPIAllocateBuffer: return reinterpret_cast<void*>(&MAPIAllocateBuffer);
    case kMAPIFreeBuffer: return reinterpret_cast<void*>(&MAPIFreeBuffer);
    case kMAPIInitialize: return reinterpret_cast<void*>(&MAPIInitialize);
    case kMAPIUninitialize: return reinterpret_cast<void*>(&MAPIUninitialize);
    case kHrQueryAllRows: return reinterpret_cast<void*>(&HrQueryAllRows);
    case kFreePadrlist: return reinterpret_cast<void*>(&FreePadrlist);
    case kFreeProws: return reinterpret_cast<void*>(&FreeProws);
    case kScDupPropset: return reinterpret_cast<void*>(&ScDupPropset);
    default: return nullptr;
  }
}

}  // namespace mapi

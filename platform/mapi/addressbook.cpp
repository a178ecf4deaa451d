#include "platform/mapi/addressbook.h"

#include <cstring>
#include <functional>

#include "platform/com/object.h"
#include "platform/mapi/mapi.h"
#include "platform/outlook/abentry.h"
#include "platform/outlook/codes.h"

namespace mapi {
namespace {

using outlook::Bytes;
using outlook::Directory;
using outlook::DirectoryEntry;

constexpr const char* kGalDn = "/";
constexpr const char* kAllUsersDn = "/cn=All Users";

Bytes ProviderBytes(const outlook::ProviderUid& uid) { return Bytes(uid.begin(), uid.end()); }

// Runs a store read; store failures become the call's result.
HRESULT Guard(const std::function<HRESULT()>& body) {
  HRESULT result = S_OK;
  HRESULT hr = outlook::StoreCall([&] { result = body(); });
  return FAILED(hr) ? hr : result;
}

// Hands out `object` as `iid` (or as itself when no iid is asked).
template <class T>
HRESULT HandOut(const com::ComPtr<T>& object, const IID* iid, ULONG type, ULONG* objectType, IUnknown** out) {
  IUnknown* unknown = nullptr;
  if (iid) {
    HRESULT hr = object->QueryInterface(*iid, reinterpret_cast<void**>(&unknown));
    if (FAILED(hr)) return hr;
  } else {
    unknown = static_cast<IUnknown*>(object.Get());
    unknown->AddRef();
  }
  *out = unknown;
  if (objectType) *objectType = type;
  return S_OK;
}

class TableObject : public com::Object<IMAPITable> {
 public:
  explicit TableObject(std::vector<PropRow> rows) : rows_(std::move(rows)) {
    for (std::size_t i = 0; i < rows_.size(); ++i) visible_.push_back(i);
  }

  HRESULT SetColumns(LPSPropTagArray columns, ULONG) override {
    if (!columns) return E_INVALIDARG;
    columns_.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    return S_OK;
  }
  HRESULT Restrict(LPSRestriction restriction, ULONG) override {
    visible_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i)
      if (Matches(rows_[i], restriction)) visible_.push_back(i);
    cursor_ = 0;
    return S_OK;
  }
  HRESULT GetRowCount(ULONG, ULONG* count) override {
    if (!count) return E_INVALIDARG;
    *count = static_cast<ULONG>(visible_.size());
    return S_OK;
  }
  HRESULT SeekRow(ULONG bookmark, LONG rowCount, LONG* sought) override {
    if (bookmark != BOOKMARK_BEGINNING || rowCount < 0) return MAPI_E_NO_SUPPORT;
    cursor_ = std::min<std::size_t>(static_cast<std::size_t>(rowCount), visible_.size());
    if (sought) *sought = static_cast<LONG>(cursor_);
    return S_OK;
  }
  HRESULT QueryRows(LONG rowCount, ULONG, LPSRowSet* rows) override {
    if (!rows) return E_INVALIDARG;
    *rows = nullptr;
    if (rowCount < 0) return MAPI_E_NO_SUPPORT;
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(rowCount), visible_.size() - cursor_);
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(n)), &block);
    if (FAILED(hr)) return hr;
    auto* set = static_cast<SRowSet*>(block);
    set->cRows = 0;
    // The columns as a tag array: a count followed by the tags.
    SPropTagArray* tags = nullptr;
    std::vector<ULONG> tagBlock;
    if (!columns_.empty()) {
      tagBlock.push_back(static_cast<ULONG>(columns_.size()));
      tagBlock.insert(tagBlock.end(), columns_.begin(), columns_.end());
      tags = reinterpret_cast<SPropTagArray*>(tagBlock.data());
    }
    for (std::size_t i = 0; i < n; ++i) {
      SRow& row = set->aRow[i];
      row.ulAdrEntryPad = 0;
      hr = ToPropArray(rows_[visible_[cursor_ + i]], tags, &row.cValues, &row.lpProps);
      if (FAILED(hr)) {
        FreeProws(set);
        return hr;
      }
      ++set->cRows;
    }
    cursor_ += n;
    *rows = set;
    return S_OK;
  }

 private:
  std::vector<PropRow> rows_;
  std::vector<std::size_t> visible_;
  std::vector<ULONG> columns_;
  std::size_t cursor_ = 0;
};

class MailUserObject : public com::Object<IMailUser> {
 public:
  explicit MailUserObject(PropRow row) : row_(std::move(row)) {}
  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* props) override {
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return ToPropArray(row_, tags, count, props);
  }

 protected:
  HRESULT QueryOther(const IID& iid, void** out) override {
    if (iid != IID_IMAPIProp) return E_NOINTERFACE;
    *out = static_cast<IMAPIProp*>(this);
    return S_OK;
  }

 private:
  PropRow row_;
};

// What the containers share: their own properties, and OpenEntry over the same store.
template <class I>
class ContainerBase : public com::Object<I> {
 public:
  ContainerBase(StorePtr store, PropRow row) : store_(std::move(store)), row_(std::move(row)) {}
  HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* props) override {
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return ToPropArray(row_, tags, count, props);
  }
  HRESULT OpenEntry(ULONG cb, LPENTRYID entryId, const IID* iid, ULONG, ULONG* type, IUnknown** out) override {
    return mapi::OpenEntry(store_, cb, entryId, iid, type, out);
  }

 protected:
  HRESULT QueryOther(const IID& iid, void** out) override {
    if (iid == IID_IMAPIProp || iid == IID_IABContainer) {
      *out = static_cast<IABContainer*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  StorePtr store_;
  PropRow row_;
};

class DistListObject : public ContainerBase<IDistList> {
 public:
  DistListObject(StorePtr store, PropRow row, std::int64_t listId)
      : ContainerBase(std::move(store), std::move(row)), listId_(listId) {}
  HRESULT GetContentsTable(ULONG flags, IMAPITable** table) override {
    if (!table) return E_INVALIDARG;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    std::vector<PropRow> rows;
    HRESULT hr = Guard([&] {
      Directory directory(*store_);
      for (std::int64_t id : directory.Members(listId_))
        if (auto e = directory.ById(id)) rows.push_back(RowOfDirectoryEntry(*e));
      return S_OK;
    });
    if (FAILED(hr)) return hr;
    *table = MakeTable(std::move(rows)).Detach();
    return S_OK;
  }
  HRESULT GetHierarchyTable(ULONG, IMAPITable**) override { return MAPI_E_NO_SUPPORT; }
  HRESULT ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override { return MAPI_E_NO_SUPPORT; }

 private:
  std::int64_t listId_;
};

class GalObject : public ContainerBase<IABContainer> {
 public:
  using ContainerBase::ContainerBase;

  HRESULT GetContentsTable(ULONG flags, IMAPITable** table) override {
    if (!table) return E_INVALIDARG;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    std::vector<PropRow> rows;
    HRESULT hr = Guard([&] {
      for (const DirectoryEntry& e : Directory(*store_).All()) rows.push_back(RowOfDirectoryEntry(e));
      return S_OK;
    });
    if (FAILED(hr)) return hr;
    *table = MakeTable(std::move(rows)).Detach();
    return S_OK;
  }
  HRESULT GetHierarchyTable(ULONG, IMAPITable** table) override {
    if (!table) return E_INVALIDARG;
    *table = MakeTable({}).Detach();
    return S_OK;
  }
  HRESULT ResolveNames(LPSPropTagArray tags, ULONG flags, LPADRLIST list, LPFlagList flagList) override {
    if (!list) return E_INVALIDARG;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    if (flagList && flagList->cFlags != list->cEntries) return E_INVALIDARG;
    bool unresolved = false, ambiguous = false;
    for (ULONG i = 0; i < list->cEntries; ++i) {
      if (flagList && flagList->ulFlag[i] == MAPI_RESOLVED) continue;
      ADRENTRY& entry = list->aEntries[i];
      PropRow in = FromPropArray(entry.rgPropVals, entry.cValues);
      const Prop* name = FindProp(in, PR_DISPLAY_NAME);
      std::vector<DirectoryEntry> hits;
      if (name) {
        HRESULT hr = Guard([&] {
          hits = Directory(*store_).Match(name->text);
          return S_OK;
        });
        if (FAILED(hr)) return hr;
      }
      ULONG flag = hits.size() == 1 ? MAPI_RESOLVED : hits.size() > 1 ? MAPI_AMBIGUOUS : MAPI_UNRESOLVED;
      if (flagList) flagList->ulFlag[i] = flag;
      if (flag == MAPI_AMBIGUOUS) ambiguous = true;
      if (flag == MAPI_UNRESOLVED) unresolved = true;
      if (flag != MAPI_RESOLVED) continue;
      PropRow resolved = RowOfDirectoryEntry(hits.front());
      const Prop* type = FindProp(in, PR_RECIPIENT_TYPE);
      resolved.push_back({PR_RECIPIENT_TYPE, type ? type->number : static_cast<LONG>(MAPI_TO)});
      ULONG count = 0;
      LPSPropValue values = nullptr;
      HRESULT hr = ToPropArray(resolved, tags, &count, &values);
      if (FAILED(hr)) return hr;
      // The entry's old array is a library block: replaced, it is freed.
      MAPIFreeBuffer(entry.rgPropVals);
      entry.rgPropVals = values;
      entry.cValues = count;
    }
    if (flagList) return S_OK;
    return ambiguous ? MAPI_E_AMBIGUOUS_RECIP : unresolved ? MAPI_E_NOT_FOUND : S_OK;
  }
};

PropRow GalRow(const char* dn, const char* name, LONG containerId) {
  return {{PR_ENTRYID, outlook::DirectoryEntryId(outlook::kDirectoryContainer, dn)},
          {PR_DISPLAY_NAME, std::string(name)},
          {PR_OBJECT_TYPE, static_cast<LONG>(MAPI_ABCONT)},
          {PR_DISPLAY_TYPE, static_cast<LONG>(DT_GLOBAL)},
          {PR_AB_PROVIDER_ID, ProviderBytes(outlook::kExchangeProviderUid)},
          {PR_EMS_AB_CONTAINERID, containerId}};
}

class RootObject : public ContainerBase<IABContainer> {
 public:
  explicit RootObject(StorePtr store)
      : ContainerBase(std::move(store), PropRow{{PR_DISPLAY_NAME, std::string()},
                                                {PR_OBJECT_TYPE, static_cast<LONG>(MAPI_ABCONT)}}) {}

  HRESULT GetContentsTable(ULONG, IMAPITable**) override { return MAPI_E_NO_SUPPORT; }
  HRESULT GetHierarchyTable(ULONG, IMAPITable** table) override {
    if (!table) return E_INVALIDARG;
    std::vector<PropRow> rows;
    bool exchange = false;
    HRESULT hr = Guard([&] {
      exchange = Directory(*store_).HasExchange();
      return S_OK;
    });
    if (FAILED(hr)) return hr;
    if (exchange) {
      rows.push_back(GalRow(kGalDn, "Global Address List", 0));
      rows.push_back(GalRow(kAllUsersDn, "All Users", 2));
    }
    Bytes contacts(4, 0);
    contacts.insert(contacts.end(), outlook::kContactsProviderUid.begin(), outlook::kContactsProviderUid.end());
    rows.push_back({{PR_ENTRYID, contacts},
                    {PR_DISPLAY_NAME, std::string("Contacts")},
                    {PR_OBJECT_TYPE, static_cast<LONG>(MAPI_ABCONT)},
                    {PR_DISPLAY_TYPE, static_cast<LONG>(DT_NOT_SPECIFIC)},
                    {PR_AB_PROVIDER_ID, ProviderBytes(outlook::kContactsProviderUid)}});
    *table = MakeTable(std::move(rows)).Detach();
    return S_OK;
  }
  HRESULT ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override { return MAPI_E_NO_SUPPORT; }
};

class AddrBookObject : public com::Object<IAddrBook> {
 public:
  explicit AddrBookObject(StorePtr store) : store_(std::move(store)) {}
  HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* props) override {
    return ToPropArray(PropRow{{PR_OBJECT_TYPE, static_cast<LONG>(MAPI_ADDRBOOK)}}, tags, count, props);
  }
  HRESULT OpenEntry(ULONG cb, LPENTRYID entryId, const IID* iid, ULONG, ULONG* type, IUnknown** out) override {
    return mapi::OpenEntry(store_, cb, entryId, iid, type, out);
  }

 protected:
  HRESULT QueryOther(const IID& iid, void** out) override {
    if (iid != IID_IMAPIProp) return E_NOINTERFACE;
    *out = static_cast<IMAPIProp*>(this);
    return S_OK;
  }

 private:
  StorePtr store_;
};

PropRow ContactRow(const Bytes& entryId, const outlook::ItemRecord& item) {
  auto text = [&](const char* name) {
    auto it = item.props.find(name);
    std::string s;
    if (it != item.props.end() && FAILED(it->second.ToText(s))) s.clear();
    return s;
  };
  std::string full = text("FullName"), email = text("Email1Address"), type = text("Email1AddressType");
  std::string shown = text("Email1DisplayName");
  if (shown.empty()) shown = full.empty() ? email : full + " (" + email + ")";
  if (type.empty()) type = "SMTP";
  PropRow row{{PR_ENTRYID, entryId},
              {PR_DISPLAY_NAME, shown},
              {PR_ADDRTYPE, type},
              {PR_EMAIL_ADDRESS, email},
              {PR_OBJECT_TYPE, static_cast<LONG>(MAPI_MAILUSER)},
              {PR_DISPLAY_TYPE, static_cast<LONG>(DT_MAILUSER)}};
  if (type == "SMTP") row.push_back({PR_SMTP_ADDRESS, email});
  return row;
}

}  // namespace

PropRow RowOfDirectoryEntry(const DirectoryEntry& e) {
  bool list = e.displayType == outlook::olDistList;
  PropRow row{{PR_ENTRYID, outlook::DirectoryEntryId(list ? outlook::kDirectoryList : outlook::kDirectoryUser, e.legacyDn)},
              {PR_DISPLAY_NAME, e.displayName},
              {PR_ADDRTYPE, std::string("EX")},
              {PR_EMAIL_ADDRESS, e.legacyDn},
              {PR_OBJECT_TYPE, static_cast<LONG>(list ? MAPI_DISTLIST : MAPI_MAILUSER)},
              {PR_DISPLAY_TYPE, static_cast<LONG>(list ? DT_DISTLIST : DT_MAILUSER)},
              {PR_ACCOUNT, e.alias}};
  if (!e.firstName.empty()) row.push_back({PR_GIVEN_NAME, e.firstName});
  if (!e.lastName.empty()) row.push_back({PR_SURNAME, e.lastName});
  std::string smtp = e.PrimarySmtp();
  if (!smtp.empty()) row.push_back({PR_SMTP_ADDRESS, smtp});
  if (!e.proxies.empty()) row.push_back({PR_EMS_AB_PROXY_ADDRESSES, e.proxies});
  return row;
}

com::ComPtr<IMAPITable> MakeTable(std::vector<PropRow> rows) {
  return com::ComPtr<IMAPITable>(com::Make<TableObject>(std::move(rows)).Get());
}

com::ComPtr<IAddrBook> MakeAddressBook(StorePtr store) {
  return com::ComPtr<IAddrBook>(com::Make<AddrBookObject>(std::move(store)).Get());
}

HRESULT OpenEntry(const StorePtr& store, ULONG cbEntryId, const ENTRYID* entryId, const IID* iid, ULONG* objectType,
                  IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (cbEntryId == 0 || !entryId) return HandOut(com::Make<RootObject>(store), iid, MAPI_ABCONT, objectType, out);
  auto bytes = reinterpret_cast<const std::uint8_t*>(entryId);
  std::optional<outlook::ParsedEntryId> parsed = outlook::ParseEntryId(bytes, cbEntryId);
  if (!parsed) return MAPI_E_INVALID_ENTRYID;
  Bytes id(bytes, bytes + cbEntryId);
  return Guard([&]() -> HRESULT {
    Directory directory(*store);
    switch (parsed->kind) {
      case outlook::EntryKind::Directory: {
        if (parsed->directoryType == outlook::kDirectoryContainer) {
          if (!directory.HasExchange() || (parsed->legacyDn != kGalDn && parsed->legacyDn != kAllUsersDn))
            return MAPI_E_NOT_FOUND;
          PropRow row = parsed->legacyDn == kGalDn ? GalRow(kGalDn, "Global Address List", 0)
                                                   : GalRow(kAllUsersDn, "All Users", 2);
          return HandOut(com::Make<GalObject>(store, std::move(row)), iid, MAPI_ABCONT, objectType, out);
        }
        std::optional<DirectoryEntry> e = directory.ByLegacyDn(parsed->legacyDn);
        if (!e) return MAPI_E_NOT_FOUND;
        if (e->displayType == outlook::olDistList)
          return HandOut(com::Make<DistListObject>(store, RowOfDirectoryEntry(*e), e->id), iid, MAPI_DISTLIST,
                         objectType, out);
        return HandOut(com::Make<MailUserObject>(RowOfDirectoryEntry(*e)), iid, MAPI_MAILUSER, objectType, out);
      }
      case outlook::EntryKind::Contact: {
        std::optional<outlook::ItemRecord> item = store->LoadItemByEntryId(parsed->contactEntryId);
        if (!item || item->objectClass != outlook::olContact) return MAPI_E_NOT_FOUND;
        return HandOut(com::Make<MailUserObject>(ContactRow(id, *item)), iid, MAPI_MAILUSER, objectType, out);
      }
      case outlook::EntryKind::OneOff: {
        PropRow row{{PR_ENTRYID, id},
                    {PR_DISPLAY_NAME, parsed->displayName},
                    {PR_ADDRTYPE, parsed->addressType},
                    {PR_EMAIL_ADDRESS, parsed->address},
                    {PR_OBJECT_TYPE, static_cast<LONG>(MAPI_MAILUSER)},
                    {PR_DISPLAY_TYPE, static_cast<LONG>(DT_MAILUSER)}};
        if (parsed->addressType == "SMTP") row.push_back({PR_SMTP_ADDRESS, parsed->address});
        return HandOut(com::Make<MailUserObject>(std::move(row)), iid, MAPI_MAILUSER, objectType, out);
      }
    }
    return MAPI_E_INVALID_ENTRYID;
  });
}

}  // namespace mapi

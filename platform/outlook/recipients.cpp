#include "platform/outlook/recipients.h"

#include <algorithm>

#include "platform/outlook/abentry.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/resolver.h"

namespace outlook {
namespace {

constexpr int kRecipientsClass = 17;        // olRecipients
constexpr int kAddressEntriesClass = 21;    // olAddressEntries

void RequireRecipients(ItemObject& item) {
  int cls = item.ObjectClass();
  if (cls != olMail && cls != olTask && cls != olJournal && cls != olAppointment) com::Throw(DISP_E_MEMBERNOTFOUND);
}

}  // namespace

AddressData AddressOfDirectoryEntry(const DirectoryEntry& e) {
  AddressData d;
  d.name = e.displayName;
  d.addressType = "EX";
  d.address = e.legacyDn;
  d.displayType = e.displayType;
  d.entryId = ToHex(DirectoryEntryId(e.displayType == olDistList ? kDirectoryList : kDirectoryUser, e.legacyDn));
  return d;
}

RecipientsCollection::RecipientsCollection(com::ComPtr<ItemObject> item) : item_(std::move(item)) {
  Property("Class", [] { return kRecipientsClass; });
  Property("Count", [this] { return static_cast<int>(item_->Record().recipients.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    auto& list = item_->Record().recipients;
    std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k]->name; });
    return com::Make<RecipientObject>(item_->SessionPtr(), item_, list[i]);
  });
  Method("Add", 1, 1, [this](const com::DispParams& a) {
    RequireRecipients(*item_);
    auto record = std::make_shared<RecipientRecord>();
    record->name = a.Text(0);
    if (record->name.empty()) com::Throw(E_INVALIDARG);
    item_->Record().recipients.push_back(record);
    item_->Touch();
    return com::Make<RecipientObject>(item_->SessionPtr(), item_, record);
  });
  Method("Remove", 1, 1, [this](const com::DispParams& a) {
    auto& list = item_->Record().recipients;
    std::int32_t n = a.Int(0);
    if (n < 1 || static_cast<std::size_t>(n) > list.size()) com::Throw(DISP_E_BADINDEX);
    list.erase(list.begin() + (n - 1));
    item_->Touch();
  });
  Method("ResolveAll", 0, 0, [this](const com::DispParams&) {
    bool all = true;
    for (const auto& record : item_->Record().recipients) {
      com::ComPtr<RecipientObject> r = com::Make<RecipientObject>(item_->SessionPtr(), item_, record);
      if (!r->Resolve()) all = false;
    }
    return all;
  });
}

RecipientObject::RecipientObject(std::shared_ptr<Session> session, com::ComPtr<ItemObject> item,
                                 std::shared_ptr<RecipientRecord> record)
    : session_(std::move(session)), item_(std::move(item)), record_(std::move(record)) {
  Property("Class", [] { return static_cast<int>(olRecipient); });
  Property("Name", [this] { return record_->name; });
  Property("Address", [this](com::Variant& r) -> HRESULT {
    // Outlook has no address for a name it could not resolve.
    r = com::Variant(record_->resolved ? record_->address : std::string());
    return S_OK;
  });
  Property("Type", [this] { return record_->type; },
           [this](const com::Variant& v) {
             int type = v.AsInt();
             if (type < olTo || type > olBCC) com::Throw(E_INVALIDARG);
             record_->type = type;
             if (item_) item_->Touch();
           });
  Property("Resolved", [this] { return record_->resolved; });
  Property("DisplayType", [this] { return record_->resolved ? record_->displayType : 0; });
  Property("EntryID", [this](com::Variant& r) -> HRESULT {
    if (!record_->resolved) return MAPI_E_NOT_FOUND;
    r = com::Variant(record_->entryId);
    return S_OK;
  });
  Property("Index", [this](com::Variant& r) -> HRESULT {
    if (!item_) return E_FAIL;
    auto& list = item_->Record().recipients;
    auto it = std::find(list.begin(), list.end(), record_);
    if (it == list.end()) return MAPI_E_OBJECT_DELETED;
    r = com::Variant(static_cast<int>(it - list.begin() + 1));
    return S_OK;
  });
  Property("AddressEntry", [this](com::Variant& r) -> HRESULT {
    if (!record_->resolved) return MAPI_E_NOT_FOUND;
    AddressData d{record_->name, record_->addressType, record_->address, record_->displayType, record_->entryId};
    r = com::Variant(com::Make<AddressEntryObject>(session_, d));
    return S_OK;
  });
  Method("Resolve", 0, 0, [this](const com::DispParams&) { return Resolve(); });
  Method("Delete", 0, 0, [this](const com::DispParams&) {
    if (!item_) com::Throw(E_FAIL);
    auto& list = item_->Record().recipients;
    auto it = std::find(list.begin(), list.end(), record_);
    if (it == list.end()) com::Throw(MAPI_E_OBJECT_DELETED);
    list.erase(it);
    item_->Touch();
  });
}

bool RecipientObject::Resolve() {
  if (record_->resolved) return true;
  RecipientRecord resolved = *record_;
  Resolution outcome = Resolution::Unresolved;
  HRESULT hr = StoreCall([&] { outcome = ResolveName(session_->Store(), record_->name, resolved); });
  if (FAILED(hr)) com::Throw(hr);
  if (outcome != Resolution::Resolved) return false;
  *record_ = resolved;
  if (item_) item_->Touch();
  return true;
}

AddressEntryObject::AddressEntryObject(std::shared_ptr<Session> session, AddressData data)
    : session_(std::move(session)), data_(std::move(data)) {
  Property("Class", [] { return static_cast<int>(olAddressEntry); });
  Property("Name", [this] { return data_.name; });
  Property("Address", [this] { return data_.address; });
  Property("Type", [this] { return data_.addressType; });
  Property("DisplayType", [this] { return data_.displayType; });
  Property("ID", [this] { return data_.entryId; });
  Property("Members", [this](com::Variant& r) -> HRESULT {
    if (data_.displayType != olDistList || data_.addressType != "EX") {
      r = com::Variant(static_cast<IDispatch*>(nullptr));
      return S_OK;
    }
    std::vector<AddressData> members;
    HRESULT hr = StoreCall([&] {
      Directory directory(session_->Store());
      std::optional<DirectoryEntry> list = directory.ByLegacyDn(data_.address);
      if (!list) com::Throw(MAPI_E_NOT_FOUND);
      for (std::int64_t id : directory.Members(list->id))
        if (std::optional<DirectoryEntry> m = directory.ById(id)) members.push_back(AddressOfDirectoryEntry(*m));
    });
    if (FAILED(hr)) return hr;
    r = com::Variant(com::Make<AddressEntriesCollection>(session_, std::move(members)));
    return S_OK;
  });
}

AddressEntriesCollection::AddressEntriesCollection(std::shared_ptr<Session> session, std::vector<AddressData> entries)
    : session_(std::move(session)), entries_(std::move(entries)) {
  Property("Class", [] { return kAddressEntriesClass; });
  Property("Count", [this] { return static_cast<int>(entries_.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], entries_.size(), [&](std::size_t k) { return entries_[k].name; });
    return com::Make<AddressEntryObject>(session_, entries_[i]);
  });
}

}  // namespace outlook

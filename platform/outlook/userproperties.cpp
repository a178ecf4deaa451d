#include "platform/outlook/userproperties.h"

#include <algorithm>

#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr int kUserPropertiesClass = 38;  // olUserProperties

bool KnownType(int type) {
  return type == olText || type == olNumber || type == olDateTime || type == olYesNo || type == olInteger;
}

com::Variant DefaultValue(int type) {
  switch (type) {
    case olYesNo:
      return com::Variant(false);
    case olNumber:
      return com::Variant(0.0);
    case olInteger:
      return com::Variant(0);
    case olDateTime:
      return com::Variant::FromDate(kNoDate);
    default:
      return com::Variant(std::string());
  }
}

}  // namespace

com::Variant ConvertUserValue(int type, const com::Variant& value) {
  switch (type) {
    case olYesNo:
      return com::Variant(value.AsBool());
    case olNumber:
      return com::Variant(value.AsDouble());
    case olInteger:
      return com::Variant(value.AsInt());
    case olDateTime:
      return com::Variant::FromDate(value.AsDate());
    default:
      return com::Variant(value.AsText());
  }
}

UserPropertiesCollection::UserPropertiesCollection(com::ComPtr<ItemObject> item) : item_(std::move(item)) {
  auto nameAt = [this](std::size_t k) { return item_->Record().userProps[k]->name; };
  Property("Class", [] { return kUserPropertiesClass; });
  Property("Count", [this] { return static_cast<int>(item_->Record().userProps.size()); });
  // Item(index or name): a name that is not there gives Nothing, as Find does.
  Method("Item", 1, 1, [this, nameAt](const com::DispParams& a, com::Variant& r) -> HRESULT {
    auto& list = item_->Record().userProps;
    std::size_t i = FindByName(a[0], list.size(), nameAt);
    r = i < list.size() ? com::Variant(com::Make<UserPropertyObject>(item_, list[i]))
                        : com::Variant(static_cast<IDispatch*>(nullptr));
    return S_OK;
  });
  // Find(Name, Custom): only custom properties live here, so Custom changes nothing.
  Method("Find", 1, 2, [this, nameAt](const com::DispParams& a, com::Variant& r) -> HRESULT {
    auto& list = item_->Record().userProps;
    std::size_t i = FindByName(com::Variant(a.Text(0)), list.size(), nameAt);
    r = i < list.size() ? com::Variant(com::Make<UserPropertyObject>(item_, list[i]))
                        : com::Variant(static_cast<IDispatch*>(nullptr));
    return S_OK;
  });
  // Add(Name, Type, AddToFolderFields, DisplayFormat)
  Method("Add", 2, 4, [this, nameAt](const com::DispParams& a) {
    std::string name = a.Text(0);
    int type = a.Int(1);
    if (name.empty() || !KnownType(type)) com::Throw(E_INVALIDARG);
    auto& list = item_->Record().userProps;
    if (FindByName(com::Variant(name), list.size(), nameAt) < list.size()) com::Throw(MAPI_E_COLLISION);
    auto record = std::make_shared<UserPropRecord>();
    record->name = name;
    record->type = type;
    record->value = DefaultValue(type);
    list.push_back(record);
    item_->Touch();
    return com::Make<UserPropertyObject>(item_, record);
  });
  Method("Remove", 1, 1, [this](const com::DispParams& a) {
    auto& list = item_->Record().userProps;
    std::int32_t n = a.Int(0);
    if (n < 1 || static_cast<std::size_t>(n) > list.size()) com::Throw(DISP_E_BADINDEX);
    list.erase(list.begin() + (n - 1));
    item_->Touch();
  });
}

UserPropertyObject::UserPropertyObject(com::ComPtr<ItemObject> item, std::shared_ptr<UserPropRecord> record)
    : item_(std::move(item)), record_(std::move(record)) {
  Property("Class", [] { return static_cast<int>(olUserProperty); });
  Property("Name", [this] { return record_->name; });
  Property("Type", [this] { return record_->type; });
  Property("Value", [this] { return record_->value; },
           [this](const com::Variant& v) {
             record_->value = ConvertUserValue(record_->type, v);
             item_->Touch();
           });
  Property("Parent", [this] { return item_; });
  Method("Delete", 0, 0, [this](const com::DispParams&) {
    auto& list = item_->Record().userProps;
    auto it = std::find(list.begin(), list.end(), record_);
    if (it == list.end()) com::Throw(MAPI_E_OBJECT_DELETED);
    list.erase(it);
    item_->Touch();
  });
}

}  // namespace outlook

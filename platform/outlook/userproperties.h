#pragma once
// An item's custom UserProperties and each UserProperty with its typed Value.
#include <memory>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/item.h"

namespace outlook {

class UserPropertiesCollection : public com::DispatchObject {
 public:
  explicit UserPropertiesCollection(com::ComPtr<ItemObject> item);

 private:
  com::ComPtr<ItemObject> item_;
};

class UserPropertyObject : public com::DispatchObject {
 public:
  UserPropertyObject(com::ComPtr<ItemObject> item, std::shared_ptr<UserPropRecord> record);

 private:
  com::ComPtr<ItemObject> item_;
  std::shared_ptr<UserPropRecord> record_;
};

// A value converted to what a property of `type` holds (olText, olNumber, olDateTime,
// olYesNo, olInteger); throws DISP_E_TYPEMISMATCH when it has no such form.
com::Variant ConvertUserValue(int type, const com::Variant& value);

}  // namespace outlook

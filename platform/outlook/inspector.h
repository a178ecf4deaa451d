#pragma once
// Inspectors: the windows that show one item each, here objects without a window. Opening
// one (Display, GetInspector) fires NewInspector on the Inspectors collection; closing the
// item closes its inspector.
#include <memory>
#include <string>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/commandbars.h"
#include "platform/outlook/item.h"

namespace outlook {

class InspectorObject : public com::DispatchObject {
 public:
  InspectorObject(com::ComPtr<ItemObject> item, bool wordMail);
  ItemObject* Item() const { return item_.Get(); }
  std::string Caption() const;
  bool IsWordMail() const { return wordMail_; }
  com::ComPtr<CommandBarsObject> CommandBars() const { return commandBars_; }
  void FireClose();

 private:
  com::ComPtr<ItemObject> item_;
  bool wordMail_;
  com::ComPtr<CommandBarsObject> commandBars_;
};

class InspectorsCollection : public com::DispatchObject {
 public:
  InspectorsCollection();

  // The item's inspector, made (and announced with NewInspector) when it has none.
  com::ComPtr<InspectorObject> Open(ItemObject& item, bool activate, bool wordMail);
  void Close(ItemObject& item);
  void CloseAll();
  InspectorObject* Active() const;
  InspectorObject* Find(const ItemObject& item) const;
  const std::vector<com::ComPtr<InspectorObject>>& List() const { return list_; }

 private:
  std::vector<com::ComPtr<InspectorObject>> list_;
  InspectorObject* active_ = nullptr;
};

// Through the item's application: Display (activate) or GetInspector. E_FAIL when the
// application object is gone.
HRESULT OpenInspector(ItemObject& item, bool activate, com::ComPtr<IDispatch>& out);
void CloseInspectorOf(ItemObject& item);

}  // namespace outlook

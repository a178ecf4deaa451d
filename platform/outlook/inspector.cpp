#include "platform/outlook/inspector.h"

#include <algorithm>

#include "platform/outlook/application.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/events.h"

namespace outlook {
namespace {

constexpr int kInspectorClass = 35;   // olInspector
constexpr int kInspectorsClass = 56;  // olInspectors
constexpr int kPagesClass = 60;       // olPages

class PageObject : public com::DispatchObject {
 public:
  explicit PageObject(std::string name) : name_(std::move(name)) {
    Property("Name", [this] { return name_; });
    Property("Caption", [this] { return name_; });
  }

 private:
  std::string name_;
};

// The custom pages of the item's form: those published for its message class, plus pages
// added on this inspector.
class PagesCollection : public com::DispatchObject {
 public:
  explicit PagesCollection(std::vector<std::string> pages) : pages_(std::move(pages)) {
    Property("Class", [] { return kPagesClass; });
    Property("Count", [this] { return static_cast<int>(pages_.size()); });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      std::size_t i = IndexArg(a[0], pages_.size(), [&](std::size_t k) { return pages_[k]; });
      return com::Make<PageObject>(pages_[i]);
    });
    Method("Add", 0, 1, [this](const com::DispParams& a) {
      // Outlook allows five custom pages on a form.
      if (pages_.size() >= 5) com::Throw(E_FAIL);
      std::string name = a.TextOr(0, "P." + std::to_string(pages_.size() + 2));
      pages_.push_back(name);
      return com::Make<PageObject>(name);
    });
    Method("Remove", 1, 1, [this](const com::DispParams& a) {
      std::size_t i = IndexArg(a[0], pages_.size(), [&](std::size_t k) { return pages_[k]; });
      pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(i));
    });
  }

 private:
  std::vector<std::string> pages_;
};

const char* KindWord(int objectClass) {
  switch (objectClass) {
    case olMail: return "Message";
    case olTask: return "Task";
    case olContact: return "Contact";
    case olJournal: return "Journal Entry";
    case olAppointment: return "Appointment";
    default: return "Item";
  }
}

}  // namespace

InspectorObject::InspectorObject(com::ComPtr<ItemObject> item, bool wordMail)
    : item_(std::move(item)), wordMail_(wordMail), commandBars_(com::Make<CommandBarsObject>()) {
  AddEventSource(IID_InspectorEvents);
  Property("Class", [] { return kInspectorClass; });
  Property("Caption", [this] { return Caption(); });
  Property("CurrentItem", [this] { return item_; });
  Property("CommandBars", [this] { return commandBars_; });
  Property("IsWordMail", [this] { return wordMail_; });
  Property("EditorType", [this] { return wordMail_ ? 4 : 1; });  // olEditorWord, olEditorText
  Property("ModifiedFormPages", [this](com::Variant& r) -> HRESULT {
    std::vector<std::string> names;
    HRESULT hr = StoreCall([&] { names = item_->GetSession().Store().FormPages(item_->Record().messageClass); });
    if (FAILED(hr)) return hr;
    r = com::Variant(com::Make<PagesCollection>(std::move(names)));
    return S_OK;
  });
  Method("Display", 0, 1, [this](const com::DispParams&) -> void {
    com::ComPtr<IDispatch> self;
    HRESULT hr = OpenInspector(*item_, true, self);
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Activate", 0, 0, [this](const com::DispParams&) -> void {
    com::ComPtr<IDispatch> self;
    HRESULT hr = OpenInspector(*item_, true, self);
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Close", 1, 1, [this](const com::DispParams& a) -> void {
    com::ComPtr<IDispatch> keep(this);
    HRESULT hr = item_->Close(a.Int(0));
    if (FAILED(hr)) com::Throw(hr);
  });
}

std::string InspectorObject::Caption() const {
  std::string subject = item_->Text("Subject");
  return (subject.empty() ? std::string("Untitled") : subject) + " - " + KindWord(item_->ObjectClass());
}

void InspectorObject::FireClose() { FireEvent(IID_InspectorEvents, DISPID_InspectorClose); }

InspectorsCollection::InspectorsCollection() {
  AddEventSource(IID_InspectorsEvents);
  Property("Class", [] { return kInspectorsClass; });
  Property("Count", [this] { return static_cast<int>(list_.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], list_.size(), [&](std::size_t k) { return list_[k]->Caption(); });
    return list_[i];
  });
  Method("Add", 1, 1, [this](const com::DispParams& a) {
    auto* item = a[0].IsObject() ? dynamic_cast<ItemObject*>(a[0].Dispatch()) : nullptr;
    if (!item) com::Throw(E_INVALIDARG);
    com::ComPtr<IDispatch> out;
    HRESULT hr = OpenInspector(*item, false, out);
    if (FAILED(hr)) com::Throw(hr);
    return out;
  });
}

com::ComPtr<InspectorObject> InspectorsCollection::Open(ItemObject& item, bool activate, bool wordMail) {
  com::ComPtr<InspectorObject> inspector(Find(item));
  if (!inspector) {
    inspector = com::Make<InspectorObject>(com::ComPtr<ItemObject>(&item), wordMail);
    list_.push_back(inspector);
    FireEvent(IID_InspectorsEvents, DISPID_NewInspector, com::DispParams{com::Variant(inspector)});
  }
  if (activate) active_ = inspector.Get();
  return inspector;
}

void InspectorsCollection::Close(ItemObject& item) {
  auto it = std::find_if(list_.begin(), list_.end(), [&](const auto& i) { return i->Item() == &item; });
  if (it == list_.end()) return;
  com::ComPtr<InspectorObject> closing = *it;
  list_.erase(it);
  if (active_ == closing.Get()) active_ = list_.empty() ? nullptr : list_.back().Get();
  closing->FireClose();
}

void InspectorsCollection::CloseAll() {
  while (!list_.empty()) {
    com::ComPtr<InspectorObject> closing = list_.back();
    list_.pop_back();
    closing->FireClose();
  }
  active_ = nullptr;
}

InspectorObject* InspectorsCollection::Active() const { return active_; }

InspectorObject* InspectorsCollection::Find(const ItemObject& item) const {
  for (const auto& i : list_)
    if (i->Item() == &item) return i.Get();
  return nullptr;
}

HRESULT OpenInspector(ItemObject& item, bool activate, com::ComPtr<IDispatch>& out) {
  ApplicationObject* app = item.GetSession().Application();
  if (!app) return E_FAIL;
  com::ComPtr<InspectorObject> inspector = app->Inspectors()->Open(item, activate, app->WordMailEditor());
  out = com::ComPtr<IDispatch>(inspector.Get());
  return S_OK;
}

void CloseInspectorOf(ItemObject& item) {
  if (ApplicationObject* app = item.GetSession().Application()) app->Inspectors()->Close(item);
}

}  // namespace outlook

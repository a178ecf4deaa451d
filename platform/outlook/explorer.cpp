#include "platform/outlook/explorer.h"

#include <algorithm>

#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/events.h"
#include "platform/outlook/folder.h"
#include "platform/outlook/outlookbar.h"

namespace outlook {
namespace {

constexpr int kExplorerClass = 34;   // olExplorer
constexpr int kExplorersClass = 60;  // olExplorers
constexpr int kSelectionClass = 74;  // olSelection
constexpr int kPanesClass = 62;      // olPanes

// A snapshot of the selection, as Outlook hands it out.
class SelectionObject : public com::DispatchObject {
 public:
  explicit SelectionObject(std::vector<com::ComPtr<ItemObject>> items) : items_(std::move(items)) {
    Property("Class", [] { return kSelectionClass; });
    Property("Count", [this] { return static_cast<int>(items_.size()); });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      std::size_t i = IndexArg(a[0], items_.size(), [&](std::size_t k) { return items_[k]->Text("Subject"); });
      return items_[i];
    });
  }

 private:
  std::vector<com::ComPtr<ItemObject>> items_;
};

class PanesObject : public com::DispatchObject {
 public:
  explicit PanesObject(com::ComPtr<ExplorerObject> explorer) : explorer_(std::move(explorer)) {
    Property("Class", [] { return kPanesClass; });
    Property("Count", [] { return 1; });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      IndexArg(a[0], 1, [](std::size_t) { return std::string("OutlookBar"); });
      return MakeOutlookBarPane(explorer_);
    });
  }

 private:
  com::ComPtr<ExplorerObject> explorer_;
};

}  // namespace

ExplorerObject::ExplorerObject(std::shared_ptr<Session> session, ExplorersCollection* owner, std::int64_t folderId)
    : session_(std::move(session)), owner_(owner), folderId_(folderId), commandBars_(com::Make<CommandBarsObject>()) {
  AddEventSource(IID_ExplorerEvents);
  auto folderArg = [this](const com::Variant& v) {
    std::int64_t id = FolderIdOf(v);
    if (!id) com::Throw(E_INVALIDARG);
    HRESULT hr = SwitchFolder(id);
    if (FAILED(hr)) com::Throw(hr);
  };
  Property("Class", [] { return kExplorerClass; });
  Property("Caption", [this] { return Caption(); });
  Property("CurrentFolder", [this] { return MakeFolder(session_, folderId_); }, folderArg, folderArg);
  Property("Selection", [this] { return com::Make<SelectionObject>(selection_); });
  Property("CommandBars", [this] { return commandBars_; });
  Property("Panes", [this] { return com::Make<PanesObject>(com::ComPtr<ExplorerObject>(this)); });
  Method("AddToSelection", 1, 1, [this](const com::DispParams& a) -> void {
    auto* item = a[0].IsObject() ? dynamic_cast<ItemObject*>(a[0].Dispatch()) : nullptr;
    if (!item || item->Record().folderId != folderId_ || !item->IsStored()) com::Throw(E_INVALIDARG);
    auto next = selection_;
    if (std::none_of(next.begin(), next.end(), [&](const auto& s) { return s.Get() == item; }))
      next.emplace_back(item);
    HRESULT hr = Select(next);
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("RemoveFromSelection", 1, 1, [this](const com::DispParams& a) -> void {
    auto* item = a[0].IsObject() ? dynamic_cast<ItemObject*>(a[0].Dispatch()) : nullptr;
    auto next = selection_;
    std::erase_if(next, [&](const auto& s) { return s.Get() == item; });
    HRESULT hr = Select(next);
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("ClearSelection", 0, 0, [this](const com::DispParams&) -> void {
    HRESULT hr = Select({});
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Activate", 0, 0, [this](const com::DispParams&) {
    if (!owner_) com::Throw(E_FAIL);
    owner_->Activate(this);
    FireEvent(IID_ExplorerEvents, DISPID_ExplorerActivate);
  });
  Method("Display", 0, 0, [this](const com::DispParams&) {
    if (!owner_) com::Throw(E_FAIL);
    owner_->Activate(this);
  });
  Method("Close", 0, 0, [this](const com::DispParams&) {
    com::ComPtr<IDispatch> keep(this);
    if (owner_) owner_->Close(this);
  });
}

std::string ExplorerObject::Caption() const {
  std::string name;
  HRESULT hr = StoreCall([&] {
    if (std::optional<FolderRecord> f = session_->Store().FolderById(folderId_)) name = f->name;
  });
  if (FAILED(hr)) name = "Outlook";
  return name + " - Microsoft Outlook";
}

HRESULT ExplorerObject::SwitchFolder(std::int64_t folderId) {
  if (!owner_) return E_FAIL;
  com::ComPtr<IDispatch> keep(this);
  com::ComPtr<FolderObject> target = MakeFolder(session_, folderId);
  // Cancel travels by reference in Outlook; here a sink cannot set it, so the switch goes on.
  FireEvent(IID_ExplorerEvents, DISPID_BeforeFolderSwitch, com::DispParams{com::Variant(target), com::Variant(false)});
  folderId_ = folderId;
  selection_.clear();
  FireEvent(IID_ExplorerEvents, DISPID_FolderSwitch);
  FireEvent(IID_ExplorerEvents, DISPID_SelectionChange);
  return S_OK;
}

HRESULT ExplorerObject::Select(const std::vector<com::ComPtr<ItemObject>>& items) {
  if (!owner_) return E_FAIL;
  com::ComPtr<IDispatch> keep(this);
  selection_ = items;
  FireEvent(IID_ExplorerEvents, DISPID_SelectionChange);
  return S_OK;
}

void ExplorerObject::FireClose() { FireEvent(IID_ExplorerEvents, DISPID_ExplorerClose); }

ExplorersCollection::ExplorersCollection(std::shared_ptr<Session> session) : session_(std::move(session)) {
  AddEventSource(IID_ExplorersEvents);
  Property("Class", [] { return kExplorersClass; });
  Property("Count", [this] { return static_cast<int>(list_.size()); });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], list_.size(), [&](std::size_t k) { return list_[k]->Caption(); });
    return list_[i];
  });
  // Add(Folder, DisplayMode)
  Method("Add", 1, 2, [this](const com::DispParams& a) {
    std::int64_t folder = FolderIdOf(a[0]);
    if (!folder) com::Throw(E_INVALIDARG);
    return Add(folder);
  });
}

ExplorersCollection::~ExplorersCollection() {
  for (auto& e : list_) e->Detach();
}

com::ComPtr<ExplorerObject> ExplorersCollection::Add(std::int64_t folderId) {
  auto explorer = com::Make<ExplorerObject>(session_, this, folderId);
  list_.push_back(explorer);
  if (!active_) active_ = explorer.Get();
  FireEvent(IID_ExplorersEvents, DISPID_NewExplorer, com::DispParams{com::Variant(explorer)});
  return explorer;
}

void ExplorersCollection::Close(ExplorerObject* explorer) {
  auto it = std::find_if(list_.begin(), list_.end(), [&](const auto& e) { return e.Get() == explorer; });
  if (it == list_.end()) return;
  com::ComPtr<ExplorerObject> closing = *it;
  list_.erase(it);
  if (active_ == explorer) active_ = list_.empty() ? nullptr : list_.front().Get();
  closing->Detach();
  closing->FireClose();
}

}  // namespace outlook

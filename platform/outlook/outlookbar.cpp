#include "platform/outlook/outlookbar.h"

#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/folder.h"

namespace outlook {
namespace {

constexpr int kPaneClass = 63;       // olOutlookBarPane
constexpr int kStorageClass = 64;    // olOutlookBarStorage
constexpr int kGroupsClass = 65;     // olOutlookBarGroups
constexpr int kGroupClass = 66;      // olOutlookBarGroup
constexpr int kShortcutsClass = 68;  // olOutlookBarShortcuts
constexpr int kShortcutClass = 67;   // olOutlookBarShortcut

template <class T>
T Stored(const std::function<T()>& body) {
  T value{};
  HRESULT hr = StoreCall([&] { value = body(); });
  if (FAILED(hr)) com::Throw(hr);
  return value;
}

class ShortcutObject : public com::DispatchObject {
 public:
  ShortcutObject(std::shared_ptr<Session> session, std::int64_t groupId, std::int64_t id)
      : session_(std::move(session)), groupId_(groupId), id_(id) {
    Property("Class", [] { return kShortcutClass; });
    Property("Name", [this] { return Record().name; },
             [this](const com::Variant& v) {
               ShortcutRecord r = Record();
               r.name = v.AsText();
               Stored<int>([&] { session_->Store().UpdateShortcut(r); return 0; });
             });
    Property("Target", [this](com::Variant& result) -> HRESULT {
      ShortcutRecord r = Record();
      if (!r.targetFolder.empty()) {
        std::optional<FolderRecord> f = Stored<std::optional<FolderRecord>>(
            [&] { return session_->Store().FolderByEntryId(r.targetFolder); });
        if (!f) return MAPI_E_NOT_FOUND;
        result = com::Variant(MakeFolder(session_, f->id));
      } else {
        result = com::Variant(r.targetText);
      }
      return S_OK;
    });
    Method("SetIcon", 1, 1, [this](const com::DispParams& a) {
      ShortcutRecord r = Record();
      r.icon = a.Text(0);
      Stored<int>([&] { session_->Store().UpdateShortcut(r); return 0; });
    });
  }

  ShortcutRecord Record() const {
    return Stored<ShortcutRecord>([&] {
      for (const ShortcutRecord& r : session_->Store().Shortcuts(groupId_))
        if (r.id == id_) return r;
      com::Throw(MAPI_E_OBJECT_DELETED);
    });
  }

 private:
  std::shared_ptr<Session> session_;
  std::int64_t groupId_, id_;
};

class ShortcutsCollection : public com::DispatchObject {
 public:
  ShortcutsCollection(std::shared_ptr<Session> session, std::int64_t groupId)
      : session_(std::move(session)), groupId_(groupId) {
    Property("Class", [] { return kShortcutsClass; });
    Property("Count", [this] { return static_cast<int>(List().size()); });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      auto list = List();
      std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k].name; });
      return com::Make<ShortcutObject>(session_, groupId_, list[i].id);
    });
    // Add(Target, Name, Index): the target is a folder object or a text (a path or URL).
    Method("Add", 2, 3, [this](const com::DispParams& a) {
      ShortcutRecord r;
      if (a[0].IsObject()) {
        std::int64_t folder = FolderIdOf(a[0]);
        if (!folder) com::Throw(E_INVALIDARG);
        r.targetFolder = Stored<std::string>([&] { return session_->Store().FolderById(folder)->entryId; });
      } else {
        r.targetText = a.Text(0);
      }
      r.name = a.Text(1);
      int index = a.IntOr(2, 0);
      ShortcutRecord made = Stored<ShortcutRecord>([&] { return session_->Store().AddShortcut(groupId_, r, index); });
      return com::Make<ShortcutObject>(session_, groupId_, made.id);
    });
    Method("Remove", 1, 1, [this](const com::DispParams& a) {
      auto list = List();
      std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k].name; });
      Stored<int>([&] { session_->Store().RemoveShortcut(list[i].id); return 0; });
    });
  }

 private:
  std::vector<ShortcutRecord> List() const {
    return Stored<std::vector<ShortcutRecord>>([&] { return session_->Store().Shortcuts(groupId_); });
  }
  std::shared_ptr<Session> session_;
  std::int64_t groupId_;
};

class GroupObject : public com::DispatchObject {
 public:
  GroupObject(std::shared_ptr<Session> session, std::int64_t id) : session_(std::move(session)), id_(id) {
    Property("Class", [] { return kGroupClass; });
    Property("Name", [this] { return Record().name; },
             [this](const com::Variant& v) {
               ShortcutGroupRecord r = Record();
               r.name = v.AsText();
               Stored<int>([&] { session_->Store().UpdateShortcutGroup(r); return 0; });
             });
    Property("ViewType", [this] { return Record().viewType; },
             [this](const com::Variant& v) {
               ShortcutGroupRecord r = Record();
               r.viewType = v.AsInt();
               Stored<int>([&] { session_->Store().UpdateShortcutGroup(r); return 0; });
             });
    Property("Shortcuts", [this] {
      Record();  // a removed group has no shortcuts to show
      return com::Make<ShortcutsCollection>(session_, id_);
    });
  }

  ShortcutGroupRecord Record() const {
    return Stored<ShortcutGroupRecord>([&] {
      for (const ShortcutGroupRecord& g : session_->Store().ShortcutGroups())
        if (g.id == id_) return g;
      com::Throw(MAPI_E_OBJECT_DELETED);
    });
  }

 private:
  std::shared_ptr<Session> session_;
  std::int64_t id_;
};

class GroupsCollection : public com::DispatchObject {
 public:
  explicit GroupsCollection(std::shared_ptr<Session> session) : session_(std::move(session)) {
    Property("Class", [] { return kGroupsClass; });
    Property("Count", [this] { return static_cast<int>(List().size()); });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      auto list = List();
      std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k].name; });
      return com::Make<GroupObject>(session_, list[i].id);
    });
    // Add(Name, Index)
    Method("Add", 1, 2, [this](const com::DispParams& a) {
      std::string name = a.Text(0);
      int index = a.IntOr(1, 0);
      ShortcutGroupRecord made =
          Stored<ShortcutGroupRecord>([&] { return session_->Store().AddShortcutGroup(name, index); });
      return com::Make<GroupObject>(session_, made.id);
    });
    Method("Remove", 1, 1, [this](const com::DispParams& a) {
      auto list = List();
      std::size_t i = IndexArg(a[0], list.size(), [&](std::size_t k) { return list[k].name; });
      Stored<int>([&] { session_->Store().RemoveShortcutGroup(list[i].id); return 0; });
    });
  }

 private:
  std::vector<ShortcutGroupRecord> List() const {
    return Stored<std::vector<ShortcutGroupRecord>>([&] { return session_->Store().ShortcutGroups(); });
  }
  std::shared_ptr<Session> session_;
};

class StorageObject : public com::DispatchObject {
 public:
  explicit StorageObject(std::shared_ptr<Session> session) : session_(std::move(session)) {
    Property("Class", [] { return kStorageClass; });
    Property("Groups", [this] { return com::Make<GroupsCollection>(session_); });
  }

 private:
  std::shared_ptr<Session> session_;
};

class OutlookBarPaneObject : public com::DispatchObject {
 public:
  explicit OutlookBarPaneObject(com::ComPtr<ExplorerObject> explorer) : explorer_(std::move(explorer)) {
    Property("Class", [] { return kPaneClass; });
    Property("Name", [] { return std::string("OutlookBar"); });
    Property("Visible", [this] { return explorer_->OutlookBarVisible(); },
             [this](const com::Variant& v) { explorer_->SetOutlookBarVisible(v.AsBool()); });
    Property("Contents", [this] { return com::Make<StorageObject>(explorer_->SessionPtr()); });
  }

 private:
  com::ComPtr<ExplorerObject> explorer_;
};

}  // namespace

com::ComPtr<IDispatch> MakeOutlookBarPane(com::ComPtr<ExplorerObject> explorer) {
  return com::ComPtr<IDispatch>(com::Make<OutlookBarPaneObject>(std::move(explorer)).Get());
}

}  // namespace outlook

#pragma once
// Explorers: the main windows, here objects without a window. Each shows a current folder
// and a selection, has command bars and panes (the Outlook Bar with its shortcut groups), and
// sources BeforeFolderSwitch, FolderSwitch, SelectionChange and Close.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/commandbars.h"
#include "platform/outlook/item.h"
#include "platform/outlook/session.h"

namespace outlook {

class ExplorersCollection;

class ExplorerObject : public com::DispatchObject {
 public:
  ExplorerObject(std::shared_ptr<Session> session, ExplorersCollection* owner, std::int64_t folderId);

  std::string Caption() const;
  std::int64_t CurrentFolder() const { return folderId_; }
  // Switches folders as the user would: BeforeFolderSwitch(new folder, Cancel), the switch,
  // FolderSwitch, and SelectionChange (the selection empties).
  HRESULT SwitchFolder(std::int64_t folderId);
  // Changes the selection and fires SelectionChange.
  HRESULT Select(const std::vector<com::ComPtr<ItemObject>>& items);
  const std::vector<com::ComPtr<ItemObject>>& Selection() const { return selection_; }
  bool OutlookBarVisible() const { return outlookBarVisible_; }
  void SetOutlookBarVisible(bool visible) { outlookBarVisible_ = visible; }
  Session& GetSession() { return *session_; }
  std::shared_ptr<Session> SessionPtr() const { return session_; }
  void Detach() { owner_ = nullptr; }
  void FireClose();

 private:
  std::shared_ptr<Session> session_;
  ExplorersCollection* owner_;  // observes; null once closed
  std::int64_t folderId_;
  std::vector<com::ComPtr<ItemObject>> selection_;
  com::ComPtr<CommandBarsObject> commandBars_;
  bool outlookBarVisible_ = true;
};

class ExplorersCollection : public com::DispatchObject {
 public:
  explicit ExplorersCollection(std::shared_ptr<Session> session);

  com::ComPtr<ExplorerObject> Add(std::int64_t folderId);
  void Close(ExplorerObject* explorer);
  void Activate(ExplorerObject* explorer) { active_ = explorer; }
  ExplorerObject* Active() const { return active_; }
  const std::vector<com::ComPtr<ExplorerObject>>& List() const { return list_; }

 protected:
  ~ExplorersCollection() override;

 private:
  std::shared_ptr<Session> session_;
  std::vector<com::ComPtr<ExplorerObject>> list_;
  ExplorerObject* active_ = nullptr;
};

}  // namespace outlook

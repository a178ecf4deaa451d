#include "platform/outlook/application.h"

#include "platform/outlook/abentry.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/events.h"
#include "platform/outlook/folder.h"
#include "platform/outlook/item.h"
#include "platform/outlook/recipients.h"
#include "platform/win/registry.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr int kPropertyPagesClass = 71;  // olPropertyPages

// The one Outlook of this process (not owned: it clears itself when it goes).
ApplicationObject* runningApplication = nullptr;

template <class T>
T Stored(const std::function<T()>& body) {
  T value{};
  HRESULT hr = StoreCall([&] { value = body(); });
  if (FAILED(hr)) com::Throw(hr);
  return value;
}

com::ComPtr<RecipientObject> IdentityRecipient(const std::shared_ptr<Session>& session) {
  std::optional<Identity> me = Stored<std::optional<Identity>>([&] { return Directory(session->Store()).CurrentUser(); });
  if (!me) com::Throw(MAPI_E_NOT_FOUND);
  auto record = std::make_shared<RecipientRecord>();
  record->name = me->displayName;
  record->resolved = true;
  record->addressType = me->addressType;
  record->address = me->address;
  record->displayType = olUser;
  record->entryId = me->addressType == "EX" ? ToHex(DirectoryEntryId(kDirectoryUser, me->address))
                                            : ToHex(OneOffEntryId(me->displayName, me->addressType, me->address));
  return com::Make<RecipientObject>(session, nullptr, record);
}

}  // namespace

PropertyPagesObject::PropertyPagesObject() {
  AnswerAlso(IID_PropertyPages);
  Property("Class", [] { return kPropertyPagesClass; });
  Property("Count", [this] { return static_cast<int>(pages_.size()); });
  // Add(Page, Title): a program id makes Outlook create the control when the page shows.
  Method("Add", 1, 2, [this](const com::DispParams& a) {
    if (!a[0].IsObject() && a[0].Type() != com::VarType::Text) com::Throw(DISP_E_TYPEMISMATCH);
    if (a[0].Type() == com::VarType::Text && a.Text(0).empty()) com::Throw(E_INVALIDARG);
    pages_.push_back({a[0], a.TextOr(1, "")});
  });
  Method("Item", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], pages_.size(), [&](std::size_t k) { return pages_[k].title; });
    return pages_[i].page;
  });
  Method("Remove", 1, 1, [this](const com::DispParams& a) {
    std::size_t i = IndexArg(a[0], pages_.size(), [&](std::size_t k) { return pages_[k].title; });
    pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(i));
  });
}

ApplicationObject::ApplicationObject() : inspectors_(com::Make<InspectorsCollection>()) {
  if (!runningApplication) runningApplication = this;
  AddEventSource(IID_ApplicationEvents);
  auto withSession = [this] {
    HRESULT hr = EnsureSession();
    if (FAILED(hr)) com::Throw(hr);
  };
  Property("Class", [] { return static_cast<int>(olApplication); });
  Property("Name", [] { return std::string("Outlook"); });
  Property("Version", [] { return MajorVersion() + ".0.0.0"; });
  Method("GetNamespace", 1, 1, [this](const com::DispParams& a) {
    if (!win::EqualsNoCase(a.Text(0), "MAPI")) com::Throw(E_INVALIDARG);
    return com::Make<NameSpaceObject>(com::ComPtr<ApplicationObject>(this));
  });
  Property("Session", [this] { return com::Make<NameSpaceObject>(com::ComPtr<ApplicationObject>(this)); });
  Method("CreateItem", 1, 1, [this, withSession](const com::DispParams& a) {
    withSession();
    int type = a.Int(0);
    int folderNumber = DefaultFolderOfItemType(type);
    if (folderNumber == 0) com::Throw(E_INVALIDARG);
    std::optional<FolderRecord> folder =
        Stored<std::optional<FolderRecord>>([&] { return session_->Store().DefaultFolder(folderNumber); });
    if (!folder) com::Throw(MAPI_E_NOT_FOUND);
    com::ComPtr<ItemObject> item;
    HRESULT hr = session_->NewItem(type, "", folder->id, item);
    if (FAILED(hr)) com::Throw(hr);
    return item;
  });
  // Nothing when no window of that kind is open, as Outlook answers.
  Property("ActiveExplorer", [this, withSession](com::Variant& r) -> HRESULT {
    withSession();
    r = com::Variant(static_cast<IDispatch*>(explorers_->Active()));
    return S_OK;
  });
  Property("ActiveInspector", [this](com::Variant& r) -> HRESULT {
    r = com::Variant(static_cast<IDispatch*>(inspectors_->Active()));
    return S_OK;
  });
  Property("Inspectors", [this] { return inspectors_; });
  Property("Explorers", [this, withSession] {
    withSession();
    return explorers_;
  });
  Method("Quit", 0, 0, [this](const com::DispParams&) {
    com::ComPtr<IDispatch> keep(this);
    inspectors_->CloseAll();
    if (explorers_)
      while (!explorers_->List().empty()) explorers_->Close(explorers_->List().back().Get());
  });
}

ApplicationObject::~ApplicationObject() {
  if (runningApplication == this) runningApplication = nullptr;
  if (session_) session_->SetApplication(nullptr);
}

com::ComPtr<ApplicationObject> ApplicationObject::Running() {
  if (runningApplication) return com::ComPtr<ApplicationObject>(runningApplication);
  return com::Make<ApplicationObject>();
}

HRESULT ApplicationObject::EnsureSession(std::string_view profileName) {
  if (session_) return S_OK;
  logonFailure_ = {};
  HRESULT hr = Session::Logon(profileName, session_, &logonFailure_);
  if (FAILED(hr)) return hr;
  session_->SetApplication(this);
  explorers_ = com::Make<ExplorersCollection>(session_);
  std::optional<FolderRecord> inbox;
  hr = StoreCall([&] { inbox = session_->Store().DefaultFolder(olFolderInbox); });
  if (SUCCEEDED(hr) && inbox) explorers_->Add(inbox->id);
  return S_OK;
}

bool ApplicationObject::WordMailEditor() const {
  if (!session_) return false;
  bool on = false;
  StoreCall([&] { on = session_->Store().Setting("word_editor").value_or("0") == "1"; });
  return on;
}

HRESULT ApplicationObject::SetWordMailEditor(bool on) {
  HRESULT hr = EnsureSession();
  if (FAILED(hr)) return hr;
  return StoreCall([&] { session_->Store().SetSetting("word_editor", on ? "1" : "0"); });
}

com::ComPtr<PropertyPagesObject> ApplicationObject::ShowOptions() {
  auto pages = com::Make<PropertyPagesObject>();
  FireEvent(IID_ApplicationEvents, DISPID_OptionsPagesAdd, com::DispParams{com::Variant(pages)});
  return pages;
}

std::string ApplicationObject::MajorVersion() {
  win::RegKey key;
  std::string text;
  if (win::RegKey::Open(win::Hive::ClassesRoot, "Outlook.Application\\CurVer", key) == ERROR_SUCCESS &&
      key.QueryString("", text) == ERROR_SUCCESS) {
    std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && dot + 1 < text.size()) return text.substr(dot + 1);
  }
  return "16";
}

NameSpaceObject::NameSpaceObject(com::ComPtr<ApplicationObject> app) : app_(std::move(app)) {
  Property("Class", [] { return static_cast<int>(olNamespace); });
  Property("Type", [] { return std::string("MAPI"); });
  Property("Application", [this] { return app_; });
  Property("Parent", [this] { return app_; });
  Property("CurrentProfileName", [this] { return CurrentSession().ProfileName(); });
  // Work Offline: a person switches it in Outlook; here it can be set as a property too.
  Property("Offline", [this] { return CurrentSession().Offline(); },
           [this](const com::Variant& v) { CurrentSession().SetOffline(v.AsBool()); });
  Property("CurrentUser", [this] {
    CurrentSession();
    return IdentityRecipient(app_->SessionPtr());
  });
  Method("GetDefaultFolder", 1, 1, [this](const com::DispParams& a) {
    int number = a.Int(0);
    Session& session = CurrentSession();
    std::optional<FolderRecord> folder =
        Stored<std::optional<FolderRecord>>([&] { return session.Store().DefaultFolder(number); });
    if (!folder) com::Throw(E_INVALIDARG);
    return MakeFolder(app_->SessionPtr(), folder->id);
  });
  Method("GetItemFromID", 1, 2, [this](const com::DispParams& a) {
    std::string entryId = a.Text(0);
    com::ComPtr<ItemObject> item;
    HRESULT hr = CurrentSession().OpenItemByEntryId(entryId, item);
    if (FAILED(hr)) com::Throw(hr);
    return item;
  });
  Method("GetFolderFromID", 1, 2, [this](const com::DispParams& a) {
    std::string entryId = a.Text(0);
    Session& session = CurrentSession();
    std::optional<FolderRecord> folder =
        Stored<std::optional<FolderRecord>>([&] { return session.Store().FolderByEntryId(entryId); });
    if (!folder) com::Throw(MAPI_E_NOT_FOUND);
    return MakeFolder(app_->SessionPtr(), folder->id);
  });
  Property("Folders", [this] {
    CurrentSession();
    return com::Make<FoldersCollection>(app_->SessionPtr(), 0);
  });
  Method("CreateRecipient", 1, 1, [this](const com::DispParams& a) {
    auto record = std::make_shared<RecipientRecord>();
    record->name = a.Text(0);
    if (record->name.empty()) com::Throw(E_INVALIDARG);
    CurrentSession();
    return com::Make<RecipientObject>(app_->SessionPtr(), nullptr, record);
  });
  // Logon(Profile, Password, ShowDialog, NewSession): once logged on, further calls do nothing.
  Method("Logon", 0, 4, [this](const com::DispParams& a) -> void {
    HRESULT hr = app_->EnsureSession(a.TextOr(0, ""));
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Logoff", 0, 0, [](const com::DispParams&) {});
}

Session& NameSpaceObject::CurrentSession() {
  HRESULT hr = app_->EnsureSession();
  if (FAILED(hr)) com::Throw(hr);
  return *app_->SessionPtr();
}

}  // namespace outlook

#include "platform/outlook/standin.h"

#include "platform/com/classregistry.h"
#include "platform/com/server.h"
#include "platform/outlook/application.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/events.h"
#include "platform/outlook/item.h"
#include "platform/outlook/session.h"
#include "platform/outlook/word.h"
#include "platform/win/guid.h"
#include "platform/win/registry.h"

namespace outlook {
namespace {

struct Registration {
  DWORD outlookCookie = 0;
  DWORD wordCookie = 0;
};
Registration registration;

HRESULT FromRegistry(LONG err) { return err == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(err); }

HRESULT WriteClassKeys(std::string_view progId, const CLSID& clsid, std::string_view curVer) {
  const std::string guid = win::GuidToString(clsid);
  win::RegKey key;
  LONG err = win::RegKey::Create(win::Hive::ClassesRoot, std::string(progId) + "\\CLSID", "", key);
  if (err == ERROR_SUCCESS) err = key.SetString("", guid);
  if (err == ERROR_SUCCESS && !curVer.empty()) {
    err = win::RegKey::Create(win::Hive::ClassesRoot, std::string(progId) + "\\CurVer", "", key);
    if (err == ERROR_SUCCESS) err = key.SetString("", curVer);
    if (err == ERROR_SUCCESS) err = win::RegKey::Create(win::Hive::ClassesRoot, std::string(curVer) + "\\CLSID", "", key);
    if (err == ERROR_SUCCESS) err = key.SetString("", guid);
  }
  return FromRegistry(err);
}

}  // namespace

HRESULT CreateProfile(std::string_view profileName, OpenFailure* failure) {
  return ProfileStore::Create(ProfilePath(profileName), failure);
}

HRESULT OpenProfileStore(std::string_view profileName, std::unique_ptr<ProfileStore>& out, OpenFailure* failure) {
  return ProfileStore::Open(ProfilePath(profileName), out, failure);
}

HRESULT SetOutlookVersion(int major) {
  return WriteClassKeys("Outlook.Application", CLSID_OutlookApplication,
                        "Outlook.Application." + std::to_string(major));
}

HRESULT RegisterStandIn(int outlookMajorVersion) {
  HRESULT hr = S_OK;
  if (outlookMajorVersion > 0) {
    hr = SetOutlookVersion(outlookMajorVersion);
    if (SUCCEEDED(hr)) hr = WriteClassKeys("Word.Application", CLSID_WordApplication, "Word.Application.16");
    if (FAILED(hr)) return hr;
  }
  if (!registration.outlookCookie) {
    // Outlook and Word run once: creating either hands out the running instance.
    auto outlookFactory = com::Make<com::ClassFactory>([](const IID& iid, void** out) {
      return ApplicationObject::Running()->QueryInterface(iid, out);
    });
    auto wordFactory = com::Make<com::ClassFactory>([](const IID& iid, void** out) {
      return WordApplicationObject::Running()->QueryInterface(iid, out);
    });
    hr = CoRegisterClassObject(CLSID_OutlookApplication, outlookFactory.Get(), CLSCTX_LOCAL_SERVER,
                               REGCLS_MULTIPLEUSE, &registration.outlookCookie);
    if (FAILED(hr)) return hr;
    hr = CoRegisterClassObject(CLSID_WordApplication, wordFactory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                               &registration.wordCookie);
    if (FAILED(hr)) return hr;
    com::RegisterProgId("Outlook.Application", CLSID_OutlookApplication);
    com::RegisterProgId("Word.Application", CLSID_WordApplication);
  }
  return S_OK;
}

void RevokeStandIn() {
  if (registration.outlookCookie) CoRevokeClassObject(registration.outlookCookie);
  if (registration.wordCookie) CoRevokeClassObject(registration.wordCookie);
  com::RevokeProgId("Outlook.Application");
  com::RevokeProgId("Word.Application");
  registration = {};
}

ApplicationObject* AsApplication(IDispatch* application) { return dynamic_cast<ApplicationObject*>(application); }

HRESULT ShowOptionsDialog(IDispatch* application, std::vector<OptionsPage>& pages) {
  ApplicationObject* app = AsApplication(application);
  if (!app) return E_INVALIDARG;
  com::ComPtr<PropertyPagesObject> added = app->ShowOptions();
  pages.clear();
  for (const auto& p : added->Pages()) pages.push_back({p.page, p.title});
  return S_OK;
}

HRESULT DeliverToInbox(IDispatch* item, std::string_view senderName, std::string_view senderAddress) {
  auto* mail = dynamic_cast<ItemObject*>(item);
  if (!mail || mail->ObjectClass() != olMail) return E_INVALIDARG;
  com::ComPtr<IDispatch> keep(item);
  std::optional<FolderRecord> inbox;
  HRESULT hr = StoreCall([&] { inbox = mail->GetSession().Store().DefaultFolder(olFolderInbox); });
  if (FAILED(hr)) return hr;
  if (!inbox) return MAPI_E_NOT_FOUND;
  mail->MarkReceived(senderName, senderAddress);
  if (!mail->IsStored()) {
    mail->Record().folderId = inbox->id;
    return mail->Save();
  }
  hr = mail->Save();
  return SUCCEEDED(hr) ? mail->Move(inbox->id) : hr;
}

HRESULT SetWordMailEditor(IDispatch* application, bool on) {
  ApplicationObject* app = AsApplication(application);
  return app ? app->SetWordMailEditor(on) : E_INVALIDARG;
}

std::string LogonFailureText(IDispatch* application) {
  ApplicationObject* app = AsApplication(application);
  return app ? app->LastLogonFailure().message : std::string();
}

}  // namespace outlook

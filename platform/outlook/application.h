#pragma once
// Outlook's Application (one per process, as Outlook runs once), its MAPI NameSpace, and the
// PropertyPages collection that the options dialog hands to OptionsPagesAdd.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/explorer.h"
#include "platform/outlook/inspector.h"
#include "platform/outlook/session.h"

namespace outlook {

class PropertyPagesObject : public com::DispatchObject {
 public:
  struct Page {
    com::Variant page;  // a program id (text) or a control object
    std::string title;
  };
  PropertyPagesObject();
  const std::vector<Page>& Pages() const { return pages_; }

 private:
  std::vector<Page> pages_;
};

class ApplicationObject : public com::DispatchObject {
 public:
  ApplicationObject();

  // The process's running Outlook, made when there is none.
  static com::ComPtr<ApplicationObject> Running();

  // Logs on to the profile (the default one when empty) unless a session exists; the first
  // log-on opens an explorer on the Inbox, as starting Outlook does.
  HRESULT EnsureSession(std::string_view profileName = {});
  std::shared_ptr<Session> SessionPtr() const { return session_; }
  const OpenFailure& LastLogonFailure() const { return logonFailure_; }

  com::ComPtr<InspectorsCollection> Inspectors() const { return inspectors_; }
  com::ComPtr<ExplorersCollection> Explorers() const { return explorers_; }
  // Whether Word edits mail (inspectors then answer IsWordMail = True); a profile setting.
  bool WordMailEditor() const;
  HRESULT SetWordMailEditor(bool on);

  // Opens the options dialog: fires OptionsPagesAdd(Pages) and returns the pages added.
  com::ComPtr<PropertyPagesObject> ShowOptions();

  // "Outlook.Application.16" in HKEY_CLASSES_ROOT\Outlook.Application\CurVer gives "16".
  static std::string MajorVersion();

 protected:
  ~ApplicationObject() override;

 private:
  std::shared_ptr<Session> session_;
  OpenFailure logonFailure_;
  com::ComPtr<InspectorsCollection> inspectors_;
  com::ComPtr<ExplorersCollection> explorers_;
};

class NameSpaceObject : public com::DispatchObject {
 public:
  explicit NameSpaceObject(com::ComPtr<ApplicationObject> app);

 private:
  Session& CurrentSession();
  com::ComPtr<ApplicationObject> app_;
};

}  // namespace outlook

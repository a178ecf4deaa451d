#pragma once
// What a host program (the test programs, outlook-standin) does with the Outlook stand-in
// beyond the object model: make and open profiles, make "Outlook.Application" and
// "Word.Application" creatable, and act as the person at the screen would (open the options
// dialog, receive a mail, choose Word as the mail editor). Everything else goes through
// IDispatch by member name.
//
//   outlook::CreateProfile("");                       // the default profile, with its folders
//   { auto store = ...OpenProfileStore(""); outlook::Directory(*store).AddUser(...); }
//   outlook::RegisterStandIn(16);                     // CurVer "Outlook.Application.16"
//   com::CreateInstance("Outlook.Application", app);  // then GetNamespace("MAPI") ...
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"
#include "platform/outlook/store.h"

namespace outlook {

// A new profile (empty name: the default one) with the default folders. MAPI_E_COLLISION when
// it exists.
HRESULT CreateProfile(std::string_view profileName = {}, OpenFailure* failure = nullptr);
// Opens a profile's store for seeding (the directory, form pages) outside the object model.
HRESULT OpenProfileStore(std::string_view profileName, std::unique_ptr<ProfileStore>& out,
                         OpenFailure* failure = nullptr);

// Makes "Outlook.Application" and "Word.Application" creatable in this process (class
// objects registered by code) and records Outlook's version in HKEY_CLASSES_ROOT
// (Outlook.Application\CurVer = "Outlook.Application.<major>", and the class ids); a major
// version of 0 leaves the registry as it is.
HRESULT RegisterStandIn(int outlookMajorVersion = 16);
void RevokeStandIn();
// Only the version: HKEY_CLASSES_ROOT\Outlook.Application\CurVer.
HRESULT SetOutlookVersion(int major);

// The running application object behind an Outlook Application dispatch (null for others).
class ApplicationObject;
ApplicationObject* AsApplication(IDispatch* application);

struct OptionsPage {
  com::Variant page;  // what OptionsPagesAdd handlers passed to PropertyPages.Add
  std::string title;
};
// Opens Outlook's options dialog: OptionsPagesAdd fires with a PropertyPages collection.
HRESULT ShowOptionsDialog(IDispatch* application, std::vector<OptionsPage>& pages);

// Turns an item into a received mail and puts it into the Inbox (ItemAdd fires there).
HRESULT DeliverToInbox(IDispatch* item, std::string_view senderName, std::string_view senderAddress);

// Whether Word edits mail in this profile (inspectors then say IsWordMail).
HRESULT SetWordMailEditor(IDispatch* application, bool on);

// Why the last log-on of the application failed ("profile \"...\": no such profile file").
std::string LogonFailureText(IDispatch* application);

}  // namespace outlook

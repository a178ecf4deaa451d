#include "foundation/settingnames.h"

#include "platform/win/text.h"

namespace setting {
namespace {

using enum Kind;
using enum Lookup;

constexpr Info kTable[] = {
    {Host, Text, RegistryOnly, nullptr},  // built-in: the production host
    {ServicePortPath, Text, KeyAndDefaults, "api/3.0/api.asmx"},
    {SSL, Number, KeyAndDefaults, "1"},
    {Credentials, Binary, RegistryOnly, nullptr},
    {MailboxName, Text, KeyAndDefaults, nullptr},
    {Identity, Text, KeyAndDefaults, nullptr},
    {CryptoKey, Text, KeyAndDefaults, ""},
    {CmdBarTop, Number, KeyAndDefaults, nullptr},
    {CmdBarLeft, Number, KeyAndDefaults, nullptr},
    {CmdBarPos, Number, KeyAndDefaults, nullptr},
    {CmdBarRowIndex, Number, KeyAndDefaults, nullptr},
    {CmdBarVisible, Number, KeyAndDefaults, nullptr},
    {ReceiptType, Number, KeyAndDefaults, "3"},
    {MakeReceipt, Switch, KeyAndDefaults, "1"},
    {ShowReceipt, Switch, KeyAndDefaults, "1"},
    {GotoShortcuts, Switch, KeyAndDefaults, "1"},
    {AskTabs, Switch, KeyAndDefaults, "1"},
    {AskSyncAll, Switch, KeyAndDefaults, "1"},
    {ShowWizIntro, Switch, KeyAndDefaults, "1"},
    {ShowAttachWarning, Switch, KeyAndDefaults, "1"},
    {ShowCommonTip, Switch, KeyAndDefaults, "1"},
    {SyncDirection, Number, KeyAndDefaults, "2"},
    {SyncSize, Switch, KeyAndDefaults, "1"},
    {DocSrc, Number, KeyAndDefaults, "0"},
    {SigAttachSize, Number, KeyAndDefaults, "32768"},
    {ShareContacts, Switch, KeyAndDefaults, "0"},
    {AllowOverrides, Switch, KeyAndDefaults, "1"},
    {FileTypes, Text, KeyAndDefaults, "pdf,doc,docx,xls,ppt,html,htm,txt,jpg,png,gif"},
    {Gateways, Text, KeyAndDefaults, ""},
    {SigAttachTypes, Text, KeyAndDefaults, "jpg,png,gif"},
    {BlueprintFolder, Text, KeyAndDefaults, nullptr},  // built-in: <application data>/Attestra/Blueprints
    {LockBlueprints, Switch, KeyAndDefaults, "0"},
    {Expedite, Switch, KeyAndDefaults, "0"},
    {LogXML, Number, Advanced, "0"},
    {Diagnose, Number, Advanced, nullptr},
    {Flags, Number, Advanced, nullptr},
};

}  // namespace

std::span<const Info> All() { return kTable; }

const Info* Find(const char* name) {
  for (const Info& info : kTable)
    if (win::EqualsNoCase(info.name, name)) return &info;
  return nullptr;
}

}  // namespace setting

#pragma once
// Every setting of the settings key and its "Advanced" subkey, written once.
#include <span>

namespace setting {

inline constexpr const char* Host = "Host";
inline constexpr const char* ServicePortPath = "ServicePortPath";
inline constexpr const char* SSL = "SSL";
inline constexpr const char* Credentials = "Credentials";
inline constexpr const char* MailboxName = "MailboxName";
inline constexpr const char* Identity = "Identity";
inline constexpr const char* CryptoKey = "CryptoKey";
inline constexpr const char* CmdBarTop = "CmdBarTop";
inline constexpr const char* CmdBarLeft = "CmdBarLeft";
inline constexpr const char* CmdBarPos = "CmdBarPos";
inline constexpr const char* CmdBarRowIndex = "CmdBarRowIndex";
inline constexpr const char* CmdBarVisible = "CmdBarVisible";
inline constexpr const char* ReceiptType = "ReceiptType";
inline constexpr const char* MakeReceipt = "MakeReceipt";
inline constexpr const char* ShowReceipt = "ShowReceipt";
inline constexpr const char* GotoShortcuts = "GotoShortcuts";
inline constexpr const char* AskTabs = "AskTabs";
inline constexpr const char* AskSyncAll = "AskSyncAll";
inline constexpr const char* ShowWizIntro = "ShowWizIntro";
inline constexpr const char* ShowAttachWarning = "ShowAttachWarning";
inline constexpr const char* ShowCommonTip = "ShowCommonTip";
inline constexpr const char* SyncDirection = "SyncDirection";
inline constexpr const char* SyncSize = "SyncSize";
inline constexpr const char* DocSrc = "DocSrc";
inline constexpr const char* SigAttachSize = "SigAttachSize";
inline constexpr const char* ShareContacts = "ShareContacts";
inline constexpr const char* AllowOverrides = "AllowOverrides";
inline constexpr const char* FileTypes = "FileTypes";
inline constexpr const char* Gateways = "Gateways";
inline constexpr const char* SigAttachTypes = "SigAttachTypes";
inline constexpr const char* BlueprintFolder = "BlueprintFolder";
inline constexpr const char* LockBlueprints = "LockBlueprints";
inline constexpr const char* Expedite = "Expedite";

// In the "Advanced" subkey.
inline constexpr const char* AdvancedKey = "Advanced";
inline constexpr const char* LogXML = "LogXML";
inline constexpr const char* Diagnose = "Diagnose";
inline constexpr const char* Flags = "Flags";

enum class Kind {
  Text,     // registry string
  Number,   // 32-bit number, any value
  Switch,   // 32-bit number read as 0 or 1
  Binary,   // registry binary
};

// Where a setting is read from.
enum class Lookup {
  KeyAndDefaults,  // registry, then vlrDefaults.xml, then built-in
  RegistryOnly,    // "Host" and "Credentials"
  Advanced,        // the "Advanced" subkey, registry only
};

struct Info {
  const char* name;
  Kind kind;
  Lookup lookup;
  const char* builtIn;  // nullptr: none
};

// The table, in the order people read it.
std::span<const Info> All();
const Info* Find(const char* name);

}  // namespace setting

#include "foundation/config.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <mutex>

#include "foundation/blowfish.h"
#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "foundation/settingnames.h"
#include "foundation/xmldoc.h"
#include "platform/win/folders.h"
#include "platform/win/module.h"
#include "platform/win/registry.h"
#include "transport/servicenames.h"

namespace {

constexpr const char* kKeyClass = "Application Global Data";
constexpr const char* kDefaultsFile = "vlrDefaults.xml";

std::mutex processLock;
std::string configuredHost;
std::string defaultServicePath;
const void* applicationModule = nullptr;

// Every access makes sure the company key and the settings key exist, then opens the
// settings key (or a subkey of it) afresh; keys are closed after every access.
LONG OpenKey(const std::string& company, const std::string& keyPath, const char* subkey, win::RegKey& key) {
  win::RegKey parent;
  if (LONG err = win::RegKey::Create(win::Hive::CurrentUser, company, kKeyClass, parent)) return err;
  std::string path = keyPath;
  if (subkey) path += std::string("\\") + subkey;
  return win::RegKey::Create(win::Hive::CurrentUser, path, kKeyClass, key);
}

// Signed decimal, leading white space and one sign allowed; the first other character ends it.
// Integer settings are 32-bit numbers, so a longer one is clamped to that range (it would
// otherwise overflow).
long ParseLong(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kLimit);
  if (negative) value = -value;
  return static_cast<long>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

CCfgBase::CCfgBase() = default;
CCfgBase::~CCfgBase() = default;

void CCfgBase::FormatKeyPath() { keyPath_ = "Software\\" + companyKey_ + "\\" + productKey_; }

std::string CCfgBase::ConfiguredHost() {
  std::lock_guard<std::mutex> lock(processLock);
  return configuredHost;
}

std::string CCfgBase::DefaultServicePath() {
  std::lock_guard<std::mutex> lock(processLock);
  return defaultServicePath.empty() ? attestra::kApiPath : defaultServicePath;
}

void CCfgBase::SetConfiguredHost(const std::string& host) {
  std::lock_guard<std::mutex> lock(processLock);
  configuredHost = host;
}

void CCfgBase::SetDefaultServicePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(processLock);
  defaultServicePath = path;
}

void CCfgBase::SetApplicationModule(const void* addressInModule) { applicationModule = addressInModule; }

int CCfgBase::GetPort() {
  long ssl = 1;
  GetKey(setting::SSL, ssl);
  return ssl != 0 ? 443 : 80;
}

HRESULT CCfgBase::GetKey(std::string_view name, std::string& value) {
  CDiagLog& log = DiagLog();
  const std::string n(name);
  log.CommentText("CCfgBase::GetKey: Name=%s", n.c_str());
  std::string found;
  HRESULT hr = E_FAIL;
  win::RegKey key;
  if (OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key) == ERROR_SUCCESS &&
      key.QueryString(n, found) == ERROR_SUCCESS) {
    log.CommentText("CCfgBase::GetKey from registry \"%s\"", found.c_str());
    hr = S_OK;
  } else if ((hr = GetDefaultValue(name, found)) == S_OK) {
    log.CommentText("CCfgBase::GetKey from vlrDefaults \"%s\"", found.c_str());
  }
  if (hr == S_OK) {
    value = found;
    log.CommentText("CCfgBase::GetKey: Value=%s", found.c_str());
    return S_OK;
  }
  log.Comment("CCfgBase::GetKey Not Found");
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT CCfgBase::GetKey(std::string_view name, long& value) {
  CDiagLog& log = DiagLog();
  const std::string n(name);
  log.CommentText("CCfgBase::GetKey: Name=%s", n.c_str());
  DWORD stored = 0;
  long found = 0;
  HRESULT hr = E_FAIL;
  win::RegKey key;
  if (OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key) == ERROR_SUCCESS &&
      key.QueryDword(n, stored) == ERROR_SUCCESS) {
    found = static_cast<std::int32_t>(stored);
    log.CommentNumber("CCfgBase::GetKey from registry \"%d\"", found);
    hr = S_OK;
  } else if ((hr = GetDefaultValue(name, found)) == S_OK) {
    log.CommentNumber("CCfgBase::GetKey from vlrDefaults \"%d\"", found);
  }
  if (hr == S_OK) {
    value = found;
    log.CommentNumber("CCfgBase::GetKey: Value=%d", found);
    return S_OK;
  }
  log.Comment("CCfgBase::GetKey Not Found");
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT CCfgBase::SetKey(std::string_view name, std::string_view value) {
  const std::string n(name), v(value);
  DiagLog().CommentText("CCfgBase::SetKey: Name=%s", n.c_str());
  DiagLog().CommentText("CCfgBase::SetKey: Value=%s", v.c_str());
  win::RegKey key;
  LONG err = OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key);
  if (err == ERROR_SUCCESS) err = key.SetString(n, v);
  if (err != ERROR_SUCCESS) DiagLog().Error("CCfgBase::SetKey failed");
  return HRESULT_FROM_WIN32(err);
}

HRESULT CCfgBase::SetKey(std::string_view name, long value) {
  const std::string n(name);
  DiagLog().CommentText("CCfgBase::SetKey: Name=%s", n.c_str());
  DiagLog().CommentNumber("CCfgBase::SetKey: Value=%d", value);
  win::RegKey key;
  LONG err = OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key);
  if (err == ERROR_SUCCESS) err = key.SetDword(n, static_cast<DWORD>(value));
  if (err != ERROR_SUCCESS) DiagLog().Error("CCfgBase::SetKey failed");
  return HRESULT_FROM_WIN32(err);
}

HRESULT CCfgBase::SetKey(std::string_view name, const void* bytes, std::size_t length) {
  const std::string n(name);
  DiagLog().CommentText("CCfgBase::SetKey: Name=%s", n.c_str());
  win::RegKey key;
  LONG err = OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key);
  if (err == ERROR_SUCCESS) err = key.SetBinary(n, bytes, length);
  if (err != ERROR_SUCCESS) DiagLog().Error("CCfgBase::SetKey failed");
  return HRESULT_FROM_WIN32(err);
}

HRESULT CCfgBase::LoadDefaultValues(CXMLDoc& doc) {
  DiagLog().Comment("CCfgBase::LoadDefaultValues");
  std::string folder;
  if (HRESULT hr = FindAddin(folder); FAILED(hr)) return hr;
  const std::string path = folder + kDefaultsFile;
  DiagLog().CommentText("Loading %s", path.c_str());
  return doc.LoadFile(path);
}

HRESULT CCfgBase::GetDefaultValue(std::string_view name, std::string& value) {
  const std::string n(name);
  DiagLog().CommentText("CCfgBase::GetDefaultValue for %s", n.c_str());
  CXMLDoc doc;
  HRESULT hr = LoadDefaultValues(doc);
  if (hr == S_OK) hr = doc.GotoNode("/vlrDefaults");
  std::string found;
  if (hr == S_OK) hr = doc.GetSingleNodeValue(n, found);
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
  DiagLog().CommentText("CCfgBase::GetDefaultValue found %s", found.c_str());
  value = found;
  return S_OK;
}

HRESULT CCfgBase::GetDefaultValue(std::string_view name, long& value) {
  std::string text;
  HRESULT hr = GetDefaultValue(name, text);
  if (hr != S_OK) return hr;
  value = ParseLong(text);
  DiagLog().CommentNumber("CCfgBase::GetDefaultValue found %d", value);
  return S_OK;
}

HRESULT CCfgBase::FindAddin(std::string& folder) {
  DiagLog().Comment("CCfgBase::FindAddin");
  if (applicationModule) {
    folder = win::GetModuleFolder(applicationModule);
    DiagLog().CommentText("Vellora lives here: %s", folder.c_str());
    return S_OK;
  }
  win::RegKey key;
  std::string server;
  if (win::RegKey::Open(win::Hive::ClassesRoot, "CLSID\\" + classId_ + "\\InprocServer32", key) == ERROR_SUCCESS &&
      key.QueryString("", server) == ERROR_SUCCESS && !server.empty()) {
    auto slash = server.find_last_of('/');
    folder = slash == std::string::npos ? std::string("./") : server.substr(0, slash + 1);
    return S_OK;
  }
  // Not registered (a command-line tool, a test): the deliverables are installed together,
  // so the running module's folder is the add-in's.
  folder = win::GetModuleFolder(reinterpret_cast<const void*>(&ParseLong));
  if (folder.empty()) {
    DiagLog().Error("CCfgBase::FindAddin failed");
    return E_FAIL;
  }
  return S_OK;
}

void CCfgBase::GetHost(std::string& host) {
  DiagLog().Comment("CCfgBase::GetHost");
  win::RegKey key;
  if (OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key) != ERROR_SUCCESS) {
    host = attestra::kProductionHost;
    DiagLog().CommentText("CCfgBase::GetHost: Default=%s", host.c_str());
    return;
  }
  std::string stored;
  if (key.QueryString(setting::Host, stored) != ERROR_SUCCESS || stored.empty()) {
    host = attestra::kProductionHost;
    key.SetString(setting::Host, host);
    DiagLog().CommentText("CCfgBase::GetHost: Default=%s", host.c_str());
    return;
  }
  host = stored;
  DiagLog().CommentText("CCfgBase::GetHost: %s", host.c_str());
}

long CCfgBase::GetLogXML() {
  win::RegKey key;
  if (OpenKey("Software\\" + companyKey_, keyPath_, setting::AdvancedKey, key) != ERROR_SUCCESS) {
    DiagLog().Comment("CCfgBase::GetLogXML Access denied");
    return 0;
  }
  DWORD value = 0;
  if (key.QueryDword(setting::LogXML, value) != ERROR_SUCCESS) {
    key.SetDword(setting::LogXML, 0);
    return 0;
  }
  return static_cast<std::int32_t>(value);
}

CConfig::CConfig() {
  companyKey_ = "Attestra";
  productKey_ = "Attestra for Outlook";
  displayName_ = "Vellora, Attestra Edition";
  addinFile_ = "libvlrAddin.so";
  progId_ = addin::kProgId;
  description_ = "Attestra Add-in for Outlook";
  classId_ = addin::kClassId;
  FormatKeyPath();
  std::string host;
  GetHost(host);
  SetConfiguredHost(host);
  SetDefaultServicePath(attestra::kApiPath);
}

CConfig::~CConfig() = default;

int CConfig::GetCustomUIResource(std::string_view ribbonId) {
  if (ribbonId == "Microsoft.Outlook.Mail.Compose") return 9116;
  if (ribbonId == "Microsoft.Outlook.Explorer") return 9108;
  return 0;
}

HRESULT CConfig::GetServiceUrl(std::string& url, const char* pathOverride) {
  win::RegKey key;
  if (OpenKey("Software\\" + companyKey_, keyPath_, nullptr, key) != ERROR_SUCCESS) return E_FAIL;
  std::string host;
  if (key.QueryString(setting::Host, host) != ERROR_SUCCESS || host.empty()) {
    host = attestra::kProductionHost;
    key.SetString(setting::Host, host);
  }
  std::string path;
  if (pathOverride) {
    path = pathOverride;
  } else if (GetKey(setting::ServicePortPath, path) != S_OK) {
    path = DefaultServicePath();
    SetKey(setting::ServicePortPath, path);
  }
  url = (GetPort() == 443 ? "https://" : "http://") + host + "/" + path;
  return S_OK;
}

HRESULT CConfig::GetBlueprintFolder(std::string& folder) {
  folder.clear();
  std::string configured;
  if (GetKey(setting::BlueprintFolder, configured) != S_OK || configured.empty()) {
    const std::string appData = win::AppDataFolder();
    if (appData.empty() || !win::DirectoryExists(appData)) return E_FAIL;
    const std::string company = appData + "/Attestra";
    if (!win::CreateDirectories(company)) return E_ACCESSDENIED;
    configured = company + "/Blueprints";
  }
  if (!win::CreateDirectories(configured)) return E_ACCESSDENIED;
  folder = configured;
  return S_OK;
}

HRESULT CConfig::DeleteSettings() {
  LONG err = win::RegDeleteTree(win::Hive::CurrentUser, keyPath_);
  return err == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(err);
}

std::string CConfig::Text(const char* name, const char* builtIn) {
  std::string value = builtIn ? builtIn : "";
  GetKey(name, value);
  return value;
}

long CConfig::Number(const char* name, long builtIn) {
  long value = builtIn;
  GetKey(name, value);
  return value;
}

bool CConfig::Switch(const char* name, bool builtIn) { return Number(name, builtIn ? 1 : 0) != 0; }

std::string CConfig::GetServicePortPath() { return Text(setting::ServicePortPath, attestra::kApiPath); }
bool CConfig::GetSSL() { return Number(setting::SSL, 1) != 0; }
std::string CConfig::GetMailboxName() { return Text(setting::MailboxName, nullptr); }
void CConfig::SetMailboxName(std::string_view mailbox) { SetKey(setting::MailboxName, mailbox); }
std::string CConfig::GetIdentity() { return Text(setting::Identity, nullptr); }
void CConfig::SetIdentity(std::string_view identity) { SetKey(setting::Identity, identity); }
std::string CConfig::GetCryptoKey() { return Text(setting::CryptoKey, ""); }
void CConfig::SetCryptoKey(std::string_view key) { SetKey(setting::CryptoKey, key); }

bool CConfig::GetCmdBarPlacement(long& top, long& left, long& pos, long& rowIndex, long& visible) {
  long v[5];
  const char* names[5] = {setting::CmdBarTop, setting::CmdBarLeft, setting::CmdBarPos, setting::CmdBarRowIndex,
                          setting::CmdBarVisible};
  for (int i = 0; i < 5; ++i)
    if (GetKey(names[i], v[i]) != S_OK) return false;
  top = v[0], left = v[1], pos = v[2], rowIndex = v[3], visible = v[4];
  return true;
}

void CConfig::SetCmdBarPlacement(long top, long left, long pos, long rowIndex, long visible) {
  SetKey(setting::CmdBarTop, top);
  SetKey(setting::CmdBarLeft, left);
  SetKey(setting::CmdBarPos, pos);
  SetKey(setting::CmdBarRowIndex, rowIndex);
  SetKey(setting::CmdBarVisible, visible);
}

long CConfig::GetReceiptType() { return Number(setting::ReceiptType, 3); }
bool CConfig::GetMakeReceipt() { return Switch(setting::MakeReceipt, true); }
void CConfig::SetMakeReceipt(bool on) { SetKey(setting::MakeReceipt, on ? 1L : 0L); }
bool CConfig::GetShowReceipt() { return Switch(setting::ShowReceipt, true); }
void CConfig::SetShowReceipt(bool on) { SetKey(setting::ShowReceipt, on ? 1L : 0L); }
bool CConfig::GetGotoShortcuts() { return Switch(setting::GotoShortcuts, true); }
void CConfig::SetGotoShortcuts(bool on) { SetKey(setting::GotoShortcuts, on ? 1L : 0L); }
bool CConfig::GetAskTabs() { return Switch(setting::AskTabs, true); }
void CConfig::SetAskTabs(bool on) { SetKey(setting::AskTabs, on ? 1L : 0L); }
bool CConfig::GetAskSyncAll() { return Switch(setting::AskSyncAll, true); }
void CConfig::SetAskSyncAll(bool on) { SetKey(setting::AskSyncAll, on ? 1L : 0L); }
bool CConfig::GetShowWizIntro() { return Switch(setting::ShowWizIntro, true); }
void CConfig::SetShowWizIntro(bool on) { SetKey(setting::ShowWizIntro, on ? 1L : 0L); }
bool CConfig::GetShowAttachWarning() { return Switch(setting::ShowAttachWarning, true); }
void CConfig::SetShowAttachWarning(bool on) { SetKey(setting::ShowAttachWarning, on ? 1L : 0L); }
bool CConfig::GetShowCommonTip() { return Switch(setting::ShowCommonTip, true); }
void CConfig::SetShowCommonTip(bool on) { SetKey(setting::ShowCommonTip, on ? 1L : 0L); }

long CConfig::GetSyncDirection() {
  long v = Number(setting::SyncDirection, 2);
  return v >= 0 && v <= 2 ? v : 2;
}
void CConfig::SetSyncDirection(long direction) { SetKey(setting::SyncDirection, direction); }
bool CConfig::GetSyncSize() { return Switch(setting::SyncSize, true); }
void CConfig::SetSyncSize(bool expanded) { SetKey(setting::SyncSize, expanded ? 1L : 0L); }

long CConfig::GetDocSrc() {
  long v = Number(setting::DocSrc, 0);
  return v >= 0 && v <= 2 ? v : 0;
}
void CConfig::SetDocSrc(long source) { SetKey(setting::DocSrc, source); }
long CConfig::GetSigAttachSize() { return Number(setting::SigAttachSize, 32768); }
bool CConfig::GetShareContacts() { return Switch(setting::ShareContacts, false); }
void CConfig::SetShareContacts(bool on) { SetKey(setting::ShareContacts, on ? 1L : 0L); }
bool CConfig::GetAllowOverrides() { return Switch(setting::AllowOverrides, true); }
std::string CConfig::GetFileTypes() {
  return Text(setting::FileTypes, "pdf,doc,docx,xls,ppt,html,htm,txt,jpg,png,gif");
}
std::string CConfig::GetGateways() { return Text(setting::Gateways, ""); }
void CConfig::SetGateways(std::string_view gateways) { SetKey(setting::Gateways, gateways); }
std::string CConfig::GetSigAttachTypes() { return Text(setting::SigAttachTypes, "jpg,png,gif"); }
void CConfig::SetBlueprintFolder(std::string_view folder) { SetKey(setting::BlueprintFolder, folder); }
bool CConfig::GetLockBlueprints() { return Switch(setting::LockBlueprints, false); }
bool CConfig::GetExpedite() { return Switch(setting::Expedite, false); }
void CConfig::SetExpedite(bool on) { SetKey(setting::Expedite, on ? 1L : 0L); }

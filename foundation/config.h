#pragma once
// The configuration store: the current user's settings key in the registry, with defaults from
// "vlrDefaults.xml" beside the deliverables and the built-in defaults after that. Cheap and
// short-lived: make one on the stack wherever a setting is needed; nothing is cached.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/hresult.h"

class CXMLDoc;
class CBlowfish;
class CCredentials;

class CCfgBase {
 public:
  CCfgBase();
  virtual ~CCfgBase();
  CCfgBase(const CCfgBase&) = delete;
  CCfgBase& operator=(const CCfgBase&) = delete;

  virtual int GetPort();
  virtual int QueryZero() { return 0; }
  virtual int GetCustomUIResource(std::string_view ribbonId) = 0;
  virtual int GetButtonImageResource() = 0;

  // Registry first, then the defaults file. The out value is changed only on success.
  HRESULT GetKey(std::string_view name, std::string& value);
  HRESULT GetKey(std::string_view name, long& value);
  HRESULT SetKey(std::string_view name, std::string_view value);
  HRESULT SetKey(std::string_view name, long value);
  HRESULT SetKey(std::string_view name, const void* bytes, std::size_t length);

  HRESULT GetDefaultValue(std::string_view name, std::string& value);
  HRESULT GetDefaultValue(std::string_view name, long& value);
  HRESULT LoadDefaultValues(CXMLDoc& doc);

  HRESULT FindAddin(std::string& folder);
  void GetHost(std::string& host);
  long GetLogXML();

  // The settings key path, "Software\Attestra\Attestra for Outlook".
  const std::string& KeyPath() const { return keyPath_; }
  const std::string& ClassId() const { return classId_; }
  const std::string& AddinFileName() const { return addinFile_; }
  const std::string& ProgId() const { return progId_; }
  const std::string& Description() const { return description_; }
  const std::string& DisplayName() const { return displayName_; }

  // The process-wide configured host and default service path, refreshed by every CConfig.
  static std::string ConfiguredHost();
  static std::string DefaultServicePath();

  // A deliverable's application object names its module once it exists; FindAddin then
  // answers that module's folder.
  static void SetApplicationModule(const void* addressInModule);

 protected:
  std::string keySource_;
  std::string companyKey_;
  std::string productKey_;
  std::string displayName_;
  std::string addinFile_;
  std::string progId_;
  std::string description_;
  std::string classId_;
  std::unique_ptr<CBlowfish> scrambler_;
  std::string keyPath_;

  void FormatKeyPath();
  static void SetConfiguredHost(const std::string& host);
  static void SetDefaultServicePath(const std::string& path);
};

class CConfig : public CCfgBase {
 public:
  CConfig();
  ~CConfig() override;

  int GetCustomUIResource(std::string_view ribbonId) override;
  int GetButtonImageResource() override { return 10001; }

  // 0 or E_FAIL. `pathOverride` replaces the configured service path (the login's endpoint).
  HRESULT GetServiceUrl(std::string& url, const char* pathOverride = nullptr);
  HRESULT GetBlueprintFolder(std::string& folder);
  // Deletes the settings key with all its values and subkeys.
  HRESULT DeleteSettings();

  // The remembered e-mail address and password (the scrambled binary value "Credentials",
  // registry only). Get: 0, or the registry's error when none are stored, or E_FAIL when the
  // value cannot be read (the record is then unchanged). Set: E_INVALIDARG when e-mail, tab
  // and password exceed 128 characters (nothing is stored), else the write's result.
  virtual HRESULT GetCredentials(CCredentials& record);
  virtual HRESULT SetCredentials(const CCredentials& record);

  std::string GetServicePortPath();
  bool GetSSL();
  std::string GetMailboxName();
  std::string GetIdentity();
  std::string GetCryptoKey();
  void SetCryptoKey(std::string_view key);
  // All five placement values, or false when any is missing.
  bool GetCmdBarPlacement(long& top, long& left, long& pos, long& rowIndex, long& visible);
  void SetCmdBarPlacement(long top, long left, long pos, long rowIndex, long visible);
  long GetReceiptType();
  bool GetMakeReceipt();
  void SetMakeReceipt(bool on);
  bool GetShowReceipt();
  void SetShowReceipt(bool on);
  bool GetGotoShortcuts();
  void SetGotoShortcuts(bool on);
  bool GetAskTabs();
  void SetAskTabs(bool on);
  bool GetAskSyncAll();
  void SetAskSyncAll(bool on);
  bool GetShowWizIntro();
  void SetShowWizIntro(bool on);
  bool GetShowAttachWarning();
  void SetShowAttachWarning(bool on);
  bool GetShowCommonTip();
  void SetShowCommonTip(bool on);
  long GetSyncDirection();
  void SetSyncDirection(long direction);
  bool GetSyncSize();
  void SetSyncSize(bool expanded);
  long GetDocSrc();
  void SetDocSrc(long source);
  long GetSigAttachSize();
  bool GetShareContacts();
  void SetShareContacts(bool on);
  bool GetAllowOverrides();
  std::string GetFileTypes();
  std::string GetGateways();
  void SetGateways(std::string_view gateways);
  std::string GetSigAttachTypes();
  void SetBlueprintFolder(std::string_view folder);
  bool GetLockBlueprints();
  bool GetExpedite();
  void SetExpedite(bool on);
  void SetIdentity(std::string_view identity);
  void SetMailboxName(std::string_view mailbox);

 private:
  std::string Text(const char* name, const char* builtIn);
  long Number(const char* name, long builtIn);
  bool Switch(const char* name, bool builtIn);
};

// The default value of a registry key under HKEY_CLASSES_ROOT etc. is read through
// platform/win/registry.h; these are the add-in's fixed identities.
namespace addin {
inline constexpr const char* kClassId = "{7A3E5C21-4B9D-4E8F-9C12-3D5B7A9E1F40}";
inline constexpr const char* kProgId = "Attestra.OutlookAddin";
}  // namespace addin

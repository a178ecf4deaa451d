#pragma once
// The Office add-in contracts (IDTExtensibility2, IRibbonExtensibility, the ribbon control
// handed to callbacks) and a host that loads registered add-ins into the Outlook stand-in and
// drives them as Outlook does: connect, start-up complete, ribbon XML and callbacks, shut-down.
//
// Registered add-ins: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE
// "Software\Microsoft\Office\Outlook\Addins\<ProgID>" with LoadBehavior 3.
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/connection.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

enum ext_ConnectMode { ext_cm_AfterStartup = 0, ext_cm_Startup = 1, ext_cm_External = 2, ext_cm_CommandLine = 3 };
enum ext_DisconnectMode { ext_dm_HostShutdown = 0, ext_dm_UserClosed = 1 };

// `custom` stands for the platform's array of custom values; hosts pass an empty value.
struct IDTExtensibility2 : IDispatch {
  static constexpr IID kIid = com::GuidLiteral("B65AD801-ABAF-11D0-BB8B-00A0C90F2744");
  virtual HRESULT OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addInInst,
                               com::Variant* custom) = 0;
  virtual HRESULT OnDisconnection(ext_DisconnectMode mode, com::Variant* custom) = 0;
  virtual HRESULT OnAddInsUpdate(com::Variant* custom) = 0;
  virtual HRESULT OnStartupComplete(com::Variant* custom) = 0;
  virtual HRESULT OnBeginShutdown(com::Variant* custom) = 0;

 protected:
  ~IDTExtensibility2() = default;
};

struct IRibbonExtensibility : IDispatch {
  static constexpr IID kIid = com::GuidLiteral("000C0396-0000-0000-C000-000000000046");
  // E_POINTER for a null result.
  virtual HRESULT GetCustomUI(const std::string& ribbonId, std::string* ribbonXml) = 0;

 protected:
  ~IRibbonExtensibility() = default;
};

namespace outlook {

// The control a ribbon callback receives: Id, Tag and Context (the window it sits in).
inline constexpr IID IID_IRibbonControl = com::GuidLiteral("000C0395-0000-0000-C000-000000000046");
com::ComPtr<IDispatch> MakeRibbonControl(std::string id, std::string tag, com::ComPtr<IDispatch> context);

class AddinHost {
 public:
  // `application` is the host's Outlook (or Word) application object.
  explicit AddinHost(com::ComPtr<IDispatch> application);
  ~AddinHost();
  AddinHost(const AddinHost&) = delete;
  AddinHost& operator=(const AddinHost&) = delete;

  // Connects every registered add-in that loads at start-up, then tells each that start-up is
  // complete. Outlook from version 14 asks for ribbons at start-up; version 12 when the first
  // inspector opens, after the add-ins have heard of it. Returns the first failure; the others
  // still load.
  HRESULT Startup();
  // Connects one add-in by program id or "{class id}" (after start-up: mode ext_cm_AfterStartup).
  HRESULT Load(std::string_view classText);
  // OnBeginShutdown and OnDisconnection(host shutdown) for every loaded add-in.
  HRESULT Shutdown();
  // The user unloads one add-in: OnDisconnection(user closed).
  HRESULT Unload(std::string_view classText);

  // Whether the add-in has been asked for IRibbonExtensibility (and answered it).
  bool RibbonAsked(std::string_view classText) const;
  // The add-in's ribbon XML for a ribbon ID; empty when it has no ribbon.
  HRESULT CustomUI(std::string_view classText, std::string_view ribbonId, std::string& xml);
  // Calls a ribbon callback (an IDispatch member of the add-in) with a control.
  HRESULT InvokeRibbon(std::string_view classText, std::string_view callback, const std::string& controlId,
                       com::ComPtr<IDispatch> context, com::Variant* result = nullptr);

  // Add-ins registered to load at start-up, by program id.
  static std::vector<std::string> RegisteredAddins();

 private:
  struct Loaded {
    std::string classText;
    com::ComPtr<IDTExtensibility2> addin;
    com::ComPtr<IRibbonExtensibility> ribbon;
    bool ribbonAsked = false;
  };
  Loaded* Find(std::string_view classText);
  const Loaded* Find(std::string_view classText) const;
  HRESULT Connect(std::string_view classText, ext_ConnectMode mode);
  void AskRibbon(Loaded& loaded);

  com::ComPtr<IDispatch> application_;
  std::vector<Loaded> loaded_;
  com::ComPtr<com::FunctionSink> inspectorsSink_;
  int major_ = 16;
};

}  // namespace outlook

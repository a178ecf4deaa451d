#include "platform/outlook/addin.h"

#include "platform/com/classregistry.h"
#include "platform/com/dispatchobject.h"
#include "platform/outlook/application.h"
#include "platform/outlook/standin.h"
#include "platform/outlook/events.h"
#include "platform/win/registry.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr const char* kAddinsKey = "Software\\Microsoft\\Office\\Outlook\\Addins";
constexpr DWORD kLoadAtStartup = 3;

class RibbonControlObject : public com::DispatchObject {
 public:
  RibbonControlObject(std::string id, std::string tag, com::ComPtr<IDispatch> context)
      : id_(std::move(id)), tag_(std::move(tag)), context_(std::move(context)) {
    AnswerAlso(IID_IRibbonControl);
    Property("Id", [this] { return id_; });
    Property("Tag", [this] { return tag_; });
    Property("Context", [this] { return com::Variant(context_.Get()); });
  }

 private:
  std::string id_, tag_;
  com::ComPtr<IDispatch> context_;
};

int MajorVersion(IDispatch* application) {
  com::Variant version;
  std::string text;
  if (FAILED(com::GetProperty(application, "Version", version)) || FAILED(version.ToText(text))) return 16;
  try {
    return std::stoi(text);
  } catch (...) {
    return 16;
  }
}

}  // namespace

com::ComPtr<IDispatch> MakeRibbonControl(std::string id, std::string tag, com::ComPtr<IDispatch> context) {
  return com::ComPtr<IDispatch>(com::Make<RibbonControlObject>(std::move(id), std::move(tag), std::move(context)).Get());
}

AddinHost::AddinHost(com::ComPtr<IDispatch> application)
    : application_(std::move(application)), major_(MajorVersion(application_.Get())) {}

AddinHost::~AddinHost() { Shutdown(); }

std::vector<std::string> AddinHost::RegisteredAddins() {
  std::vector<std::string> out;
  for (win::Hive hive : {win::Hive::CurrentUser, win::Hive::LocalMachine}) {
    win::RegKey key;
    std::vector<std::string> names;
    if (win::RegKey::Open(hive, kAddinsKey, key) != ERROR_SUCCESS || key.EnumSubkeys(names) != ERROR_SUCCESS) continue;
    for (const std::string& name : names) {
      win::RegKey addin;
      DWORD behavior = 0;
      if (win::RegKey::Open(hive, std::string(kAddinsKey) + "\\" + name, addin) != ERROR_SUCCESS ||
          addin.QueryDword("LoadBehavior", behavior) != ERROR_SUCCESS || behavior != kLoadAtStartup)
        continue;
      bool seen = false;
      for (const std::string& o : out) seen = seen || win::EqualsNoCase(o, name);
      if (!seen) out.push_back(name);
    }
  }
  return out;
}

AddinHost::Loaded* AddinHost::Find(std::string_view classText) {
  for (Loaded& l : loaded_)
    if (win::EqualsNoCase(l.classText, classText)) return &l;
  return nullptr;
}

const AddinHost::Loaded* AddinHost::Find(std::string_view classText) const {
  return const_cast<AddinHost*>(this)->Find(classText);
}

HRESULT AddinHost::Connect(std::string_view classText, ext_ConnectMode mode) {
  if (Find(classText)) return S_FALSE;
  Loaded loaded{std::string(classText), {}, {}, false};
  HRESULT hr = com::CreateInstance(classText, loaded.addin);
  if (FAILED(hr)) return hr;
  com::Variant custom;
  hr = loaded.addin->OnConnection(application_.Get(), mode, nullptr, &custom);
  if (FAILED(hr)) return hr;
  loaded_.push_back(std::move(loaded));
  if (major_ >= 14) AskRibbon(loaded_.back());
  return S_OK;
}

void AddinHost::AskRibbon(Loaded& loaded) {
  if (loaded.ribbonAsked || major_ < 12) return;
  loaded.ribbonAsked = true;
  loaded.addin.As(loaded.ribbon);
}

HRESULT AddinHost::Startup() {
  HRESULT first = S_OK;
  for (const std::string& progId : RegisteredAddins()) {
    HRESULT hr = Connect(progId, ext_cm_Startup);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  for (Loaded& l : loaded_) {
    com::Variant custom;
    HRESULT hr = l.addin->OnStartupComplete(&custom);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  // Outlook 2007 loads a compose ribbon with the first inspector, after the add-ins' own
  // NewInspector handlers ran (this sink advises after theirs).
  if (major_ == 12 && AsApplication(application_.Get())) {
    inspectorsSink_ = com::Make<com::FunctionSink>(IID_InspectorsEvents, [this](DISPID id, const com::DispParams&) {
      if (id != DISPID_NewInspector) return;
      for (Loaded& l : loaded_) AskRibbon(l);
    });
    com::Variant inspectors;
    if (SUCCEEDED(com::GetProperty(application_.Get(), "Inspectors", inspectors)))
      inspectorsSink_->Connect(inspectors.Dispatch());
  }
  return first;
}

HRESULT AddinHost::Load(std::string_view classText) {
  HRESULT hr = Connect(classText, ext_cm_AfterStartup);
  if (hr != S_OK) return hr;
  com::Variant custom;
  return Find(classText)->addin->OnStartupComplete(&custom);
}

HRESULT AddinHost::Shutdown() {
  if (inspectorsSink_) {
    inspectorsSink_->Disconnect();
    inspectorsSink_.Reset();
  }
  HRESULT first = S_OK;
  std::vector<Loaded> leaving = std::move(loaded_);
  loaded_.clear();
  for (Loaded& l : leaving) {
    com::Variant custom;
    HRESULT hr = l.addin->OnBeginShutdown(&custom);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  for (Loaded& l : leaving) {
    com::Variant custom;
    HRESULT hr = l.addin->OnDisconnection(ext_dm_HostShutdown, &custom);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT AddinHost::Unload(std::string_view classText) {
  for (auto it = loaded_.begin(); it != loaded_.end(); ++it) {
    if (!win::EqualsNoCase(it->classText, classText)) continue;
    Loaded leaving = std::move(*it);
    loaded_.erase(it);
    com::Variant custom;
    return leaving.addin->OnDisconnection(ext_dm_UserClosed, &custom);
  }
  return E_INVALIDARG;
}

bool AddinHost::RibbonAsked(std::string_view classText) const {
  const Loaded* l = Find(classText);
  return l && l->ribbonAsked && l->ribbon;
}

HRESULT AddinHost::CustomUI(std::string_view classText, std::string_view ribbonId, std::string& xml) {
  xml.clear();
  Loaded* l = Find(classText);
  if (!l) return E_INVALIDARG;
  AskRibbon(*l);
  if (!l->ribbon) return S_FALSE;
  return l->ribbon->GetCustomUI(std::string(ribbonId), &xml);
}

HRESULT AddinHost::InvokeRibbon(std::string_view classText, std::string_view callback, const std::string& controlId,
                                com::ComPtr<IDispatch> context, com::Variant* result) {
  Loaded* l = Find(classText);
  if (!l) return E_INVALIDARG;
  com::ComPtr<IDispatch> dispatch;
  HRESULT hr = l->addin.As(dispatch);
  if (FAILED(hr)) return hr;
  com::DispParams args{com::Variant(MakeRibbonControl(controlId, "", std::move(context)))};
  return com::InvokeByName(dispatch.Get(), callback, DISPATCH_METHOD, args, result);
}

}  // namespace outlook

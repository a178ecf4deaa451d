#include "platform/com/server.h"

#include <atomic>

#include "platform/win/registry.h"

namespace com {
namespace {

std::atomic<long> moduleCount{0};

// Sets the default value (or the named one) of a key under HKEY_CLASSES_ROOT, creating it.
HRESULT SetClassesValue(const std::string& path, std::string_view name, std::string_view text) {
  win::RegKey key;
  LONG err = win::RegKey::Create(win::Hive::ClassesRoot, path, "", key);
  if (err == ERROR_SUCCESS) err = key.SetString(name, text);
  return HRESULT_FROM_WIN32(err);
}

HRESULT DeleteClassesTree(const std::string& path) {
  LONG err = win::RegDeleteTree(win::Hive::ClassesRoot, path);
  return err == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(err);
}

// Runs each step while they succeed; the first failure is the result.
class Steps {
 public:
  Steps& operator<<(HRESULT hr) {
    if (SUCCEEDED(result_) && FAILED(hr)) result_ = hr;
    return *this;
  }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_ = S_OK;
};

}  // namespace

void ModuleAddRef() { ++moduleCount; }
void ModuleRelease() { --moduleCount; }
long ModuleCount() { return moduleCount.load(); }

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const IID& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  try {
    return create_(iid, out);
  } catch (const ComError& e) {
    return e.code;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ClassFactory::LockServer(bool lock) {
  if (lock)
    ModuleAddRef();
  else
    ModuleRelease();
  return S_OK;
}

HRESULT RegisterInprocServer(const ServerRegistration& reg) {
  const std::string clsid = win::GuidToString(reg.clsid);
  const std::string classKey = "CLSID\\" + clsid;
  Steps steps;
  steps << SetClassesValue(classKey, "", reg.name) << SetClassesValue(classKey + "\\InprocServer32", "", reg.path)
        << SetClassesValue(classKey + "\\InprocServer32", "ThreadingModel", reg.threadingModel);
  if (!reg.progId.empty()) {
    steps << SetClassesValue(classKey + "\\ProgID", "", reg.progId) << SetClassesValue(reg.progId, "", reg.name)
          << SetClassesValue(reg.progId + "\\CLSID", "", clsid);
  }
  if (!reg.versionIndependentProgId.empty()) {
    const std::string& vip = reg.versionIndependentProgId;
    steps << SetClassesValue(classKey + "\\VersionIndependentProgID", "", vip) << SetClassesValue(vip, "", reg.name)
          << SetClassesValue(vip + "\\CLSID", "", clsid);
    if (!reg.progId.empty()) steps << SetClassesValue(vip + "\\CurVer", "", reg.progId);
  }
  return steps.Result();
}

HRESULT UnregisterInprocServer(const ServerRegistration& reg) {
  Steps steps;
  steps << DeleteClassesTree("CLSID\\" + win::GuidToString(reg.clsid));
  if (!reg.progId.empty()) steps << DeleteClassesTree(reg.progId);
  if (!reg.versionIndependentProgId.empty()) steps << DeleteClassesTree(reg.versionIndependentProgId);
  return steps.Result();
}

}  // namespace com

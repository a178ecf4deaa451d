#include "platform/com/classregistry.h"

#include <dlfcn.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/win/registry.h"
#include "platform/win/text.h"

namespace {

struct ClassObject {
  DWORD cookie;
  CLSID clsid;
  com::ComPtr<IUnknown> object;
};

// The process's class table. Never destroyed: loaded libraries stay loaded to the end, and
// class objects registered by code must not be released during static destruction.
struct ClassTable {
  std::mutex lock;
  std::vector<ClassObject> objects;
  DWORD nextCookie = 1;
  std::map<std::string, CLSID> progIds;  // by lower-case program id
  std::map<std::string, void*> libraries;
};

ClassTable& Table() {
  static ClassTable* table = new ClassTable;
  return *table;
}

thread_local std::string lastLoadError;

constexpr int kMaxCurVerHops = 4;

bool FindRegisteredObject(const CLSID& clsid, com::ComPtr<IUnknown>& out) {
  ClassTable& t = Table();
  std::lock_guard guard(t.lock);
  for (const ClassObject& c : t.objects) {
    if (c.clsid == clsid) {
      out = c.object;
      return true;
    }
  }
  return false;
}

HRESULT ReadDefault(const std::string& path, std::string& out) {
  win::RegKey key;
  if (win::RegKey::Open(win::Hive::ClassesRoot, path, key) != ERROR_SUCCESS) return REGDB_E_CLASSNOTREG;
  if (key.QueryString("", out) != ERROR_SUCCESS) return REGDB_E_CLASSNOTREG;
  return S_OK;
}

HRESULT ProgIdFromRegistry(const std::string& progId, CLSID& out, int hops) {
  std::string text;
  if (SUCCEEDED(ReadDefault(progId + "\\CLSID", text))) {
    auto clsid = win::GuidFromString(text);
    if (!clsid) return CO_E_CLASSSTRING;
    out = *clsid;
    return S_OK;
  }
  // A version-independent program id may name its class through the current version only.
  std::string current;
  if (hops < kMaxCurVerHops && SUCCEEDED(ReadDefault(progId + "\\CurVer", current)) && !current.empty() &&
      !win::EqualsNoCase(current, progId))
    return ProgIdFromRegistry(current, out, hops + 1);
  return CO_E_CLASSSTRING;
}

// The library, loaded once and kept. Sets lastLoadError on failure.
HRESULT LoadLibrary(const std::string& path, void*& handle) {
  ClassTable& t = Table();
  std::lock_guard guard(t.lock);
  if (auto it = t.libraries.find(path); it != t.libraries.end()) {
    handle = it->second;
    return S_OK;
  }
  if (path.find('/') != std::string::npos && access(path.c_str(), F_OK) != 0) {
    lastLoadError = path + ": no such file";
    return CO_E_DLLNOTFOUND;
  }
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    lastLoadError = why ? why : path + ": cannot be loaded";
    return CO_E_ERRORINDLL;
  }
  t.libraries.emplace(path, handle);
  return S_OK;
}

HRESULT ClassObjectFromLibrary(const CLSID& clsid, const IID& iid, void** out) {
  std::string path;
  if (FAILED(ReadDefault("CLSID\\" + win::GuidToString(clsid) + "\\InprocServer32", path)) || path.empty())
    return REGDB_E_CLASSNOTREG;
  void* handle = nullptr;
  HRESULT hr = LoadLibrary(path, handle);
  if (FAILED(hr)) return hr;
  dlerror();
  auto entry = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (!entry) {
    lastLoadError = path + ": no DllGetClassObject";
    return CO_E_ERRORINDLL;
  }
  try {
    hr = entry(clsid, iid, out);
  } catch (...) {  // a server must not throw across its entry point; if it does, it failed
    hr = E_UNEXPECTED;
  }
  if (SUCCEEDED(hr) && !*out) hr = E_UNEXPECTED;
  return hr;
}

}  // namespace

HRESULT CLSIDFromString(std::string_view text, CLSID* out) {
  if (!out) return E_POINTER;
  if (text.size() != 38 || text.front() != '{') return CO_E_CLASSSTRING;
  auto clsid = win::GuidFromString(text);
  if (!clsid) return CO_E_CLASSSTRING;
  *out = *clsid;
  return S_OK;
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* out) {
  if (!out) return E_POINTER;
  // Key separators would reach other keys than the program id's own.
  if (progId.empty() || progId.find_first_of("\\/") != std::string_view::npos) return CO_E_CLASSSTRING;
  {
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    if (auto it = t.progIds.find(win::AsciiLower(progId)); it != t.progIds.end()) {
      *out = it->second;
      return S_OK;
    }
  }
  return ProgIdFromRegistry(std::string(progId), *out, 0);
}

HRESULT CoGetClassObject(const CLSID& clsid, DWORD, void*, const IID& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  com::ComPtr<IUnknown> registered;
  if (FindRegisteredObject(clsid, registered)) return registered->QueryInterface(iid, out);
  return ClassObjectFromLibrary(clsid, iid, out);
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  com::ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  try {
    hr = factory->CreateInstance(outer, iid, out);
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD, DWORD, DWORD* cookie) {
  if (!classObject || !cookie) return E_POINTER;
  ClassTable& t = Table();
  std::lock_guard guard(t.lock);
  *cookie = t.nextCookie++;
  t.objects.push_back({*cookie, clsid, com::ComPtr<IUnknown>(classObject)});
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  com::ComPtr<IUnknown> released;  // let go of outside the lock: its destructor may call back
  {
    ClassTable& t = Table();
    std::lock_guard guard(t.lock);
    for (auto it = t.objects.begin(); it != t.objects.end(); ++it) {
      if (it->cookie == cookie) {
        released = std::move(it->object);
        t.objects.erase(it);
        return S_OK;
      }
    }
  }
  return E_INVALIDARG;
}

namespace com {

HRESULT ClassFromText(std::string_view text, CLSID& out) {
  if (!text.empty() && text.front() == '{') return CLSIDFromString(text, &out);
  return CLSIDFromProgID(text, &out);
}

void RegisterProgId(std::string_view progId, const CLSID& clsid) {
  ClassTable& t = Table();
  std::lock_guard guard(t.lock);
  t.progIds[win::AsciiLower(progId)] = clsid;
}

void RevokeProgId(std::string_view progId) {
  ClassTable& t = Table();
  std::lock_guard guard(t.lock);
  t.progIds.erase(win::AsciiLower(progId));
}

std::string LastLoadError() { return lastLoadError; }

}  // namespace com

#pragma once
// Creating objects by class id or program id. Classes come from two places: class objects that
// the running program registered by code (CoRegisterClassObject), and in-process servers named
// in HKEY_CLASSES_ROOT ("CLSID\{guid}\InprocServer32" = path of a shared library exporting
// DllGetClassObject). A loaded library stays loaded for the life of the process.
//
// HKEY_CLASSES_ROOT entries read here:
//   CLSID\{guid}                   (default) = user-type name
//   CLSID\{guid}\InprocServer32    (default) = path of the library
//   <ProgID>\CLSID                 (default) = {guid}
//   <ProgID>\CurVer                (default) = versioned program id (used when CLSID is missing)
#include <string>
#include <string_view>

#include "platform/com/unknown.h"

struct IClassFactory : IUnknown {
  static constexpr IID kIid = com::GuidLiteral("00000001-0000-0000-C000-000000000046");
  // CLASS_E_NOAGGREGATION when `outer` is given.
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

constexpr IID IID_IClassFactory = IClassFactory::kIid;

// Class contexts. Only in-process servers exist here; the other contexts are accepted and
// served in process, so that callers asking for "all contexts" find in-process classes.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

// The signatures of the entry points an in-process server exports (see server.h).
using DllGetClassObjectFn = HRESULT (*)(const CLSID& clsid, const IID& iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

// "{guid}" (braces required, any letter case) to a class id; CO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(std::string_view text, CLSID* out);
// CO_E_CLASSSTRING when the program id is not registered (or registered with a bad class id).
HRESULT CLSIDFromProgID(std::string_view progId, CLSID* out);

// The class object (usually IClassFactory) of a class. Codes: REGDB_E_CLASSNOTREG (neither
// registered by code nor with an InprocServer32 path), CO_E_DLLNOTFOUND (the library file does
// not exist), CO_E_ERRORINDLL (it cannot be loaded or exports no DllGetClassObject), and
// otherwise whatever DllGetClassObject returns.
HRESULT CoGetClassObject(const CLSID& clsid, DWORD context, void* reserved, const IID& iid, void** out);
// The class object's IClassFactory::CreateInstance; its failures pass through unchanged.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& iid, void** out);

// Makes a class creatable in this process without a library. The class object is held until
// revoked; registration by code wins over the registry.
HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD context, DWORD flags,
                              DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

namespace com {

// "{guid}" or a program id, to a class id.
HRESULT ClassFromText(std::string_view text, CLSID& out);

// A program id known to this process only, beside those in the registry (for classes
// registered by code). Registry entries are consulted after these.
void RegisterProgId(std::string_view progId, const CLSID& clsid);
void RevokeProgId(std::string_view progId);

// Creates an object from "{guid}" or a program id and asks it for T.
template <class T>
HRESULT CreateInstance(std::string_view classText, ComPtr<T>& out) {
  CLSID clsid;
  HRESULT hr = ClassFromText(classText, clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, T::kIid, out.PutVoid());
}

// What the loader said about the last library that failed to load or lacked its entry point
// (in this thread), for the log.
std::string LastLoadError();

}  // namespace com

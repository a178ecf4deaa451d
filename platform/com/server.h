#pragma once
// What an in-process server (a shared library the class registry loads) needs: the export
// macro for its entry points, its object and lock count, a class factory, and the registry
// entries that make its classes creatable.
//
//   VLR_COM_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** out);
//   VLR_COM_EXPORT HRESULT DllCanUnloadNow();
//   VLR_COM_EXPORT HRESULT DllRegisterServer();
//   VLR_COM_EXPORT HRESULT DllUnregisterServer();
#include <functional>
#include <string>

#include "platform/com/classregistry.h"
#include "platform/com/object.h"
#include "platform/com/unknown.h"

// C linkage and default visibility, so the loader finds the entry point by its plain name.
#define VLR_COM_EXPORT extern "C" __attribute__((visibility("default")))

namespace com {

// Live objects and server locks of the module (every module links its own copy of this
// library, so the count is per module). DllCanUnloadNow answers S_OK when it is 0.
void ModuleAddRef();
void ModuleRelease();
long ModuleCount();

// A class factory whose CreateInstance calls `create` with the requested interface. It refuses
// aggregation and null out pointers before calling; LockServer moves the module count.
class ClassFactory : public Object<IClassFactory> {
 public:
  using Creator = std::function<HRESULT(const IID& iid, void** out)>;
  explicit ClassFactory(Creator create) : create_(std::move(create)) {}

  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) override;
  HRESULT LockServer(bool lock) override;

 private:
  Creator create_;
};

// A factory for T (made with `new T()` and asked for the interface; deleted when T does not
// answer it).
template <class T>
ComPtr<IClassFactory> MakeClassFactory() {
  return Make<ClassFactory>([](const IID& iid, void** out) {
    ComPtr<T> object = Make<T>();
    return object->QueryInterface(iid, out);
  });
}

// The registry entries of one in-process class.
struct ServerRegistration {
  CLSID clsid;
  std::string name;            // user-type name: default value of CLSID\{guid}
  std::string path;            // the library: InprocServer32's default value
  std::string progId;          // optional, for example "vlrOpts.PropPage.1"
  std::string versionIndependentProgId;  // optional, for example "vlrOpts.PropPage"
  std::string threadingModel = "Apartment";
};

// Writes CLSID\{guid} (name, InprocServer32 with ThreadingModel, ProgID and
// VersionIndependentProgID) and the program id keys (CLSID; CurVer on the version-independent
// one). Returns the first registry failure as an HRESULT.
HRESULT RegisterInprocServer(const ServerRegistration& reg);
// Removes CLSID\{guid} and the program id keys with their subtrees; missing keys are fine.
HRESULT UnregisterInprocServer(const ServerRegistration& reg);

}  // namespace com

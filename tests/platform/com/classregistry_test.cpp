#include "platform/com/classregistry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/connection.h"
#include "platform/com/dispatchobject.h"
#include "platform/com/server.h"
#include "platform/win/registry.h"
#include "tests/platform/com/fixtures/fixtureids.h"
#include "tests/support/testenv.h"

using com::ComPtr;
using com::Variant;

namespace {

void SetClassesDefault(const std::string& path, const std::string& text) {
  win::RegKey key;
  ASSERT_EQ(win::RegKey::Create(win::Hive::ClassesRoot, path, "", key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString("", text), ERROR_SUCCESS);
}

void RegisterLibrary(const CLSID& clsid, const std::string& path) {
  SetClassesDefault("CLSID\\" + win::GuidToString(clsid) + "\\InprocServer32", path);
}

template <class Fn>
Fn EntryPoint(const char* library, const char* name) {
  void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(handle, nullptr) << dlerror();
  return handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
}

class ClassRegistryTest : public vlrtest::HomeTest {};

TEST_F(ClassRegistryTest, GoodServerRegistersItselfAndIsCreatedByClassIdAndProgramId) {
  auto registerServer = EntryPoint<DllRegisterServerFn>(COMTEST_GOOD, "DllRegisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_EQ(registerServer(), S_OK);

  std::string path;
  win::RegKey key;
  ASSERT_EQ(win::RegKey::Open(win::Hive::ClassesRoot,
                              "CLSID\\" + win::GuidToString(fixture::kCalcClsid) + "\\InprocServer32", key),
            ERROR_SUCCESS);
  ASSERT_EQ(key.QueryString("", path), ERROR_SUCCESS);
  EXPECT_EQ(path, COMTEST_GOOD);

  CLSID byProgId, byIndependent;
  ASSERT_EQ(CLSIDFromProgID(fixture::kCalcProgId, &byProgId), S_OK);
  EXPECT_EQ(byProgId, fixture::kCalcClsid);
  ASSERT_EQ(CLSIDFromProgID("velloratest.calc", &byIndependent), S_OK) << "program ids ignore case";
  EXPECT_EQ(byIndependent, fixture::kCalcClsid);

  ComPtr<IDispatch> calc;
  ASSERT_EQ(CoCreateInstance(fixture::kCalcClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, calc.PutVoid()), S_OK);
  Variant total;
  ASSERT_EQ(com::CallMethod(calc.Get(), "Add", {Variant(40), Variant(2)}, &total), S_OK);
  EXPECT_EQ(total, Variant(42));

  ComPtr<IDispatch> second;
  ASSERT_EQ(com::CreateInstance(fixture::kCalcIndependentProgId, second), S_OK);
  EXPECT_NE(second.Get(), calc.Get()) << "each creation makes a new object";
  Variant name;
  ASSERT_EQ(com::GetProperty(second.Get(), "Name", name), S_OK);
  EXPECT_EQ(name, Variant(fixture::kCalcName));

  // The server's own interface id, asked for at creation.
  ComPtr<IUnknown> own;
  EXPECT_EQ(CoCreateInstance(fixture::kCalcClsid, nullptr, CLSCTX_ALL, fixture::kCalcIid, own.PutVoid()), S_OK);
  const IID unknownIid = com::GuidLiteral("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(CoCreateInstance(fixture::kCalcClsid, nullptr, CLSCTX_ALL, unknownIid, own.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(own);

  // Its objects count in the module until released.
  auto canUnload = EntryPoint<DllCanUnloadNowFn>(COMTEST_GOOD, "DllCanUnloadNow");
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  calc.Reset();
  second.Reset();
  EXPECT_EQ(canUnload(), S_OK);

  auto unregisterServer = EntryPoint<DllUnregisterServerFn>(COMTEST_GOOD, "DllUnregisterServer");
  ASSERT_EQ(unregisterServer(), S_OK);
  CLSID gone;
  EXPECT_EQ(CLSIDFromProgID(fixture::kCalcProgId, &gone), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(fixture::kCalcClsid, nullptr, CLSCTX_ALL, IID_IDispatch, calc.PutVoid()),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ClassRegistryTest, EventsCrossIntoALoadedServer) {
  RegisterLibrary(fixture::kCalcClsid, COMTEST_GOOD);
  ComPtr<IDispatch> calc;
  ASSERT_EQ(CoCreateInstance(fixture::kCalcClsid, nullptr, CLSCTX_ALL, IID_IDispatch, calc.PutVoid()), S_OK);
  std::vector<int> totals;
  auto sink = com::Make<com::FunctionSink>(fixture::kCalcEvents, [&](DISPID id, const com::DispParams& args) {
    if (id == fixture::kCalcChanged) totals.push_back(args.Int(0));
  });
  ASSERT_EQ(sink->Connect(calc.Get()), S_OK);
  ASSERT_EQ(com::PutProperty(calc.Get(), "Total", Variant(5)), S_OK);
  ASSERT_EQ(com::CallMethod(calc.Get(), "Add", {Variant(3)}), S_OK);
  EXPECT_EQ(totals, (std::vector<int>{5, 8}));
  EXPECT_EQ(sink->Disconnect(), S_OK);
}

TEST_F(ClassRegistryTest, LibraryWithoutEntryPoint) {
  RegisterLibrary(fixture::kNoEntryClsid, COMTEST_NOENTRY);
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(fixture::kNoEntryClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
            CO_E_ERRORINDLL);
  EXPECT_FALSE(object);
  EXPECT_NE(com::LastLoadError().find("DllGetClassObject"), std::string::npos) << com::LastLoadError();
}

TEST_F(ClassRegistryTest, FactoryFailurePassesThrough) {
  RegisterLibrary(fixture::kFailingClsid, COMTEST_FAILING);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(fixture::kFailingClsid, CLSCTX_ALL, nullptr, IID_IClassFactory, factory.PutVoid()), S_OK);
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(fixture::kFailingClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
            fixture::kFailingCode);
  EXPECT_FALSE(object);
  // A library asked for a class it does not serve says so itself.
  RegisterLibrary(fixture::kNoEntryClsid, COMTEST_FAILING);
  EXPECT_EQ(CoCreateInstance(fixture::kNoEntryClsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ClassRegistryTest, UnregisteredAndUnloadableClasses) {
  const CLSID stranger = win::NewGuid();
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), REGDB_E_CLASSNOTREG);

  // A class key without a server path is not registered either.
  SetClassesDefault("CLSID\\" + win::GuidToString(stranger), "Half registered");
  EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), REGDB_E_CLASSNOTREG);

  RegisterLibrary(stranger, home_.Root() + "/missing.so");
  EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), CO_E_DLLNOTFOUND);

  const std::string notALibrary = home_.Root() + "/text.so";
  vlrtest::WriteFile(notALibrary, "this is not a shared library\n");
  RegisterLibrary(stranger, notALibrary);
  EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()), CO_E_ERRORINDLL);
  EXPECT_FALSE(com::LastLoadError().empty());

  EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
}

struct TextCase {
  const char* text;
  HRESULT hr;
};

TEST_F(ClassRegistryTest, ClassTextsAndProgramIds) {
  SetClassesDefault("Good.Prog\\CLSID", "{D41966FB-7B58-4B69-8926-7D17D32C66AB}");
  SetClassesDefault("Bad.Prog\\CLSID", "not a guid");
  SetClassesDefault("Versioned.Prog", "Versioned");
  SetClassesDefault("Versioned.Prog\\CurVer", "Good.Prog");
  SetClassesDefault("Loop.Prog\\CurVer", "Loop.Prog");
  SetClassesDefault("Ping.Prog\\CurVer", "Pong.Prog");
  SetClassesDefault("Pong.Prog\\CurVer", "Ping.Prog");

  const TextCase cases[] = {
      {"{D41966FB-7B58-4B69-8926-7D17D32C66AB}", S_OK},
      {"{d41966fb-7b58-4b69-8926-7d17d32c66ab}", S_OK},
      {"Good.Prog", S_OK},
      {"GOOD.PROG", S_OK},
      {"Versioned.Prog", S_OK},
      {"Bad.Prog", CO_E_CLASSSTRING},
      {"Nobody.Prog", CO_E_CLASSSTRING},
      {"Loop.Prog", CO_E_CLASSSTRING},
      {"Ping.Prog", CO_E_CLASSSTRING},
      {"Good.Prog\\CLSID", CO_E_CLASSSTRING},
      {"", CO_E_CLASSSTRING},
      {"{D41966FB-7B58-4B69-8926-7D17D32C66A}", CO_E_CLASSSTRING},
      {"{D41966FB-7B58-4B69-8926-7D17D32C66AX}", CO_E_CLASSSTRING},
  };
  for (const TextCase& c : cases) {
    CLSID clsid{};
    EXPECT_EQ(com::ClassFromText(c.text, clsid), c.hr) << c.text;
    if (c.hr == S_OK) {
      EXPECT_EQ(clsid, fixture::kCalcClsid) << c.text;
    }
  }
  CLSID clsid;
  EXPECT_EQ(CLSIDFromString("D41966FB-7B58-4B69-8926-7D17D32C66AB", &clsid), CO_E_CLASSSTRING) << "braces required";
}

// A class made creatable by code, as the Outlook stand-in does with its application object.
class Greeter : public com::DispatchObject {
 public:
  Greeter() {
    Property("Name", [] { return "Greeter"; });
  }
};

TEST_F(ClassRegistryTest, ClassObjectsRegisteredByCode) {
  const CLSID clsid = win::NewGuid();
  auto factory = com::MakeClassFactory<Greeter>();
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(clsid, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  com::RegisterProgId("Test.Greeter", clsid);

  ComPtr<IDispatch> greeter;
  ASSERT_EQ(com::CreateInstance("test.greeter", greeter), S_OK);
  Variant name;
  ASSERT_EQ(com::GetProperty(greeter.Get(), "Name", name), S_OK);
  EXPECT_EQ(name, Variant("Greeter"));

  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(CoCreateInstance(clsid, greeter.Get(), CLSCTX_ALL, IID_IUnknown, aggregated.PutVoid()),
            CLASS_E_NOAGGREGATION);

  // Registration by code wins over a registry entry for the same class.
  RegisterLibrary(clsid, COMTEST_FAILING);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, greeter.PutVoid()), S_OK);

  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
  com::RevokeProgId("Test.Greeter");
  EXPECT_EQ(com::CreateInstance("Test.Greeter", greeter), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, greeter.PutVoid()), CLASS_E_CLASSNOTAVAILABLE)
      << "now the registry's library answers, and it does not serve this class";
}

}  // namespace

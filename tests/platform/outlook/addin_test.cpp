// The add-in host loads registered add-ins and drives them as Outlook does: connection,
// start-up, the ribbon (asked at start-up from version 14, with the first inspector in version
// 12, never before), ribbon callbacks with their control, and shut-down.
#include <gtest/gtest.h>

#include "platform/com/connection.h"
#include "platform/com/server.h"
#include "platform/outlook/addin.h"
#include "platform/outlook/events.h"
#include "platform/win/registry.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

constexpr CLSID kTestAddin = com::GuidLiteral("5E1F0C1A-2B3C-4D5E-8F90-A1B2C3D4E5F6");

// What the test add-in saw, in order.
std::vector<std::string> journal;

// An add-in in the manner of the real one: it sinks NewInspector at start-up and notes whether
// Outlook had asked for its ribbon by then.
class TestAddin : public com::Object<IDTExtensibility2, IRibbonExtensibility> {
 public:
  HRESULT OnConnection(IDispatch* app, ext_ConnectMode mode, IDispatch*, com::Variant*) override {
    app_ = app;
    journal.push_back("OnConnection " + std::to_string(mode));
    return app ? S_OK : E_POINTER;
  }
  HRESULT OnDisconnection(ext_DisconnectMode mode, com::Variant*) override {
    journal.push_back("OnDisconnection " + std::to_string(mode));
    app_.Reset();
    return S_OK;
  }
  HRESULT OnAddInsUpdate(com::Variant*) override { return S_OK; }
  HRESULT OnStartupComplete(com::Variant*) override {
    journal.push_back("OnStartupComplete");
    com::Variant inspectors;
    if (SUCCEEDED(com::GetProperty(app_.Get(), "Inspectors", inspectors))) {
      sink_ = com::Make<com::FunctionSink>(outlook::IID_InspectorsEvents, [this](DISPID, const com::DispParams&) {
        journal.push_back(std::string("NewInspector ribbon=") + (ribbonAsked_ ? "asked" : "not asked"));
      });
      sink_->Connect(inspectors.Dispatch());
    }
    return S_OK;
  }
  HRESULT OnBeginShutdown(com::Variant*) override {
    journal.push_back("OnBeginShutdown");
    if (sink_) sink_->Disconnect();
    return S_OK;
  }
  HRESULT GetCustomUI(const std::string& ribbonId, std::string* xml) override {
    if (!xml) return E_POINTER;
    *xml = ribbonId == "Microsoft.Outlook.Mail.Compose" ? "<customUI/>" : "";
    return S_OK;
  }
  // IDispatch: one callback, "vlrSendClicked" (2, one argument).
  HRESULT GetTypeInfoCount(unsigned* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(unsigned, void**) override { return E_FAIL; }
  HRESULT GetIDsOfNames(const IID&, const char* const* names, unsigned count, DISPID* ids) override {
    if (count != 1) return E_INVALIDARG;
    ids[0] = std::string(names[0]) == "vlrSendClicked" ? 2 : DISPID_UNKNOWN;
    return ids[0] == 2 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, WORD, com::DispParams* params, com::Variant*) override {
    if (id != 2) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->Count() != 1) return DISP_E_BADPARAMCOUNT;
    com::Variant control = (*params)[0];
    com::Variant context, controlId;
    com::GetProperty(control.Dispatch(), "Id", controlId);
    com::GetProperty(control.Dispatch(), "Context", context);
    com::Variant caption;
    com::GetProperty(context.Dispatch(), "Caption", caption);
    journal.push_back("vlrSendClicked " + controlId.AsText() + " in " + caption.AsText());
    return S_OK;
  }

 protected:
  HRESULT QueryOther(const IID&, void**) override { return E_NOINTERFACE; }

 public:
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (iid == IRibbonExtensibility::kIid) ribbonAsked_ = true;
    return Object::QueryInterface(iid, out);
  }

 private:
  ComPtr<IDispatch> app_;
  ComPtr<com::FunctionSink> sink_;
  bool ribbonAsked_ = false;
};

template <int V>
class AddinHostTest : public OutlookTest {
 protected:
  void SetUp() override {
    OutlookTest::SetUp();
    journal.clear();
    auto factory = com::MakeClassFactory<TestAddin>();
    ASSERT_EQ(CoRegisterClassObject(kTestAddin, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_), S_OK);
    com::RegisterProgId("Test.OutlookAddin", kTestAddin);
    win::RegKey key;
    ASSERT_EQ(win::RegKey::Create(win::Hive::CurrentUser, "Software\\Microsoft\\Office\\Outlook\\Addins\\Test.OutlookAddin",
                                  "", key),
              ERROR_SUCCESS);
    key.SetDword("LoadBehavior", 3);
    ASSERT_EQ(win::RegKey::Create(win::Hive::LocalMachine, "Software\\Microsoft\\Office\\Outlook\\Addins\\Disabled.Addin",
                                  "", key),
              ERROR_SUCCESS);
    key.SetDword("LoadBehavior", 2);
  }
  void TearDown() override {
    com::RevokeProgId("Test.OutlookAddin");
    CoRevokeClassObject(cookie_);
    OutlookTest::TearDown();
  }
  int Version() const override { return V; }
  DWORD cookie_ = 0;
};

using Outlook16 = AddinHostTest<16>;
using Outlook12 = AddinHostTest<12>;
using Outlook11 = AddinHostTest<11>;

TEST_F(Outlook16, RegisteredAddinsLoadAndTheRibbonIsAskedAtStartup) {
  EXPECT_EQ(outlook::AddinHost::RegisteredAddins(), std::vector<std::string>{"Test.OutlookAddin"});
  {
    outlook::AddinHost host(app_);
    ASSERT_EQ(host.Startup(), S_OK);
    EXPECT_TRUE(host.RibbonAsked("Test.OutlookAddin"));
    ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
    Put(mail, "Subject", Variant("Lease"));
    Do(mail, "Display");
    std::string xml;
    EXPECT_EQ(host.CustomUI("Test.OutlookAddin", "Microsoft.Outlook.Mail.Compose", xml), S_OK);
    EXPECT_EQ(xml, "<customUI/>");
    EXPECT_EQ(host.InvokeRibbon("Test.OutlookAddin", "vlrSendClicked", "vlrSend", Obj(app_, "ActiveInspector")), S_OK);
    EXPECT_EQ(host.InvokeRibbon("Test.OutlookAddin", "vlrOther", "x", nullptr), DISP_E_UNKNOWNNAME);
  }
  EXPECT_EQ(journal, (std::vector<std::string>{"OnConnection 1", "OnStartupComplete", "NewInspector ribbon=asked",
                                               "vlrSendClicked vlrSend in Lease - Message", "OnBeginShutdown",
                                               "OnDisconnection 0"}));
}

TEST_F(Outlook12, TheFirstComposeWindowOpensBeforeTheRibbonIsAsked) {
  outlook::AddinHost host(app_);
  ASSERT_EQ(host.Startup(), S_OK);
  EXPECT_FALSE(host.RibbonAsked("Test.OutlookAddin"));
  Do(Call(app_, "CreateItem", {Variant(0)}), "Display");
  EXPECT_TRUE(host.RibbonAsked("Test.OutlookAddin"));
  Do(Call(app_, "CreateItem", {Variant(0)}), "Display");
  EXPECT_EQ(host.Unload("Test.OutlookAddin"), S_OK);
  EXPECT_EQ(journal, (std::vector<std::string>{"OnConnection 1", "OnStartupComplete", "NewInspector ribbon=not asked",
                                               "NewInspector ribbon=asked", "OnDisconnection 1"}));
}

TEST_F(Outlook11, OlderOutlookNeverAsksForARibbon) {
  outlook::AddinHost host(app_);
  ASSERT_EQ(host.Startup(), S_OK);
  Do(Call(app_, "CreateItem", {Variant(0)}), "Display");
  std::string xml = "x";
  EXPECT_EQ(host.CustomUI("Test.OutlookAddin", "Microsoft.Outlook.Mail.Compose", xml), S_FALSE);
  EXPECT_EQ(xml, "");
  EXPECT_FALSE(host.RibbonAsked("Test.OutlookAddin"));
  EXPECT_EQ(host.Load("No.Such.Addin"), CO_E_CLASSSTRING);
}

}  // namespace

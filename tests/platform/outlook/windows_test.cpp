// Explorers, inspectors, command bars and the Outlook Bar as objects without a window.
#include <gtest/gtest.h>

#include "platform/com/connection.h"
#include "platform/outlook/events.h"
#include "platform/win/registry.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

using WindowsTest = OutlookTest;

TEST_F(WindowsTest, OutlookBarGroupsAndShortcutsStayWithTheProfile) {
  ComPtr<IDispatch> pane = Call(Obj(Obj(app_, "ActiveExplorer"), "Panes"), "Item", {Variant("OutlookBar")});
  EXPECT_EQ(Text(pane, "Name"), "OutlookBar");
  ComPtr<IDispatch> groups = Obj(Obj(pane, "Contents"), "Groups");
  int count = Int(groups, "Count");
  EXPECT_EQ(count, 1);
  ComPtr<IDispatch> missing;
  EXPECT_EQ(CDispatcher::CallMethod(groups.Get(), "Item", {Variant("Attestra")}, missing), DISP_E_BADINDEX);

  ComPtr<IDispatch> group = Call(groups, "Add", {Variant("Attestra"), Variant(count + 1)});
  Put(group, "ViewType", Variant(2));
  ComPtr<IDispatch> shortcuts = Obj(group, "Shortcuts");
  ComPtr<IDispatch> sent = Call(shortcuts, "Add", {Variant("file:/home/x/Sent Items"), Variant("Sent Items"), Variant(1)});
  Do(sent, "SetIcon", {Variant("/opt/vellora/attestralogo.ico")});
  Call(shortcuts, "Add", {Variant(Folder(13)), Variant("Receipts"), Variant(1)});
  EXPECT_EQ(Text(Call(shortcuts, "Item", {Variant(1)}), "Name"), "Receipts");

  // A second start of Outlook finds them.
  Do(app_, "Quit");
  ns_.Reset();
  pane.Reset();
  groups.Reset();
  group.Reset();
  shortcuts.Reset();
  sent.Reset();
  app_.Reset();
  ASSERT_EQ(com::CreateInstance("Outlook.Application", app_), S_OK);
  groups = Obj(Obj(Call(Obj(Obj(app_, "ActiveExplorer"), "Panes"), "Item", {Variant(1)}), "Contents"), "Groups");
  EXPECT_EQ(Int(groups, "Count"), 2);
  group = Call(groups, "Item", {Variant(2)});
  EXPECT_EQ(Text(group, "Name"), "Attestra");
  EXPECT_EQ(Int(group, "ViewType"), 2);
  shortcuts = Obj(group, "Shortcuts");
  EXPECT_EQ(Text(Call(shortcuts, "Item", {Variant("Sent Items")}), "Target"), "file:/home/x/Sent Items");
  EXPECT_EQ(Int(Obj(Call(shortcuts, "Item", {Variant("Receipts")}), "Target"), "DefaultItemType"), 3);

  Do(groups, "Remove", {Variant(2)});
  EXPECT_EQ(Int(groups, "Count"), 1);
  EXPECT_EQ(CDispatcher::GetProp(group.Get(), "Name", missing), MAPI_E_OBJECT_DELETED);
}

TEST_F(WindowsTest, OutlookBarPaneVisibilityFollowsTheExplorer) {
  ComPtr<IDispatch> explorer = Obj(app_, "ActiveExplorer");
  ComPtr<IDispatch> pane = Call(Obj(explorer, "Panes"), "Item", {Variant("OutlookBar")});
  Put(pane, "Visible", Variant(false));
  EXPECT_FALSE(Get(Call(Obj(explorer, "Panes"), "Item", {Variant(1)}), "Visible").AsBool());
  Put(pane, "Visible", Variant(true));
  EXPECT_TRUE(Get(pane, "Visible").AsBool());
}

TEST_F(WindowsTest, CommandBarsAddFindAndDelete) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  ComPtr<IDispatch> inspector = Call(mail, "GetInspector");
  ComPtr<IDispatch> bars = Obj(inspector, "CommandBars");
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::CallMethod(bars.Get(), "Item", {Variant("Attestra")}, none), DISP_E_BADINDEX);
  ComPtr<IDispatch> bar = Call(bars, "Add", {Variant("Attestra"), Variant(1), Variant(false), Variant(true)});
  EXPECT_EQ(Call(bars, "Item", {Variant("Attestra")}).Get(), bar.Get());
  EXPECT_EQ(CDispatcher::CallMethod(bars.Get(), "Add", {Variant("Attestra")}, none), E_INVALIDARG) << "names are unique";
  for (const char* name : {"Top", "Left", "RowIndex"}) {
    Put(bar, name, Variant(7));
    EXPECT_EQ(Int(bar, name), 7);
  }
  Put(bar, "Position", Variant(4));
  EXPECT_EQ(Int(bar, "Position"), 4);
  ComPtr<IDispatch> button = Call(Obj(bar, "Controls"), "Add", {Variant(1)});
  Put(button, "Caption", Variant("Attestra-It"));
  Put(button, "Style", Variant(3));
  Do(button, "PasteFace");
  // Any picture object will do; the button keeps it.
  ComPtr<IDispatch> picture(com::Make<com::FunctionSink>(IID_IDispatch, nullptr).Get());
  Put(button, "Picture", Variant(picture));
  EXPECT_EQ(Get(button, "Picture").Dispatch(), picture.Get());
  EXPECT_EQ(CDispatcher::PutProp(button.Get(), "Mask", Variant(3)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Int(Obj(bar, "Controls"), "Count"), 1);
  Do(bar, "Delete");
  EXPECT_EQ(CDispatcher::CallMethod(bars.Get(), "Item", {Variant("Attestra")}, none), DISP_E_BADINDEX);
  // Another window's bars are its own.
  ComPtr<IDispatch> explorerBars = Obj(Obj(app_, "ActiveExplorer"), "CommandBars");
  EXPECT_EQ(Int(explorerBars, "Count"), 0);
}

TEST_F(WindowsTest, InspectorFormPagesComeFromThePublishedForm) {
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    store->PublishFormPage("IPM.Task.Attestra", "Attestra");
  }
  ComPtr<IDispatch> plain = Call(app_, "CreateItem", {Variant(3)});
  ComPtr<IDispatch> receipt = Call(app_, "CreateItem", {Variant(3)});
  Put(receipt, "MessageClass", Variant("IPM.Task.Attestra"));
  ComPtr<IDispatch> page, none;
  EXPECT_EQ(CDispatcher::CallMethod(Obj(Call(plain, "GetInspector"), "ModifiedFormPages").Get(), "Item",
                                    {Variant("Attestra")}, none),
            DISP_E_BADINDEX);
  ASSERT_EQ(CDispatcher::CallMethod(Obj(Call(receipt, "GetInspector"), "ModifiedFormPages").Get(), "Item",
                                    {Variant("Attestra")}, page),
            S_OK);
  EXPECT_EQ(Text(page, "Name"), "Attestra");
}

TEST_F(WindowsTest, WordAsEditorMakesInspectorsWordMail) {
  ASSERT_EQ(outlook::SetWordMailEditor(app_.Get(), true), S_OK);
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Do(mail, "Display");
  ComPtr<IDispatch> inspector = Obj(app_, "ActiveInspector");
  EXPECT_TRUE(Get(inspector, "IsWordMail").AsBool());
  EXPECT_TRUE(CallValue(inspector, "IsWordMail").AsBool()) << "callable as a method too";
}

TEST_F(WindowsTest, ClosingTheLastExplorerLeavesNoActiveExplorer) {
  ComPtr<IDispatch> explorer = Obj(app_, "ActiveExplorer");
  Do(explorer, "Close");
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::GetProp(app_.Get(), "ActiveExplorer", none), E_NOINTERFACE);
  EXPECT_EQ(CDispatcher::PutProp(explorer.Get(), "CurrentFolder", Variant(Folder(13))), E_FAIL);
  ComPtr<IDispatch> again = Call(Obj(app_, "Explorers"), "Add", {Variant(Folder(10))});
  EXPECT_EQ(Obj(app_, "ActiveExplorer").Get(), again.Get());
  EXPECT_EQ(Text(again, "Caption"), "Contacts - Microsoft Outlook");
}

TEST_F(WindowsTest, OfflineIsAProfileStateEveryNamespaceSees) {
  EXPECT_FALSE(Get(ns_, "Offline").AsBool());
  Put(ns_, "Offline", Variant(true));
  ComPtr<IDispatch> other = Call(app_, "GetNamespace", {Variant("mapi")});
  EXPECT_TRUE(Get(other, "Offline").AsBool());
  std::unique_ptr<outlook::ProfileStore> store;
  ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
  EXPECT_EQ(store->Setting("offline").value_or(""), "1");
}

class OldOutlookTest : public OutlookTest {
  int Version() const override { return 12; }
};

TEST_F(OldOutlookTest, VersionComesFromCurVer) {
  EXPECT_EQ(Text(app_, "Version"), "12.0.0.0");
  win::RegKey key;
  ASSERT_EQ(win::RegKey::Open(win::Hive::ClassesRoot, "Outlook.Application\\CurVer", key), ERROR_SUCCESS);
  std::string curVer;
  ASSERT_EQ(key.QueryString("", curVer), ERROR_SUCCESS);
  EXPECT_EQ(curVer, "Outlook.Application.12");
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID("Outlook.Application", &clsid), S_OK);
  EXPECT_EQ(clsid, outlook::CLSID_OutlookApplication);
}

}  // namespace

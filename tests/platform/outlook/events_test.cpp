// Events reach advised sinks through connection points with the dispatch ids and argument
// counts the add-in's sink tables expect, when the model changes the way a user would change it.
#include <gtest/gtest.h>

#include "platform/com/connection.h"
#include "platform/outlook/events.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

struct Heard {
  DISPID id;
  std::vector<Variant> args;
};

// A sink that records what it hears.
class Recorder {
 public:
  explicit Recorder(const IID& events)
      : sink_(com::Make<com::FunctionSink>(events, [this](DISPID id, const com::DispParams& a) {
          heard_.push_back({id, a.args});
        })) {}
  ~Recorder() { sink_->Disconnect(); }
  HRESULT Connect(const ComPtr<IDispatch>& source) { return sink_->Connect(source.Get()); }
  void Disconnect() { sink_->Disconnect(); }
  const std::vector<Heard>& Heard_() const { return heard_; }
  std::vector<DISPID> Ids() const {
    std::vector<DISPID> ids;
    for (const auto& h : heard_) ids.push_back(h.id);
    return ids;
  }
  void Clear() { heard_.clear(); }

 private:
  ComPtr<com::FunctionSink> sink_;
  std::vector<Heard> heard_;
};

using EventsTest = OutlookTest;

TEST_F(EventsTest, InboxItemAddCarriesTheNewItem) {
  ComPtr<IDispatch> inbox = Obj(Folder(6), "Items");
  Recorder rec(outlook::IID_ItemsEvents);
  ASSERT_EQ(rec.Connect(inbox), S_OK);

  // A mail saved elsewhere is no news for the Inbox.
  ComPtr<IDispatch> draft = Call(app_, "CreateItem", {Variant(0)});
  Do(draft, "Save");
  EXPECT_TRUE(rec.Heard_().empty());

  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("Vellora Blueprint"));
  ASSERT_EQ(outlook::DeliverToInbox(mail.Get(), "Bob Baker", "bob@example.com"), S_OK);
  ASSERT_EQ(rec.Heard_().size(), 1u);
  EXPECT_EQ(rec.Heard_()[0].id, 0xF001);
  ASSERT_EQ(rec.Heard_()[0].args.size(), 1u);
  EXPECT_EQ(rec.Heard_()[0].args[0].Dispatch(), mail.Get());
  EXPECT_TRUE(Get(mail, "Sent").AsBool());
  EXPECT_EQ(Text(mail, "SenderEmailAddress"), "bob@example.com");

  // Moving the draft in is an arrival too; its later saves are changes, not arrivals.
  rec.Clear();
  Call(draft, "Move", {Variant(Folder(6))});
  Do(draft, "Save");
  EXPECT_EQ(rec.Ids(), (std::vector<DISPID>{0xF001, 0xF002}));

  rec.Disconnect();
  Do(Call(Obj(Folder(6), "Items"), "Add", {}), "Save");
  EXPECT_EQ(rec.Heard_().size(), 2u) << "nothing after Unadvise";
}

TEST_F(EventsTest, DisplayFiresNewInspectorOnceAndCloseEndsIt) {
  ComPtr<IDispatch> inspectors = Obj(app_, "Inspectors");
  Recorder rec(outlook::IID_InspectorsEvents);
  ASSERT_EQ(rec.Connect(inspectors), S_OK);

  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("Compose"));
  Do(mail, "Display");
  ASSERT_EQ(rec.Heard_().size(), 1u);
  EXPECT_EQ(rec.Heard_()[0].id, 0xF001);
  ASSERT_EQ(rec.Heard_()[0].args.size(), 1u);
  ComPtr<IDispatch> inspector = rec.Heard_()[0].args[0].AsDispatch();
  EXPECT_EQ(Obj(inspector, "CurrentItem").Get(), mail.Get());
  EXPECT_EQ(Obj(app_, "ActiveInspector").Get(), inspector.Get());
  EXPECT_EQ(Text(inspector, "Caption"), "Compose - Message");
  EXPECT_FALSE(Get(inspector, "IsWordMail").AsBool());
  EXPECT_EQ(Int(inspectors, "Count"), 1);

  Do(mail, "Display");
  EXPECT_EQ(rec.Heard_().size(), 1u) << "an open item keeps its inspector";

  Recorder itemRec(outlook::IID_ItemEvents);
  ASSERT_EQ(itemRec.Connect(mail), S_OK);
  Do(inspector, "Close", {Variant(0)});
  ASSERT_EQ(itemRec.Heard_().size(), 1u);
  EXPECT_EQ(itemRec.Heard_()[0].id, 0xF004);
  ASSERT_EQ(itemRec.Heard_()[0].args.size(), 1u);
  EXPECT_FALSE(itemRec.Heard_()[0].args[0].AsBool());
  EXPECT_EQ(Int(inspectors, "Count"), 0);
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::GetProp(app_.Get(), "ActiveInspector", none), E_NOINTERFACE) << "Nothing";
  EXPECT_EQ(Text(mail, "EntryID").size(), 48u) << "Close(0) saved the item";
}

TEST_F(EventsTest, OptionsPagesAddHandsOverAPropertyPagesCollection) {
  Recorder rec(outlook::IID_ApplicationEvents);
  ASSERT_EQ(rec.Connect(app_), S_OK);
  // A handler in the add-in's manner: ask for PropertyPages, then Add.
  auto sink = com::Make<com::FunctionSink>(outlook::IID_ApplicationEvents, [](DISPID id, const com::DispParams& a) {
    if (id != 0xF005 || a.Count() != 1) return;
    ComPtr<IUnknown> pages;
    if (FAILED(a[0].AsDispatch()->QueryInterface(outlook::IID_PropertyPages, pages.PutVoid()))) return;
    CDispatcher::CallMethod(a[0].AsDispatch().Get(), "Add", {Variant("vlrOpts.PropPage"), Variant("Attestra")});
  });
  ASSERT_EQ(sink->Connect(app_.Get()), S_OK);

  std::vector<outlook::OptionsPage> pages;
  ASSERT_EQ(outlook::ShowOptionsDialog(app_.Get(), pages), S_OK);
  ASSERT_EQ(rec.Heard_().size(), 1u);
  EXPECT_EQ(rec.Heard_()[0].id, 0xF005);
  EXPECT_EQ(rec.Heard_()[0].args.size(), 1u);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].page.AsText(), "vlrOpts.PropPage");
  EXPECT_EQ(pages[0].title, "Attestra");
  sink->Disconnect();
}

TEST_F(EventsTest, FolderSwitchAndSelectionReachTheExplorerSink) {
  ComPtr<IDispatch> explorer = Obj(app_, "ActiveExplorer");
  ASSERT_TRUE(explorer);
  EXPECT_EQ(Text(Obj(explorer, "CurrentFolder"), "Name"), "Inbox");
  Recorder rec(outlook::IID_ExplorerEvents);
  ASSERT_EQ(rec.Connect(explorer), S_OK);

  ComPtr<IDispatch> tasks = Folder(13);
  Put(explorer, "CurrentFolder", Variant(tasks));
  ASSERT_GE(rec.Heard_().size(), 2u);
  EXPECT_EQ(rec.Heard_().front().id, 0xF003);
  ASSERT_EQ(rec.Heard_().front().args.size(), 2u);
  EXPECT_EQ(Int(rec.Heard_().front().args[0].AsDispatch(), "DefaultItemType"), 3);
  EXPECT_EQ(rec.Heard_().back().id, 0xF007);
  EXPECT_TRUE(rec.Heard_().back().args.empty());
  EXPECT_EQ(Text(explorer, "Caption"), "Tasks - Microsoft Outlook");

  ComPtr<IDispatch> task = Call(Obj(tasks, "Items"), "Add", {});
  Do(task, "Save");
  rec.Clear();
  Do(explorer, "AddToSelection", {Variant(task)});
  EXPECT_EQ(rec.Ids(), std::vector<DISPID>{0xF007});
  ComPtr<IDispatch> selection = Obj(explorer, "Selection");
  EXPECT_EQ(Int(selection, "Count"), 1);
  EXPECT_EQ(Call(selection, "Item", {Variant(1)}).Get(), task.Get());
  Do(explorer, "ClearSelection");
  EXPECT_EQ(Int(Obj(explorer, "Selection"), "Count"), 0);
  EXPECT_EQ(Int(selection, "Count"), 1) << "a selection read earlier is a snapshot";
}

TEST_F(EventsTest, ExecuteClicksTheButtonAndEveryButtonWithItsTag) {
  ComPtr<IDispatch> bars = Obj(Obj(app_, "ActiveExplorer"), "CommandBars");
  ComPtr<IDispatch> bar = Call(bars, "Add", {Variant("Attestra"), Variant(1), Variant(false), Variant(true)});
  ComPtr<IDispatch> controls = Obj(bar, "Controls");
  ComPtr<IDispatch> a = Call(controls, "Add", {Variant(1)});
  ComPtr<IDispatch> b = Call(controls, "Add", {Variant(1)});
  Put(a, "Caption", Variant("Attestra-It"));
  Put(a, "Tag", Variant("at0l;"));
  Put(b, "Caption", Variant("AttestraSync-It"));
  Put(b, "Tag", Variant("at1l;"));
  Recorder ra(outlook::IID_CommandBarButtonEvents), rb(outlook::IID_CommandBarButtonEvents);
  ASSERT_EQ(ra.Connect(a), S_OK);
  ASSERT_EQ(rb.Connect(b), S_OK);

  Do(a, "Execute");
  ASSERT_EQ(ra.Heard_().size(), 1u);
  EXPECT_TRUE(rb.Heard_().empty());
  EXPECT_EQ(ra.Heard_()[0].id, 1);
  ASSERT_EQ(ra.Heard_()[0].args.size(), 2u);
  EXPECT_EQ(ra.Heard_()[0].args[0].Dispatch(), a.Get());
  EXPECT_FALSE(ra.Heard_()[0].args[1].AsBool());

  // Office delivers a click to every control that carries the clicked one's tag.
  Put(b, "Tag", Variant("at0l;"));
  Do(a, "Execute");
  EXPECT_EQ(ra.Heard_().size(), 2u);
  ASSERT_EQ(rb.Heard_().size(), 1u);
  EXPECT_EQ(rb.Heard_()[0].args[0].Dispatch(), a.Get()) << "Ctrl is the clicked control";

  Put(a, "Enabled", Variant(false));
  EXPECT_EQ(CDispatcher::CallMethod(a.Get(), "Execute"), E_FAIL) << "a disabled button cannot be clicked";
  EXPECT_EQ(Text(Call(controls, "Item", {Variant("attestra-it")}), "Tag"), "at0l;");
}

TEST_F(EventsTest, WordWindowActivateCarriesDocumentAndWindow) {
  ComPtr<IDispatch> word;
  ASSERT_EQ(com::CreateInstance("Word.Application", word), S_OK);
  EXPECT_NE(Text(word, "Name"), "Outlook");
  ComPtr<IDispatch> doc = Call(Obj(word, "Documents"), "Add", {});
  Recorder rec(outlook::IID_WordApplicationEvents2);
  ASSERT_EQ(rec.Connect(word), S_OK);
  ComPtr<IDispatch> window = Obj(doc, "ActiveWindow");
  Do(window, "Activate");
  ASSERT_EQ(rec.Heard_().size(), 1u);
  EXPECT_EQ(rec.Heard_()[0].id, 10);
  ASSERT_EQ(rec.Heard_()[0].args.size(), 2u);
  EXPECT_EQ(rec.Heard_()[0].args[0].Dispatch(), doc.Get());
  EXPECT_EQ(rec.Heard_()[0].args[1].Dispatch(), window.Get());
  EXPECT_TRUE(Get(rec.Heard_()[0].args[0].AsDispatch(), "EnvelopeVisible").AsBool());
  Put(doc, "EnvelopeVisible", Variant(false));
  EXPECT_FALSE(Get(doc, "EnvelopeVisible").AsBool());

  ComPtr<IDispatch> bars = Obj(word, "CommandBars");
  ComPtr<IDispatch> bar = Call(bars, "Add", {Variant("Attestra"), Variant(1), Variant(false), Variant(true)});
  Put(Call(bars, "Item", {Variant("Attestra")}), "Visible", Variant(true));
  EXPECT_TRUE(Get(bar, "Visible").AsBool());
}

}  // namespace

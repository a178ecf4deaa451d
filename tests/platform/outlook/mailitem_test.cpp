// Items through IDispatch by name, saved in one process and read back in another: a mail with
// attachments and SMTP, Exchange and distribution-list recipients; a task with user
// properties and an embedded message; Close, Delete and the kinds CreateItem makes.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Runs the probe in a second process on the same profile.
std::vector<std::string> Probe(const std::string& args) {
  std::string out;
  int status = vlrtest::RunCommand(std::string(OUTLOOK_PROBE) + " " + args, &out);
  EXPECT_EQ(status, 0) << out;
  return Lines(out);
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

using MailItemTest = OutlookTest;

TEST_F(MailItemTest, ApplicationNamesItselfOutlookWithTheRegisteredVersion) {
  EXPECT_EQ(Text(app_, "Name"), "Outlook");
  EXPECT_EQ(Text(app_, "Version"), "16.0.0.0");
  EXPECT_EQ(Int(app_, "Class"), 0);
  EXPECT_EQ(Int(ns_, "Class"), 1);
  EXPECT_EQ(Text(ns_, "Type"), "MAPI");
  // Creating it again hands out the running instance, as Outlook runs once.
  ComPtr<IDispatch> again;
  ASSERT_EQ(com::CreateInstance("Outlook.Application", again), S_OK);
  EXPECT_EQ(again.Get(), app_.Get());
}

TEST_F(MailItemTest, DefaultFoldersCarryTheirDefaultItemTypes) {
  const std::pair<int, int> cases[] = {{6, 0}, {10, 2}, {13, 3}, {5, 0}, {16, 0}, {3, 0}, {4, 0}, {11, 4}, {9, 1}, {12, 5}};
  for (auto [number, type] : cases) {
    ComPtr<IDispatch> folder = Folder(number);
    ASSERT_TRUE(folder) << number;
    EXPECT_EQ(Int(folder, "DefaultItemType"), type) << number;
    EXPECT_EQ(Int(folder, "Class"), 2);
  }
  EXPECT_EQ(Text(Folder(6), "Name"), "Inbox");
  EXPECT_EQ(Text(Folder(13), "FolderPath"), "\\\\Personal Folders\\Tasks");
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::CallMethod(ns_.Get(), "GetDefaultFolder", {Variant(7)}, none), E_INVALIDARG);
}

TEST_F(MailItemTest, CreateItemMakesEachKindAndSavesItIntoItsFolder) {
  struct Case {
    int kind, objectClass;
    const char* messageClass;
    const char* folder;
  };
  const Case cases[] = {{0, 43, "IPM.Note", "Drafts"},
                        {2, 40, "IPM.Contact", "Contacts"},
                        {3, 48, "IPM.Task", "Tasks"},
                        {4, 42, "IPM.Activity", "Journal"}};
  for (const Case& c : cases) {
    ComPtr<IDispatch> item = Call(app_, "CreateItem", {Variant(c.kind)});
    EXPECT_EQ(Int(item, "Class"), c.objectClass);
    EXPECT_EQ(Text(item, "MessageClass"), c.messageClass);
    EXPECT_EQ(Text(item, "EntryID"), "") << "no entry ID before the first save";
    Put(item, "Subject", Variant("kind " + std::to_string(c.kind)));
    Do(item, "Save");
    EXPECT_EQ(Text(item, "EntryID").size(), 48u);
    EXPECT_EQ(Text(Obj(item, "Parent"), "Name"), c.folder);
    EXPECT_TRUE(Get(item, "Saved").AsBool());
  }
  ComPtr<IDispatch> bad;
  EXPECT_EQ(CDispatcher::CallMethod(app_.Get(), "CreateItem", {Variant(42)}, bad), E_INVALIDARG);
}

TEST_F(MailItemTest, MailWithAttachmentsAndThreeKindsOfRecipientReadsBackInAnotherProcess) {
  std::string pdf = MakeFile("contract.pdf", 150000, 1);
  std::string png = MakeFile("stamp image.png", 3000, 2);

  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("Please sign: lease ü"));
  Put(mail, "Body", Variant("Line one\nLine two\n"));
  ComPtr<IDispatch> recipients = Obj(mail, "Recipients");
  ComPtr<IDispatch> smtp = Call(recipients, "Add", {Variant("dora@elsewhere.org")});
  ComPtr<IDispatch> exchange = Call(recipients, "Add", {Variant("Bob Baker")});
  ComPtr<IDispatch> list = Call(recipients, "Add", {Variant("signers")});
  Put(list, "Type", Variant(2));
  EXPECT_FALSE(Get(smtp, "Resolved").AsBool());
  EXPECT_TRUE(CallValue(recipients, "ResolveAll").AsBool());

  ComPtr<IDispatch> attachments = Obj(mail, "Attachments");
  ComPtr<IDispatch> first = Call(attachments, "Add", {Variant(pdf), Variant(1), Variant(1), Variant("The lease")});
  Call(attachments, "Add", {Variant(png)});
  EXPECT_EQ(Int(first, "Index"), 1);
  EXPECT_EQ(Text(first, "DisplayName"), "The lease");
  // The sources may go as soon as they are attached.
  std::string pdfBytes = vlrtest::ReadFile(pdf), pngBytes = vlrtest::ReadFile(png);
  std::filesystem::remove(pdf);
  std::filesystem::remove(png);

  EXPECT_EQ(Text(mail, "To"), "dora@elsewhere.org; Bob Baker");
  EXPECT_EQ(Text(mail, "CC"), "Signers");
  Do(mail, "Save");
  std::string entryId = Text(mail, "EntryID");

  std::string out = home_.Tmp() + "/out";
  std::filesystem::create_directories(out);
  std::vector<std::string> lines = Probe("dump " + entryId + " " + out);
  EXPECT_TRUE(Has(lines, "Class=43"));
  EXPECT_TRUE(Has(lines, "MessageClass=IPM.Note"));
  EXPECT_TRUE(Has(lines, "Subject=Please sign: lease ü"));
  EXPECT_TRUE(Has(lines, "Body=Line one\\nLine two\\n"));
  EXPECT_TRUE(Has(lines, "EntryID=" + entryId));
  EXPECT_TRUE(Has(lines, "To=dora@elsewhere.org; Bob Baker"));
  EXPECT_TRUE(Has(lines, "CC=Signers"));
  EXPECT_TRUE(Has(lines, "recipient 1 type=1 name=dora@elsewhere.org resolved=True entrytype=SMTP "
                         "address=dora@elsewhere.org displaytype=0"));
  EXPECT_TRUE(Has(lines, "recipient 2 type=1 name=Bob Baker resolved=True entrytype=EX "
                         "address=/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=bbaker displaytype=0"));
  EXPECT_TRUE(Has(lines, "recipient 3 type=2 name=Signers resolved=True entrytype=EX "
                         "address=/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=signers displaytype=1 "
                         "member=Bob Baker member=Carol Cole"));
  EXPECT_TRUE(Has(lines, "attachment 1 type=1 file=contract.pdf display=The lease position=1 saved=" + out +
                             "/1-contract.pdf"));
  EXPECT_TRUE(Has(lines, "attachment 2 type=1 file=stamp image.png display=stamp image.png position=0 saved=" +
                             out + "/2-stamp image.png"));
  EXPECT_EQ(vlrtest::ReadFile(out + "/1-contract.pdf"), pdfBytes);
  EXPECT_EQ(vlrtest::ReadFile(out + "/2-stamp image.png"), pngBytes);
}

TEST_F(MailItemTest, TaskWithUserPropertiesAndAnEmbeddedMessage) {
  // The mail that the task will carry, saved as a message file first.
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("Original"));
  Call(Obj(mail, "Recipients"), "Add", {Variant("Carol Cole")});
  Call(Obj(mail, "Attachments"), "Add", {Variant(MakeFile("doc.pdf", 5000))});
  std::string msg = home_.Tmp() + "/Original (ATgn1).msg";
  Do(mail, "SaveAs", {Variant(msg), Variant(3)});
  std::string msgBytes = vlrtest::ReadFile(msg);
  ASSERT_FALSE(msgBytes.empty());

  ComPtr<IDispatch> task = Call(app_, "CreateItem", {Variant(3)});
  Put(task, "Subject", Variant("Attestra: Original"));
  Put(task, "Status", Variant(1));
  ASSERT_EQ(CDispatcher::SetUserProp(task.Get(), "Attestra ID", "env-123", true, false), S_OK);
  ASSERT_EQ(CDispatcher::SetUserProp(task.Get(), "eSigners", "Carol Cole", true, false), S_OK);
  ASSERT_EQ(CDispatcher::SetUserFlag(task.Get(), "Attestra", true, true, false), S_OK);
  ComPtr<IDispatch> embedded =
      Call(Obj(task, "Attachments"), "Add", {Variant(msg), Variant(5), Variant(40), Variant("Original")});
  EXPECT_EQ(Int(embedded, "Type"), 5);
  Put(task, "MessageClass", Variant("IPM.Task.Attestra"));
  Do(task, "Save");
  std::string entryId = Text(task, "EntryID");

  std::string out = home_.Tmp() + "/out";
  std::filesystem::create_directories(out);
  std::vector<std::string> lines = Probe("dump " + entryId + " " + out);
  EXPECT_TRUE(Has(lines, "Class=48"));
  EXPECT_TRUE(Has(lines, "MessageClass=IPM.Task.Attestra"));
  EXPECT_TRUE(Has(lines, "Status=1"));
  EXPECT_TRUE(Has(lines, "userproperty Attestra ID type=1 value=env-123"));
  EXPECT_TRUE(Has(lines, "userproperty eSigners type=1 value=Carol Cole"));
  EXPECT_TRUE(Has(lines, "userproperty Attestra type=6 value=True"));
  EXPECT_TRUE(Has(lines, "attachment 1 type=5 file=Original (ATgn1).msg display=Original position=40 saved=" + out +
                             "/1-Original (ATgn1).msg"));
  EXPECT_EQ(vlrtest::ReadFile(out + "/1-Original (ATgn1).msg"), msgBytes);

  std::string value;
  EXPECT_EQ(CDispatcher::GetUserProp(task.Get(), "Attestra", value), S_OK);
  EXPECT_EQ(value, "True");
  EXPECT_EQ(CDispatcher::GetUserProp(task.Get(), "No such", value), E_FAIL);
}

TEST_F(MailItemTest, AByReferenceAttachmentReadsTheLinkedFile) {
  std::string linked = MakeFile("linked.xml", 100, 5);
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  ComPtr<IDispatch> link = Call(Obj(mail, "Attachments"), "Add", {Variant(linked), Variant(4)});
  EXPECT_EQ(Int(link, "Type"), 4);
  EXPECT_EQ(Text(link, "PathName"), linked);
  Do(mail, "Save");
  vlrtest::WriteFile(linked, "changed since");
  std::string copy = home_.Tmp() + "/copy.xml";
  Do(link, "SaveAsFile", {Variant(copy)});
  EXPECT_EQ(vlrtest::ReadFile(copy), "changed since") << "a link, not a copy";
  std::filesystem::remove(linked);
  EXPECT_EQ(CDispatcher::CallMethod(link.Get(), "SaveAsFile", {Variant(copy)}), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(vlrtest::ReadFile(copy), "changed since") << "a failed save leaves the target alone";
}

TEST_F(MailItemTest, CloseWithZeroSavesAndWithOneDiscards) {
  ComPtr<IDispatch> task = Call(app_, "CreateItem", {Variant(3)});
  Put(task, "Subject", Variant("first"));
  Do(task, "Close", {Variant(0)});
  std::string entryId = Text(task, "EntryID");
  ASSERT_EQ(entryId.size(), 48u);
  EXPECT_EQ(Int(Obj(Folder(13), "Items"), "Count"), 1);

  Put(task, "Subject", Variant("changed but discarded"));
  Do(task, "Close", {Variant(1)});
  EXPECT_EQ(Text(task, "Subject"), "first");
  task.Reset();
  EXPECT_EQ(Text(Call(ns_, "GetItemFromID", {Variant(entryId)}), "Subject"), "first");
  EXPECT_EQ(CDispatcher::CallMethod(Call(ns_, "GetItemFromID", {Variant(entryId)}).Get(), "Close", {Variant(3)}),
            E_INVALIDARG);
}

TEST_F(MailItemTest, DeleteMovesToDeletedItemsAndFromThereForGood) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  Put(mail, "Subject", Variant("to go"));
  Do(mail, "Save");
  std::string entryId = Text(mail, "EntryID");
  ComPtr<IDispatch> drafts = Obj(Folder(16), "Items");
  ComPtr<IDispatch> deleted = Obj(Folder(3), "Items");
  EXPECT_EQ(Int(drafts, "Count"), 1);
  Do(mail, "Delete");
  EXPECT_EQ(Int(drafts, "Count"), 0);
  EXPECT_EQ(Int(deleted, "Count"), 1);
  EXPECT_EQ(CDispatcher::CallMethod(mail.Get(), "Save"), MAPI_E_OBJECT_DELETED);

  ComPtr<IDispatch> moved = Call(ns_, "GetItemFromID", {Variant(entryId)});
  EXPECT_EQ(Text(moved, "Subject"), "to go");
  Do(moved, "Delete");
  EXPECT_EQ(Int(deleted, "Count"), 0);
  ComPtr<IDispatch> gone;
  EXPECT_EQ(CDispatcher::CallMethod(ns_.Get(), "GetItemFromID", {Variant(entryId)}, gone), MAPI_E_NOT_FOUND);
}

TEST_F(MailItemTest, OneItemHasOneObjectWhoeverFetchesIt) {
  ComPtr<IDispatch> task = Call(Obj(Folder(13), "Items"), "Add", {});
  Put(task, "Subject", Variant("shared"));
  Do(task, "Save");
  ComPtr<IDispatch> viaId = Call(ns_, "GetItemFromID", {Variant(Text(task, "EntryID"))});
  ComPtr<IDispatch> viaItems = Call(Obj(Folder(13), "Items"), "Item", {Variant(1)});
  EXPECT_EQ(viaId.Get(), task.Get());
  EXPECT_EQ(viaItems.Get(), task.Get());
  // An unsaved change is seen by every holder of the item.
  Put(viaId, "Subject", Variant("changed"));
  EXPECT_EQ(Text(task, "Subject"), "changed");
}

TEST_F(MailItemTest, TaskStatusCompleteAndPercentMoveTogether) {
  ComPtr<IDispatch> task = Call(app_, "CreateItem", {Variant(3)});
  EXPECT_EQ(Int(task, "Status"), 0);
  EXPECT_DOUBLE_EQ(Get(task, "DueDate").AsDate(), outlook::kNoDate);
  Put(task, "Complete", Variant(true));
  EXPECT_EQ(Int(task, "Status"), 2);
  EXPECT_EQ(Int(task, "PercentComplete"), 100);
  Put(task, "Status", Variant(4));
  EXPECT_FALSE(Get(task, "Complete").AsBool());
  Put(task, "PercentComplete", Variant(50));
  EXPECT_EQ(Int(task, "Status"), 4);
  Put(task, "PercentComplete", Variant(100));
  EXPECT_EQ(Int(task, "Status"), 2);
  EXPECT_TRUE(Get(task, "Complete").AsBool());
  EXPECT_EQ(CDispatcher::PutProp(task.Get(), "PercentComplete", Variant(101)), E_INVALIDARG);
  EXPECT_EQ(CDispatcher::PutProp(task.Get(), "Status", Variant(9)), E_INVALIDARG);
}

TEST_F(MailItemTest, ContactNamesSplitAndSubjectIsTheFullName) {
  ComPtr<IDispatch> contact = Call(app_, "CreateItem", {Variant(2)});
  Put(contact, "FullName", Variant("Doe, Jane"));
  EXPECT_EQ(Text(contact, "FirstName"), "Jane");
  EXPECT_EQ(Text(contact, "LastName"), "Doe");
  EXPECT_EQ(Text(contact, "Subject"), "Doe, Jane");
  Put(contact, "Email1Address", Variant("jane@doe.net"));
  EXPECT_EQ(Text(contact, "Email1AddressType"), "SMTP");
  for (const char* phone : {"BusinessTelephoneNumber", "HomeTelephoneNumber", "MobileTelephoneNumber",
                            "OtherTelephoneNumber"}) {
    Put(contact, phone, Variant(std::string(phone).substr(0, 4)));
    EXPECT_EQ(Text(contact, phone), std::string(phone).substr(0, 4));
  }
}

TEST_F(MailItemTest, HtmlBodySetsTheFormatAndAPlainBody) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  EXPECT_EQ(Int(mail, "BodyFormat"), 1);
  Put(mail, "HTMLBody", Variant("<html><head><style>p{}</style></head><body><p>Hi &amp; bye</p>x<br>y</body></html>"));
  EXPECT_EQ(Int(mail, "BodyFormat"), 2);
  EXPECT_EQ(Text(mail, "Body"), "Hi & bye\nx\ny");
}

TEST_F(MailItemTest, UserPropertiesFindAddAndConvertValues) {
  ComPtr<IDispatch> task = Call(app_, "CreateItem", {Variant(3)});
  ComPtr<IDispatch> props = Obj(task, "UserProperties");
  Variant none = CallValue(props, "Find", {Variant("x"), Variant(true)});
  EXPECT_TRUE(none.IsObject());
  EXPECT_EQ(none.Dispatch(), nullptr);
  ComPtr<IDispatch> flag = Call(props, "Add", {Variant("Flag"), Variant(6)});
  EXPECT_FALSE(Get(flag, "Value").AsBool());
  Put(flag, "Value", Variant("True"));
  EXPECT_EQ(Get(flag, "Value").Type(), com::VarType::Bool);
  EXPECT_TRUE(Get(flag, "Value").AsBool());
  ComPtr<IDispatch> text = Call(props, "Add", {Variant("Note"), Variant(1), Variant(false)});
  Put(text, "Value", Variant(12));
  EXPECT_EQ(Get(text, "Value").AsText(), "12");
  ComPtr<IDispatch> found = Call(props, "Find", {Variant("note")});
  EXPECT_EQ(Text(found, "Name"), "Note");
  ComPtr<IDispatch> dup;
  EXPECT_EQ(CDispatcher::CallMethod(props.Get(), "Add", {Variant("Flag"), Variant(1)}, dup), MAPI_E_COLLISION);
  EXPECT_EQ(CDispatcher::CallMethod(props.Get(), "Add", {Variant("Odd"), Variant(99)}, dup), E_INVALIDARG);
  EXPECT_EQ(CDispatcher::PutProp(Call(props, "Add", {Variant("When"), Variant(5)}).Get(), "Value", Variant("soon")),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Int(props, "Count"), 3);
}

}  // namespace

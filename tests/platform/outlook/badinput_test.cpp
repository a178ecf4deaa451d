// Bad input gets a code, never a crash: unknown member names, wrong argument counts and
// types, bad indexes, missing files, and profiles that are missing or damaged.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/outlook/session.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

using BadInputTest = OutlookTest;

TEST_F(BadInputTest, UnknownMemberNamesAreUnknownNames) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  const std::pair<ComPtr<IDispatch>, const char*> cases[] = {
      {app_, "Nonesuch"},
      {ns_, "GetDefaultFolders"},
      {Folder(6), "Itemz"},
      {Obj(Folder(6), "Items"), "Counts"},
      {mail, "Subjekt"},
      {Obj(mail, "Recipients"), "ResolveEverything"},
      {Obj(mail, "Attachments"), "AddFile"},
      {Obj(mail, "UserProperties"), "Lookup"},
      {Obj(app_, "ActiveExplorer"), "Window"},
  };
  for (const auto& [obj, name] : cases) {
    Variant v;
    EXPECT_EQ(CDispatcher::GetProp(obj.Get(), name, v), DISP_E_UNKNOWNNAME) << name;
    EXPECT_EQ(CDispatcher::CallMethod(obj.Get(), name, {Variant(1)}), DISP_E_UNKNOWNNAME) << name;
  }
  // A contact has no mail members, a mail no contact members.
  Variant v;
  EXPECT_EQ(CDispatcher::GetProp(mail.Get(), "FullName", v), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(CDispatcher::GetProp(Call(app_, "CreateItem", {Variant(2)}).Get(), "Recipients", v), DISP_E_UNKNOWNNAME);
}

TEST_F(BadInputTest, WrongArgumentCountsAndTypesAreRefused) {
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  ComPtr<IDispatch> attachments = Obj(mail, "Attachments");
  struct Case {
    ComPtr<IDispatch> obj;
    const char* name;
    std::vector<Variant> args;
    HRESULT code;
  };
  const Case cases[] = {
      {app_, "CreateItem", {}, DISP_E_BADPARAMCOUNT},
      {app_, "CreateItem", {Variant("mail")}, DISP_E_TYPEMISMATCH},
      {ns_, "GetDefaultFolder", {Variant(6), Variant(1)}, DISP_E_BADPARAMCOUNT},
      {ns_, "GetDefaultFolder", {Variant()}, DISP_E_PARAMNOTFOUND},
      {app_, "GetNamespace", {Variant("OTHER")}, E_INVALIDARG},
      {attachments, "Add", {}, DISP_E_BADPARAMCOUNT},
      {attachments, "Add", {Variant("a"), Variant(1), Variant(1), Variant("b"), Variant(1)}, DISP_E_BADPARAMCOUNT},
      {attachments, "Add", {Variant(home_.Tmp() + "/missing.pdf")}, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
      {attachments, "Add", {Variant(home_.Tmp())}, E_INVALIDARG},
      {attachments, "Add", {Variant(MakeFile("ok.pdf", 10)), Variant(6)}, E_INVALIDARG},
      {attachments, "Item", {Variant(1)}, DISP_E_BADINDEX},
      {Obj(mail, "Recipients"), "Add", {Variant("")}, E_INVALIDARG},
      {Obj(mail, "Recipients"), "Item", {Variant(0)}, DISP_E_BADINDEX},
      {Obj(Folder(6), "Items"), "Item", {Variant(1)}, DISP_E_BADINDEX},
      {mail, "Close", {}, DISP_E_BADPARAMCOUNT},
      {mail, "SaveAs", {Variant("")}, E_INVALIDARG},
      {mail, "SaveAs", {Variant(home_.Tmp() + "/x.doc"), Variant(4)}, E_INVALIDARG},
      {mail, "SaveAs", {Variant(home_.Tmp() + "/no/such/folder/x.msg"), Variant(3)},
       HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
      {ns_, "GetItemFromID", {Variant("00")}, MAPI_E_NOT_FOUND},
      {ns_, "GetItemFromID", {Variant("not hex at all")}, MAPI_E_NOT_FOUND},
      {mail, "Move", {Variant("Inbox")}, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    Variant result;
    EXPECT_EQ(CDispatcher::CallMethod(c.obj.Get(), c.name, c.args, &result), c.code)
        << c.name << " with " << c.args.size() << " arguments";
  }
  // Property reads take no arguments, read-only properties take no values.
  com::DispParams one{Variant(1)};
  EXPECT_EQ(com::InvokeByName(mail.Get(), "Subject", DISPATCH_PROPERTYGET, one, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CDispatcher::PutProp(mail.Get(), "EntryID", Variant("x")), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(CDispatcher::PutProp(mail.Get(), "Sent", Variant(true)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(CDispatcher::PutProp(mail.Get(), "BodyFormat", Variant(9)), E_INVALIDARG);
  EXPECT_EQ(mail->Invoke(1, IID_NULL, DISPATCH_PROPERTYGET, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(mail->Invoke(9999, IID_NULL, DISPATCH_PROPERTYGET, &one, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_FALSE(std::filesystem::exists(home_.Tmp() + "/x.doc"));
}

class NoProfileTest : public vlrtest::HomeTest {
 protected:
  void SetUp() override { ASSERT_EQ(outlook::RegisterStandIn(16), S_OK); }
  void TearDown() override { outlook::RevokeStandIn(); }
};

TEST_F(NoProfileTest, AMissingProfileIsAClearErrorAndStaysMissing) {
  ComPtr<IDispatch> app;
  ASSERT_EQ(com::CreateInstance("Outlook.Application", app), S_OK);
  EXPECT_EQ(OutlookTest::Text(app, "Name"), "Outlook") << "the application answers without a profile";
  ComPtr<IDispatch> ns = OutlookTest::Call(app, "GetNamespace", {Variant("MAPI")});
  ComPtr<IDispatch> folder;
  EXPECT_EQ(CDispatcher::CallMethod(ns.Get(), "GetDefaultFolder", {Variant(6)}, folder), MAPI_E_NOT_FOUND);
  EXPECT_EQ(CDispatcher::CallMethod(app.Get(), "CreateItem", {Variant(0)}, folder), MAPI_E_NOT_FOUND);
  EXPECT_NE(outlook::LogonFailureText(app.Get()).find("no such profile file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(outlook::ProfilePath("")));
}

TEST_F(NoProfileTest, ADamagedProfileIsAClearErrorAndIsLeftAsItWas) {
  std::filesystem::create_directories(outlook::ProfilesFolder());
  std::string garbage(5000, 'x');
  vlrtest::WriteFile(outlook::ProfilePath(""), garbage);
  ComPtr<IDispatch> app;
  ASSERT_EQ(com::CreateInstance("Outlook.Application", app), S_OK);
  ComPtr<IDispatch> ns = OutlookTest::Call(app, "GetNamespace", {Variant("MAPI")});
  Variant offline;
  EXPECT_EQ(CDispatcher::GetProp(ns.Get(), "Offline", offline), MAPI_E_CORRUPT_DATA);
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::GetProp(app.Get(), "ActiveExplorer", none), MAPI_E_CORRUPT_DATA);
  EXPECT_NE(outlook::LogonFailureText(app.Get()).find("not an Outlook profile store"), std::string::npos);
  EXPECT_EQ(vlrtest::ReadFile(outlook::ProfilePath("")), garbage);
}

}  // namespace

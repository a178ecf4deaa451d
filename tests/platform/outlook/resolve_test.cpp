// Recipients resolve against the directory, the contacts and plain SMTP syntax.
#include <gtest/gtest.h>

#include "platform/outlook/resolver.h"
#include "tests/platform/outlook/outlooktest.h"

namespace {

using namespace outlooktest;

constexpr const char* kDnPrefix = "/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=";

struct ResolveCase {
  const char* typed;
  const char* name;
  const char* type;
  std::string address;
  int displayType;
};

using ResolveTest = OutlookTest;

TEST_F(ResolveTest, TypedNamesBecomeAddressEntries) {
  const ResolveCase cases[] = {
      {"dora@elsewhere.org", "dora@elsewhere.org", "SMTP", "dora@elsewhere.org", 0},
      {"Dora Dent <dora@elsewhere.org>", "Dora Dent", "SMTP", "dora@elsewhere.org", 0},
      {"Bob Baker", "Bob Baker", "EX", std::string(kDnPrefix) + "bbaker", 0},
      {"bob baker", "Bob Baker", "EX", std::string(kDnPrefix) + "bbaker", 0},
      {"bbaker", "Bob Baker", "EX", std::string(kDnPrefix) + "bbaker", 0},
      {"bob.alias@example.com", "Bob Baker", "EX", std::string(kDnPrefix) + "bbaker", 0},
      {"Bob <bob@example.com>", "Bob Baker", "EX", std::string(kDnPrefix) + "bbaker", 0},
      {"/o=Vellora/ou=First Administrative Group/cn=Recipients/cn=ccole", "Carol Cole", "EX",
       std::string(kDnPrefix) + "ccole", 0},
      {"Signers", "Signers", "EX", std::string(kDnPrefix) + "signers", 1},
  };
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  ComPtr<IDispatch> recipients = Obj(mail, "Recipients");
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.typed);
    ComPtr<IDispatch> r = Call(recipients, "Add", {Variant(c.typed)});
    EXPECT_TRUE(CallValue(r, "Resolve").AsBool());
    EXPECT_EQ(Text(r, "Name"), c.name);
    ComPtr<IDispatch> entry = Obj(r, "AddressEntry");
    ASSERT_TRUE(entry);
    EXPECT_EQ(Text(entry, "Type"), c.type);
    EXPECT_EQ(Text(entry, "Address"), c.address);
    EXPECT_EQ(Int(entry, "DisplayType"), c.displayType);
    EXPECT_EQ(Int(r, "DisplayType"), c.displayType);
    EXPECT_FALSE(Text(r, "EntryID").empty());
  }
}

TEST_F(ResolveTest, ADistributionListListsItsMembersAsAddressEntries) {
  ComPtr<IDispatch> r = Call(ns_, "CreateRecipient", {Variant("signers")});
  ASSERT_TRUE(CallValue(r, "Resolve").AsBool());
  ComPtr<IDispatch> members = Obj(Obj(r, "AddressEntry"), "Members");
  ASSERT_EQ(Int(members, "Count"), 2);
  ComPtr<IDispatch> bob = Call(members, "Item", {Variant(1)});
  EXPECT_EQ(Text(bob, "Name"), "Bob Baker");
  EXPECT_EQ(Text(bob, "Type"), "EX");
  EXPECT_EQ(Int(bob, "DisplayType"), 0);
  EXPECT_EQ(Text(Call(members, "Item", {Variant(2)}), "Address"), std::string(kDnPrefix) + "ccole");
  // A user has no members.
  ComPtr<IDispatch> user = Call(ns_, "CreateRecipient", {Variant("Carol Cole")});
  ASSERT_TRUE(CallValue(user, "Resolve").AsBool());
  Variant none = Get(Obj(user, "AddressEntry"), "Members");
  EXPECT_TRUE(none.IsObject());
  EXPECT_EQ(none.Dispatch(), nullptr);
}

TEST_F(ResolveTest, UnknownAndAmbiguousNamesStayUnresolved) {
  {
    std::unique_ptr<outlook::ProfileStore> store;
    ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
    outlook::Directory dir(*store);
    dir.AddUser({0, "Sam Smith", "ssmith1", "", 0, "", "", {"SMTP:sam1@example.com"}});
    dir.AddUser({0, "Sam Smith", "ssmith2", "", 0, "", "", {"SMTP:sam2@example.com"}});
  }
  ComPtr<IDispatch> mail = Call(app_, "CreateItem", {Variant(0)});
  ComPtr<IDispatch> recipients = Obj(mail, "Recipients");
  ComPtr<IDispatch> good = Call(recipients, "Add", {Variant("Carol Cole")});
  ComPtr<IDispatch> unknown = Call(recipients, "Add", {Variant("Nobody Known")});
  ComPtr<IDispatch> ambiguous = Call(recipients, "Add", {Variant("Sam Smith")});
  EXPECT_FALSE(CallValue(recipients, "ResolveAll").AsBool());
  EXPECT_TRUE(Get(good, "Resolved").AsBool());
  EXPECT_FALSE(Get(unknown, "Resolved").AsBool());
  EXPECT_FALSE(Get(ambiguous, "Resolved").AsBool());
  EXPECT_EQ(Text(unknown, "Address"), "");
  ComPtr<IDispatch> none;
  EXPECT_EQ(CDispatcher::GetProp(unknown.Get(), "AddressEntry", none), MAPI_E_NOT_FOUND);
  // Removing the bad ones lets the rest resolve.
  Do(recipients, "Remove", {Variant(3)});
  Do(unknown, "Delete");
  EXPECT_TRUE(CallValue(recipients, "ResolveAll").AsBool());
  EXPECT_EQ(Int(recipients, "Count"), 1);
}

TEST_F(ResolveTest, ContactsResolveAndTheirEntryIdNamesTheContact) {
  ComPtr<IDispatch> contact = Call(app_, "CreateItem", {Variant(2)});
  Put(contact, "FullName", Variant("Jane Doe"));
  Put(contact, "Email1Address", Variant("jane@doe.net"));
  Do(contact, "Save");
  std::string contactId = Text(contact, "EntryID");

  ComPtr<IDispatch> r = Call(ns_, "CreateRecipient", {Variant("Jane Doe")});
  ASSERT_TRUE(CallValue(r, "Resolve").AsBool());
  EXPECT_EQ(Text(r, "Name"), "Jane Doe (jane@doe.net)");
  ComPtr<IDispatch> entry = Obj(r, "AddressEntry");
  EXPECT_EQ(Text(entry, "Type"), "SMTP");
  EXPECT_EQ(Text(entry, "Address"), "jane@doe.net");
  // The contact item's entry ID sits at character 72 of the address-book entry ID.
  std::string entryId = Text(r, "EntryID");
  ASSERT_GE(entryId.size(), 120u);
  EXPECT_EQ(entryId.substr(72, 48), contactId);
  EXPECT_EQ(Text(Call(ns_, "GetItemFromID", {Variant(entryId.substr(72, 48))}), "FullName"), "Jane Doe");

  // By address too; a second contact of the same name makes the name ambiguous.
  EXPECT_TRUE(CallValue(Call(ns_, "CreateRecipient", {Variant("jane@doe.net")}), "Resolve").AsBool());
  ComPtr<IDispatch> twin = Call(app_, "CreateItem", {Variant(2)});
  Put(twin, "FullName", Variant("Jane Doe"));
  Put(twin, "Email1Address", Variant("other@doe.net"));
  Do(twin, "Save");
  EXPECT_FALSE(CallValue(Call(ns_, "CreateRecipient", {Variant("Jane Doe")}), "Resolve").AsBool());
}

TEST_F(ResolveTest, TheProfileUserIsTheCurrentUser) {
  ComPtr<IDispatch> me = Obj(ns_, "CurrentUser");
  EXPECT_EQ(Text(me, "Name"), "Alice Archer");
  EXPECT_EQ(Text(Obj(me, "AddressEntry"), "Type"), "EX");
  EXPECT_EQ(Text(Obj(me, "AddressEntry"), "Address"), std::string(kDnPrefix) + "aarcher");
}

TEST(ResolverTest, WithoutADirectoryOnlyContactsAndSmtpResolve) {
  vlrtest::TestHome home;
  ASSERT_EQ(outlook::CreateProfile(""), S_OK);
  std::unique_ptr<outlook::ProfileStore> store;
  ASSERT_EQ(outlook::OpenProfileStore("", store), S_OK);
  outlook::RecipientRecord r;
  EXPECT_EQ(outlook::ResolveName(*store, "Bob Baker", r), outlook::Resolution::Unresolved);
  EXPECT_EQ(outlook::ResolveName(*store, "bob@example.com", r), outlook::Resolution::Resolved);
  EXPECT_EQ(r.addressType, "SMTP");
  const std::pair<const char*, bool> shapes[] = {{"a@b", true},         {"a@b.c", true},  {"@b.c", false},
                                                 {"a@", false},         {"a b@c.d", false}, {"a@b@c", false},
                                                 {"plain text", false}, {"a;b@c.d", false}};
  for (auto [text, ok] : shapes) EXPECT_EQ(outlook::IsSmtpAddress(text), ok) << text;
}

}  // namespace

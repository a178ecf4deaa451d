#include "foundation/dispatcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/win/registry.h"
#include "tests/support/testenv.h"

using com::ComPtr;
using com::DispParams;
using com::Variant;

namespace {

// One user property: a name, its type (1 text, 6 yes/no) and the value the type allows.
class UserProp : public com::DispatchObject {
 public:
  UserProp(std::string name, int type) : name_(std::move(name)), type_(type) {
    Property("Name", [this] { return name_; });
    Property("Type", [this] { return type_; });
    Property("Value", [this] { return value_; }, [this](const Variant& v) {
      value_ = type_ == 6 ? Variant(v.AsBool()) : Variant(v.AsText());
    });
  }
  std::string name_;
  int type_;
  Variant value_;
};

// The UserProperties collection of an item, with the Find and Add of the object model.
class UserProps : public com::DispatchObject {
 public:
  UserProps() {
    Property("Count", [this] { return static_cast<int>(props_.size()); });
    Method("Find", 1, 2, [this](const DispParams& a) {
      finds_.push_back(a.Text(0) + (a.BoolOr(1, true) ? "/custom" : ""));
      auto it = props_.find(a.Text(0));
      return Variant(it == props_.end() ? nullptr : static_cast<IDispatch*>(it->second.Get()));
    });
    Method("Add", 2, 4, [this](const DispParams& a, Variant& result) {
      const bool toFolder = a.BoolOr(2, true);
      adds_.push_back(a.Text(0) + ":" + std::to_string(a.Int(1)) + ":" + (toFolder ? "folder" : "item"));
      if (toFolder && refuseFolderFields_) return E_ACCESSDENIED;
      if (refuseAll_) return DISP_E_EXCEPTION;
      auto prop = com::Make<UserProp>(a.Text(0), a.Int(1));
      props_[a.Text(0)] = prop;
      result = Variant(prop);
      return S_OK;
    });
  }
  std::map<std::string, ComPtr<UserProp>> props_;
  std::vector<std::string> finds_, adds_;
  bool refuseFolderFields_ = false;
  bool refuseAll_ = false;
};

// A mail or task item: a few properties, UserProperties and Save.
class Item : public com::DispatchObject {
 public:
  Item() {
    Property("Subject", [this] { return subject_; }, [this](const Variant& v) { subject_ = v.AsText(); });
    Property("Importance", [] { return 1; });
    Property("UserProperties", [this] { return props_; });
    Property("Parent", [] { return Variant(static_cast<IDispatch*>(nullptr)); });
    // Taken by reference only, as object properties of the object model are.
    Property(
        "Owner", [this] { return owner_; }, nullptr, [this](const Variant& v) { owner_ = v.AsDispatch(); });
    // Taken by value only.
    Property("Picture", [this] { return picture_; }, [this](const Variant& v) { picture_ = v.AsDispatch(); });
    Method("Save", 0, 0, [this](const DispParams&) { ++saves_; });
    Method("Copy", 0, 0, [](const DispParams&) { return com::Make<Item>(); });
    Method("Move", 1, 1, [](const DispParams& a) { return a.Text(0); });
  }
  std::string subject_;
  ComPtr<UserProps> props_ = com::Make<UserProps>();
  ComPtr<IDispatch> owner_, picture_;
  int saves_ = 0;
};

class DispatcherTest : public vlrtest::HomeTest {
 protected:
  ComPtr<Item> item_ = com::Make<Item>();
  UserProps& props() { return *item_->props_; }
};

TEST_F(DispatcherTest, SetUserPropAddsMissingTextPropertyAndSaves) {
  ASSERT_EQ(CDispatcher::SetUserProp(item_.Get(), "Attestra ID", "ENV-1", true, true), S_OK);
  EXPECT_EQ(props().finds_, std::vector<std::string>{"Attestra ID/custom"});
  EXPECT_EQ(props().adds_, std::vector<std::string>{"Attestra ID:1:folder"});
  EXPECT_EQ(props().props_.at("Attestra ID")->value_, Variant("ENV-1"));
  EXPECT_EQ(item_->saves_, 1);

  // The second write finds the property: nothing is added, and without save nothing is saved.
  ASSERT_EQ(CDispatcher::SetUserProp(item_.Get(), "Attestra ID", "ENV-2", true, false), S_OK);
  EXPECT_EQ(props().adds_.size(), 1u);
  EXPECT_EQ(props().props_.at("Attestra ID")->value_, Variant("ENV-2"));
  EXPECT_EQ(item_->saves_, 1);
}

TEST_F(DispatcherTest, AddFallsBackToTheItemWhenTheFolderRefusesFields) {
  props().refuseFolderFields_ = true;
  ASSERT_EQ(CDispatcher::SetUserProp(item_.Get(), "eSigners", "a@example.com", true, true), S_OK);
  EXPECT_EQ(props().adds_, (std::vector<std::string>{"eSigners:1:folder", "eSigners:1:item"}));
  EXPECT_EQ(props().props_.at("eSigners")->value_, Variant("a@example.com"));

  // Asked not to add to the folder, there is one attempt only.
  ASSERT_EQ(CDispatcher::SetUserProp(item_.Get(), "eDecliners", "", false, false), S_OK);
  EXPECT_EQ(props().adds_.back(), "eDecliners:1:item");
  EXPECT_EQ(props().adds_.size(), 3u);
}

TEST_F(DispatcherTest, FailedAddIsReturnedAndNothingIsSaved) {
  props().refuseFolderFields_ = true;
  props().refuseAll_ = true;
  EXPECT_EQ(CDispatcher::SetUserProp(item_.Get(), "Attestra URL", "https://x", true, true), DISP_E_EXCEPTION);
  EXPECT_EQ(props().adds_.size(), 2u);
  EXPECT_EQ(item_->saves_, 0);
  EXPECT_EQ(CDispatcher::SetUserFlag(item_.Get(), "Attestra", true, false, true), DISP_E_EXCEPTION);
  EXPECT_EQ(item_->saves_, 0);
}

TEST_F(DispatcherTest, FlagsAreYesNoPropertiesAndReadAsText) {
  ASSERT_EQ(CDispatcher::SetUserFlag(item_.Get(), "Attestra", true, true, true), S_OK);
  EXPECT_EQ(props().adds_, std::vector<std::string>{"Attestra:6:folder"});
  EXPECT_EQ(props().props_.at("Attestra")->value_, Variant(true));
  EXPECT_EQ(item_->saves_, 1);
  std::string text;
  ASSERT_EQ(CDispatcher::GetUserProp(item_.Get(), "Attestra", text), S_OK);
  EXPECT_EQ(text, "True");
  ASSERT_EQ(CDispatcher::SetUserFlag(item_.Get(), "Attestra", false, true, false), S_OK);
  ASSERT_EQ(CDispatcher::GetUserProp(item_.Get(), "Attestra", text), S_OK);
  EXPECT_EQ(text, "False");
}

TEST_F(DispatcherTest, GetUserPropReadsTextAndFailsWhenMissing) {
  ASSERT_EQ(CDispatcher::SetUserProp(item_.Get(), "Attestra PDF", "/tmp/signed.pdf", true, false), S_OK);
  std::string text = "unchanged";
  ASSERT_EQ(CDispatcher::GetUserProp(item_.Get(), "Attestra PDF", text), S_OK);
  EXPECT_EQ(text, "/tmp/signed.pdf");
  text = "unchanged";
  EXPECT_EQ(CDispatcher::GetUserProp(item_.Get(), "Attestra ID", text), E_FAIL);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(props().adds_.size(), 1u) << "reading never adds";
}

TEST_F(DispatcherTest, NullObjectsArePointerErrors) {
  Variant v;
  std::string text;
  EXPECT_EQ(CDispatcher::GetProp(nullptr, "Subject", v), E_POINTER);
  EXPECT_EQ(CDispatcher::PutProp(nullptr, "Subject", Variant("x")), E_POINTER);
  EXPECT_EQ(CDispatcher::CallMethod(nullptr, "Save"), E_POINTER);
  EXPECT_EQ(CDispatcher::SetUserProp(nullptr, "a", "b", true, true), E_POINTER);
  EXPECT_EQ(CDispatcher::SetUserFlag(nullptr, "a", true, true, true), E_POINTER);
  EXPECT_EQ(CDispatcher::GetUserProp(nullptr, "a", text), E_POINTER);
}

TEST_F(DispatcherTest, PropertiesByNameWithTypedReads) {
  ASSERT_EQ(CDispatcher::PutProp(item_.Get(), "subject", Variant("Contract")), S_OK);
  std::string subject;
  ASSERT_EQ(CDispatcher::GetProp(item_.Get(), "Subject", subject), S_OK);
  EXPECT_EQ(subject, "Contract");
  std::int32_t importance = 0;
  ASSERT_EQ(CDispatcher::GetProp(item_.Get(), "Importance", importance), S_OK);
  EXPECT_EQ(importance, 1);
  ComPtr<IDispatch> props;
  ASSERT_EQ(CDispatcher::GetProp(item_.Get(), "UserProperties", props), S_OK);
  EXPECT_EQ(props.Get(), static_cast<IDispatch*>(item_->props_.Get()));

  EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "NoSuchMember", subject), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "UserProperties", importance), DISP_E_TYPEMISMATCH);
  bool flag = false;
  EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "Subject", flag), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "Parent", props), E_NOINTERFACE) << "Nothing is no object";
  EXPECT_FALSE(props);
  EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "Subject", props), E_NOINTERFACE);
  EXPECT_EQ(CDispatcher::PutProp(item_.Get(), "Importance", Variant(2)), DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatcherTest, ObjectValuesGoByReferenceFirstThenByValue) {
  auto other = com::Make<Item>();
  ASSERT_EQ(CDispatcher::PutProp(item_.Get(), "Owner", Variant(other)), S_OK);
  EXPECT_EQ(item_->owner_.Get(), static_cast<IDispatch*>(other.Get()));
  ASSERT_EQ(CDispatcher::PutProp(item_.Get(), "Picture", Variant(other)), S_OK);
  EXPECT_EQ(item_->picture_.Get(), static_cast<IDispatch*>(other.Get()));
  // Plain values never go by reference.
  EXPECT_EQ(CDispatcher::PutProp(item_.Get(), "Owner", Variant("text")), DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatcherTest, MethodsWithAndWithoutResults) {
  ASSERT_EQ(CDispatcher::CallMethod(item_.Get(), "Save"), S_OK);
  EXPECT_EQ(item_->saves_, 1);
  Variant moved;
  ASSERT_EQ(CDispatcher::CallMethod(item_.Get(), "Move", {Variant("Archive")}, &moved), S_OK);
  EXPECT_EQ(moved, Variant("Archive"));
  ComPtr<IDispatch> copy;
  ASSERT_EQ(CDispatcher::CallMethod(item_.Get(), "Copy", {}, copy), S_OK);
  EXPECT_TRUE(copy);
  EXPECT_NE(copy.Get(), static_cast<IDispatch*>(item_.Get()));
  EXPECT_EQ(CDispatcher::CallMethod(item_.Get(), "Move", {}, &moved), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CDispatcher::CallMethod(item_.Get(), "Move", {Variant("a")}, copy), E_NOINTERFACE);
}

TEST_F(DispatcherTest, FailuresAreLoggedWithTheMethodAndMemberNames) {
  // The log is per process and decides at its first use whether it is on: the logging run
  // happens in a child process whose settings switch diagnostics on from the start.
  if (vlrtest::EnterDiagnosticsChild()) {
    Variant v;
    EXPECT_EQ(CDispatcher::GetProp(item_.Get(), "NoSuchMember", v), DISP_E_UNKNOWNNAME);
    std::string text;
    EXPECT_EQ(CDispatcher::GetUserProp(item_.Get(), "Attestra ID", text), E_FAIL);
    return;
  }
  std::string out, err;
  const int status = vlrtest::RerunWithDiagnostics(home_, &out, &err);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(err.find("CDispatcher::GetProp"), std::string::npos) << err;
  EXPECT_NE(err.find("Member: NoSuchMember"), std::string::npos) << err;
  EXPECT_NE(err.find("CDispatcher::GetUserProp"), std::string::npos) << err;
}

}  // namespace

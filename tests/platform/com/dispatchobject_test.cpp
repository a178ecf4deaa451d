#include "platform/com/dispatchobject.h"

#include <gtest/gtest.h>

#include <stdexcept>

using com::ComPtr;
using com::DispParams;
using com::Variant;

namespace {

constexpr IID kContactIid = com::GuidLiteral("3B4C9E0A-6F0D-4B8E-9B1B-5D2C8A7E4F11");

// An automation object with every kind of member the stand-ins write.
class Contact : public com::DispatchObject {
 public:
  Contact() {
    AnswerAlso(kContactIid);
    Property("FullName", [this] { return name_; }, [this](const Variant& v) { name_ = v.AsText(); });
    Property("Age", [this] { return age_; }, [this](const Variant& v) {
      if (v.AsInt() < 0) return E_INVALIDARG;
      age_ = v.AsInt();
      return S_OK;
    });
    Property("EntryID", [] { return "0001"; });
    // An object property that takes objects by reference only.
    Property(
        "Manager", [this] { return manager_; }, nullptr,
        [this](const Variant& v) { manager_ = v.AsDispatch(); });
    // One that takes them by value only.
    Property("Picture", [this] { return picture_; }, [this](const Variant& v) { picture_ = v.AsDispatch(); });
    Property("Raw", [](Variant& r) {
      r = Variant::Null();
      return S_OK;
    });
    Method("Greet", 1, 2, [this](const DispParams& a) { return a.Text(0) + ", " + a.TextOr(1, name_); });
    Method("Save", 0, 0, [this](const DispParams&) { ++saves_; });
    Method("Fail", 0, 0, [](const DispParams&, Variant&) { return E_ACCESSDENIED; });
    Method("Throw", 0, 0, [](const DispParams&) -> int { throw std::runtime_error("boom"); });
  }

  std::string name_;
  int age_ = 0;
  int saves_ = 0;
  ComPtr<IDispatch> manager_;
  ComPtr<IDispatch> picture_;
};

class DispatchObjectTest : public ::testing::Test {
 protected:
  HRESULT Call(std::string_view name, WORD flags, DispParams args, Variant* result = nullptr) {
    return com::InvokeByName(contact_.Get(), name, flags, args, result);
  }

  ComPtr<Contact> contact_ = com::Make<Contact>();
};

TEST_F(DispatchObjectTest, NamesResolveWithoutRegardToCase) {
  DISPID a = 0, b = 0;
  ASSERT_EQ(com::GetDispId(contact_.Get(), "FullName", a), S_OK);
  ASSERT_EQ(com::GetDispId(contact_.Get(), "fULLnAME", b), S_OK);
  EXPECT_EQ(a, b);
  EXPECT_GT(a, 0);
  ASSERT_EQ(com::PutProperty(contact_.Get(), "fullname", Variant("Ann Lee")), S_OK);
  Variant v;
  ASSERT_EQ(com::GetProperty(contact_.Get(), "FULLNAME", v), S_OK);
  EXPECT_EQ(v, Variant("Ann Lee"));
}

TEST_F(DispatchObjectTest, GetIDsOfNamesRefusesWhatItCannotAnswer) {
  DISPID ids[2] = {0, 0};
  const char* unknown[] = {"NoSuchMember"};
  EXPECT_EQ(contact_->GetIDsOfNames(IID_NULL, unknown, 1, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);

  const char* one[] = {"Age"};
  EXPECT_EQ(contact_->GetIDsOfNames(kContactIid, one, 1, ids), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(contact_->GetIDsOfNames(IID_NULL, nullptr, 1, ids), E_POINTER);
  EXPECT_EQ(contact_->GetIDsOfNames(IID_NULL, one, 1, nullptr), E_POINTER);
  EXPECT_EQ(contact_->GetIDsOfNames(IID_NULL, one, 0, ids), E_INVALIDARG);

  // Named arguments are not supported: the member resolves, the argument name does not.
  const char* named[] = {"Greet", "Greeting"};
  EXPECT_EQ(contact_->GetIDsOfNames(IID_NULL, named, 2, ids), DISP_E_UNKNOWNNAME);
  EXPECT_GT(ids[0], 0);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(DispatchObjectTest, InvokeChecksIdInterfaceAndArguments) {
  DispParams none;
  EXPECT_EQ(contact_->Invoke(999, IID_NULL, DISPATCH_PROPERTYGET, &none, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(contact_->Invoke(0, IID_NULL, DISPATCH_PROPERTYGET, &none, nullptr), DISP_E_MEMBERNOTFOUND);
  const DISPID age = contact_->MemberId("Age");
  EXPECT_EQ(contact_->Invoke(age, kContactIid, DISPATCH_PROPERTYGET, &none, nullptr), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(contact_->Invoke(age, IID_NULL, DISPATCH_PROPERTYGET, nullptr, nullptr), E_POINTER);
}

struct CountCase {
  const char* member;
  WORD flags;
  std::size_t args;
  HRESULT expected;
};

TEST_F(DispatchObjectTest, ArgumentCountsAreEnforced) {
  const CountCase cases[] = {
      {"Greet", DISPATCH_METHOD, 0, DISP_E_BADPARAMCOUNT},
      {"Greet", DISPATCH_METHOD, 1, S_OK},
      {"Greet", DISPATCH_METHOD, 2, S_OK},
      {"Greet", DISPATCH_METHOD, 3, DISP_E_BADPARAMCOUNT},
      {"Save", DISPATCH_METHOD, 1, DISP_E_BADPARAMCOUNT},
      {"Age", DISPATCH_PROPERTYGET, 1, DISP_E_BADPARAMCOUNT},
      {"Age", DISPATCH_PROPERTYPUT, 0, DISP_E_BADPARAMCOUNT},
      {"Age", DISPATCH_PROPERTYPUT, 2, DISP_E_BADPARAMCOUNT},
  };
  for (const CountCase& c : cases) {
    DispParams args;
    for (std::size_t i = 0; i < c.args; ++i) args.args.emplace_back("7");
    EXPECT_EQ(Call(c.member, c.flags, args), c.expected) << c.member << " with " << c.args;
  }
}

TEST_F(DispatchObjectTest, KindsOfAccessMustMatchTheMember) {
  EXPECT_EQ(Call("EntryID", DISPATCH_PROPERTYPUT, {Variant("x")}), DISP_E_MEMBERNOTFOUND) << "read-only";
  EXPECT_EQ(Call("Save", DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND) << "a method is no property";
  EXPECT_EQ(Call("Save", DISPATCH_PROPERTYPUT, {Variant(1)}), DISP_E_MEMBERNOTFOUND);
  Variant r;
  EXPECT_EQ(Call("EntryID", DISPATCH_METHOD, {}, &r), S_OK) << "a property read as a call, as clients do";
  EXPECT_EQ(r, Variant("0001"));
  EXPECT_EQ(Call("Greet", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant("Hi"), Variant("Bo")}, &r), S_OK);
  EXPECT_EQ(r, Variant("Hi, Bo"));
}

TEST_F(DispatchObjectTest, TypeMismatchAndMemberFailuresComeBackAsCodes) {
  EXPECT_EQ(Call("Age", DISPATCH_PROPERTYPUT, {Variant("old")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call("Age", DISPATCH_PROPERTYPUT, {Variant(-3)}), E_INVALIDARG);
  EXPECT_EQ(contact_->age_, 0) << "a refused put changes nothing";
  EXPECT_EQ(Call("Age", DISPATCH_PROPERTYPUT, {Variant("41")}), S_OK) << "numeric text converts";
  EXPECT_EQ(contact_->age_, 41);
  EXPECT_EQ(Call("Manager", DISPATCH_PROPERTYPUTREF, {Variant(5)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call("Greet", DISPATCH_METHOD, {Variant()}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call("Fail", DISPATCH_METHOD, {}), E_ACCESSDENIED);
  EXPECT_EQ(Call("Throw", DISPATCH_METHOD, {}), DISP_E_EXCEPTION);
}

TEST_F(DispatchObjectTest, ObjectPropertiesByReferenceOrByValue) {
  auto boss = com::Make<Contact>();
  EXPECT_EQ(Call("Manager", DISPATCH_PROPERTYPUTREF, {Variant(boss)}), S_OK);
  EXPECT_EQ(contact_->manager_.Get(), static_cast<IDispatch*>(boss.Get()));
  EXPECT_EQ(Call("Manager", DISPATCH_PROPERTYPUT, {Variant(boss)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call("Picture", DISPATCH_PROPERTYPUTREF, {Variant(boss)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call("Picture", DISPATCH_PROPERTYPUT, {Variant(boss)}), S_OK);
  Variant v;
  ASSERT_EQ(com::GetProperty(contact_.Get(), "Manager", v), S_OK);
  EXPECT_EQ(v.Dispatch(), static_cast<IDispatch*>(boss.Get()));
  ASSERT_EQ(com::GetProperty(contact_.Get(), "Raw", v), S_OK);
  EXPECT_TRUE(v.IsNull());
}

TEST_F(DispatchObjectTest, ResultIsOptional) {
  EXPECT_EQ(com::CallMethod(contact_.Get(), "Save"), S_OK);
  EXPECT_EQ(contact_->saves_, 1);
  DispParams none;
  EXPECT_EQ(contact_->Invoke(contact_->MemberId("Age"), IID_NULL, DISPATCH_PROPERTYGET, &none, nullptr), S_OK);
}

TEST_F(DispatchObjectTest, AnswersItsInterfaces) {
  ComPtr<IDispatch> d;
  ComPtr<IUnknown> u1, u2;
  EXPECT_EQ(contact_.As(d), S_OK);
  EXPECT_EQ(contact_->QueryInterface(kContactIid, u1.PutVoid()), S_OK);
  EXPECT_EQ(u1.Get(), static_cast<IUnknown*>(d.Get())) << "extra ids give the dispatch interface";
  EXPECT_EQ(d->QueryInterface(IID_IUnknown, u2.PutVoid()), S_OK);
  ComPtr<IConnectionPointContainer> cpc;
  EXPECT_EQ(contact_.As(cpc), E_NOINTERFACE) << "no events, no container";
  const IID other = com::GuidLiteral("00000000-0000-0000-0000-00000000ABCD");
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(contact_->QueryInterface(other, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
}

TEST_F(DispatchObjectTest, StaysAliveWhileAMemberDropsTheLastReference) {
  // A member that releases the caller's reference (as closing an item may) must not pull the
  // object out from under its own Invoke.
  struct Closer : com::DispatchObject {
    explicit Closer(bool* gone) : gone_(gone) {
      Method("Close", 0, 0, [this](const DispParams&) {
        holder_.Reset();
        return Variant(closed_ = true);
      });
    }
    ~Closer() override { *gone_ = true; }
    ComPtr<IDispatch> holder_;
    bool closed_ = false;
    bool* gone_;
  };
  bool gone = false;
  Closer* raw = new Closer(&gone);
  raw->holder_ = raw;  // the only reference
  Variant r;
  DispParams none;
  EXPECT_EQ(raw->Invoke(raw->MemberId("Close"), IID_NULL, DISPATCH_METHOD, &none, &r), S_OK);
  EXPECT_EQ(r, Variant(true));
  EXPECT_TRUE(gone);
}

}  // namespace

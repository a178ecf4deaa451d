#include "platform/com/variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/com/dispatchobject.h"

using com::DispParams;
using com::VarType;
using com::Variant;

namespace {

// A bare automation object, to see references taken and given back.
class Probe : public com::DispatchObject {
 public:
  explicit Probe(int* alive) : alive_(alive) { ++*alive_; }
  ~Probe() override { --*alive_; }

 private:
  int* alive_;
};

struct IntCase {
  const char* label;
  Variant value;
  HRESULT hr;
  std::int32_t expected;
};

TEST(VariantTest, ConvertsToInteger) {
  const IntCase cases[] = {
      {"empty", Variant(), S_OK, 0},
      {"int", Variant(-42), S_OK, -42},
      {"true is -1", Variant(true), S_OK, -1},
      {"false", Variant(false), S_OK, 0},
      {"double rounds", Variant(2.6), S_OK, 3},
      {"half to even down", Variant(2.5), S_OK, 2},
      {"half to even up", Variant(3.5), S_OK, 4},
      {"numeric text", Variant(" 17 "), S_OK, 17},
      {"decimal text", Variant("-1.5"), S_OK, -2},
      {"plus sign", Variant("+8"), S_OK, 8},
      {"word", Variant("seven"), DISP_E_TYPEMISMATCH, 0},
      {"trailing junk", Variant("12abc"), DISP_E_TYPEMISMATCH, 0},
      {"empty text", Variant(""), DISP_E_TYPEMISMATCH, 0},
      {"null", Variant::Null(), DISP_E_TYPEMISMATCH, 0},
      {"too big", Variant(3e9), DISP_E_OVERFLOW, 0},
      {"too big text", Variant("2147483648"), DISP_E_OVERFLOW, 0},
      {"largest", Variant(2147483647.0), S_OK, 2147483647},
      {"infinite", Variant(INFINITY), DISP_E_OVERFLOW, 0},
  };
  for (const IntCase& c : cases) {
    std::int32_t out = 99;
    EXPECT_EQ(c.value.ToInt(out), c.hr) << c.label;
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.expected) << c.label;
    }
  }
}

struct BoolCase {
  const char* label;
  Variant value;
  HRESULT hr;
  bool expected;
};

TEST(VariantTest, ConvertsToBoolean) {
  const BoolCase cases[] = {
      {"empty", Variant(), S_OK, false},       {"zero", Variant(0), S_OK, false},
      {"five", Variant(5), S_OK, true},        {"double", Variant(0.5), S_OK, true},
      {"True", Variant("True"), S_OK, true},   {"false any case", Variant("fALSE"), S_OK, false},
      {"numeric", Variant("-1"), S_OK, true},  {"numeric zero", Variant("0"), S_OK, false},
      {"yes", Variant("yes"), DISP_E_TYPEMISMATCH, false},
      {"null", Variant::Null(), DISP_E_TYPEMISMATCH, false},
  };
  for (const BoolCase& c : cases) {
    bool out = false;
    EXPECT_EQ(c.value.ToBool(out), c.hr) << c.label;
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.expected) << c.label;
    }
  }
}

struct TextCase {
  const char* label;
  Variant value;
  HRESULT hr;
  const char* expected;
};

TEST(VariantTest, ConvertsToText) {
  const TextCase cases[] = {
      {"empty", Variant(), S_OK, ""},
      {"int", Variant(-7), S_OK, "-7"},
      {"true", Variant(true), S_OK, "True"},
      {"false", Variant(false), S_OK, "False"},
      {"double", Variant(0.25), S_OK, "0.25"},
      {"utf-8 text stays", Variant("Zoë"), S_OK, "Zoë"},
      {"date only", Variant::FromDate(45413.0), S_OK, "2024-05-01"},
      {"date and time", Variant::FromDate(45413.75), S_OK, "2024-05-01 18:00:00"},
      {"null", Variant::Null(), DISP_E_TYPEMISMATCH, ""},
  };
  for (const TextCase& c : cases) {
    std::string out = "unchanged";
    EXPECT_EQ(c.value.ToText(out), c.hr) << c.label;
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.expected) << c.label;
    }
  }
}

TEST(VariantTest, DatesRoundTripThroughTextAndTime) {
  double d = 0;
  ASSERT_EQ(Variant("2024-05-01 18:00").ToDate(d), S_OK);
  EXPECT_DOUBLE_EQ(d, 45413.75);
  ASSERT_EQ(Variant("1899-12-30").ToDate(d), S_OK);
  EXPECT_DOUBLE_EQ(d, 0.0);
  // Before day 0 the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
  ASSERT_EQ(Variant("1899-12-29T06:00:00").ToDate(d), S_OK);
  EXPECT_DOUBLE_EQ(d, -1.25);
  EXPECT_EQ(Variant::FromDate(-1.25).AsText(), "1899-12-29 06:00:00");

  EXPECT_EQ(Variant("2023-02-30").ToDate(d), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Variant("2023-13-01").ToDate(d), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Variant("2023-01-01 25:00").ToDate(d), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Variant(true).ToDate(d), DISP_E_TYPEMISMATCH);

  EXPECT_DOUBLE_EQ(com::OleDateFromTime(0), 25569.0);
  EXPECT_EQ(com::TimeFromOleDate(25569.5), 43200);
  const std::time_t t = 1714586400;  // 2024-05-01 18:00:00 UTC
  EXPECT_DOUBLE_EQ(com::OleDateFromTime(t), 45413.75);
  EXPECT_EQ(com::TimeFromOleDate(com::OleDateFromTime(t)), t);
  const std::time_t early = -86400LL * 30000 + 5;  // 1887-11-15, before day 0
  EXPECT_LT(com::OleDateFromTime(early), 0.0);
  EXPECT_EQ(com::TimeFromOleDate(com::OleDateFromTime(early)), early);
}

TEST(VariantTest, HoldsAReferenceOnObjects) {
  int alive = 0;
  {
    Variant held;
    {
      auto probe = com::Make<Probe>(&alive);
      held = Variant(probe);
      EXPECT_EQ(held.Type(), VarType::Dispatch);
      EXPECT_EQ(held.Dispatch(), static_cast<IDispatch*>(probe.Get()));
    }
    EXPECT_EQ(alive, 1) << "the value keeps the object alive";
    Variant copy = held;
    held = Variant(3);
    EXPECT_EQ(alive, 1) << "the copy still holds it";
    EXPECT_TRUE(copy.AsDispatch());
  }
  EXPECT_EQ(alive, 0) << "every reference given back";
}

TEST(VariantTest, UnknownValuesAnswerForDispatch) {
  int alive = 0;
  auto probe = com::Make<Probe>(&alive);
  Variant v(probe->Identity());
  EXPECT_EQ(v.Type(), VarType::Unknown);
  EXPECT_EQ(v.Dispatch(), nullptr);
  com::ComPtr<IDispatch> d;
  ASSERT_EQ(v.ToDispatch(d), S_OK);
  EXPECT_EQ(d.Get(), static_cast<IDispatch*>(probe.Get()));

  Variant nothing(static_cast<IDispatch*>(nullptr));
  EXPECT_TRUE(nothing.IsObject());
  ASSERT_EQ(nothing.ToDispatch(d), S_OK);
  EXPECT_FALSE(d);
  EXPECT_EQ(Variant("x").ToDispatch(d), DISP_E_TYPEMISMATCH);
}

TEST(VariantTest, EqualityMeansSameTypeAndValue) {
  EXPECT_EQ(Variant(1), Variant(1));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(1), Variant(true));
  EXPECT_EQ(Variant("a"), Variant(std::string("a")));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant(2.0), Variant::FromDate(2.0));
}

TEST(DispParamsTest, ReadsArgumentsInCallerOrder) {
  DispParams p{Variant("first"), Variant(2), Variant(), Variant("x")};
  EXPECT_EQ(p.Text(0), "first");
  EXPECT_EQ(p.Int(1), 2);
  EXPECT_FALSE(p.Has(2)) << "an empty argument counts as left out";
  EXPECT_EQ(p.IntOr(2, 5), 5);
  EXPECT_EQ(p.TextOr(9, "none"), "none");
  EXPECT_TRUE(p.BoolOr(7, true));

  auto codeOf = [](auto&& f) {
    try {
      f();
    } catch (const com::ComError& e) {
      return e.code;
    }
    return S_OK;
  };
  EXPECT_EQ(codeOf([&] { p.Int(2); }), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(codeOf([&] { p.Int(4); }), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(codeOf([&] { p.Int(3); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(codeOf([&] { p.IntOr(3, 0); }), DISP_E_TYPEMISMATCH) << "a present argument of the wrong type";
  EXPECT_EQ(codeOf([&] { p.Dispatch(0); }), DISP_E_TYPEMISMATCH);
}

}  // namespace

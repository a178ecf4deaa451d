#pragma once
// Values that travel through IDispatch: the VARIANT of this system, and the argument block.
#include <concepts>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/com/unknown.h"

struct IDispatch;

namespace com {

enum class VarType { Empty, Null, Int, Bool, Double, Date, Text, Dispatch, Unknown };

// One value: empty, null, 32-bit integer, boolean, double, date, UTF-8 text, or an interface
// (IDispatch or IUnknown) on which the value holds a reference of its own.
class Variant {
 public:
  Variant() = default;
  Variant(bool value);
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  Variant(I value) : Variant(Int32Tag{}, static_cast<std::int32_t>(value)) {}
  Variant(double value);
  Variant(const char* text);
  Variant(std::string text);
  Variant(std::string_view text);
  Variant(IDispatch* object);  // a null pointer is an object value "Nothing"
  Variant(IUnknown* object);
  // Any held interface: those that derive from IDispatch make Dispatch values.
  template <class T>
  Variant(const ComPtr<T>& object) : Variant(ObjectPointer(object.Get())) {}

  static Variant Null();
  // An automation date: days since 1899-12-30 00:00, the fraction being the time of day.
  static Variant FromDate(double oleDate);

  Variant(const Variant&) = default;
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant&) = default;
  Variant& operator=(Variant&&) noexcept = default;
  ~Variant() = default;

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsObject() const { return type_ == VarType::Dispatch || type_ == VarType::Unknown; }

  // Peeks at an object value without adding a reference; null for other types and "Nothing".
  IDispatch* Dispatch() const;
  IUnknown* Unknown() const { return object_.Get(); }

  // Conversions as the platform's type coercion does them; DISP_E_TYPEMISMATCH when the value
  // has no such form (for example text that is not a number), DISP_E_OVERFLOW when it does not
  // fit. Booleans read as integers are -1 and 0; as text "True" and "False". Text reads as a
  // boolean when it is "True"/"False" in any letter case or a number (non-zero is true).
  HRESULT ToInt(std::int32_t& out) const;
  HRESULT ToBool(bool& out) const;
  HRESULT ToDouble(double& out) const;
  HRESULT ToDate(double& out) const;
  HRESULT ToText(std::string& out) const;
  // An object value as IDispatch (asking an IUnknown value for it); "Nothing" gives null.
  HRESULT ToDispatch(ComPtr<IDispatch>& out) const;

  // The same conversions, throwing ComError with the code instead.
  std::int32_t AsInt() const;
  bool AsBool() const;
  double AsDouble() const;
  double AsDate() const;
  std::string AsText() const;
  ComPtr<IDispatch> AsDispatch() const;

  // Same type and value; objects compare by pointer.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  template <class T>
  static auto ObjectPointer(T* p) {
    if constexpr (std::is_convertible_v<T*, IDispatch*>)
      return static_cast<IDispatch*>(p);
    else
      return static_cast<IUnknown*>(p);
  }
  struct Int32Tag {};
  Variant(Int32Tag, std::int32_t value) : type_(VarType::Int), int_(value) {}

  VarType type_ = VarType::Empty;
  std::int32_t int_ = 0;
  bool bool_ = false;
  double double_ = 0;  // Double and Date
  std::string text_;
  ComPtr<IUnknown> object_;  // Dispatch values keep their IDispatch pointer here, upcast
};

// Automation dates from and to time_t (UTC).
double OleDateFromTime(std::time_t t);
std::time_t TimeFromOleDate(double oleDate);

// The argument block of one call, in the order the caller writes the arguments (the first
// argument first; not the reversed order of the platform's block). For a property put the new
// value is the last argument, after any index arguments.
struct DispParams {
  std::vector<Variant> args;

  DispParams() = default;
  DispParams(std::vector<Variant> a) : args(std::move(a)) {}
  DispParams(std::initializer_list<Variant> a) : args(a) {}

  std::size_t Count() const { return args.size(); }
  const Variant& operator[](std::size_t i) const { return args[i]; }
  // Present and not empty: optional arguments are left out or passed empty.
  bool Has(std::size_t i) const { return i < args.size() && !args[i].IsEmpty(); }

  // Argument i converted; a missing argument throws ComError(DISP_E_PARAMNOTFOUND), one of
  // the wrong type ComError(DISP_E_TYPEMISMATCH). The ...Or forms give `fallback` when the
  // argument is missing.
  std::int32_t Int(std::size_t i) const;
  bool Bool(std::size_t i) const;
  double Double(std::size_t i) const;
  std::string Text(std::size_t i) const;
  ComPtr<IDispatch> Dispatch(std::size_t i) const;
  std::int32_t IntOr(std::size_t i, std::int32_t fallback) const;
  bool BoolOr(std::size_t i, bool fallback) const;
  std::string TextOr(std::size_t i, std::string_view fallback) const;

 private:
  const Variant& Required(std::size_t i) const;
};

}  // namespace com

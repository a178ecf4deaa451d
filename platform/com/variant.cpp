#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/com/dispatch.h"
#include "platform/win/text.h"

namespace com {
namespace {

constexpr double kUnixEpochOleDay = 25569;  // 1970-01-01 as an automation date
constexpr double kSecondsPerDay = 86400;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal or floating-point number, nothing else around it but blanks.
bool ParseNumber(std::string_view text, double& out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && std::isfinite(out);
}

HRESULT RoundToInt(double d, std::int32_t& out) {
  if (!std::isfinite(d)) return DISP_E_OVERFLOW;
  double r = std::nearbyint(d);  // ties to even, as the platform's coercion rounds
  if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
    return DISP_E_OVERFLOW;
  out = static_cast<std::int32_t>(r);
  return S_OK;
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

// Seconds since 1970 (may be negative) from an automation date, whose fraction is the time of
// day even below zero (-1.25 is 1899-12-29 06:00).
long long SecondsFromOleDate(double d) {
  double whole = std::trunc(d);
  long long secs = std::llround(std::fabs(d - whole) * kSecondsPerDay);
  return (static_cast<long long>(whole) - static_cast<long long>(kUnixEpochOleDay)) * 86400 + secs;
}

double OleDateFromSeconds(long long t) {
  long long days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  long long secs = t - days * 86400;
  double whole = static_cast<double>(days) + kUnixEpochOleDay;
  double frac = static_cast<double>(secs) / kSecondsPerDay;
  return whole >= 0 ? whole + frac : whole - frac;
}

std::string FormatDate(double oleDate) {
  long long t = SecondsFromOleDate(oleDate);
  long long days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  long long secs = t - days * 86400;
  long long y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  char buf[48];
  if (secs == 0)
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
  else
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld", y, m, d, secs / 3600, secs / 60 % 60,
                  secs % 60);
  return buf;
}

// "HH:MM:SS" or "HH:MM", the whole text.
bool ParseTime(const std::string& text, int& h, int& mi, int& s) {
  int used = 0;
  s = 0;
  if (std::sscanf(text.c_str(), "%2d:%2d:%2d%n", &h, &mi, &s, &used) == 3 && used == static_cast<int>(text.size()))
    return true;
  used = 0;
  s = 0;
  return std::sscanf(text.c_str(), "%2d:%2d%n", &h, &mi, &used) == 2 && used == static_cast<int>(text.size());
}

// "YYYY-MM-DD", optionally followed by a time after a blank or "T".
bool ParseDate(std::string_view text, double& out) {
  const std::string s0(Trim(text));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  if (std::sscanf(s0.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3) return false;
  const std::string rest = s0.substr(static_cast<std::size_t>(used));
  if (!rest.empty() && ((rest[0] != ' ' && rest[0] != 'T') || !ParseTime(rest.substr(1), h, mi, s))) return false;
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
    return false;
  const long long days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  long long y2;
  unsigned m2, d2;
  CivilFromDays(days, y2, m2, d2);
  if (m2 != static_cast<unsigned>(mo) || d2 != static_cast<unsigned>(d)) return false;  // 2023-02-30
  out = OleDateFromSeconds(days * 86400 + h * 3600 + mi * 60 + s);
  return true;
}

std::string FormatDouble(double v) {
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, ptr) : std::string();
}

void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) Throw(hr);
}

}  // namespace

Variant::Variant(bool value) : type_(VarType::Bool), bool_(value) {}
Variant::Variant(double value) : type_(VarType::Double), double_(value) {}
Variant::Variant(const char* text) : type_(VarType::Text), text_(text ? text : "") {}
Variant::Variant(std::string text) : type_(VarType::Text), text_(std::move(text)) {}
Variant::Variant(std::string_view text) : type_(VarType::Text), text_(text) {}
Variant::Variant(IDispatch* object) : type_(VarType::Dispatch), object_(object) {}
Variant::Variant(IUnknown* object) : type_(VarType::Unknown), object_(object) {}

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::FromDate(double oleDate) {
  Variant v;
  v.type_ = VarType::Date;
  v.double_ = oleDate;
  return v;
}

IDispatch* Variant::Dispatch() const {
  return type_ == VarType::Dispatch ? static_cast<IDispatch*>(object_.Get()) : nullptr;
}

HRESULT Variant::ToInt(std::int32_t& out) const {
  switch (type_) {
    case VarType::Empty: out = 0; return S_OK;
    case VarType::Int: out = int_; return S_OK;
    case VarType::Bool: out = bool_ ? -1 : 0; return S_OK;
    case VarType::Double:
    case VarType::Date: return RoundToInt(double_, out);
    case VarType::Text: {
      double d;
      if (!ParseNumber(text_, d)) return DISP_E_TYPEMISMATCH;
      return RoundToInt(d, out);
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::ToBool(bool& out) const {
  switch (type_) {
    case VarType::Empty: out = false; return S_OK;
    case VarType::Int: out = int_ != 0; return S_OK;
    case VarType::Bool: out = bool_; return S_OK;
    case VarType::Double:
    case VarType::Date: out = double_ != 0; return S_OK;
    case VarType::Text: {
      if (win::EqualsNoCase(Trim(text_), "true")) {
        out = true;
        return S_OK;
      }
      if (win::EqualsNoCase(Trim(text_), "false")) {
        out = false;
        return S_OK;
      }
      double d;
      if (!ParseNumber(text_, d)) return DISP_E_TYPEMISMATCH;
      out = d != 0;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::ToDouble(double& out) const {
  switch (type_) {
    case VarType::Empty: out = 0; return S_OK;
    case VarType::Int: out = int_; return S_OK;
    case VarType::Bool: out = bool_ ? -1 : 0; return S_OK;
    case VarType::Double:
    case VarType::Date: out = double_; return S_OK;
    case VarType::Text: return ParseNumber(text_, out) ? S_OK : DISP_E_TYPEMISMATCH;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::ToDate(double& out) const {
  if (type_ == VarType::Text) {
    if (ParseDate(text_, out)) return S_OK;
    return ParseNumber(text_, out) ? S_OK : DISP_E_TYPEMISMATCH;
  }
  if (type_ == VarType::Bool) return DISP_E_TYPEMISMATCH;
  return ToDouble(out);
}

HRESULT Variant::ToText(std::string& out) const {
  switch (type_) {
    case VarType::Empty: out.clear(); return S_OK;
    case VarType::Int: out = std::to_string(int_); return S_OK;
    case VarType::Bool: out = bool_ ? "True" : "False"; return S_OK;
    case VarType::Double: out = FormatDouble(double_); return S_OK;
    case VarType::Date: out = FormatDate(double_); return S_OK;
    case VarType::Text: out = text_; return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Variant::ToDispatch(ComPtr<IDispatch>& out) const {
  if (type_ == VarType::Dispatch) {
    out = Dispatch();
    return S_OK;
  }
  if (type_ == VarType::Unknown) {
    if (!object_) {
      out.Reset();
      return S_OK;
    }
    HRESULT hr = object_->QueryInterface(IID_IDispatch, out.PutVoid());
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

std::int32_t Variant::AsInt() const {
  std::int32_t v = 0;
  ThrowIfFailed(ToInt(v));
  return v;
}
bool Variant::AsBool() const {
  bool v = false;
  ThrowIfFailed(ToBool(v));
  return v;
}
double Variant::AsDouble() const {
  double v = 0;
  ThrowIfFailed(ToDouble(v));
  return v;
}
double Variant::AsDate() const {
  double v = 0;
  ThrowIfFailed(ToDate(v));
  return v;
}
std::string Variant::AsText() const {
  std::string v;
  ThrowIfFailed(ToText(v));
  return v;
}
ComPtr<IDispatch> Variant::AsDispatch() const {
  ComPtr<IDispatch> v;
  ThrowIfFailed(ToDispatch(v));
  return v;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  switch (a.type_) {
    case VarType::Empty:
    case VarType::Null: return true;
    case VarType::Int: return a.int_ == b.int_;
    case VarType::Bool: return a.bool_ == b.bool_;
    case VarType::Double:
    case VarType::Date: return a.double_ == b.double_;
    case VarType::Text: return a.text_ == b.text_;
    case VarType::Dispatch:
    case VarType::Unknown: return a.object_.Get() == b.object_.Get();
  }
  return false;
}

double OleDateFromTime(std::time_t t) { return OleDateFromSeconds(static_cast<long long>(t)); }

std::time_t TimeFromOleDate(double oleDate) { return static_cast<std::time_t>(SecondsFromOleDate(oleDate)); }

const Variant& DispParams::Required(std::size_t i) const {
  if (!Has(i)) Throw(DISP_E_PARAMNOTFOUND);
  return args[i];
}

std::int32_t DispParams::Int(std::size_t i) const { return Required(i).AsInt(); }
bool DispParams::Bool(std::size_t i) const { return Required(i).AsBool(); }
double DispParams::Double(std::size_t i) const { return Required(i).AsDouble(); }
std::string DispParams::Text(std::size_t i) const { return Required(i).AsText(); }
ComPtr<IDispatch> DispParams::Dispatch(std::size_t i) const { return Required(i).AsDispatch(); }
std::int32_t DispParams::IntOr(std::size_t i, std::int32_t fallback) const { return Has(i) ? Int(i) : fallback; }
bool DispParams::BoolOr(std::size_t i, bool fallback) const { return Has(i) ? Bool(i) : fallback; }
std::string DispParams::TextOr(std::size_t i, std::string_view fallback) const {
  return Has(i) ? Text(i) : std::string(fallback);
}

}  // namespace com

#pragma once
// The failure pattern of the whole system: inside a function a failed step raises its code,
// the function's end catches it, logs it with ErrorCode and returns it.
#include <new>
#include <string_view>
#include <type_traits>

#include "foundation/diaglog.h"
#include "platform/win/hresult.h"

struct HrFailure {
  HRESULT code;
};

[[noreturn]] inline void Raise(HRESULT code) { throw HrFailure{code}; }
// Raises any failure code (negative).
inline void Check(HRESULT code) {
  if (FAILED(code)) Raise(code);
}
// Raises anything but S_OK: S_FALSE ("nothing selected") counts as a failure here.
inline void CheckOk(HRESULT code) {
  if (code != S_OK) Raise(code == S_FALSE ? E_FAIL : code);
}
inline void CheckTrue(bool ok, HRESULT code = E_FAIL) {
  if (!ok) Raise(code);
}

// Logs Enter/Leave for the scope.
class LogBlock {
 public:
  explicit LogBlock(std::string_view name) : name_(name) { DiagLog().Enter(name_); }
  ~LogBlock() { DiagLog().Leave(name_); }
  LogBlock(const LogBlock&) = delete;
  LogBlock& operator=(const LogBlock&) = delete;

 private:
  std::string_view name_;
};

// Runs `body` inside Enter/Leave of `name`; a raised code (or any exception) is logged with
// ErrorCode and returned. `body` returns HRESULT or nothing (S_OK).
template <class Body>
HRESULT Guarded(std::string_view name, Body&& body) {
  LogBlock block(name);
  HRESULT hr = S_OK;
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body>>)
      body();
    else
      hr = body();
  } catch (const HrFailure& failure) {
    hr = failure.code;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_FAIL;
  }
  if (FAILED(hr)) DiagLog().ErrorCode(name, hr);
  return hr;
}

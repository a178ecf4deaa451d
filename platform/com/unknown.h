#pragma once
// The least COM the system needs: IUnknown, interface ids and the smart pointer that holds
// interfaces. Platform names (IUnknown, IID, CLSID, ...) live in the global namespace, as the
// code above calls them; our own helpers live in namespace com.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/win/guid.h"
#include "platform/win/hresult.h"

using ULONG = std::uint32_t;
using WORD = std::uint16_t;
using IID = win::GUID;
using CLSID = win::GUID;
using CATID = win::GUID;

// Codes that the platform's common header does not carry.
constexpr HRESULT REGDB_E_READREGDB = MakeHr(0x80040150);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHr(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = MakeHr(0x800401F9);
constexpr HRESULT DISP_E_OVERFLOW = MakeHr(0x8002000A);

namespace com {

// A GUID from its bare text at compile time: GuidLiteral("00020400-0000-0000-C000-000000000046").
consteval win::GUID GuidLiteral(std::string_view text) {
  auto hex = [](char c) -> std::uint32_t {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
    throw "not a hex digit";  // a compile error in a consteval context
  };
  if (text.size() != 36) throw "a GUID literal has 36 characters";
  std::uint8_t b[16] = {};
  int n = 0;
  for (std::size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      ++i;
      continue;
    }
    b[n++] = static_cast<std::uint8_t>(hex(text[i]) << 4 | hex(text[i + 1]));
    i += 2;
  }
  win::GUID g;
  g.Data1 = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
  g.Data2 = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
  g.Data3 = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[static_cast<std::size_t>(i)] = b[8 + i];
  return g;
}

// Thrown by member code of our own objects; the object's entry point turns it into its code.
struct ComError {
  HRESULT code;
};
[[noreturn]] inline void Throw(HRESULT code) { throw ComError{code}; }

}  // namespace com

constexpr IID IID_NULL{};

// Every interface names its id as kIid, so that ComPtr::As and com::Query need no id argument.
struct IUnknown {
  static constexpr IID kIid = com::GuidLiteral("00000000-0000-0000-C000-000000000046");
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects die through Release only
};

constexpr IID IID_IUnknown = IUnknown::kIid;

namespace com {

// Holds one reference on an interface: AddRef on copy, Release on destruction.
// Taking a raw pointer adds a reference (the caller keeps its own); Adopt takes one over.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& other) noexcept : ComPtr(other.Get()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a reference the caller owns (a fresh object, an out parameter it filled).
  static ComPtr Adopt(T* p) noexcept {
    ComPtr r;
    r.p_ = p;
    return r;
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // For out parameters: drops what is held and hands out the slot.
  T** Put() noexcept {
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  // Hands out an extra reference, as out parameters of interface methods do.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

  // QueryInterface for U (by U::kIid).
  template <class U>
  HRESULT As(ComPtr<U>& out) const noexcept {
    if (!p_) {
      out.Reset();
      return E_POINTER;
    }
    return p_->QueryInterface(U::kIid, out.PutVoid());
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// QueryInterface on a raw pointer into a smart pointer.
template <class U>
HRESULT Query(IUnknown* from, ComPtr<U>& out) noexcept {
  if (!from) {
    out.Reset();
    return E_POINTER;
  }
  return from->QueryInterface(U::kIid, out.PutVoid());
}

}  // namespace com

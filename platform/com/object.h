#pragma once
// A reference-counted object implementing one or more interfaces, for our own COM objects.
#include <atomic>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace com {

// Implements IUnknown for the interfaces Is...: QueryInterface answers IUnknown, each I::kIid
// and, when one of them derives from IDispatch, IDispatch too; QueryOther may add more. The
// object starts with no reference: the first ComPtr (or QueryInterface) takes the first one,
// and the last Release deletes it.
template <class First, class... Rest>
class Object : public First, public Rest... {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!Match<First, Rest...>(iid, out) && !MatchDispatch<First, Rest...>(iid, out)) {
      HRESULT hr = QueryOther(iid, out);
      if (FAILED(hr) || !*out) {
        *out = nullptr;
        return FAILED(hr) ? hr : E_NOINTERFACE;
      }
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // The identity pointer of the object.
  IUnknown* Identity() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

 protected:
  virtual ~Object() = default;
  // Further interfaces; on success set *out (no AddRef: the caller adds it) and return S_OK.
  virtual HRESULT QueryOther(const IID&, void**) { return E_NOINTERFACE; }

 private:
  template <class I, class... More>
  bool Match(const IID& iid, void** out) {
    if (iid == I::kIid) {
      *out = static_cast<I*>(this);
      return true;
    }
    if constexpr (sizeof...(More) > 0) return Match<More...>(iid, out);
    return false;
  }
  template <class I, class... More>
  bool MatchDispatch(const IID& iid, void** out) {
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      if (iid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(static_cast<I*>(this));
        return true;
      }
    }
    if constexpr (sizeof...(More) > 0) return MatchDispatch<More...>(iid, out);
    return false;
  }

  std::atomic<ULONG> refs_{0};
};

// Makes an object and hands out its first reference.
template <class T, class... A>
ComPtr<T> Make(A&&... args) {
  return ComPtr<T>(new T(std::forward<A>(args)...));
}

}  // namespace com

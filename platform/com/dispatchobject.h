#pragma once
// A base for automation objects whose members are given as a table of functions:
//
//   class Folder : public com::DispatchObject {
//    public:
//     Folder() {
//       Property("Name", [this] { return name_; }, [this](const com::Variant& v) { name_ = v.AsText(); });
//       Property("Items", [this] { return items_; });              // a ComPtr or raw pointer
//       Method("Delete", 0, 0, [this](const com::DispParams&) { Remove(); });
//       Method("Item", 1, 1, [this](const com::DispParams& a) { return ItemAt(a.Int(0)); });
//       AddEventSource(kItemsEvents);
//     }
//   };
//
// Member names compare without regard to ASCII letter case; dispatch ids follow the order in
// which the members were added, from 1. Member functions report failures by returning a code
// or by throwing com::ComError (com::Throw); the typed readers of Variant and DispParams throw
// DISP_E_TYPEMISMATCH and DISP_E_PARAMNOTFOUND that way. Any other exception becomes
// DISP_E_EXCEPTION (std::bad_alloc E_OUTOFMEMORY).
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/com/connection.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"

namespace com {

class DispatchObject : public Object<IDispatch>, public IConnectionPointContainer {
 public:
  using Getter = std::function<HRESULT(Variant& result)>;
  using Setter = std::function<HRESULT(const Variant& value)>;
  using Caller = std::function<HRESULT(const DispParams& args, Variant& result)>;

  DispatchObject();

  // IUnknown, for both interfaces.
  HRESULT QueryInterface(const IID& iid, void** out) override { return Object::QueryInterface(iid, out); }
  ULONG AddRef() override { return Object::AddRef(); }
  ULONG Release() override { return Object::Release(); }

  // IDispatch. GetIDsOfNames resolves the first name only (named arguments are not supported:
  // further names get DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME).
  // Invoke: a put (PROPERTYPUT, or PROPERTYPUTREF where the member takes objects by reference)
  // takes exactly the value; a method call (METHOD) its declared range of arguments; a property
  // read (PROPERTYGET, or METHOD on a member that is only a property) none. Otherwise
  // DISP_E_MEMBERNOTFOUND (no such kind of access) or DISP_E_BADPARAMCOUNT.
  HRESULT GetTypeInfoCount(unsigned* count) override;
  HRESULT GetTypeInfo(unsigned index, void** info) override;
  HRESULT GetIDsOfNames(const IID& iid, const char* const* names, unsigned count, DISPID* ids) override;
  HRESULT Invoke(DISPID id, const IID& iid, WORD flags, DispParams* params, Variant* result) override;

  // IConnectionPointContainer (answered only by objects that added an event source).
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** out) override;

  // The dispatch id of a member, DISPID_UNKNOWN when there is none.
  DISPID MemberId(std::string_view name) const;

 protected:
  ~DispatchObject() override;

  // A property. `get` is either `() -> value` (anything a Variant is made from) or
  // `(Variant&) -> HRESULT`; `put` is `(const Variant&) -> void or HRESULT`. Without `put`
  // the property is read-only. `putRef` takes object values by reference.
  template <class G>
  void Property(std::string_view name, G&& get) {
    AddMember(name, MakeGetter(std::forward<G>(get)), nullptr, nullptr, nullptr, 0, 0);
  }
  template <class G, class P>
  void Property(std::string_view name, G&& get, P&& put) {
    AddMember(name, MakeGetter(std::forward<G>(get)), MakeSetter(std::forward<P>(put)), nullptr, nullptr, 0, 0);
  }
  template <class G, class P, class R>
  void Property(std::string_view name, G&& get, P&& put, R&& putRef) {
    AddMember(name, MakeGetter(std::forward<G>(get)), MakeSetter(std::forward<P>(put)),
              MakeSetter(std::forward<R>(putRef)), nullptr, 0, 0);
  }

  // A method taking from `minArgs` to `maxArgs` arguments. `fn` is `(const DispParams&) -> void`
  // (no result), `(const DispParams&) -> value`, or `(const DispParams&, Variant&) -> HRESULT`.
  template <class F>
  void Method(std::string_view name, unsigned minArgs, unsigned maxArgs, F&& fn) {
    AddMember(name, nullptr, nullptr, nullptr, MakeCaller(std::forward<F>(fn)), minArgs, maxArgs);
  }

  // Further dispatch interfaces that QueryInterface answers with this object (for example the
  // object's own automation interface id).
  void AnswerAlso(const IID& iid) { alsoIids_.push_back(iid); }

  // Events.
  void AddEventSource(const IID& events) { events_.Add(events); }
  // Delivers an event to every advised sink (see EventSources::Fire); the object stays alive
  // while it does, whatever the sinks release.
  int FireEvent(const IID& events, DISPID id, const DispParams& args = {});
  std::size_t SinkCount(const IID& events) const { return events_.SinkCount(events); }

  HRESULT QueryOther(const IID& iid, void** out) override;

 private:
  struct Member {
    std::string name;
    Getter get;
    Setter put;
    Setter putRef;
    Caller call;
    unsigned minArgs = 0;
    unsigned maxArgs = 0;
  };
  void AddMember(std::string_view name, Getter get, Setter put, Setter putRef, Caller call, unsigned minArgs,
                 unsigned maxArgs);
  HRESULT InvokeMember(const Member& m, WORD flags, const DispParams& params, Variant& result);

  template <class G>
  static Getter MakeGetter(G&& get) {
    if constexpr (std::is_invocable_v<G&>) {
      return [get = std::forward<G>(get)](Variant& r) mutable {
        r = Variant(get());
        return S_OK;
      };
    } else {
      return Getter(std::forward<G>(get));
    }
  }
  template <class P>
  static Setter MakeSetter(P&& put) {
    if constexpr (std::is_null_pointer_v<std::decay_t<P>>) {
      return nullptr;
    } else if constexpr (std::is_void_v<std::invoke_result_t<P&, const Variant&>>) {
      return [put = std::forward<P>(put)](const Variant& v) mutable {
        put(v);
        return S_OK;
      };
    } else {
      return Setter(std::forward<P>(put));
    }
  }
  template <class F>
  static Caller MakeCaller(F&& fn) {
    if constexpr (std::is_invocable_v<F&, const DispParams&, Variant&>) {
      return Caller(std::forward<F>(fn));
    } else if constexpr (std::is_void_v<std::invoke_result_t<F&, const DispParams&>>) {
      return [fn = std::forward<F>(fn)](const DispParams& a, Variant&) mutable {
        fn(a);
        return S_OK;
      };
    } else {
      return [fn = std::forward<F>(fn)](const DispParams& a, Variant& r) mutable {
        r = Variant(fn(a));
        return S_OK;
      };
    }
  }

  std::vector<Member> members_;
  std::vector<IID> alsoIids_;
  EventSources events_;
};

}  // namespace com

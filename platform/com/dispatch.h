#pragma once
// IDispatch: members reached by name at run time, and the calls that reach them.
#include <cstdint>
#include <string_view>

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

using DISPID = std::int32_t;
constexpr DISPID DISPID_UNKNOWN = -1;

// Invoke flags. A caller that wants a method's result may pass METHOD | PROPERTYGET.
constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

struct IDispatch : IUnknown {
  static constexpr IID kIid = com::GuidLiteral("00020400-0000-0000-C000-000000000046");

  // There are no type libraries here: objects give 0 and E_FAIL (or E_NOTIMPL).
  virtual HRESULT GetTypeInfoCount(unsigned* count) = 0;
  virtual HRESULT GetTypeInfo(unsigned index, void** info) = 0;
  // `names` are UTF-8; `iid` must be IID_NULL (else DISP_E_UNKNOWNINTERFACE).
  virtual HRESULT GetIDsOfNames(const IID& iid, const char* const* names, unsigned count, DISPID* ids) = 0;
  // `params` holds the arguments in the caller's order (see com::DispParams); `result` may be
  // null when the caller wants none.
  virtual HRESULT Invoke(DISPID id, const IID& iid, WORD flags, com::DispParams* params,
                         com::Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

constexpr IID IID_IDispatch = IDispatch::kIid;

namespace com {

// The dispatch id of one member name.
HRESULT GetDispId(IDispatch* object, std::string_view name, DISPID& id);
// Looks the name up and invokes it. DISP_E_UNKNOWNNAME for an unknown name, E_POINTER for a
// null object, otherwise Invoke's own code.
HRESULT InvokeByName(IDispatch* object, std::string_view name, WORD flags, DispParams& params,
                     Variant* result);

// The three kinds of call, without any logging (the system's own code goes through CDispatcher).
HRESULT GetProperty(IDispatch* object, std::string_view name, Variant& out);
HRESULT PutProperty(IDispatch* object, std::string_view name, const Variant& value,
                    WORD flags = DISPATCH_PROPERTYPUT);
// With a result wanted the call is made as METHOD | PROPERTYGET, as automation clients do.
HRESULT CallMethod(IDispatch* object, std::string_view name, DispParams args = {}, Variant* result = nullptr);

}  // namespace com

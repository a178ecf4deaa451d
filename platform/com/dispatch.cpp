#include "platform/com/dispatch.h"

#include <string>

namespace com {

HRESULT GetDispId(IDispatch* object, std::string_view name, DISPID& id) {
  if (!object) return E_POINTER;
  const std::string text(name);
  const char* names[] = {text.c_str()};
  id = DISPID_UNKNOWN;
  return object->GetIDsOfNames(IID_NULL, names, 1, &id);
}

HRESULT InvokeByName(IDispatch* object, std::string_view name, WORD flags, DispParams& params, Variant* result) {
  DISPID id;
  HRESULT hr = GetDispId(object, name, id);
  if (FAILED(hr)) return hr;
  return object->Invoke(id, IID_NULL, flags, &params, result);
}

HRESULT GetProperty(IDispatch* object, std::string_view name, Variant& out) {
  DispParams none;
  Variant value;
  HRESULT hr = InvokeByName(object, name, DISPATCH_PROPERTYGET, none, &value);
  if (SUCCEEDED(hr)) out = std::move(value);
  return hr;
}

HRESULT PutProperty(IDispatch* object, std::string_view name, const Variant& value, WORD flags) {
  DispParams params{value};
  return InvokeByName(object, name, flags, params, nullptr);
}

HRESULT CallMethod(IDispatch* object, std::string_view name, DispParams args, Variant* result) {
  if (!result) return InvokeByName(object, name, DISPATCH_METHOD, args, nullptr);
  Variant value;
  HRESULT hr = InvokeByName(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, &value);
  if (SUCCEEDED(hr)) *result = std::move(value);
  return hr;
}

}  // namespace com

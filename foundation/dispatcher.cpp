#include "foundation/dispatcher.h"

#include <string>

#include "foundation/guard.h"

namespace {

using com::ComPtr;
using com::Variant;

constexpr int kUserPropText = 1;   // olText
constexpr int kUserPropYesNo = 6;  // olYesNo

// A failed member call raises its code; the log names the member, which the code alone does not.
void CheckMember(HRESULT hr, std::string_view member) {
  if (FAILED(hr)) {
    DiagLog().CommentText("Member: %s", std::string(member).c_str());
    Raise(hr);
  }
}

// A value that must be an object; "Nothing" and other values count as absent.
ComPtr<IDispatch> ObjectOf(const Variant& value) {
  ComPtr<IDispatch> object;
  if (FAILED(value.ToDispatch(object)) || !object) Raise(E_NOINTERFACE);
  return object;
}

// The item's UserProperties collection and the named custom property in it (null when absent).
ComPtr<IDispatch> FindUserProp(IDispatch* item, std::string_view name, ComPtr<IDispatch>& props) {
  CheckTrue(item != nullptr, E_POINTER);
  Check(CDispatcher::GetProp(item, "UserProperties", props));
  Variant found;
  // A failed Find is taken as "not there": adding is the remedy either way.
  if (FAILED(CDispatcher::CallMethod(props.Get(), "Find", {Variant(name), Variant(true)}, &found))) return nullptr;
  ComPtr<IDispatch> prop;
  if (FAILED(found.ToDispatch(prop))) return nullptr;
  return prop;
}

HRESULT SetUserValue(IDispatch* item, std::string_view name, const Variant& value, int type, bool addToFolderFields,
                     bool save) {
  ComPtr<IDispatch> props;
  ComPtr<IDispatch> prop = FindUserProp(item, name, props);
  if (!prop) {
    Variant added;
    HRESULT hr = CDispatcher::CallMethod(props.Get(), "Add", {Variant(name), Variant(type), Variant(addToFolderFields)},
                                         &added);
    // Some folders refuse new fields; the property can still live on the item alone.
    if (FAILED(hr) && addToFolderFields)
      hr = CDispatcher::CallMethod(props.Get(), "Add", {Variant(name), Variant(type), Variant(false)}, &added);
    Check(hr);
    prop = ObjectOf(added);
  }
  Check(CDispatcher::PutProp(prop.Get(), "Value", value));
  if (save) Check(CDispatcher::CallMethod(item, "Save"));
  return S_OK;
}

}  // namespace

HRESULT CDispatcher::GetProp(IDispatch* obj, std::string_view name, Variant& out) {
  return Guarded("CDispatcher::GetProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    CheckMember(com::GetProperty(obj, name, out), name);
  });
}

HRESULT CDispatcher::GetProp(IDispatch* obj, std::string_view name, ComPtr<IDispatch>& out) {
  out.Reset();  // a failed read leaves no stale object behind
  return Guarded("CDispatcher::GetProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    Variant value;
    CheckMember(com::GetProperty(obj, name, value), name);
    out = ObjectOf(value);
  });
}

HRESULT CDispatcher::GetProp(IDispatch* obj, std::string_view name, std::string& out) {
  return Guarded("CDispatcher::GetProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    Variant value;
    CheckMember(com::GetProperty(obj, name, value), name);
    std::string text;
    Check(value.ToText(text));
    out = std::move(text);
  });
}

HRESULT CDispatcher::GetProp(IDispatch* obj, std::string_view name, std::int32_t& out) {
  return Guarded("CDispatcher::GetProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    Variant value;
    CheckMember(com::GetProperty(obj, name, value), name);
    Check(value.ToInt(out));
  });
}

HRESULT CDispatcher::GetProp(IDispatch* obj, std::string_view name, bool& out) {
  return Guarded("CDispatcher::GetProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    Variant value;
    CheckMember(com::GetProperty(obj, name, value), name);
    Check(value.ToBool(out));
  });
}

HRESULT CDispatcher::PutProp(IDispatch* obj, std::string_view name, const Variant& value) {
  return Guarded("CDispatcher::PutProp", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    HRESULT hr = E_FAIL;
    if (value.IsObject()) hr = com::PutProperty(obj, name, value, DISPATCH_PROPERTYPUTREF);
    if (FAILED(hr)) hr = com::PutProperty(obj, name, value, DISPATCH_PROPERTYPUT);
    CheckMember(hr, name);
  });
}

HRESULT CDispatcher::CallMethod(IDispatch* obj, std::string_view name, const std::vector<Variant>& args,
                                Variant* result) {
  return Guarded("CDispatcher::CallMethod", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    CheckMember(com::CallMethod(obj, name, com::DispParams(args), result), name);
  });
}

HRESULT CDispatcher::CallMethod(IDispatch* obj, std::string_view name, const std::vector<Variant>& args,
                                ComPtr<IDispatch>& result) {
  result.Reset();
  return Guarded("CDispatcher::CallMethod", [&] {
    CheckTrue(obj != nullptr, E_POINTER);
    Variant value;
    CheckMember(com::CallMethod(obj, name, com::DispParams(args), &value), name);
    result = ObjectOf(value);
  });
}

HRESULT CDispatcher::SetUserProp(IDispatch* item, std::string_view name, std::string_view text,
                                 bool addToFolderFields, bool save) {
  return Guarded("CDispatcher::SetUserProp", [&] {
    return SetUserValue(item, name, Variant(text), kUserPropText, addToFolderFields, save);
  });
}

HRESULT CDispatcher::SetUserFlag(IDispatch* item, std::string_view name, bool value, bool addToFolderFields,
                                 bool save) {
  return Guarded("CDispatcher::SetUserFlag", [&] {
    return SetUserValue(item, name, Variant(value), kUserPropYesNo, addToFolderFields, save);
  });
}

HRESULT CDispatcher::GetUserProp(IDispatch* item, std::string_view name, std::string& out) {
  return Guarded("CDispatcher::GetUserProp", [&] {
    ComPtr<IDispatch> props;
    ComPtr<IDispatch> prop = FindUserProp(item, name, props);
    CheckTrue(static_cast<bool>(prop), E_FAIL);
    Variant value;
    Check(GetProp(prop.Get(), "Value", value));
    std::string text;
    Check(value.ToText(text));
    out = std::move(text);
  });
}

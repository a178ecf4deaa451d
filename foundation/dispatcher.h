#pragma once
// CDispatcher: late-bound access to the Outlook object model, by member name. Every
// Outlook-facing class inherits it. Each call logs Enter/Leave under "CDispatcher::<method>",
// logs a failure with ErrorCode and returns its code (0 for success).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

class CDispatcher {
 public:
  using Variant = com::Variant;

  // Reads a property. E_POINTER for a null object.
  static HRESULT GetProp(IDispatch* obj, std::string_view name, Variant& out);
  // Typed reads: the value converted (DISP_E_TYPEMISMATCH when it cannot be); an object read
  // fails with E_NOINTERFACE when the property holds no object ("Nothing" included), so that
  // callers treat absent objects as failures; on any failure `out` is null.
  static HRESULT GetProp(IDispatch* obj, std::string_view name, com::ComPtr<IDispatch>& out);
  static HRESULT GetProp(IDispatch* obj, std::string_view name, std::string& out);
  static HRESULT GetProp(IDispatch* obj, std::string_view name, std::int32_t& out);
  static HRESULT GetProp(IDispatch* obj, std::string_view name, bool& out);

  // Sets a property; an object value by reference first and by value when that fails.
  static HRESULT PutProp(IDispatch* obj, std::string_view name, const Variant& value);

  // Calls a method with the arguments in the order written; `result` receives its return
  // value when given.
  static HRESULT CallMethod(IDispatch* obj, std::string_view name, const std::vector<Variant>& args = {},
                            Variant* result = nullptr);
  // The result as an object (E_NOINTERFACE when it is none; null on any failure).
  static HRESULT CallMethod(IDispatch* obj, std::string_view name, const std::vector<Variant>& args,
                            com::ComPtr<IDispatch>& result);

  // Finds the item's custom user property (UserProperties.Find(name, True)) or adds it as
  // text (UserProperties.Add(name, 1, addToFolderFields); when that fails with
  // addToFolderFields, again without), sets its Value and, when `save`, calls item.Save.
  static HRESULT SetUserProp(IDispatch* item, std::string_view name, std::string_view text, bool addToFolderFields,
                             bool save);
  // The same for a yes/no property (type 6).
  static HRESULT SetUserFlag(IDispatch* item, std::string_view name, bool value, bool addToFolderFields, bool save);
  // Reads a user property as text ("True"/"False" for yes/no values). E_FAIL when the item has
  // no such property.
  static HRESULT GetUserProp(IDispatch* item, std::string_view name, std::string& out);
};

#pragma once
// The component-category manager over HKEY_CLASSES_ROOT:
//   Component Categories\{catid}             "409" = description
//   CLSID\{guid}\Implemented Categories\{catid}   (a key without values)
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/unknown.h"

namespace com {

HRESULT RegisterCategory(const CATID& catid, std::string_view description);
HRESULT UnregisterCategory(const CATID& catid);
HRESULT RegisterClassImplCategory(const CLSID& clsid, const CATID& catid);
HRESULT UnregisterClassImplCategory(const CLSID& clsid, const CATID& catid);

// Every class under CLSID that implements the category, in registry order. A category that
// no class implements (or that was never registered) gives an empty list and S_OK.
HRESULT EnumClassesOfCategory(const CATID& catid, std::vector<CLSID>& out);

// The class's user-type name (default value of CLSID\{guid}). REGDB_E_CLASSNOTREG when the
// class is not registered, REGDB_E_READREGDB when it has no name.
HRESULT GetUserTypeName(const CLSID& clsid, std::string& out);

}  // namespace com

#include "platform/com/categories.h"

#include "platform/win/registry.h"

namespace com {
namespace {

constexpr win::Hive kClasses = win::Hive::ClassesRoot;

std::string CategoryKey(const CATID& catid) { return "Component Categories\\" + win::GuidToString(catid); }

std::string ImplementedKey(const CLSID& clsid, const CATID& catid) {
  return "CLSID\\" + win::GuidToString(clsid) + "\\Implemented Categories\\" + win::GuidToString(catid);
}

HRESULT DeleteTree(const std::string& path) {
  LONG err = win::RegDeleteTree(kClasses, path);
  return err == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(err);
}

}  // namespace

HRESULT RegisterCategory(const CATID& catid, std::string_view description) {
  win::RegKey key;
  LONG err = win::RegKey::Create(kClasses, CategoryKey(catid), "", key);
  // Descriptions are kept per locale; "409" is the English one.
  if (err == ERROR_SUCCESS) err = key.SetString("409", description);
  return HRESULT_FROM_WIN32(err);
}

HRESULT UnregisterCategory(const CATID& catid) { return DeleteTree(CategoryKey(catid)); }

HRESULT RegisterClassImplCategory(const CLSID& clsid, const CATID& catid) {
  win::RegKey key;
  return HRESULT_FROM_WIN32(win::RegKey::Create(kClasses, ImplementedKey(clsid, catid), "", key));
}

HRESULT UnregisterClassImplCategory(const CLSID& clsid, const CATID& catid) {
  return DeleteTree(ImplementedKey(clsid, catid));
}

HRESULT EnumClassesOfCategory(const CATID& catid, std::vector<CLSID>& out) {
  out.clear();
  win::RegKey classes;
  if (win::RegKey::Open(kClasses, "CLSID", classes) != ERROR_SUCCESS) return S_OK;
  std::vector<std::string> names;
  LONG err = classes.EnumSubkeys(names);
  if (err != ERROR_SUCCESS) return HRESULT_FROM_WIN32(err);
  const std::string implemented = "\\Implemented Categories\\" + win::GuidToString(catid);
  for (const std::string& name : names) {
    auto clsid = win::GuidFromString(name);
    if (!clsid) continue;  // not a class key
    win::RegKey key;
    if (win::RegKey::Open(kClasses, "CLSID\\" + name + implemented, key) == ERROR_SUCCESS) out.push_back(*clsid);
  }
  return S_OK;
}

HRESULT GetUserTypeName(const CLSID& clsid, std::string& out) {
  win::RegKey key;
  if (win::RegKey::Open(kClasses, "CLSID\\" + win::GuidToString(clsid), key) != ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  std::string name;
  if (key.QueryString("", name) != ERROR_SUCCESS || name.empty()) return REGDB_E_READREGDB;
  out = std::move(name);
  return S_OK;
}

}  // namespace com

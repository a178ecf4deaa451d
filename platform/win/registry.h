#pragma once
// The registry stand-in: one file per hive in the text format of registry export files, so
// people can read and edit it. Several processes share the hives: every change is a
// read-modify-write of the whole file under an exclusive lock, landing by atomic rename.
// Key and value names compare without regard to ASCII letter case, as on Windows.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win/hresult.h"

namespace win {

enum class Hive { CurrentUser, ClassesRoot, LocalMachine };

// "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE".
const char* HiveName(Hive hive);
// Splits "HKEY_CURRENT_USER\Software\X" (or "HKCU\...", "/" also separates) into hive and path.
std::optional<std::pair<Hive, std::string>> ParseKeyName(std::string_view fullName);
// The file that holds the hive (in the configuration folder).
std::string HiveFilePath(Hive hive);

constexpr LONG ERROR_KEY_DELETED = 1018;

enum class RegType { String, Dword, Binary };

struct RegValue {
  RegType type = RegType::String;
  std::string text;                  // String
  DWORD number = 0;                  // Dword
  std::vector<std::uint8_t> bytes;   // Binary
};

// An open key. Holds no data: every call reads the hive afresh, so changes of other
// processes are always seen. Key paths use "\" between names, without the hive name.
class RegKey {
 public:
  RegKey() = default;

  // ERROR_FILE_NOT_FOUND when the key does not exist.
  static LONG Open(Hive hive, std::string_view path, RegKey& out);
  // Creates the key and any missing parents; new keys get `keyClass` as class string.
  static LONG Create(Hive hive, std::string_view path, std::string_view keyClass, RegKey& out);

  bool IsOpen() const { return open_; }
  void Close() { open_ = false; }
  Hive GetHive() const { return hive_; }
  const std::string& Path() const { return path_; }

  // An empty name is the key's default value. ERROR_FILE_NOT_FOUND when the value is missing,
  // ERROR_INVALID_DATA when it has another type, ERROR_KEY_DELETED when the key is gone.
  LONG QueryValue(std::string_view name, RegValue& out) const;
  LONG QueryString(std::string_view name, std::string& out) const;
  LONG QueryDword(std::string_view name, DWORD& out) const;
  LONG QueryBinary(std::string_view name, std::vector<std::uint8_t>& out) const;

  LONG SetValue(std::string_view name, const RegValue& value);
  LONG SetString(std::string_view name, std::string_view text);
  LONG SetDword(std::string_view name, DWORD number);
  LONG SetBinary(std::string_view name, const void* data, std::size_t length);
  LONG DeleteValue(std::string_view name);

  LONG GetClass(std::string& out) const;
  // Direct subkey names and the values, in the order they are stored.
  LONG EnumSubkeys(std::vector<std::string>& names) const;
  LONG EnumValues(std::vector<std::pair<std::string, RegValue>>& values) const;

 private:
  Hive hive_ = Hive::CurrentUser;
  std::string path_;
  bool open_ = false;
};

// Deletes the key with all its values and subkeys. ERROR_FILE_NOT_FOUND when missing.
LONG RegDeleteTree(Hive hive, std::string_view path);

// The export text ("Windows Registry Editor Version 5.00" ...) of the key and everything below
// it; an empty path exports the whole hive.
LONG RegExport(Hive hive, std::string_view path, std::string& text);

}  // namespace win

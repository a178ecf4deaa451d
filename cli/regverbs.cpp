// vlr reg: query, add, delete and export registry keys and values, in the manner of the
// platform's own registry tool.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/verbs.h"
#include "platform/win/registry.h"
#include "platform/win/text.h"

namespace {

using win::Hive;
using win::RegKey;
using win::RegType;
using win::RegValue;

constexpr char kRegUsage[] =
    "usage: vlr reg query KEY [NAME]\n"
    "       vlr reg add KEY NAME (--sz TEXT | --dword N | --hex BYTES)\n"
    "       vlr reg delete KEY [NAME]\n"
    "       vlr reg export [KEY]\n"
    "\n"
    "KEY is a full key name such as HKEY_CURRENT_USER\\Software\\Attestra; HKCU, HKCR and HKLM\n"
    "abbreviate the hive names. NAME \"@\" or \"\" is the key's default value.\n"
    "'vlr reg VERB --help' describes a verb.\n";

constexpr char kQueryUsage[] =
    "usage: vlr reg query KEY [NAME]\n"
    "\n"
    "Without NAME, prints the key's values and the names of its subkeys; with NAME, prints that\n"
    "value (\"@\" or \"\" for the default value). Fails with status 1 when the key or value is missing.\n";

constexpr char kAddUsage[] =
    "usage: vlr reg add KEY NAME (--sz TEXT | --dword N | --hex BYTES)\n"
    "\n"
    "Sets a value, creating the key and its missing parents.\n"
    "  --sz TEXT     a string\n"
    "  --dword N     a 32-bit number, decimal or hexadecimal with 0x\n"
    "  --hex BYTES   binary data written as \"01,ab,ff\" or \"01abff\"\n"
    "NAME \"@\" or \"\" is the key's default value; '--' ends the options.\n";

constexpr char kDeleteUsage[] =
    "usage: vlr reg delete KEY [NAME]\n"
    "\n"
    "Without NAME, deletes the key with all its values and subkeys; with NAME, deletes that value\n"
    "(\"@\" or \"\" for the default value). Fails with status 1 when the key or value is missing.\n";

constexpr char kExportUsage[] =
    "usage: vlr reg export [KEY]\n"
    "\n"
    "Prints the key and everything below it as registry export text. KEY may be a hive alone\n"
    "(HKEY_CLASSES_ROOT); without KEY the whole HKEY_CURRENT_USER hive is printed.\n";

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int UsageError(const char* verb, const std::string& message, const char* usage) {
  std::fprintf(stderr, "vlr reg%s%s: %s\n\n%s", *verb ? " " : "", verb, message.c_str(), usage);
  return kExitUsage;
}

int Failure(const char* verb, const std::string& message) {
  std::fprintf(stderr, "vlr reg %s: %s\n", verb, message.c_str());
  return kExitFailure;
}

std::string ErrorText(LONG err) {
  switch (err) {
    case ERROR_ACCESS_DENIED: return "access denied (the hive file cannot be read or written)";
    case win::ERROR_KEY_DELETED: return "the key was deleted meanwhile";
    case ERROR_INVALID_PARAMETER: return "invalid key name";
    case ERROR_READ_FAULT: return "the hive file cannot be read";
    case ERROR_WRITE_FAULT: return "the hive file cannot be written";
    default: return "error " + std::to_string(err);
  }
}

// The arguments of a sub-verb: positional words and --option values.
struct Parsed {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> options;
  bool help = false;
  std::string error;
};

// `valued` lists the options that take a value; any other word starting with "-" is an error
// until "--", after which everything is a word.
Parsed ParseArgs(const Args& args, std::size_t from, std::initializer_list<std::string_view> valued) {
  Parsed parsed;
  bool optionsEnd = false;
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      parsed.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (IsHelp(arg)) {
      parsed.help = true;
      continue;
    }
    std::string name = arg, value;
    bool inlineValue = false;
    if (std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    bool known = false;
    for (std::string_view option : valued) known = known || name == option;
    if (!known) {
      if (parsed.error.empty()) parsed.error = "unknown option '" + arg + "'";
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        if (parsed.error.empty()) parsed.error = "option " + name + " needs a value";
        continue;
      }
      value = args[++i];
    }
    parsed.options.emplace_back(name, value);
  }
  return parsed;
}

struct KeyName {
  Hive hive = Hive::CurrentUser;
  std::string path;
  std::string display;  // the full name as printed
};

bool ParseKey(const std::string& text, KeyName& key) {
  auto parsed = win::ParseKeyName(text);
  if (!parsed) return false;
  key.hive = parsed->first;
  key.path = parsed->second;
  key.display = win::HiveName(key.hive);
  if (!key.path.empty()) key.display += "\\" + key.path;
  return true;
}

std::string BadKeyMessage(const std::string& text) {
  return "'" + text + "' is not a key name (it starts with HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
         "HKEY_LOCAL_MACHINE, HKCU, HKCR or HKLM)";
}

// "@" stands for the default value, whose name is empty.
std::string ValueName(const std::string& word) { return word == "@" ? std::string() : word; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal, or hexadecimal after "0x"; nothing else (no sign, no blanks).
bool ParseDword(const std::string& text, DWORD& out) {
  std::string_view digits = text;
  unsigned base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return false;
  std::uint64_t value = 0;
  for (char c : digits) {
    int d = HexValue(c);
    if (d < 0 || static_cast<unsigned>(d) >= base) return false;
    value = value * base + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFu) return false;
  }
  out = static_cast<DWORD>(value);
  return true;
}

// "01,ab,ff" (items of one or two digits) or "01abff" (pairs of digits).
bool ParseBytes(const std::string& text, std::vector<std::uint8_t>& out) {
  out.clear();
  if (text.empty()) return true;
  if (text.find(',') != std::string::npos) {
    std::size_t start = 0;
    while (true) {
      std::size_t comma = text.find(',', start);
      std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (item.empty() || item.size() > 2) return false;
      int value = 0;
      for (char c : item) {
        int d = HexValue(c);
        if (d < 0) return false;
        value = value * 16 + d;
      }
      out.push_back(static_cast<std::uint8_t>(value));
      if (comma == std::string::npos) return true;
      start = comma + 1;
    }
  }
  if (text.size() % 2) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = HexValue(text[i]), low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

void PrintValue(const std::string& name, const RegValue& value) {
  std::string line = "    " + (name.empty() ? std::string("(Default)") : name) + "    ";
  switch (value.type) {
    case RegType::String:
      line += "REG_SZ    " + value.text;
      break;
    case RegType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(value.number));
      line += "REG_DWORD    ";
      line += buf;
      break;
    }
    case RegType::Binary: {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      line += "REG_BINARY    ";
      for (std::uint8_t b : value.bytes) {
        line += kDigits[b >> 4];
        line += kDigits[b & 15];
      }
      break;
    }
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

int OpenKey(const char* verb, const KeyName& name, RegKey& key) {
  LONG err = RegKey::Open(name.hive, name.path, key);
  if (err == ERROR_FILE_NOT_FOUND) return Failure(verb, "key not found: " + name.display);
  if (err) return Failure(verb, name.display + ": " + ErrorText(err));
  return kExitOk;
}

int Query(const Args& args) {
  Parsed p = ParseArgs(args, 1, {});
  if (p.help) return std::fputs(kQueryUsage, stdout), kExitOk;
  if (!p.error.empty()) return UsageError("query", p.error, kQueryUsage);
  if (p.words.empty() || p.words.size() > 2) return UsageError("query", "expected KEY [NAME]", kQueryUsage);
  KeyName name;
  if (!ParseKey(p.words[0], name)) return UsageError("query", BadKeyMessage(p.words[0]), kQueryUsage);
  RegKey key;
  if (int status = OpenKey("query", name, key)) return status;

  std::vector<std::pair<std::string, RegValue>> values;
  if (p.words.size() == 2) {
    // Listed rather than queried, to print the name as stored.
    std::string valueName = ValueName(p.words[1]);
    LONG err = key.EnumValues(values);
    if (err) return Failure("query", name.display + ": " + ErrorText(err));
    for (const auto& [storedName, value] : values) {
      if (!win::EqualsNoCase(storedName, valueName)) continue;
      std::printf("%s\n", name.display.c_str());
      PrintValue(storedName, value);
      return kExitOk;
    }
    return Failure("query", "value not found: " + (valueName.empty() ? std::string("(Default)") : valueName) +
                                " in " + name.display);
  }

  std::vector<std::string> subkeys;
  LONG err = key.EnumValues(values);
  if (!err) err = key.EnumSubkeys(subkeys);
  if (err) return Failure("query", name.display + ": " + ErrorText(err));
  std::printf("%s\n", name.display.c_str());
  for (const auto& [valueName, value] : values) PrintValue(valueName, value);
  if (!subkeys.empty()) std::printf("\n");
  for (const std::string& subkey : subkeys) std::printf("%s\\%s\n", name.display.c_str(), subkey.c_str());
  return kExitOk;
}

int Add(const Args& args) {
  Parsed p = ParseArgs(args, 1, {"--sz", "--dword", "--hex"});
  if (p.help) return std::fputs(kAddUsage, stdout), kExitOk;
  if (!p.error.empty()) return UsageError("add", p.error, kAddUsage);
  if (p.words.size() != 2) return UsageError("add", "expected KEY NAME and one of --sz, --dword, --hex", kAddUsage);
  if (p.options.size() != 1)
    return UsageError("add", p.options.empty() ? "give the value with --sz, --dword or --hex"
                                               : "give only one of --sz, --dword, --hex",
                      kAddUsage);
  KeyName name;
  if (!ParseKey(p.words[0], name)) return UsageError("add", BadKeyMessage(p.words[0]), kAddUsage);

  const auto& [option, text] = p.options.front();
  RegValue value;
  if (option == "--sz") {
    value.type = RegType::String;
    value.text = text;
  } else if (option == "--dword") {
    value.type = RegType::Dword;
    if (!ParseDword(text, value.number))
      return UsageError("add", "'" + text + "' is not a 32-bit number (decimal, or hexadecimal with 0x)", kAddUsage);
  } else {
    value.type = RegType::Binary;
    if (!ParseBytes(text, value.bytes))
      return UsageError("add", "'" + text + "' is not hexadecimal bytes like 01,ab,ff or 01abff", kAddUsage);
  }

  RegKey key;
  LONG err = RegKey::Create(name.hive, name.path, {}, key);
  if (!err) err = key.SetValue(ValueName(p.words[1]), value);
  if (err) return Failure("add", name.display + ": " + ErrorText(err));
  return kExitOk;
}

int Delete(const Args& args) {
  Parsed p = ParseArgs(args, 1, {});
  if (p.help) return std::fputs(kDeleteUsage, stdout), kExitOk;
  if (!p.error.empty()) return UsageError("delete", p.error, kDeleteUsage);
  if (p.words.empty() || p.words.size() > 2) return UsageError("delete", "expected KEY [NAME]", kDeleteUsage);
  KeyName name;
  if (!ParseKey(p.words[0], name)) return UsageError("delete", BadKeyMessage(p.words[0]), kDeleteUsage);

  if (p.words.size() == 1) {
    // Emptying a whole hive is never what a typo should do.
    if (name.path.empty()) return UsageError("delete", "will not delete the whole hive " + name.display, kDeleteUsage);
    LONG err = win::RegDeleteTree(name.hive, name.path);
    if (err == ERROR_FILE_NOT_FOUND) return Failure("delete", "key not found: " + name.display);
    if (err) return Failure("delete", name.display + ": " + ErrorText(err));
    return kExitOk;
  }

  RegKey key;
  if (int status = OpenKey("delete", name, key)) return status;
  std::string valueName = ValueName(p.words[1]);
  LONG err = key.DeleteValue(valueName);
  if (err == ERROR_FILE_NOT_FOUND)
    return Failure("delete", "value not found: " + (valueName.empty() ? std::string("(Default)") : valueName) +
                                 " in " + name.display);
  if (err) return Failure("delete", name.display + ": " + ErrorText(err));
  return kExitOk;
}

int Export(const Args& args) {
  Parsed p = ParseArgs(args, 1, {});
  if (p.help) return std::fputs(kExportUsage, stdout), kExitOk;
  if (!p.error.empty()) return UsageError("export", p.error, kExportUsage);
  if (p.words.size() > 1) return UsageError("export", "expected at most one KEY", kExportUsage);
  KeyName name;
  name.display = win::HiveName(Hive::CurrentUser);
  if (!p.words.empty() && !ParseKey(p.words[0], name))
    return UsageError("export", BadKeyMessage(p.words[0]), kExportUsage);
  std::string text;
  LONG err = win::RegExport(name.hive, name.path, text);
  if (err == ERROR_FILE_NOT_FOUND) return Failure("export", "key not found: " + name.display);
  if (err) return Failure("export", name.display + ": " + ErrorText(err));
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitOk;
}

}  // namespace

int RunRegVerb(const Args& args) {
  if (args.empty()) return UsageError("", "missing sub-verb", kRegUsage);
  const std::string& verb = args[0];
  if (IsHelp(verb) || verb == "help") return std::fputs(kRegUsage, stdout), kExitOk;
  if (verb == "query") return Query(args);
  if (verb == "add") return Add(args);
  if (verb == "delete") return Delete(args);
  if (verb == "export") return Export(args);
  return UsageError("", "unknown sub-verb '" + verb + "'", kRegUsage);
}

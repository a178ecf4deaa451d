// vlr config: list, get and set the settings of the settings key and its "Advanced" subkey.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/verbs.h"
#include "foundation/config.h"
#include "foundation/settingnames.h"
#include "platform/win/registry.h"
#include "transport/servicenames.h"

namespace {

const char* const kHelp =
    "usage: vlr config list\n"
    "       vlr config get NAME\n"
    "       vlr config set NAME VALUE\n"
    "\n"
    "Settings live in HKEY_CURRENT_USER\\Software\\Attestra\\Attestra for Outlook (LogXML, Diagnose\n"
    "and Flags in its Advanced subkey). A setting missing there comes from vlrDefaults.xml beside\n"
    "the programs, else from its built-in default. 'list' shows each value and where it came from.\n"
    "Integer settings take integers; Credentials is set by 'vlr login --remember'.\n";

struct Effective {
  std::string value;
  const char* source = "none";
};

std::string Describe(const win::RegValue& v) {
  switch (v.type) {
    case win::RegType::String: return v.text;
    case win::RegType::Dword: return std::to_string(static_cast<std::int32_t>(v.number));
    case win::RegType::Binary: return "(" + std::to_string(v.bytes.size()) + " bytes)";
  }
  return {};
}

std::string BuiltIn(const setting::Info& info) {
  if (info.name == std::string(setting::Host)) return attestra::kProductionHost;
  if (info.name == std::string(setting::BlueprintFolder)) {
    CConfig config;
    std::string folder;
    config.GetBlueprintFolder(folder);
    return folder;
  }
  return info.builtIn ? info.builtIn : "";
}

// Reads a setting the way its getter does, and says where the value came from.
Effective Lookup(CConfig& config, const setting::Info& info) {
  Effective e;
  std::string path = config.KeyPath();
  if (info.lookup == setting::Lookup::Advanced) path += std::string("\\") + setting::AdvancedKey;
  win::RegKey key;
  win::RegValue stored;
  if (win::RegKey::Open(win::Hive::CurrentUser, path, key) == ERROR_SUCCESS &&
      key.QueryValue(info.name, stored) == ERROR_SUCCESS) {
    const bool typeFits = info.kind == setting::Kind::Text   ? stored.type == win::RegType::String
                          : info.kind == setting::Kind::Binary ? stored.type == win::RegType::Binary
                                                               : stored.type == win::RegType::Dword;
    if (typeFits) {
      e.value = info.kind == setting::Kind::Binary ? "(set, " + std::to_string(stored.bytes.size()) + " bytes)"
                                                   : Describe(stored);
      e.source = "registry";
    }
  }
  if (e.source == std::string("none") && info.lookup == setting::Lookup::KeyAndDefaults) {
    std::string text;
    if (config.GetDefaultValue(info.name, text) == S_OK) {
      e.value = text;
      if (info.kind != setting::Kind::Text) {
        long n = 0;
        config.GetDefaultValue(info.name, n);
        e.value = std::to_string(n);
      }
      e.source = "vlrDefaults";
    }
  }
  if (e.source == std::string("none") && (info.builtIn || info.name == std::string(setting::Host) ||
                                          info.name == std::string(setting::BlueprintFolder))) {
    e.value = BuiltIn(info);
    e.source = "built-in";
  }
  // The getters' own readings of out-of-range values.
  if (info.kind == setting::Kind::Switch && e.source != std::string("none"))
    e.value = std::atol(e.value.c_str()) != 0 ? "1" : "0";
  if (info.name == std::string(setting::SyncDirection)) e.value = std::to_string(config.GetSyncDirection());
  if (info.name == std::string(setting::DocSrc)) e.value = std::to_string(config.GetDocSrc());
  return e;
}

bool ParseInteger(const std::string& text, long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (errno || *end || v < INT32_MIN || v > UINT32_MAX) return false;
  out = static_cast<long>(v);
  return true;
}

const setting::Info* FindOrComplain(const std::string& name) {
  const setting::Info* info = setting::Find(name.c_str());
  if (!info) std::fprintf(stderr, "vlr config: unknown setting '%s' (see 'vlr config list')\n", name.c_str());
  return info;
}

int List() {
  CConfig config;
  std::printf("%-20s %-12s %s\n", "NAME", "SOURCE", "VALUE");
  for (const setting::Info& info : setting::All()) {
    const Effective e = Lookup(config, info);
    std::string name = info.lookup == setting::Lookup::Advanced ? std::string("Advanced\\") + info.name : info.name;
    std::printf("%-20s %-12s %s\n", name.c_str(), e.source, e.value.c_str());
  }
  return kExitOk;
}

int Get(const std::string& name) {
  const setting::Info* info = FindOrComplain(name);
  if (!info) return kExitUsage;
  CConfig config;
  const Effective e = Lookup(config, *info);
  if (e.source == std::string("none")) {
    std::fprintf(stderr, "vlr config: %s is not set\n", info->name);
    return kExitFailure;
  }
  std::printf("%s\n", e.value.c_str());
  return kExitOk;
}

int Set(const std::string& name, const std::string& value) {
  const setting::Info* info = FindOrComplain(name);
  if (!info) return kExitUsage;
  if (info->kind == setting::Kind::Binary) {
    std::fprintf(stderr, "vlr config: %s cannot be set here (use 'vlr login --remember')\n", info->name);
    return kExitUsage;
  }
  long number = 0;
  if (info->kind != setting::Kind::Text && !ParseInteger(value, number)) {
    std::fprintf(stderr, "vlr config: %s takes an integer, not '%s'\n", info->name, value.c_str());
    return kExitUsage;
  }
  CConfig config;
  std::string path = config.KeyPath();
  if (info->lookup == setting::Lookup::Advanced) path += std::string("\\") + setting::AdvancedKey;
  win::RegKey key;
  LONG err = win::RegKey::Create(win::Hive::CurrentUser, path, "Application Global Data", key);
  if (err == ERROR_SUCCESS)
    err = info->kind == setting::Kind::Text ? key.SetString(info->name, value)
                                            : key.SetDword(info->name, static_cast<DWORD>(number));
  if (err != ERROR_SUCCESS) {
    std::fprintf(stderr, "vlr config: cannot write %s (error %d)\n", info->name, err);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int RunConfigVerb(const Args& args) {
  if (args.empty()) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  const std::string& sub = args[0];
  if (sub == "list" && args.size() == 1) return List();
  if (sub == "get" && args.size() == 2) return Get(args[1]);
  if (sub == "set" && args.size() == 3) return Set(args[1], args[2]);
  std::fprintf(stderr, "vlr config: bad arguments\n%s", kHelp);
  return kExitUsage;
}

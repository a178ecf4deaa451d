#include "model/bluepers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "foundation/config.h"
#include "foundation/guard.h"

namespace {

bool HasXmlExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".xml";
}

// The blueprint files of the folder, in name order regardless of case (as a folder listing
// shows them).
std::vector<std::string> BlueprintFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (HasXmlExtension(name) && entry.is_regular_file(ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
          return std::tolower(x) < std::tolower(y);
        });
  });
  return names;
}

// The file's last-write time as a Windows file time: 100-nanosecond ticks since 1601.
FileTimeWords LastWriteTime(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  constexpr std::uint64_t kEpochGap = 11644473600ULL;  // seconds from 1601 to 1970
  const std::uint64_t ticks = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + kEpochGap) *
                                  10000000ULL +
                              static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
  return FileTimeWords::FromTicks(ticks);
}

// One role per signer with a role name, carrying the signer's anchors.
void AddSignerRoles(CBlueprint& blueprint) {
  for (const CRecip& signer : blueprint.Recipients) {
    if (signer.RoleName.empty()) continue;
    auto role = signer.Role ? signer.Role->Clone() : std::make_unique<CRole>();
    role->RoleName = signer.RoleName;
    role->RoleTitle = signer.RoleName;
    role->Type = signer.Type;
    role->ID = std::to_string(signer.ID);
    blueprint.Roles.Append(std::move(role));
  }
}

bool HasDocumentKey(const CBlueprint& blueprint, std::string_view key) {
  return blueprint.Documents.FindIf([key](const CeDoc& doc) { return doc.Key == key; }) !=
         nullptr;
}

}  // namespace

CBluepers::CBluepers() = default;

CBluepers::~CBluepers() = default;

bool CBluepers::LoadFolder(const std::string& folder) {
  LogBlock block("CBluepers::LoadFolder");
  Blueprints.Clear();
  FailedPath.clear();
  FailedCode = S_OK;
  Folder = folder;
  if (Folder.empty()) {
    const HRESULT hr = CConfig().GetBlueprintFolder(Folder);
    if (FAILED(hr)) {
      DiagLog().ErrorCode("CBluepers::LoadFolder", hr);
      FailedCode = hr;
      return false;
    }
  }
  for (const std::string& name : BlueprintFiles(Folder)) {
    auto blueprint = std::make_unique<CBlueprint>();
    const std::string path = Folder + "/" + name;
    blueprint->Path = path;
    const HRESULT hr = blueprint->Load(path);
    if (FAILED(hr)) {
      // One unreadable file ends the walk; those read before it stay.
      FailedPath = path;
      FailedCode = hr;
      return false;
    }
    AddSignerRoles(*blueprint);
    blueprint->FileTime = LastWriteTime(path);
    Blueprints.Append(std::move(blueprint));
  }
  return !Blueprints.empty();
}

int CBluepers::FindApplicable(const CTransaction& transaction, std::string_view requiredKey,
                              std::string_view excludedKey, const ApplicableCallback& callback) {
  LogBlock block("CBluepers::FindApplicable");
  int count = 0;
  for (CBlueprint& blueprint : Blueprints) {
    // Without documents a blueprint cannot be applied at all.
    blueprint.Applicable = 0;
    if (blueprint.Documents.empty()) continue;
    if (!requiredKey.empty()) {
      if (!HasDocumentKey(blueprint, requiredKey)) continue;
    } else if (!excludedKey.empty() && HasDocumentKey(blueprint, excludedKey)) {
      continue;
    }
    CBlueprint scratch;
    if (FAILED(scratch.Assign(transaction)) || FAILED(blueprint.ApplyTo(scratch))) continue;
    blueprint.Applicable = 1;
    if (callback) callback(blueprint);
    ++count;
  }
  return count;
}

CBlueprint* CBluepers::Find(std::string_view name) {
  return Blueprints.FindIf([name](const CBlueprint& blueprint) { return blueprint.Name == name; });
}

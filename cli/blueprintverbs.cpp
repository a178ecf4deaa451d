// vlr blueprint: list the blueprint library, show one blueprint, check a blueprint file.
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/verbs.h"
#include "model/bluepers.h"
#include "model/blueprint.h"

namespace {

const char* const kHelp =
    "usage: vlr blueprint list\n"
    "       vlr blueprint show NAME|PATH\n"
    "       vlr blueprint check PATH\n"
    "\n"
    "Blueprints are the XML files of the folder named by the BlueprintFolder setting.\n"
    "'list' prints one line per blueprint of that folder: its name, its number of documents\n"
    "and its number of signers, separated by tabs. The folder is read in name order, and a\n"
    "file that cannot be read ends it, as it does in Outlook.\n"
    "'show' prints one blueprint in readable form, found by its name in the folder or read\n"
    "from a path. 'check' reads a file and tells what it holds or why it cannot be read.\n"
    "Exit status: 0 done, 1 a blueprint cannot be read or found, 2 wrong usage.\n";

int Usage() {
  std::fputs(kHelp, stderr);
  return kExitUsage;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// What a failed read says about itself.
std::string Reason(const CBlueprint& bp, HRESULT hr) {
  const CSAXError& error = bp.LoadError();
  std::string reason = error.message.empty() ? "unreadable" : error.message;
  if (error.line > 0) reason += " (line " + std::to_string(error.line) + ")";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return reason + " [" + code + "]";
}

// The size of the document a Base64 file holds, without decoding it.
std::uint64_t DecodedSize(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!in) return 0;
  std::uint64_t symbols = 0, padding = 0;
  char block[4096];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, in.get())) > 0) {
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(block[i]);
      if (c == '=') ++padding;
      if (std::isalnum(c) || c == '+' || c == '/') ++symbols;
    }
  }
  const std::uint64_t total = (symbols + padding) / 4 * 3;
  return total > padding ? total - padding : 0;
}

std::string Person(const CRecip& signer) {
  std::string text = signer.Name.empty() ? "(no name)" : signer.Name;
  if (!signer.Email.empty()) text += " <" + signer.Email + ">";
  return text;
}

const char* PositioningText(std::int32_t positioning) {
  switch (positioning) {
    case CBlueprint::kPositionBySigners: return "let the signers decide";
    case CBlueprint::kPositionInBrowser: return "launch my browser";
    case CBlueprint::kPositionByAnchors: return "use the anchor tags below";
  }
  return "unknown";
}

void Line(const char* label, const std::string& value) {
  // Continuation lines of a long text line up under the first.
  std::string text;
  for (char c : value) {
    if (c == '\r') continue;
    text += c;
    if (c == '\n') text += "                     ";
  }
  std::printf("%-20s %s\n", label, text.c_str());
}

void ShowDocuments(const CBlueprint& bp) {
  std::printf("\nDocuments (%zu):\n", bp.Documents.size());
  int n = 0;
  for (const CeDoc& doc : bp.Documents) {
    std::printf("  %d. %s\n", ++n, doc.Name.c_str());
    if (doc.Source == CeDoc::kSourceEmbedded)
      std::printf("     embedded, %llu bytes (from %s)\n",
                  static_cast<unsigned long long>(DecodedSize(doc.FilePath)), doc.Key.c_str());
    else if (doc.Source == CeDoc::kSourceNamed)
      std::printf("     the mail's attachment of that name\n");
    else
      std::printf("     key %s\n", doc.Key.c_str());
    for (const CKeywordValue& field : doc.Fields)
      std::printf("     form field \"%s\", filled in by %s\n", field.Keyword.c_str(),
                  field.Value.empty() ? "nobody" : field.Value.c_str());
  }
}

void ShowSigners(const CBlueprint& bp) {
  std::printf("\nSigners (%zu):\n", bp.Recipients.size());
  int n = 0;
  for (const CRecip& signer : bp.Recipients) {
    std::printf("  %d. %s\n", ++n, Person(signer).c_str());
    std::string about = "role " + (signer.RoleName.empty() ? std::string("(none)") : signer.RoleName) +
                        ", " + signer.Type;
    if (signer.Sequence >= 0) about += ", sequence " + std::to_string(signer.Sequence);
    if (signer.Sender) about += ", the sending user";
    if (signer.HardCoded) about += ", always this person";
    std::printf("     %s\n", about.c_str());
    if (!signer.Role || !signer.Role->UseAnchors) continue;
    std::string anchors;
    for (const CAnchor& slot : signer.Role->Anchors) {
      if (!slot.Present) continue;
      if (!anchors.empty()) anchors += ", ";
      anchors += slot.Type + " \"" + slot.Text + "\"";
    }
    std::printf("     anchors (label %s): %s\n",
                signer.Role->AnchorLabel.empty() ? "none" : signer.Role->AnchorLabel.c_str(),
                anchors.c_str());
  }
}

void Show(const CBlueprint& bp) {
  Line("Name:", bp.Name);
  if (!bp.Description.empty()) Line("Description:", bp.Description);
  Line("File:", bp.Path);
  Line("Subject:", bp.Subject);
  if (!bp.Message.empty()) Line("Message:", bp.Message);
  Line("Mode:", bp.SendMode == CBlueprint::kModeBroadcast ? "broadcast" : "normal");
  Line("Positioning:", PositioningText(bp.Positioning));
  Line("Anchor syntax:", bp.Syntax);
  Line("Signing order:", bp.SequenceSignatures ? "in sequence" : "any order");
  Line("Expires:", bp.ExpiresIn ? "after " + std::to_string(bp.ExpiresIn) + " days, warning " +
                                      std::to_string(bp.WarnIn) + " days before"
                                : std::string("never"));
  Line("Reminders:", bp.RemindIn ? "after " + std::to_string(bp.RemindIn) + " days, then every " +
                                       std::to_string(bp.RemindFreq) + " days"
                                 : std::string("none"));
  ShowDocuments(bp);
  ShowSigners(bp);
}

int List(const Args& args) {
  if (args.size() != 1) return Usage();
  CBluepers library;
  library.LoadFolder();
  if (library.Folder.empty()) {
    std::fprintf(stderr, "vlr blueprint: the blueprint folder cannot be had\n");
    return kExitFailure;
  }
  for (const CBlueprint& bp : library.Blueprints)
    std::printf("%s\t%zu\t%zu\n", bp.Name.c_str(), bp.Documents.size(), bp.Recipients.size());
  if (library.FailedPath.empty()) return kExitOk;
  CBlueprint broken;
  const HRESULT hr = broken.Load(library.FailedPath);
  std::fprintf(stderr, "vlr blueprint: %s: cannot be read: %s; the files after it were not read\n",
               library.FailedPath.c_str(), Reason(broken, hr).c_str());
  return kExitFailure;
}

int ShowVerb(const Args& args) {
  if (args.size() != 2) return Usage();
  const std::string& wanted = args[1];
  std::string path;
  if (wanted.find('/') != std::string::npos || IsFile(wanted)) {
    path = wanted;
  } else {
    CBluepers library;
    library.LoadFolder();
    const std::string named = library.Folder + "/" + wanted + ".xml";
    if (IsFile(named)) {
      path = named;
    } else if (const CBlueprint* found = library.Find(wanted)) {
      path = found->Path;
    } else {
      std::fprintf(stderr, "vlr blueprint: no blueprint named '%s' in %s\n", wanted.c_str(),
                   library.Folder.c_str());
      return kExitFailure;
    }
  }
  CBlueprint bp;
  const HRESULT hr = bp.Load(path);
  if (FAILED(hr)) {
    std::fprintf(stderr, "vlr blueprint: %s: cannot be read: %s\n", path.c_str(),
                 Reason(bp, hr).c_str());
    return kExitFailure;
  }
  Show(bp);
  return kExitOk;
}

int Check(const Args& args) {
  if (args.size() != 2) return Usage();
  const std::string& path = args[1];
  CBlueprint bp;
  const HRESULT hr = bp.Load(path);
  if (FAILED(hr)) {
    std::fprintf(stderr, "%s: cannot be read: %s\n", path.c_str(), Reason(bp, hr).c_str());
    return kExitFailure;
  }
  std::size_t embedded = 0, fields = 0, anchors = 0;
  for (const CeDoc& doc : bp.Documents) {
    if (doc.Source == CeDoc::kSourceEmbedded) ++embedded;
    fields += doc.Fields.size();
  }
  for (const CRecip& signer : bp.Recipients)
    if (signer.Role)
      for (const CAnchor& slot : signer.Role->Anchors) anchors += slot.Present ? 1 : 0;
  std::printf("%s: blueprint \"%s\": %zu documents (%zu embedded, %zu form fields), "
              "%zu signers, %zu anchors\n",
              path.c_str(), bp.Name.c_str(), bp.Documents.size(), embedded, fields,
              bp.Recipients.size(), anchors);
  return kExitOk;
}

}  // namespace

int RunBlueprintVerb(const Args& args) {
  if (args.empty()) return Usage();
  const std::string& what = args[0];
  if (what == "--help" || what == "-h" || what == "help") {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (what == "list") return List(args);
  if (what == "show") return ShowVerb(args);
  if (what == "check") return Check(args);
  std::fprintf(stderr, "vlr blueprint: unknown command '%s'\n", what.c_str());
  return Usage();
}

#include "model/blueprint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "foundation/base64.h"
#include "foundation/config.h"
#include "foundation/guard.h"
#include "model/anchor.h"

namespace {

// Every text goes through the one escaping rule, so the file is pure 7-bit and its ISO-8859-1
// declaration stays true whatever the texts hold. A carriage return is kept as a reference:
// written raw it would come back as a line feed.
std::string Escaped(std::string_view text) {
  const std::string escaped = XmlEscape(text);
  std::string out;
  out.reserve(escaped.size());
  for (char c : escaped) {
    if (c == '\r')
      out += "&#13;";
    else
      out += c;
  }
  return out;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A blueprint's name becomes its file name, so it must not lead out of the folder.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// Writes the file; any failed write raises E_FAIL.
class FileWriter {
 public:
  explicit FileWriter(std::FILE* file) : file_(file) {}

  void Raw(std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
      Raise(E_FAIL);
  }
  void Element(std::string_view name, std::string_view value, bool omitWhenEmpty = false) {
    if (value.empty() && omitWhenEmpty) return;
    std::string line;
    line.reserve(name.size() * 2 + value.size() + 8);
    line.append("<").append(name).append(">");
    line += Escaped(value);
    line.append("</").append(name).append(">\n");
    Raw(line);
  }
  void Number(std::string_view name, std::int32_t value) {
    Element(name, std::to_string(value));
  }
  // Copies a file's bytes in blocks, so a large document never sits in memory.
  void CopyFrom(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"),
                                                        &std::fclose);
    if (!in) Raise(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    char block[512];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, in.get())) > 0) Raw({block, n});
    if (std::ferror(in.get())) Raise(HRESULT_FROM_WIN32(ERROR_READ_FAULT));
  }

 private:
  std::FILE* file_;
};

// The Base64 text of an embedded document: the file its key names, encoded now, or else the
// text read with the blueprint (a blueprint received from someone else names files of theirs).
std::string EmbeddedText(const CBlueprint& blueprint, const CeDoc& document, TempFile& encoded) {
  if (IsRegularFile(document.Key)) {
    if (encoded.Make() != 0) Raise(E_FAIL);
    File64Coder coder;
    if (!coder.EncodeFile(document.Key, encoded.Path())) Raise(E_FAIL);
    return encoded.Path();
  }
  if (blueprint.DocFiles().Holds(document.FilePath) && IsRegularFile(document.FilePath))
    return document.FilePath;
  DiagLog().CommentText("Embedded document not found: %s", document.Key.c_str());
  Raise(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

void WriteDocuments(FileWriter& out, const CBlueprint& blueprint) {
  out.Raw("<Documents>");
  for (const CeDoc& document : blueprint.Documents) {
    out.Raw("<Document>");
    out.Element("Key", document.Key);
    out.Element("Name", document.Name);
    out.Raw("<Fields>");
    for (const CKeywordValue& field : document.Fields) {
      out.Raw("<Field>");
      out.Element("Name", field.Keyword);
      out.Element("SetBy", field.Value);
      out.Raw("</Field>");
    }
    out.Raw("</Fields>");
    if (document.Source == CeDoc::kSourceEmbedded) {
      TempFile encoded;
      const std::string text = EmbeddedText(blueprint, document, encoded);
      out.Raw("<FileBytes>");
      out.CopyFrom(text);
      out.Raw("</FileBytes>");
    }
    out.Raw("</Document>");
  }
  out.Raw("</Documents>");
}

void WriteOptions(FileWriter& out, const CBlueprint& blueprint) {
  out.Raw("<Options>");
  out.Number("SendMode", blueprint.SendMode);
  out.Number("Order", blueprint.Order);
  out.Number("Positioning", blueprint.Positioning);
  out.Number("ExpiresIn", blueprint.ExpiresIn);
  out.Number("WarnIn", blueprint.WarnIn);
  out.Number("RemindIn", blueprint.RemindIn);
  out.Number("RemindFreq", blueprint.RemindFreq);
  out.Element("Syntax", blueprint.Syntax);
  out.Number("SequenceSignatures", blueprint.SequenceSignatures);
  out.Raw("</Options>");
  out.Raw("<Email>");
  out.Element("Subject", blueprint.Subject);
  out.Element("Message", blueprint.Message, true);
  out.Raw("</Email>");
}

void WriteAnchors(FileWriter& out, const CRole& role) {
  out.Element("AnchorLabel", role.AnchorLabel);
  out.Raw("<Anchors>");
  for (const CAnchor& slot : role.Anchors) {
    if (!slot.Present) continue;
    out.Raw("<Anchor>");
    out.Element("Type", slot.Type);
    out.Number("Index", slot.Index);
    out.Element("Text", slot.Text);
    out.Element("XOffset", slot.XOffset);
    out.Element("YOffset", slot.YOffset);
    out.Element("Units", slot.Units);
    out.Raw("</Anchor>");
  }
  out.Raw("</Anchors>");
}

void WriteSigners(FileWriter& out, const CBlueprint& blueprint) {
  out.Raw("<Signers>");
  std::int32_t number = 0;
  for (const CRecip& signer : blueprint.Recipients) {
    if (signer.Excluded) continue;
    out.Raw("<Signer>");
    out.Element("Name", signer.Name);
    out.Element("Email", signer.Email);
    out.Number("ID", ++number);
    out.Element("Role", signer.RoleName);
    out.Number("Sequence", signer.Sequence);
    out.Number("Sender", signer.Sender);
    out.Number("HardCoded", signer.HardCoded);
    out.Element("Mode", signer.Type);
    if (signer.Role) WriteAnchors(out, *signer.Role);
    out.Raw("</Signer>");
  }
  out.Raw("</Signers>");
}

void WriteBlueprint(FileWriter& out, const CBlueprint& blueprint) {
  out.Raw("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
  out.Raw("<vlrBlueprint>");
  out.Element("Name", blueprint.Name);
  out.Element("Description", blueprint.Description, true);
  WriteDocuments(out, blueprint);
  WriteOptions(out, blueprint);
  WriteSigners(out, blueprint);
  out.Raw("</vlrBlueprint>");
}

// The file is written beside its final place and renamed over it at the end, so a failure
// never leaves a half-written blueprint where a good one was.
HRESULT WriteFileAtomically(const std::string& path, const CBlueprint& blueprint) {
  static std::atomic<unsigned> counter{0};
  const std::string partial =
      path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return E_ACCESSDENIED;
  TempFile cleanup(partial);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    ::close(fd);
    return E_FAIL;
  }
  HRESULT hr = S_OK;
  try {
    FileWriter out(file);
    WriteBlueprint(out, blueprint);
    if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) hr = E_FAIL;
  } catch (const HrFailure& failure) {
    hr = failure.code;
  }
  if (std::fclose(file) != 0 && SUCCEEDED(hr)) hr = E_FAIL;
  if (FAILED(hr)) return hr;
  if (std::rename(partial.c_str(), path.c_str()) != 0) return E_ACCESSDENIED;
  cleanup.Release();
  return S_OK;
}

std::vector<std::string> SplitChoices(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The document files of a transaction read from a file (a blueprint or a template).
const CDocFiles* DocFilesOf(const CTransaction& transaction) {
  auto* loaded = dynamic_cast<const CSAXLoadState*>(&transaction);
  return loaded ? &loaded->DocFiles() : nullptr;
}

CDocFiles* DocFilesOf(CTransaction& transaction) {
  auto* loaded = dynamic_cast<CSAXLoadState*>(&transaction);
  return loaded ? &loaded->DocFiles() : nullptr;
}

// The sending user, once known.
struct Identity {
  std::string name;
  std::string address;
  CurrentUserLookup lookup;
};

Identity& KnownIdentity() {
  static Identity identity;
  return identity;
}

}  // namespace

// CBlueprint

CBlueprint::CBlueprint() : CTransaction("CBlueprint") {}

CBlueprint::~CBlueprint() = default;

HRESULT CBlueprint::Save() {
  return Guarded("CBlueprint::Save", [&] {
    CheckTrue(IsPlainFileName(Name), E_INVALIDARG);
    std::string folder;
    Check(CConfig().GetBlueprintFolder(folder));
    Check(WriteFileAtomically(folder + "/" + Name + ".xml", *this));
  });
}

HRESULT CBlueprint::WriteTo(const std::string& path) const {
  return Guarded("CBlueprint::WriteTo", [&] {
    CheckTrue(!Name.empty() && !path.empty(), E_INVALIDARG);
    Check(WriteFileAtomically(path, *this));
  });
}

HRESULT CBlueprint::Load(const std::string& path) {
  return Guarded("CBlueprint::Load", [&]() -> HRESULT {
    Path = path;
    CSAXBlueprint handler(*this);
    const HRESULT hr = ReadFile(path, handler);
    if (FAILED(hr)) return hr;
    if (!handler.SawRoot()) {
      SetLoadError("no vlrBlueprint element");
      return E_FAIL;
    }
    FillRoleChoices();
    return S_OK;
  });
}

HRESULT CBlueprint::Assign(const CTransaction& source) {
  if (&source == this) return S_OK;
  const HRESULT hr = CTransaction::Assign(source);
  if (SUCCEEDED(hr))
    if (const CDocFiles* files = DocFilesOf(source))
      DocFiles().Share(*files);
  return hr;
}

void CBlueprint::CopyScalars(const CTransaction& source) {
  if (&source == this) return;
  CTransaction::CopyScalars(source);
  const auto* blueprint = dynamic_cast<const CBlueprint*>(&source);
  if (!blueprint) return;
  SendMode = blueprint->SendMode;
  Order = blueprint->Order;
  Positioning = blueprint->Positioning;
  Applicable = blueprint->Applicable;
  Syntax = blueprint->Syntax;
  SequenceSignatures = blueprint->SequenceSignatures;
}

std::unique_ptr<CBlueprint> CBlueprint::Clone() const {
  auto copy = std::make_unique<CBlueprint>();
  if (FAILED(copy->Assign(*this))) throw std::bad_alloc();
  return copy;
}

void CBlueprint::FillRoleChoices() {
  std::string text;
  for (const CRecip& signer : Recipients) {
    if (!text.empty()) text += ';';
    text += signer.RoleName;
  }
  if (!HasSender(Recipients)) text += text.empty() ? "Sender" : ";Sender";
  const std::vector<std::string> choices = SplitChoices(text);
  for (CeDoc& document : Documents)
    for (CKeywordValue& field : document.Fields) field.Choices = choices;
}

HRESULT CBlueprint::ApplyTo(CTransaction& transaction) {
  return Guarded("CBlueprint::ApplyTo", [&] {
    CheckTrue(&transaction != this && !Documents.empty(), E_INVALIDARG);

    // Options and documents come from the blueprint; recipients added by an earlier
    // blueprint go, and nobody stays paired.
    CDocList documents = CloneItems(Documents);
    CTabList tabs = CloneItems(Tabs);
    CRoleList roles = CloneItems(Roles);
    transaction.CopyScalars(*this);
    transaction.Documents.Swap(documents);
    transaction.Tabs.Swap(tabs);
    transaction.Roles.Swap(roles);
    if (CDocFiles* files = DocFilesOf(transaction)) files->Share(DocFiles());
    UnpairAll(transaction.Recipients, true);
    UnpairAll(Recipients, false);

    if (SendMode != kModeBroadcast) {
      for (CRecip& recip : transaction.Recipients)
        for (CRecip& signer : Recipients)
          if (signer.Email == recip.Email) CRecip::Pair(recip, signer);
    }

    // Signers with a fixed person join the transaction as they are.
    for (CRecip& signer : Recipients) {
      if (signer.IsPaired() || !(signer.Sender || signer.HardCoded)) continue;
      auto copy = signer.Clone();
      copy->HardCoded = 1;
      if (signer.Sender) {
        std::string name, address;
        Check(IdentifyUser(name, address));
        copy->Name = name;
        copy->Email = address;
      }
      CRecip* added = transaction.Recipients.Append(std::move(copy));
      CRecip::Pair(*added, signer);
    }

    if (SendMode == kModeBroadcast) {
      // Every target of a broadcast plays the first free signer.
      CRecip* free = Recipients.FindIf(
          [](const CRecip& signer) { return !signer.Sender && !signer.HardCoded; });
      if (free)
        for (CRecip& recip : transaction.Recipients)
          if (!recip.IsPaired()) recip.SetLink(free);
      Check(MergePaired(transaction.Recipients));
      return;
    }

    const int openRecips = CountUnpaired(transaction.Recipients);
    const int openSigners = CountUnpaired(Recipients);
    CheckTrue(openRecips == openSigners, E_INVALIDARG);
    if (openRecips == 1) {
      auto recipPos = transaction.Recipients.begin();
      auto signerPos = Recipients.begin();
      CRecip* recip = NextUnpaired(transaction.Recipients, recipPos);
      CRecip* signer = NextUnpaired(Recipients, signerPos);
      CRecip::Pair(*recip, *signer);
      signer->FromMail = recip->FromMail;
      signer->Sender = recip->Sender;
      recip->RoleChoices.clear();
    } else if (openRecips > 1) {
      // The user gives each recipient a role in the wizard.
      std::vector<std::string> names;
      for (const CRecip& signer : Recipients)
        if (!signer.IsPaired()) names.push_back(signer.RoleName);
      for (CRecip& recip : transaction.Recipients)
        if (!recip.IsPaired())
          recip.RoleChoices.insert(recip.RoleChoices.end(), names.begin(), names.end());
    }
    Check(MergePaired(transaction.Recipients));
  });
}

void CBlueprint::BuildSummaryRows() {
  Keywords.Clear();
  auto row = [this](std::string keyword, std::string kind) -> CKeywordValue& {
    auto item = std::make_unique<CKeywordValue>();
    item->Keyword = std::move(keyword);
    item->Kind = std::move(kind);
    return *Keywords.Prepend(std::move(item));
  };
  for (const CRecip& recip : Recipients) {
    const std::string keyword = recip.Name.empty() ? recip.Email : recip.Name;
    if (recip.IsPaired() || !recip.RoleName.empty()) {
      CKeywordValue& item = row(keyword, "Text");
      item.Value = recip.RoleName;
      item.Editable = 0;
    } else if (SendMode != kModeBroadcast) {
      CKeywordValue& item = row(keyword, "List");
      item.Choices = recip.RoleChoices;
      item.Prompt = blueprinttext::kSelectRole;
      item.Tag = kRoleRowTag;
    }
  }
  for (const CeDoc& document : Documents) {
    CKeywordValue& item = row("Document", "Text");
    item.Value = document.Name;
    item.Prompt = blueprinttext::kEnterValue;
  }
  row("Expires in (days)", "Text").Value = std::to_string(ExpiresIn);
  CKeywordValue& mode = row("Mode", "List");
  mode.Choices = SplitChoices(blueprinttext::kModes);
  mode.Selected = SendMode;
  row("Reminder frequency", "Text").Value = std::to_string(RemindFreq);
}

// CSAXBlueprint

CSAXBlueprint::CSAXBlueprint(CBlueprint& blueprint) : blueprint_(blueprint) {}

CSAXBlueprint::~CSAXBlueprint() = default;

bool CSAXBlueprint::OpenElement(std::string_view name) {
  if (name == "vlrBlueprint") {
    PushRoot(blueprint_);
    return true;
  }
  if (stack_.IsEmpty()) return false;
  if (name == "Document") {
    auto document = std::make_unique<CeDoc>();
    document_ = document.get();
    stack_.Push(std::move(document));
    return true;
  }
  if (name == "Field") {
    auto field = std::make_unique<CKeywordValue>("Field");
    field->Kind = "List";
    stack_.Push(std::move(field));
    return true;
  }
  if (name == "Signer") {
    auto signer = std::make_unique<CRecip>("Signer");
    signer_ = signer.get();
    anchorLabel_.clear();
    stack_.Push(std::move(signer));
    return true;
  }
  if (name == "Anchor") {
    stack_.Push(std::make_unique<CAnchor>());
    return true;
  }
  return OpenValue(name);
}

bool CSAXBlueprint::OpenValue(std::string_view name) {
  if (auto* blueprint = TopAs<CBlueprint>()) {
    return PushMember<CBlueprint>(
        name, *blueprint,
        {{"Name", &CBlueprint::Name},
         {"Description", &CBlueprint::Description},
         {"Subject", &CBlueprint::Subject},
         {"Message", &CBlueprint::Message},
         {"Syntax", &CBlueprint::Syntax}},
        {{"SendMode", &CBlueprint::SendMode},
         {"Order", &CBlueprint::Order},
         {"Positioning", &CBlueprint::Positioning},
         {"ExpiresIn", &CBlueprint::ExpiresIn},
         {"WarnIn", &CBlueprint::WarnIn},
         {"RemindIn", &CBlueprint::RemindIn},
         {"RemindFreq", &CBlueprint::RemindFreq},
         {"SequenceSignatures", &CBlueprint::SequenceSignatures}});
  }
  if (auto* document = TopAs<CeDoc>()) {
    if (name == "FileBytes") {
      // The Base64 text stays encoded on disk; whoever needs the file decodes it.
      PushFile(name, [this, document](std::string&& path) {
        blueprint_.DocFiles().Keep(path);
        document->FilePath = std::move(path);
        document->Source = CeDoc::kSourceEmbedded;
      });
      return true;
    }
    return PushMember<CeDoc>(name, *document, {{"Name", &CeDoc::Name}, {"Key", &CeDoc::Key}});
  }
  if (auto* field = TopAs<CKeywordValue>()) {
    return PushMember<CKeywordValue>(
        name, *field, {{"Name", &CKeywordValue::Keyword}, {"SetBy", &CKeywordValue::Value}});
  }
  if (auto* signer = TopAs<CRecip>()) {
    if (name == "AnchorLabel") {
      PushText(name, anchorLabel_);
      return true;
    }
    if (name == "Sequence") {
      PushText(name, [signer](std::string&& text) {
        signer->Sequence = LenientInt(text);
        signer->RoutingOrder = std::move(text);
      });
      return true;
    }
    return PushMember<CRecip>(name, *signer,
                              {{"Name", &CRecip::Name},
                               {"Email", &CRecip::Email},
                               {"Role", &CRecip::RoleName},
                               {"Mode", &CRecip::Type}},
                              {{"ID", &CRecip::ID},
                               {"Sender", &CRecip::Sender},
                               {"HardCoded", &CRecip::HardCoded}});
  }
  if (auto* anchor = TopAs<CAnchor>()) {
    return PushMember<CAnchor>(name, *anchor,
                               {{"Type", &CAnchor::Type},
                                {"Text", &CAnchor::Text},
                                {"XOffset", &CAnchor::XOffset},
                                {"YOffset", &CAnchor::YOffset},
                                {"Units", &CAnchor::Units}},
                               {{"Index", &CAnchor::Index}});
  }
  return false;
}

void CSAXBlueprint::CloseElement(std::string_view name, CXMLElem*,
                                 std::unique_ptr<CXMLElem> owned) {
  if (name == "Document") {
    auto document = OwnedAs<CeDoc>(std::move(owned));
    if (!document) return;
    // An attachment of the mail is named by its key; embedded bytes stay embedded.
    if (document->Key == document->Name && document->Source != CeDoc::kSourceEmbedded)
      document->Source = CeDoc::kSourceNamed;
    blueprint_.Documents.Append(std::move(document));
  } else if (name == "Field") {
    auto field = OwnedAs<CKeywordValue>(std::move(owned));
    if (field && document_) document_->Fields.Append(std::move(field));
  } else if (name == "Anchor") {
    auto anchor = OwnedAs<CAnchor>(std::move(owned));
    if (!anchor || !signer_) return;
    if (!signer_->Role) signer_->Role = std::make_unique<CRole>();
    // Only the slot and the text count: type, offsets and units follow from the slot.
    const int index = anchor->Index;
    if (index < 0 || index >= static_cast<int>(CRole::kAnchorSlots)) return;
    ResetSlot(*signer_->Role, index, 1);
    signer_->Role->Anchors[index].Text = anchor->Text;
  } else if (name == "Signer") {
    auto signer = OwnedAs<CRecip>(std::move(owned));
    signer_ = nullptr;
    if (!signer) return;
    if (signer->Role) {
      signer->Role->RoleName = signer->RoleName;
      signer->Role->AnchorLabel = anchorLabel_;
    }
    blueprint_.Recipients.Append(std::move(signer));
  }
}

// Embedded documents

HRESULT DecodeDocumentFile(const CeDoc& document, std::string_view pattern, TempFile& file) {
  return Guarded("CBlueprint::DecodeDocumentFile", [&] {
    CheckTrue(!document.FilePath.empty(), E_INVALIDARG);
    std::string path;
    Check(CXMLElem::DecodeToTempFile(document.FilePath, pattern, path));
    file = TempFile(std::move(path));
  });
}

// The sending user

HRESULT NormalizeSmtpAddr(std::string& address) {
  if (address.find('@') == std::string::npos) return E_FAIL;
  std::string text = address;
  // The first bracket pair that holds an address; a name such as "Jane (Sales)" before the
  // address in angle brackets must not win over it.
  constexpr std::pair<char, char> kBrackets[] = {{'[', ']'}, {'(', ')'}, {'<', '>'}};
  for (const auto& [open, close] : kBrackets) {
    const std::size_t at = text.find(open);
    if (at == std::string::npos) continue;
    std::string inner = text.substr(at + 1);
    const std::size_t end = inner.find(close);
    if (end != std::string::npos) inner.erase(end);
    if (inner.find('@') == std::string::npos) continue;
    text = std::move(inner);
    break;
  }
  const char* kSpace = " \t\r\n\f\v";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) return E_FAIL;
  text = text.substr(first, text.find_last_not_of(kSpace) - first + 1);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  address = std::move(text);
  return S_OK;
}

HRESULT IdentifyUser(std::string& name, std::string& address) {
  Identity& known = KnownIdentity();
  if (known.address.empty()) {
    const HRESULT hr = Guarded("CBlueprint::IdentifyUser", [&] {
      std::string foundName;
      std::string foundAddress = CConfig().GetIdentity();
      if (foundAddress.empty()) {
        // Without a mail system to ask there is no sender.
        CheckTrue(static_cast<bool>(known.lookup), E_FAIL);
        Check(known.lookup(foundName, foundAddress));
      }
      DiagLog().CommentText("IdentifyUser: %s", foundAddress.c_str());
      Check(NormalizeSmtpAddr(foundAddress));
      DiagLog().CommentText("NormalizeSmtpAddr: %s", foundAddress.c_str());
      if (!foundName.empty()) known.name = std::move(foundName);
      known.address = std::move(foundAddress);
    });
    if (FAILED(hr)) return hr;
  }
  name = known.name;
  address = known.address;
  return S_OK;
}

void SetCurrentUserLookup(CurrentUserLookup lookup) { KnownIdentity().lookup = std::move(lookup); }

void ForgetIdentity() {
  KnownIdentity().name.clear();
  KnownIdentity().address.clear();
}

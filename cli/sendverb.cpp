// vlr send: the files out for signature in one envelope, as the add-in's send command does with
// a mail item's attachments; the user's files are only read (the request is made from
// temporary copies).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/verbs.h"
#include "foundation/credentials.h"
#include "model/anchor.h"
#include "model/blueprint.h"
#include "model/bluepers.h"
#include "operations/bodypart.h"
#include "operations/identity.h"
#include "operations/opsenddoc.h"
#include "operations/protocol.h"
#include "platform/win/folders.h"
#include "transport/webapi.h"

namespace {

const char* const kHelp =
    "usage: vlr send [OPTIONS] FILE...\n"
    "\n"
    "Logs in as 'vlr login' does, sends the files for signature in one envelope and prints\n"
    "'EnvelopeID: ...'. Each file becomes a document, in the order given; the files\n"
    "themselves are only read.\n"
    "\n"
    "  --to \"Name <address>\"      a signer (repeatable; recipients keep the order given)\n"
    "  --cc \"Name <address>\"      a carbon-copy recipient (repeatable)\n"
    "  --subject TEXT             the e-mail subject (\"no subject\" when none)\n"
    "  --message TEXT             the e-mail message\n"
    "  --blueprint NAME|PATH      apply a blueprint of the library (or a blueprint file): its\n"
    "                             signers take the recipients, its anchors place the tabs, its\n"
    "                             embedded documents are sent too; its subject, message,\n"
    "                             expiry and reminders serve when the options give none\n"
    "  --expire-after DAYS        the envelope expires after DAYS days\n"
    "  --expire-warn DAYS         warn DAYS days before it expires\n"
    "  --remind-after DAYS        first reminder after DAYS days\n"
    "  --remind-freq DAYS         then a reminder every DAYS days\n"
    "  --routing-order            recipients sign one after the other, in the order given\n"
    "  --access-code ADDRESS=CODE the recipient with that address must enter CODE\n"
    "  --create-only              create the envelope without sending it\n"
    "  --email EMAIL --password PASSWORD   the credentials (else VLR_EMAIL and VLR_PASSWORD,\n"
    "                             else the stored ones)\n"
    "\n"
    "Exit status: 0 sent; 2 bad arguments or unreadable files; 3 the service rejected the\n"
    "credentials; 4 the service refused the envelope or could not be reached.\n";

constexpr const char* kVerb = "send";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vlr send: %s\n%s", problem.c_str(), kHelp);
  return kExitUsage;
}

int Refuse(const std::string& problem) {
  std::fprintf(stderr, "vlr send: %s\n", problem.c_str());
  return kExitUsage;
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool PlausibleAddress(const std::string& address) {
  const auto at = address.find('@');
  return at != std::string::npos && at > 0 && at + 1 < address.size() && address.find('@', at + 1) == std::string::npos &&
         address.find_first_of(" \t<>\"") == std::string::npos;
}

// "Name <address>", or a bare address (which then serves as the name too).
bool ParseRecipient(const std::string& text, std::string& name, std::string& address) {
  const auto open = text.rfind('<');
  if (open == std::string::npos) {
    address = Trim(text);
    name = address;
  } else {
    const auto close = text.find('>', open);
    if (close == std::string::npos || !Trim(text.substr(close + 1)).empty()) return false;
    address = Trim(text.substr(open + 1, close - open - 1));
    name = Trim(text.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = Trim(name.substr(1, name.size() - 2));
    if (name.empty()) name = address;
  }
  return PlausibleAddress(address);
}

bool ParseDays(const std::string& text, std::int32_t& days) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  days = static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
  return true;
}

// A regular file that this process can read.
bool Readable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Recipient {
  std::string name, address;
  bool cc = false;
};

struct SendArgs {
  LoginChoice login;
  std::vector<Recipient> recipients;
  std::vector<std::pair<std::string, std::string>> accessCodes;
  std::vector<std::string> files;
  std::string subject, message, blueprint;
  bool haveSubject = false, haveMessage = false;
  std::int32_t expireAfter = -1, expireWarn = -1, remindAfter = -1, remindFreq = -1;
  bool routingOrder = false, createOnly = false, help = false;
};

// 0 when the arguments are good; otherwise the exit status (the problem is said).
int ParseArgs(const Args& args, SendArgs& out) {
  bool filesOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (filesOnly || a.empty() || a[0] != '-' || a == "-") {
      out.files.push_back(a);
      continue;
    }
    if (a == "--") {
      filesOnly = true;
    } else if (a == "--help" || a == "-h") {
      out.help = true;
      return kExitOk;
    } else if (a == "--routing-order") {
      out.routingOrder = true;
    } else if (a == "--create-only") {
      out.createOnly = true;
    } else if (TakeLoginOption(args, i, out.login)) {
    } else if (i + 1 >= args.size()) {
      return Usage("unexpected argument '" + a + "'");
    } else {
      const std::string& value = args[++i];
      std::int32_t* days = a == "--expire-after"   ? &out.expireAfter
                           : a == "--expire-warn"  ? &out.expireWarn
                           : a == "--remind-after" ? &out.remindAfter
                           : a == "--remind-freq"  ? &out.remindFreq
                                                   : nullptr;
      if (days) {
        if (!ParseDays(value, *days)) return Usage(a + " takes a number of days, not '" + value + "'");
      } else if (a == "--to" || a == "--cc") {
        Recipient r;
        r.cc = a == "--cc";
        if (!ParseRecipient(value, r.name, r.address))
          return Usage("'" + value + "' is not \"Name <address>\" with an e-mail address");
        out.recipients.push_back(std::move(r));
      } else if (a == "--subject") {
        out.subject = value;
        out.haveSubject = true;
      } else if (a == "--message") {
        out.message = value;
        out.haveMessage = true;
      } else if (a == "--blueprint") {
        out.blueprint = value;
      } else if (a == "--access-code") {
        const auto eq = value.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == value.size())
          return Usage("--access-code takes ADDRESS=CODE, not '" + value + "'");
        out.accessCodes.emplace_back(Lower(Trim(value.substr(0, eq))), value.substr(eq + 1));
      } else {
        return Usage("unexpected argument '" + a + "'");
      }
    }
  }
  for (const std::string& file : out.files)
    if (!Readable(file)) return Refuse("cannot read the file '" + file + "'");
  return kExitOk;
}

// The blueprint named in the library, or the blueprint file at that path.
int LoadBlueprint(const std::string& nameOrPath, CBlueprint& blueprint) {
  if (win::FileExists(nameOrPath)) {
    if (blueprint.Load(nameOrPath) == S_OK) return kExitOk;
    return Refuse("'" + nameOrPath + "' is not a readable blueprint");
  }
  CBluepers library;
  library.LoadFolder();
  if (const CBlueprint* found = library.Find(nameOrPath)) {
    if (blueprint.Load(found->Path) == S_OK) return kExitOk;
    return Refuse("the blueprint '" + nameOrPath + "' cannot be read");
  }
  return Refuse("no blueprint named '" + nameOrPath + "' (see 'vlr blueprint list')");
}

// The mail recipients take the blueprint's signers: by address, the one free recipient the one
// free signer, and where several are free (the wizard would ask), in the order given.
int ApplyBlueprint(CBlueprint& blueprint, CBlueprint& mail) {
  std::string senderName, senderAddress;
  if (HasSender(blueprint.Recipients) && IdentifyUser(senderName, senderAddress) != S_OK)
    return Refuse("the blueprint has a signer for the sender, whose address is unknown (set 'Identity' with "
                  "'vlr config set', or use a mail profile with a current user)");
  if (blueprint.ApplyTo(mail) != S_OK)
    return Refuse("the blueprint's signers do not match the recipients (" + std::to_string(mail.Recipients.size()) +
                  " recipients)");
  auto recipPos = mail.Recipients.begin();
  auto signerPos = blueprint.Recipients.begin();
  bool paired = false;
  while (CRecip* recip = NextUnpaired(mail.Recipients, recipPos)) {
    CRecip* signer = NextUnpaired(blueprint.Recipients, signerPos);
    if (!signer) break;
    CRecip::Pair(*recip, *signer);
    recip->RoleChoices.clear();
    paired = true;
  }
  if (paired && MergePaired(mail.Recipients) != S_OK) return Refuse("the blueprint cannot be applied");
  return kExitOk;
}

// The blueprint's embedded documents travel as documents too, decoded into temporary files.
int AddEmbeddedDocuments(const CBlueprint& blueprint, OpSendDoc& op) {
  for (const CeDoc& document : blueprint.Documents) {
    if (document.Source != CeDoc::kSourceEmbedded) continue;
    const std::string extension = document.FileExtension();
    TempFile decoded;
    if (DecodeDocumentFile(document, extension.empty() ? ".pdf" : "." + extension, decoded) != S_OK)
      return Refuse("the blueprint's document '" + document.Name + "' cannot be decoded");
    CBodyPart& part = op.AddBodyPart(nullptr, document.Name, "blueprint:" + document.Name);
    part.LocalPath = decoded.Release();
  }
  return kExitOk;
}

std::int32_t Given(std::int32_t option, std::int32_t fallback) { return option >= 0 ? option : fallback; }

// What the arguments make before anything is sent: the recipients, with the blueprint applied.
struct Draft {
  CBlueprint mail;       // the recipients, and the blueprint's values once applied
  CBlueprint blueprint;  // the governing blueprint, when one is named
  bool governed = false;
};

// 0 when the recipients and the blueprint fit together; otherwise the exit status (said).
int Prepare(const SendArgs& args, Draft& draft) {
  for (const Recipient& r : args.recipients) {
    auto recip = std::make_unique<CRecip>();
    recip->Name = r.name;
    recip->Email = r.address;
    recip->Type = r.cc ? "Carbon Copy" : "Signer";
    recip->MailType = r.cc ? 2 : 1;
    recip->FromMail = 1;
    draft.mail.Recipients.Append(std::move(recip));
  }
  draft.governed = !args.blueprint.empty();
  if (draft.governed) {
    if (const int status = LoadBlueprint(args.blueprint, draft.blueprint)) return status;
    if (const int status = ApplyBlueprint(draft.blueprint, draft.mail)) return status;
  }
  if (draft.mail.Recipients.empty()) return Usage("no recipients: give --to or --cc");
  const bool embedded = draft.governed && draft.blueprint.Documents.FindIf([](const CeDoc& d) {
    return d.Source == CeDoc::kSourceEmbedded;
  }) != nullptr;
  if (args.files.empty() && !embedded) return Usage("no documents: name the files to send");
  for (const auto& [address, code] : args.accessCodes) {
    const CRecip* r = draft.mail.Recipients.FindIf([&](const CRecip& x) { return Lower(x.Email) == address; });
    if (!r) return Refuse("--access-code: no recipient has the address '" + address + "'");
  }
  return kExitOk;
}

// Fills the operation; 0, or the exit status (the problem is said).
int Build(const SendArgs& args, Draft& draft, OpSendDoc& op) {
  const bool governed = draft.governed;
  const CBlueprint& mail = draft.mail;
  for (const std::string& file : args.files)
    op.AddBodyPart(MakeFileAttachment(file), BaseName(file), "file:" + file);
  if (governed)
    if (const int status = AddEmbeddedDocuments(draft.blueprint, op)) return status;
  const std::string message = args.haveMessage ? args.message : governed ? mail.Message : std::string();
  if (!message.empty()) op.AddBodyPart(MakeMessageItem(message), "Message", sendtext::kMessageBody, 1);

  std::int32_t id = 1;
  for (const CRecip& r : mail.Recipients) {
    auto copy = r.Clone();
    copy->ID = id;
    if (args.routingOrder && copy->RoutingOrder.empty()) copy->RoutingOrder = std::to_string(id);
    ++id;
    op.Recipients.Append(std::move(copy));
  }
  for (const auto& [address, code] : args.accessCodes) {
    CRecip* r = op.Recipients.FindIf([&](const CRecip& x) { return Lower(x.Email) == address; });
    if (r) r->AccessCode = code;
  }

  op.Subject = args.haveSubject ? args.subject : governed ? mail.Subject : std::string();
  op.Options.RoutingOrder = args.routingOrder || (governed && draft.blueprint.SequenceSignatures);
  op.Options.ExpireAfter = Given(args.expireAfter, governed ? mail.ExpiresIn : 0);
  op.Options.ExpireWarn = Given(args.expireWarn, governed ? mail.WarnIn : 0);
  op.Options.RemindAfter = Given(args.remindAfter, governed ? mail.RemindIn : 0);
  op.Options.RemindFreq = Given(args.remindFreq, governed ? mail.RemindFreq : 0);
  if (governed) {
    op.Options.Mode = CSendOptions::kModeGoverned;
    if (op.Options.SetTransaction(draft.blueprint) != S_OK) return Refuse("out of memory");
    op.Tabs = CloneItems(mail.Tabs);
    AnchorsToTabs(op.Recipients, op.Tabs);
  }
  if (args.createOnly) op.PresetAction(sendaction::kCreate);
  return kExitOk;
}

// The protocol object goes before the process ends, after the operation that used it: the
// process-wide connection must not outlive the library state it was made with.
struct ProtocolScope {
  ~ProtocolScope() { SetTheProtocol(nullptr); }
};

// The sending user of a blueprint's sender signer: the mail profile's current user.
HRESULT ProfileUser(std::string& name, std::string& address) {
  CIdentity identity;
  return identity.IdentifyUser("SMTP", name, address);
}

}  // namespace

int RunSendVerb(const Args& args) {
  SetCurrentUserLookup(ProfileUser);
  SendArgs parsed;
  if (const int status = ParseArgs(args, parsed)) return status;
  if (parsed.help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  Draft draft;
  if (const int status = Prepare(parsed, draft)) return status;

  ProtocolScope scope;
  CCredentials record;
  if (const int status = SilentLogin(kVerb, parsed.login, record, kHelp)) return status;
  if (const int status = ConnectService(kVerb)) return status;

  OpSendDoc op(TheApi()->Endpoint(), record);
  if (const int status = Build(parsed, draft, op)) return status;
  if (!op.Run(nullptr, 0, 0) || op.ResultCode() != S_OK || op.EnvelopeID.empty()) {
    std::string detail = op.TransportError();
    if (detail.empty() && op.HttpStatus() != 0 && op.HttpStatus() != 200)
      detail = "HTTP status " + std::to_string(op.HttpStatus());
    std::fprintf(stderr, "vlr send: %s\n", FailureText(op.FaultString(), detail, op.ResultCode(), "the send").c_str());
    return kExitUnreachable;
  }
  std::printf("EnvelopeID: %s\n", op.EnvelopeID.c_str());
  return kExitOk;
}

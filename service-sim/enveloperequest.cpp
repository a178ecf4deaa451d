#include "service-sim/enveloperequest.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <set>

#include "service-sim/soapfault.h"
#include "transport/servicenames.h"

namespace sim {
namespace {

constexpr std::string_view kNs = attestra::kApiNamespace;
constexpr uint64_t kMaxBlurb = 1 << 20;

const std::set<std::string, std::less<>> kRecipientTypes = {
    "Signer", "Agent", "Editor", "CarbonCopy", "CertifiedDelivery", "InPersonSigner"};

const std::set<std::string, std::less<>> kTabTypes = {
    "SignHere",  "SignHereOptional", "InitialHere", "InitialHereOptional", "DateSigned",
    "FullName",  "FirstName",        "LastName",    "EmailAddress",        "Company",
    "Title",     "EnvelopeID",       "Custom",      "SignerAttachment",    "Approve",
    "Decline"};

const char* const kTemplateOptions[] = {"SigningLocation", "AutoNavigation", "EnvelopeIdStamping",
                                        "AuthoritativeCopy"};

[[noreturn]] void Refuse(const std::string& text) { throw SoapFault(faultcode::kClient, text); }

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 60;
  std::string s(text.substr(0, kShown));
  return "\"" + s + (text.size() > kShown ? "...\"" : "\"");
}

// The text of an element that holds text only; big texts went to a file and are refused.
std::string TextOf(const XmlElement& e, const std::string& where) {
  if (!e.children.empty()) Refuse(where + ": " + e.name + " must hold text only.");
  if (!e.textFile.empty() || e.sink) Refuse(where + ": " + e.name + " is too long.");
  return e.text;
}

std::optional<std::string> Optional(const XmlElement& parent, std::string_view name, const std::string& where) {
  const XmlElement* e = parent.Child(kNs, name);
  if (!e) return std::nullopt;
  return TextOf(*e, where);
}

std::string Text(const XmlElement& parent, std::string_view name, const std::string& where) {
  return Optional(parent, name, where).value_or(std::string());
}

std::string Required(const XmlElement& parent, std::string_view name, const std::string& where) {
  std::optional<std::string> text = Optional(parent, name, where);
  if (!text || Trim(*text).empty()) Refuse(where + " has no " + std::string(name) + ".");
  return *text;
}

// xsd:boolean, with the letter case that other writers use ("True") forgiven.
std::optional<bool> ParseBool(std::string_view text) {
  std::string t = Trim(text);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t == "true" || t == "1") return true;
  if (t == "false" || t == "0") return false;
  return std::nullopt;
}

std::optional<bool> Bool(const XmlElement& parent, std::string_view name, const std::string& where) {
  std::optional<std::string> text = Optional(parent, name, where);
  if (!text || Trim(*text).empty()) return std::nullopt;
  std::optional<bool> value = ParseBool(*text);
  if (!value) Refuse(where + ": " + std::string(name) + " " + Quoted(*text) + " is neither true nor false.");
  return value;
}

std::optional<long> ParseWhole(std::string_view text) {
  std::string t = Trim(text);
  long n = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return n;
}

// A whole number from `min` up, or nothing when the element is absent or empty.
std::optional<long> Whole(const XmlElement& parent, std::string_view name, long min, const std::string& where) {
  std::optional<std::string> text = Optional(parent, name, where);
  if (!text || Trim(*text).empty()) return std::nullopt;
  std::optional<long> n = ParseWhole(*text);
  if (!n || *n < min)
    Refuse(where + ": " + std::string(name) + " " + Quoted(*text) + " is not a whole number" +
           (min > 0 ? " of at least " + std::to_string(min) : min == 0 ? " of zero or more" : "") + ".");
  return n;
}

// A position on the page: a number of zero or more (fractions allowed).
void CheckPosition(const FieldList& fields, std::string_view name, bool required, const std::string& where) {
  auto it = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
  if (it == fields.end() || Trim(it->second).empty()) {
    if (required) Refuse(where + " has no " + std::string(name) + ".");
    return;
  }
  std::string t = Trim(it->second);
  double value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size() || value < 0)
    Refuse(where + ": " + std::string(name) + " " + Quoted(it->second) + " is not a position of zero or more.");
}

std::string FieldValue(const FieldList& fields, std::string_view name) {
  for (const auto& [n, v] : fields)
    if (n == name) return v;
  return {};
}

bool HasField(const FieldList& fields, std::string_view name) {
  return std::any_of(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
}

std::string CheckAccount(const XmlElement& parent, std::string_view accountId, const std::string& where) {
  std::string given = Trim(Required(parent, "AccountId", where));
  if (given != accountId)
    Refuse(where + ": the AccountId " + Quoted(given) + " is not the account of the authenticated user (" +
           std::string(accountId) + ").");
  return given;
}

bool LooksLikeAddress(std::string_view email) {
  size_t at = email.find('@');
  return at != std::string_view::npos && at > 0 && at + 1 < email.size() && email.find('@', at + 1) == std::string_view::npos &&
         email.find_first_of(" \t\r\n<>,;\"") == std::string_view::npos;
}

EnvelopeDocument ReadDocument(const XmlElement& e, const std::string& where, int sequence) {
  EnvelopeDocument d;
  d.templateSequence = sequence;
  d.id = Trim(Required(e, "ID", where));
  if (!ParseWhole(d.id) || *ParseWhole(d.id) < 1) Refuse(where + ": ID " + Quoted(d.id) + " is not a positive whole number.");
  d.name = Required(e, "Name", where);
  const std::string named = where + " (" + Quoted(d.name) + ")";
  d.fileExtension = Text(e, "FileExtension", named);
  d.description = Text(e, "AttachmentDescription", named);
  d.transformPdfFields = Bool(e, "TransformPdfFields", named);
  const XmlElement* bytes = e.Child(kNs, "PDFBytes");
  if (!bytes) Refuse(named + " has no PDFBytes.");
  auto* sink = dynamic_cast<Base64FileSink*>(bytes->sink.get());
  if (!sink || !sink->Ended()) Refuse(named + ": the PDFBytes could not be read.");
  if (sink->WriteFailed()) throw SoapFault(faultcode::kServer, named + ": the document could not be stored.");
  if (!sink->Error().empty()) Refuse(named + ": the PDFBytes are not valid Base64: " + sink->Error() + ".");
  if (sink->Size() == 0) Refuse(named + " is empty.");
  d.content = sink;
  return d;
}

void ReadDocuments(const XmlElement& parent, EnvelopeRequest& r) {
  const XmlElement* list = parent.Child(kNs, "Documents");
  if (!list) return;
  std::set<std::string> ids;
  for (const XmlElement* e : list->Children(kNs, "Document")) {
    EnvelopeDocument d = ReadDocument(*e, "Document " + std::to_string(r.documents.size() + 1), 0);
    if (!ids.insert(d.id).second) Refuse("Two documents have the ID " + d.id + ".");
    r.documents.push_back(std::move(d));
  }
}

EnvelopeRecipient ReadRecipient(const XmlElement& e, const std::string& where) {
  EnvelopeRecipient p;
  p.id = Trim(Required(e, "ID", where));
  if (!ParseWhole(p.id) || *ParseWhole(p.id) < 1) Refuse(where + ": ID " + Quoted(p.id) + " is not a positive whole number.");
  p.userName = Required(e, "UserName", where);
  p.email = Required(e, "Email", where);
  if (!LooksLikeAddress(Trim(p.email))) Refuse(where + ": the Email " + Quoted(p.email) + " is not an e-mail address.");
  p.type = Required(e, "Type", where);
  if (!kRecipientTypes.count(p.type)) Refuse(where + ": the Type " + Quoted(p.type) + " is not a recipient type.");
  p.defaultRecipient = Bool(e, "DefaultRecipient", where);
  p.accessCode = Text(e, "AccessCode", where);
  p.requireIdLookup = Bool(e, "RequireIDLookup", where);
  p.note = Text(e, "Note", where);
  if (std::optional<long> order = Whole(e, "RoutingOrder", 1, where)) p.routingOrder = std::to_string(*order);
  return p;
}

bool SameRecipient(const EnvelopeRecipient& a, const EnvelopeRecipient& b) {
  return a.userName == b.userName && a.email == b.email && a.type == b.type && a.accessCode == b.accessCode &&
         a.note == b.note && a.routingOrder == b.routingOrder && a.requireIdLookup == b.requireIdLookup;
}

// Composite templates may each repeat the recipients: the same ID must then be the same person.
void ReadRecipients(const XmlElement& parent, EnvelopeRequest& r, const std::string& prefix) {
  const XmlElement* list = parent.Child(kNs, "Recipients");
  if (!list) return;
  std::set<std::string> here;
  int n = 0;
  for (const XmlElement* e : list->Children(kNs, "Recipient")) {
    EnvelopeRecipient p = ReadRecipient(*e, prefix + "Recipient " + std::to_string(++n));
    if (!here.insert(p.id).second) Refuse(prefix + "Two recipients have the ID " + p.id + ".");
    auto known = std::find_if(r.recipients.begin(), r.recipients.end(), [&](const auto& k) { return k.id == p.id; });
    if (known == r.recipients.end()) r.recipients.push_back(std::move(p));
    else if (!SameRecipient(*known, p))
      Refuse(prefix + "Recipient " + std::to_string(n) + " (ID " + p.id +
             ") differs from the recipient with that ID in an earlier composite template.");
  }
}

void CollectFields(const XmlElement& e, const std::string& prefix, FieldList& fields, const std::string& where) {
  for (const auto& child : e.children) {
    if (child->ns != kNs) continue;
    if (child->name == "AnchorTabItem" && prefix.empty()) {
      CollectFields(*child, "AnchorTabItem/", fields, where);
      continue;
    }
    fields.emplace_back(prefix + child->name, TextOf(*child, where));
  }
}

EnvelopeTab ReadTab(const XmlElement& e, const std::string& where, int sequence) {
  EnvelopeTab t;
  t.templateSequence = sequence;
  CollectFields(e, "", t.fields, where);
  t.type = Required(e, "Type", where);
  const std::string typed = where + " (" + t.type + ")";
  if (!kTabTypes.count(t.type)) Refuse(where + ": the Type " + Quoted(t.type) + " is not a tab type.");
  t.recipientId = Trim(Text(e, "RecipientID", typed));
  t.documentId = Trim(Text(e, "DocumentID", typed));
  for (const char* flag : {"CustomTabRequired", "CustomTabLocked", "CustomTabDisableAutoSize", "TemplateLocked",
                           "TemplateRequired"})
    Bool(e, flag, typed);
  if (t.recipientId.empty() && !Bool(e, "TemplateLocked", typed).value_or(false))
    Refuse(typed + " names no RecipientID and is not TemplateLocked.");

  if (const XmlElement* anchor = e.Child(kNs, "AnchorTabItem")) {
    const std::string at = typed + ", AnchorTabItem";
    Required(*anchor, "AnchorTabString", at);
    Whole(*anchor, "XOffset", 0, at);
    Whole(*anchor, "YOffset", 0, at);
    Bool(*anchor, "IgnoreIfNotPresent", at);
  } else if (!t.documentId.empty() || HasField(t.fields, "PageNumber")) {
    if (t.documentId.empty()) Refuse(typed + " has no DocumentID.");
    if (!Whole(e, "PageNumber", 1, typed)) Refuse(typed + " has no PageNumber.");
    CheckPosition(t.fields, "XPosition", true, typed);
    CheckPosition(t.fields, "YPosition", true, typed);
  } else if (Trim(FieldValue(t.fields, "TabLabel")).empty()) {
    Refuse(typed + " has neither a place on a document, an anchor nor a TabLabel.");
  }
  return t;
}

void ReadTabs(const XmlElement& parent, EnvelopeRequest& r, int sequence, const std::string& prefix) {
  const XmlElement* list = parent.Child(kNs, "Tabs");
  if (!list) return;
  int n = 0;
  for (const XmlElement* e : list->Children(kNs, "Tab"))
    r.tabs.push_back(ReadTab(*e, prefix + "Tab " + std::to_string(++n), sequence));
}

std::string ReadBlurb(const XmlElement& parent) {
  const XmlElement* e = parent.Child(kNs, "EmailBlurb");
  if (!e) return {};
  if (!e->children.empty()) Refuse("EmailBlurb must hold text only.");
  if (e->textFile.empty()) return e->text;
  if (e->textSize > kMaxBlurb) Refuse("The EmailBlurb is longer than " + std::to_string(kMaxBlurb) + " bytes.");
  std::ifstream in(e->textFile, std::ios::binary);
  std::string text(static_cast<size_t>(e->textSize), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (static_cast<uint64_t>(in.gcount()) != e->textSize)
    throw SoapFault(faultcode::kServer, "The EmailBlurb could not be read back.");
  return text;
}

void ReadCustomFields(const XmlElement& parent, EnvelopeRequest& r) {
  const XmlElement* list = parent.Child(kNs, "CustomFields");
  if (!list) return;
  std::set<std::string> names;
  for (const XmlElement* e : list->Children(kNs, "CustomField")) {
    const std::string where = "Custom field " + std::to_string(r.customFields.size() + 1);
    EnvelopeCustomField f;
    f.name = Required(*e, "Name", where);
    f.show = Text(*e, "Show", where);
    f.value = Text(*e, "Value", where);
    f.required = Text(*e, "Required", where);
    Bool(*e, "Show", where + " (" + Quoted(f.name) + ")");
    Bool(*e, "Required", where + " (" + Quoted(f.name) + ")");
    if (!names.insert(f.name).second) Refuse("Two custom fields are named " + Quoted(f.name) + ".");
    r.customFields.push_back(std::move(f));
  }
}

void ReadNotification(const XmlElement& e, EnvelopeNotification& n) {
  const std::string where = "Notification";
  if (std::optional<bool> defaults = Bool(e, "UseAccountDefaults", where)) n.useAccountDefaults = defaults;
  if (const XmlElement* reminders = e.Child(kNs, "Reminders")) {
    const std::string at = where + ", Reminders";
    n.hasReminders = true;
    n.reminderEnabled = Bool(*reminders, "ReminderEnabled", at);
    n.reminderDelay = Whole(*reminders, "ReminderDelay", 0, at);
    n.reminderFrequency = Whole(*reminders, "ReminderFrequency", 0, at);
    if (n.reminderEnabled.value_or(false) && n.reminderFrequency.value_or(0) < 1 && n.reminderDelay.value_or(0) < 1)
      Refuse(at + ": reminders are enabled but neither ReminderDelay nor ReminderFrequency is set.");
  }
  if (const XmlElement* expirations = e.Child(kNs, "Expirations")) {
    const std::string at = where + ", Expirations";
    n.hasExpirations = true;
    n.expireEnabled = Bool(*expirations, "ExpireEnabled", at);
    n.expireAfter = Whole(*expirations, "ExpireAfter", 0, at);
    n.expireWarn = Whole(*expirations, "ExpireWarn", 0, at);
    if (n.expireEnabled.value_or(false) && n.expireAfter.value_or(0) < 1)
      Refuse(at + ": expiry is enabled but ExpireAfter is not a number of days.");
  }
}

// Subject, EmailBlurb, custom fields, template options and notification settings.
void ReadEnvelopeTexts(const XmlElement& parent, EnvelopeRequest& r) {
  r.subject = Required(parent, "Subject", "The envelope");
  r.emailBlurb = ReadBlurb(parent);
  ReadCustomFields(parent, r);
  for (const char* option : kTemplateOptions)
    if (std::optional<std::string> v = Optional(parent, option, "The envelope")) r.options.emplace_back(option, *v);
  for (const XmlElement* n : parent.Children(kNs, "Notification")) ReadNotification(*n, r.notification);
}

// What holds for the envelope as a whole, once every part is read.
void CheckWhole(const EnvelopeRequest& r, bool composite) {
  if (r.documents.empty()) Refuse("The envelope has no documents.");
  if (r.recipients.empty()) Refuse("The envelope has no recipients.");
  std::set<std::string> recipientIds, documentIds;
  for (const auto& p : r.recipients) recipientIds.insert(p.id);
  for (const auto& d : r.documents) documentIds.insert(d.id);
  for (size_t i = 0; i < r.tabs.size(); ++i) {
    const EnvelopeTab& t = r.tabs[i];
    const std::string where = t.templateSequence
                                  ? "Composite template " + std::to_string(t.templateSequence) + ", a tab (" + t.type + ")"
                                  : "Tab " + std::to_string(i + 1) + " (" + t.type + ")";
    if (!t.recipientId.empty() && !recipientIds.count(t.recipientId))
      Refuse(where + " refers to recipient " + t.recipientId + ", which the envelope does not have.");
    // Composite templates number their documents each on its own; tabs name them loosely.
    if (!composite && !t.documentId.empty() && !documentIds.count(t.documentId))
      Refuse(where + " refers to document " + t.documentId + ", which the envelope does not have.");
  }
}

EnvelopeRequest ReadSimple(const XmlElement& op, std::string_view accountId) {
  EnvelopeRequest r;
  r.action = op.name;
  const XmlElement* envelope = op.Child(kNs, "Envelope");
  if (!envelope) Refuse("The request has no Envelope.");
  r.accountId = CheckAccount(*envelope, accountId, "The Envelope");
  ReadDocuments(*envelope, r);
  ReadRecipients(*envelope, r, "");
  ReadTabs(*envelope, r, 0, "");
  ReadEnvelopeTexts(*envelope, r);
  CheckWhole(r, false);
  return r;
}

EnvelopeRequest ReadComposite(const XmlElement& op, std::string_view accountId) {
  EnvelopeRequest r;
  r.action = op.name;
  const XmlElement* info = op.Child(kNs, "EnvelopeInformation");
  if (!info) Refuse("The request has no EnvelopeInformation.");
  r.accountId = CheckAccount(*info, accountId, "The EnvelopeInformation");
  ReadEnvelopeTexts(*info, r);
  r.activate = Bool(op, "ActivateEnvelope", "The request");

  const XmlElement* templates = op.Child(kNs, "CompositeTemplates");
  if (!templates) Refuse("The request has no CompositeTemplates.");
  std::set<long> sequences;
  int n = 0;
  for (const XmlElement* ct : templates->Children(kNs, "CompositeTemplate")) {
    const std::string where = "Composite template " + std::to_string(++n);
    int sequence = n;
    if (const XmlElement* inlines = ct->Child(kNs, "InlineTemplates")) {
      for (const XmlElement* it : inlines->Children(kNs, "InlineTemplate")) {
        std::optional<long> given = Whole(*it, "Sequence", 1, where);
        if (!given) Refuse(where + ": the InlineTemplate has no Sequence.");
        if (!sequences.insert(*given).second) Refuse(where + ": the Sequence " + std::to_string(*given) + " is used twice.");
        sequence = static_cast<int>(*given);
        const XmlElement* envelope = it->Child(kNs, "Envelope");
        if (!envelope) Refuse(where + ": the InlineTemplate has no Envelope.");
        CheckAccount(*envelope, accountId, where + ", Envelope");
        ReadRecipients(*envelope, r, where + ", ");
        ReadTabs(*envelope, r, sequence, where + ", ");
      }
    }
    const XmlElement* document = ct->Child(kNs, "Document");
    if (!document) Refuse(where + " has no Document.");
    r.documents.push_back(ReadDocument(*document, where + ", document", sequence));
  }
  if (n == 0) Refuse("The CompositeTemplates hold no CompositeTemplate.");
  CheckWhole(r, true);
  return r;
}

}  // namespace

std::string EnvelopeRequest::Status() const {
  if (action == "CreateEnvelope") return "Created";
  if (action == "CreateEnvelopeFromTemplatesAndForms") return activate.value_or(false) ? "Sent" : "Created";
  return "Sent";
}

EnvelopeRequest ReadEnvelopeRequest(const XmlElement& operation, std::string_view accountId) {
  if (operation.name == "CreateEnvelopeFromTemplatesAndForms") return ReadComposite(operation, accountId);
  return ReadSimple(operation, accountId);
}

XmlDocument::SinkChoice DocumentSinkChoice(const std::filesystem::path& stem) {
  auto count = std::make_shared<int>(0);
  return [stem, count](const XmlElement& e) -> std::unique_ptr<TextSink> {
    if (!e.Is(kNs, "PDFBytes")) return nullptr;
    std::filesystem::path file = stem;
    file += ".document-" + std::to_string((*count)++) + ".bin";
    return std::make_unique<Base64FileSink>(file);
  };
}

}  // namespace sim

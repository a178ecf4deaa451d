#include "operations/opsenddoc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/base64.h"
#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "foundation/xmldoc.h"
#include "model/document.h"
#include "model/template.h"
#include "transport/servicenames.h"

namespace {

constexpr const char* kHead = "Head";
constexpr const char* kRecips = "Recips";
constexpr const char* kTail = "Tail";
constexpr const char* kOptions = "Options";

// The e-mail blurb is escaped piece by piece, at most this many bytes at a time.
constexpr std::size_t kBlurbChunk = 127;
// Documents are encoded this many 48-byte lines at a time (64 characters and a line feed each,
// as the file coder writes them).
constexpr std::size_t kLineBytes = 48;
constexpr std::size_t kLineChars = 64;
constexpr std::size_t kLinesPerPiece = 4096;

std::string Decimal(long long value) { return std::to_string(value); }

// An offset or position that the service would refuse as negative goes out as "0".
std::string NotNegative(const std::string& text) { return !text.empty() && text[0] == '-' ? "0" : text; }

std::string WithoutSpaces(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

// The length of the longest start of `text` that does not end inside a UTF-8 character: a
// character cut in two would be dropped by the escaping as invalid.
std::size_t WholeCharacters(const char* text, std::size_t length) {
  for (std::size_t back = 1; back <= 4 && back <= length; ++back) {
    const auto c = static_cast<unsigned char>(text[length - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t size = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return size > back ? length - back : length;
  }
  return length;
}

}  // namespace

OpSendDoc::OpSendDoc(std::string url, const CCredentials& credentials) : OpAttestra(std::move(url), credentials) {
  kind_ = "OpSendDoc";
  progress_[0] = "Preparing Documents";
  progress_[1] = "Preparing Documents";
  progress_[2] = "Sending Document(s): %lu of %lu bytes";
  progress_[3] = "Confirming Documents";
  progress_[4] = "Confirming Documents";
  progress_[5] = "Documents Sent.";
  faultElement_ = "soap:Fault";
  bodyPath_ = "/soap:Envelope/soap:Body";
}

// The request file normally goes once it is posted; after a failed transfer it would stay behind
// with the documents and the password in it. Broadcast pieces belong to the agent and stay.
OpSendDoc::~OpSendDoc() {
  if (pieces_.empty() && bodyFromFile_ && !body_.empty()) {
    FinishRequestFile();
    std::remove(body_.c_str());
  }
}

CBodyPart& OpSendDoc::AddBodyPart(com::ComPtr<IDispatch> item, std::string name, std::string label,
                                  std::int32_t bodyFormat) {
  return *BodyParts.Append(
      std::make_unique<CBodyPart>(std::move(item), std::move(name), std::move(label), bodyFormat));
}

bool OpSendDoc::IsBodyEmpty() {
  CBodyPart* body = BodyParts.FindIf([](const CBodyPart& part) { return part.IsMessageBody(); });
  if (!body) return false;
  std::size_t length = 0;
  const bool saved = body->SaveContent(true, false, {}, &length);
  body->DropLocalFile();
  return saved && length <= 1;
}

bool OpSendDoc::PrepareData() {
  const HRESULT hr = Guarded("OpSendDoc::PrepareData", [&] {
    SetAction();
    pieces_.clear();
    current_ = recips_ = nullptr;
    if (!prepared_.empty()) {
      Assemble();
      return;
    }
    CheckTrue(!BodyParts.empty() && !Recipients.empty(), E_INVALIDARG);
    OpenOutput();
    if (Composite)
      WriteCompositeBody();
    else
      WriteSimpleBody();
    Finish(Options.Broadcast != 0);
  });
  if (FAILED(hr)) {
    Abandon();
    result_ = hr;
    return false;
  }
  return true;
}

void OpSendDoc::SetAction() {
  if (action_ != sendaction::kCreate) action_ = Composite ? sendaction::kComposite : sendaction::kCreateAndSend;
  soapAction_ = std::string(attestra::kActionBase) + "/" + action_;
}

void OpSendDoc::Assemble() {
  out_ = OpenRequestFile();
  CheckTrue(out_ != nullptr);
  CheckTrue(UseResponseFile());
  WriteHeader();
  while (!prepared_.empty()) {
    CheckTrue(AppendFileToRequest(out_, prepared_.front()));
    prepared_.erase(prepared_.begin());
  }
  Finish(false);
}

void OpSendDoc::OpenOutput() {
  recipsWritten_ = false;
  if (!Options.Broadcast) {
    out_ = OpenRequestFile();
    CheckTrue(out_ != nullptr);
    CheckTrue(UseResponseFile());
    WriteHeader();
    return;
  }
  // The agent writes a fresh header for each envelope it assembles.
  CCastlet& head = AddPiece(kHead);
  SwitchTo(head);
  body_ = head.Path();
  bodyFromFile_ = true;
  recips_ = &AddPiece(kRecips);
  AddPiece(kTail);
  std::string options;
  CheckTrue(Options.Write(options));
  Check(AddPiece(kOptions, options).Close());
}

void OpSendDoc::WriteHeader() {
  CheckTrue(OpAttestra::PrepareData());
  Raw(EnvelopeStart());
  Raw("<SOAP-ENV:Header>\n");
  Raw(addressingHeader_);
  Raw(securityHeader_);
  Raw("</SOAP-ENV:Header>\n");
  const std::string ns = attestra::kApiNamespace;
  if (Composite) {
    Raw("<SOAP-ENV:Body><" + std::string(sendaction::kComposite) + " xmlns=\"" + ns + "\">\n");
    Raw("<EnvelopeInformation><Notification>");
    Element("UseAccountDefaults", "true");
    Raw("</Notification>");
  } else {
    Raw("<SOAP-ENV:Body>\n");
    Raw("<" + action_ + " xmlns=\"" + ns + "\">\n");
    Raw("<Envelope>\n");
  }
}

void OpSendDoc::WriteSimpleBody() {
  Element("AccountId", credentials_.accountId);
  Raw("<Documents>");
  WriteDocuments();
  Raw("</Documents>");
  if (recips_) {
    SwitchTo(*recips_);
    WriteRecipients();
    SwitchTo(*FirstPiece(kTail));
  } else {
    WriteRecipients();
  }
  if (Governed()) {
    Raw("<Tabs>");
    WriteTabs();
    Raw("</Tabs>");
  }
  Element("Subject", Subject.empty() ? "no subject" : Subject, false, true);
  WriteBlurb();
  if (Governed()) {
    if (!CustomFields.empty()) WriteCustomFields(true);
    WriteTemplateOptions();
  }
  WriteNotification();
  Raw("</Envelope>\n");
  Raw("</" + action_ + ">\n");
  Raw("</SOAP-ENV:Body>\n");
  Raw("</SOAP-ENV:Envelope>\n");
}

void OpSendDoc::WriteCompositeBody() {
  Element("AccountId", credentials_.accountId);
  Element("Subject", Subject.empty() ? "no subject" : Subject, false, true);
  WriteBlurb();
  if (Governed()) {
    WriteCustomFields(false);
    WriteTemplateOptions();
  }
  WriteNotification();
  Raw("</EnvelopeInformation>");
  if (const CTransaction* governing = Options.Transaction.get()) {
    Raw("<CompositeTemplates>");
    int n = 1;
    for (const CeDoc& document : governing->Documents) {
      if (Options.Broadcast) {
        AddMarker(CCastlet::kTemplateOpen);
        SwitchTo(AddPiece(kHead));
      }
      Raw("<CompositeTemplate><InlineTemplates><InlineTemplate>");
      Element("Sequence", Decimal(n));
      Raw("<Envelope>");
      Element("AccountId", credentials_.accountId);
      if (recips_)
        WriteRecipientsInPiece();
      else
        WriteRecipients();
      if (Options.Broadcast) SwitchTo(AddPiece(kTail));
      Raw("<Tabs>");
      WriteTabs();
      WriteFormFieldTabs();
      Raw("</Tabs>");
      Raw("</Envelope></InlineTemplate></InlineTemplates>");
      if (document.Name == sendtext::kOutlookAttachment) {
        CBodyPart* part = FirstDocumentPart();
        CheckTrue(part != nullptr, E_INVALIDARG);
        WritePartDocument(*part, 1);
      } else {
        WriteTemplateDocument(document, Decimal(n), true);
      }
      Element("TransformPdfFields", "true");
      Raw("</Document>\n");
      Raw("</CompositeTemplate>");
      if (Options.Broadcast) AddMarker(CCastlet::kTemplateClose);
      ++n;
    }
    if (Options.Broadcast) SwitchTo(*FirstPiece(kTail));
    Raw("</CompositeTemplates>");
    Element("ActivateEnvelope", "true");
  }
  Raw("</" + std::string(sendaction::kComposite) + "></SOAP-ENV:Body>\n");
  Raw("</SOAP-ENV:Envelope>\n");
}

void OpSendDoc::WriteDocuments() {
  const CTransaction* governing = Options.Transaction.get();
  if (Options.Mode == CSendOptions::kModeGoverned && governing && governing->IsKindOf("CTemplate") &&
      !Options.BodyAsDocument) {
    for (const CeDoc& document : governing->Documents) {
      WriteTemplateDocument(document, document.Key, false);
      Raw("</Document>");
    }
    return;
  }
  int id = 1;
  for (CBodyPart& part : BodyParts) {
    if (part.IsMessageBody()) continue;
    WritePartDocument(part, id++);
    Raw("</Document>");
  }
}

// Up to and including the closing PDFBytes tag; the caller closes the Document.
void OpSendDoc::WriteTemplateDocument(const CeDoc& document, const std::string& id, bool composite) {
  Raw(composite ? "<Document>\n" : "<Document>");
  Element("ID", id);
  Element("Name", document.Name);
  Element("AttachmentDescription", document.Description, true);
  Raw("<PDFBytes>");
  CheckTrue(AppendFileToRequest(out_, document.FilePath));
  Raw("</PDFBytes>");
}

void OpSendDoc::WritePartDocument(CBodyPart& part, int id) {
  Raw("<Document>\n");
  Element("ID", Decimal(id));
  Element("Name", part.Name);
  Element("FileExtension", part.Extension);
  Raw("<PDFBytes>\n");
  WritePartBytes(part);
  Raw("</PDFBytes>");
}

// The part's bytes are encoded from its local file straight into the request, in lines of 64
// characters, without a second temporary file; the local file goes afterwards.
void OpSendDoc::WritePartBytes(CBodyPart& part) {
  if (part.LocalPath.empty()) CheckTrue(part.SaveContent(false, false));
  struct DropLater {
    CBodyPart& part;
    ~DropLater() { part.DropLocalFile(); }
  } drop{part};
  FilePtr in(std::fopen(part.LocalPath.c_str(), "rb"));
  CheckTrue(in != nullptr);
  std::vector<unsigned char> bytes(kLineBytes * kLinesPerPiece);
  std::vector<char> text((kLineChars + 1) * kLinesPerPiece);
  Base64Coder coder;
  for (;;) {
    const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), in.get());
    CheckTrue(!std::ferror(in.get()));
    if (n == 0) break;
    coder.Encode(bytes.data(), n);
    const char* encoded = coder.GetEncoded();
    const std::size_t length = coder.GetEncodedLength();
    char* end = text.data();
    for (std::size_t at = 0; at < length; at += kLineChars) {
      const std::size_t line = std::min(kLineChars, length - at);
      std::memcpy(end, encoded + at, line);
      end += line;
      *end++ = '\n';
    }
    Raw(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())));
    if (n < bytes.size()) break;
  }
}

void OpSendDoc::WriteRecipients() {
  fixedCounter_ = 2;
  Raw("<Recipients>");
  for (CRecip& recipient : Recipients) {
    const std::int32_t number = Number(recipient);
    Raw("<Recipient>");
    Element("ID", Decimal(number));
    Element("UserName", recipient.Name, false, true);
    Element("Email", recipient.Email, false, true);
    Element("Type", WithoutSpaces(recipient.Type));
    Element("DefaultRecipient", "true");
    Element("AccessCode", recipient.AccessCode, false, true);
    Element("RequireIDLookup", recipient.IDCheck == sendtext::kYes ? "true" : "false");
    if (!recipient.Note.empty()) Element("Note", recipient.Note, false, true);
    if (Options.RoutingOrder && !recipient.RoutingOrder.empty()) Element("RoutingOrder", recipient.RoutingOrder);
    Raw("</Recipient>");
  }
  Raw("</Recipients>");
}

// Composite broadcast: the recipients go into the Recips piece once, for the first template.
void OpSendDoc::WriteRecipientsInPiece() {
  if (recipsWritten_) return;
  std::FILE* resume = out_;
  out_ = recips_->File();
  CheckTrue(out_ != nullptr);
  WriteRecipients();
  Check(recips_->Close());
  recipsWritten_ = true;
  out_ = resume;
}

std::int32_t OpSendDoc::Number(CRecip& recipient) {
  if (!Options.Broadcast) return recipient.ID;
  if (recipient.BroadcastID == 0) recipient.BroadcastID = recipient.BroadcastFixed ? fixedCounter_++ : 1;
  return recipient.BroadcastID;
}

const CRecip* OpSendDoc::RecipientNumbered(const std::string& number) {
  return Recipients.FindIf([&](const CRecip& r) {
    return Decimal(Options.Broadcast ? r.BroadcastID : r.ID) == number;
  });
}

void OpSendDoc::WriteTabs() {
  for (CTab& tab : Tabs) {
    const CRecip* recipient = RecipientNumbered(tab.RecipientID);
    if (!recipient) continue;
    Raw("<Tab>");
    Element("RecipientID", tab.RecipientID);
    Element("Type", tab.Type);
    if (tab.BoundField && tab.BoundField->ByLabel) {
      Element("TabLabel", tab.TabLabel);
    } else if (recipient->Role && recipient->Role->UseAnchors) {
      Raw("<AnchorTabItem>\n");
      Element("AnchorTabString", tab.AnchorTabString, true, true);
      Element("XOffset", NotNegative(tab.XOffset), true);
      Element("YOffset", NotNegative(tab.YOffset), true);
      Element("Unit", tab.Unit, true);
      Element("IgnoreIfNotPresent", "true");
      Raw("</AnchorTabItem>\n");
    } else {
      Element("DocumentID", tab.DocumentID);
      Element("PageNumber", tab.PageNumber);
      Element("XPosition", NotNegative(tab.XPosition));
      Element("YPosition", NotNegative(tab.YPosition));
      Element("ScaleValue", tab.ScaleValue, true);
      if (tab.Name.empty() && tab.Type == "Custom" && !tab.TabLabel.empty()) tab.Name = tab.TabLabel;
      Element("Name", tab.Name);
      Element("TabLabel", tab.TabLabel);
      std::string value = tab.Value;
      if (tab.BoundField && !tab.BoundField->Value.empty()) {
        const CKeywordValue& field = *tab.BoundField;
        if (field.Kind == "Checkbox")
          value = field.Value == "yes" ? "X" : "";
        else if (field.Kind == "Radio")
          value = field.Value == tab.Name || (tab.GroupField && tab.GroupField->Value == tab.Name) ? "X" : "";
        else
          value = field.Value;
      }
      Element("Value", value);
      Element("CustomTabType", tab.CustomTabType, true);
      Element("CustomTabRequired", tab.CustomTabRequired, true);
      Element("CustomTabLocked", tab.CustomTabLocked, true);
      Element("CustomTabDisableAutoSize", tab.CustomTabDisableAutoSize, true);
      if (tab.Type != "SignerAttachment") {
        Element("CustomTabValidationPattern", tab.CustomTabValidationPattern, true);
        Element("CustomTabValidationMessage", tab.CustomTabValidationMessage, true);
      }
      Element("TemplateLocked", tab.TemplateLocked, true);
      Element("TemplateRequired", tab.TemplateRequired, true);
    }
    Raw("</Tab>");
  }
}

// A tab per form field of the governing documents, for the recipient whose role fills it in;
// a field that no recipient's role fills in is locked.
void OpSendDoc::WriteFormFieldTabs() {
  const CTransaction* governing = Options.Transaction.get();
  if (!governing) return;
  for (const CeDoc& document : governing->Documents) {
    for (const CKeywordValue& field : document.Fields) {
      Raw("<Tab>");
      Element("Type", "Custom");
      Element("TabLabel", field.Keyword);
      const CRecip* setter = field.Value.empty() ? nullptr : Recipients.FindIf([&](const CRecip& r) {
        return r.RoleName == field.Value;
      });
      if (setter)
        Element("RecipientID", Decimal(Options.Broadcast ? setter->BroadcastID : setter->ID));
      else
        Element("TemplateLocked", "true");
      Raw("</Tab>");
    }
  }
}

void OpSendDoc::WriteCustomFields(bool lineBreaks) {
  Raw(lineBreaks ? "<CustomFields>\n" : "<CustomFields>");
  for (const CCustomField& field : CustomFields) {
    Raw("<CustomField>\n");
    Element("Name", field.Name);
    Element("Show", field.Show);
    Element("Value", field.Value);
    Element("Required", field.Required);
    Raw("</CustomField>\n");
  }
  Raw(lineBreaks ? "</CustomFields>\n" : "</CustomFields>");
}

void OpSendDoc::WriteTemplateOptions() {
  const CTransaction* governing = Options.Transaction.get();
  if (!governing || !governing->IsKindOf("CTemplate")) return;
  const auto& t = static_cast<const CTemplate&>(*governing);
  Element("SigningLocation", t.SigningLocation, true);
  Element("AutoNavigation", t.AutoNavigation, true);
  Element("EnvelopeIdStamping", t.EnvelopeIdStamping, true);
  Element("AuthoritativeCopy", t.AuthoritativeCopy, true);
}

void OpSendDoc::WriteNotification() {
  if (!Options.ExpireAfter && !Options.RemindAfter) return;
  Raw("<Notification>");
  if (Options.ExpireAfter) {
    Raw("<Expirations>\n");
    Element("ExpireEnabled", "true");
    Element("ExpireAfter", Decimal(Options.ExpireAfter));
    Element("ExpireWarn", Decimal(Options.ExpireWarn));
    Raw("</Expirations>\n");
  }
  if (Options.RemindAfter) {
    Raw("<Reminders>\n");
    Element("ReminderEnabled", "true");
    Element("ReminderDelay", Decimal(Options.RemindAfter));
    Element("ReminderFrequency", Decimal(Options.RemindFreq));
    Raw("</Reminders>\n");
  }
  Raw("</Notification>\n");
}

// The plain-text body is escaped in pieces of at most 127 bytes, each ending on a whole
// character, so that no accented letter is cut in two at a piece's end.
void OpSendDoc::WriteBlurb() {
  Raw("<EmailBlurb>");
  CBodyPart* body = Options.BodyAsDocument
                        ? nullptr
                        : BodyParts.FindIf([](const CBodyPart& part) { return part.IsMessageBody(); });
  if (body) {
    CheckTrue(body->SaveContent(true, false));
    struct DropLater {
      CBodyPart& part;
      ~DropLater() { part.DropLocalFile(); }
    } drop{*body};
    FilePtr in(std::fopen(body->LocalPath.c_str(), "rb"));
    CheckTrue(in != nullptr);
    char chunk[kBlurbChunk];
    std::size_t held = 0;
    for (;;) {
      const std::size_t n = std::fread(chunk + held, 1, sizeof chunk - held, in.get());
      CheckTrue(!std::ferror(in.get()));
      held += n;
      if (held == 0) break;
      // At the end of the text whatever is left goes, whole or not.
      std::size_t take = n == 0 ? held : WholeCharacters(chunk, held);
      if (take == 0) take = held;
      Raw(XmlEscape(std::string_view(chunk, take)));
      std::memmove(chunk, chunk + take, held - take);
      held -= take;
    }
  }
  Raw("</EmailBlurb>\n");
}

void OpSendDoc::Finish(bool pieces) {
  if (pieces) {
    for (auto& piece : pieces_) Check(piece->Close());
  } else {
    CheckTrue(FinishRequestFile());
  }
  out_ = nullptr;
  current_ = nullptr;
  bodyFromFile_ = true;
}

// Nothing half-written stays: the request file, or every piece and the options file.
void OpSendDoc::Abandon() {
  out_ = nullptr;
  current_ = recips_ = nullptr;
  if (!pieces_.empty()) {
    for (auto& piece : pieces_) piece->DeleteFlag = true;
    pieces_.clear();
  } else if (bodyFromFile_ && !body_.empty()) {
    FinishRequestFile();
    std::remove(body_.c_str());
  }
  body_.clear();
  bodyFromFile_ = false;
}

CCastlet& OpSendDoc::AddPiece(std::string name, std::string path) {
  auto piece = std::make_unique<CCastlet>(std::move(name), std::move(path));
  CheckTrue(piece->IsOpen());
  pieces_.push_back(std::move(piece));
  return *pieces_.back();
}

void OpSendDoc::AddMarker(const char* text) { pieces_.push_back(CCastlet::Marker(text)); }

void OpSendDoc::SwitchTo(CCastlet& piece) {
  if (current_ && current_ != &piece) Check(current_->Close());
  current_ = &piece;
  out_ = piece.File();
  CheckTrue(out_ != nullptr);
}

CCastlet* OpSendDoc::FirstPiece(const std::string& name) {
  for (auto& piece : pieces_)
    if (piece->Name() == name) return piece.get();
  Raise(E_FAIL);
}

bool OpSendDoc::Governed() const {
  return Options.Mode == CSendOptions::kModeGoverned && Options.Transaction != nullptr;
}

CBodyPart* OpSendDoc::FirstDocumentPart() {
  return BodyParts.FindIf([](const CBodyPart& part) { return !part.IsMessageBody(); });
}

void OpSendDoc::Raw(std::string_view text) {
  CheckTrue(out_ != nullptr);
  CheckTrue(std::fwrite(text.data(), 1, text.size(), out_) == text.size());
}

void OpSendDoc::Element(std::string_view name, std::string_view value, bool omitWhenEmpty, bool escape) {
  CheckTrue(out_ != nullptr);
  Check(WriteElement(name, escape ? std::string(value) : MarkupSafe(value), out_, omitWhenEmpty, escape));
}

bool OpSendDoc::ParseResponse() {
  CXMLDoc* doc = doc_.get();
  if (!doc) {
    result_ = E_FAIL;
    return false;
  }
  const std::string path = action_ + "Response/" + action_ + "Result";
  if ((result_ = doc->GotoNode(path)) != S_OK) return false;
  result_ = doc->GetSingleNodeValue("EnvelopeID", EnvelopeID);
  return result_ == S_OK;
}

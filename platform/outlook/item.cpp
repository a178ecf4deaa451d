#include "platform/outlook/item.h"

#include <fstream>

#include "platform/outlook/attachments.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/collection.h"
#include "platform/outlook/directory.h"
#include "platform/outlook/events.h"
#include "platform/outlook/folder.h"
#include "platform/outlook/inspector.h"
#include "platform/outlook/mime.h"
#include "platform/outlook/recipients.h"
#include "platform/outlook/userproperties.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

struct KindInfo {
  int itemType;
  int objectClass;
  const char* messageClass;
  int defaultFolder;
};

constexpr KindInfo kKinds[] = {
    {olMailItem, olMail, "IPM.Note", olFolderDrafts},
    {olAppointmentItem, olAppointment, "IPM.Appointment", olFolderCalendar},
    {olContactItem, olContact, "IPM.Contact", olFolderContacts},
    {olTaskItem, olTask, "IPM.Task", olFolderTasks},
    {olJournalItem, olJournal, "IPM.Activity", olFolderJournal},
    {olNoteItem, olNote, "IPM.StickyNote", olFolderNotes},
};

const KindInfo* KindOfClass(int objectClass) {
  for (const KindInfo& k : kKinds)
    if (k.objectClass == objectClass) return &k;
  return nullptr;
}

com::Variant DefaultOf(com::VarType type) {
  switch (type) {
    case com::VarType::Int:
      return com::Variant(0);
    case com::VarType::Bool:
      return com::Variant(false);
    case com::VarType::Double:
      return com::Variant(0.0);
    case com::VarType::Date:
      return com::Variant::FromDate(kNoDate);
    default:
      return com::Variant(std::string());
  }
}

com::Variant Convert(com::VarType type, const com::Variant& v) {
  switch (type) {
    case com::VarType::Int:
      return com::Variant(v.AsInt());
    case com::VarType::Bool:
      return com::Variant(v.AsBool());
    case com::VarType::Double:
      return com::Variant(v.AsDouble());
    case com::VarType::Date:
      return com::Variant::FromDate(v.AsDate());
    default:
      return com::Variant(v.AsText());
  }
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// The SMTP address a resolved recipient reaches, for message headers.
std::string SmtpOf(ProfileStore& store, const RecipientRecord& r) {
  if (!r.resolved) return {};
  if (r.addressType == "SMTP") return r.address;
  if (r.addressType == "EX") {
    std::optional<DirectoryEntry> e = Directory(store).ByLegacyDn(r.address);
    if (e) return e->PrimarySmtp();
  }
  return {};
}

}  // namespace

int ClassOfItemType(int itemType) {
  for (const KindInfo& k : kKinds)
    if (k.itemType == itemType) return k.objectClass;
  return 0;
}

int ItemTypeOfClass(int objectClass) {
  const KindInfo* k = KindOfClass(objectClass);
  return k ? k->itemType : -1;
}

std::string DefaultMessageClass(int objectClass) {
  const KindInfo* k = KindOfClass(objectClass);
  return k ? k->messageClass : "IPM";
}

int ClassOfMessageClass(std::string_view messageClass) {
  for (const KindInfo& k : kKinds) {
    std::string_view base = k.messageClass;
    if (messageClass.size() >= base.size() && win::EqualsNoCase(messageClass.substr(0, base.size()), base) &&
        (messageClass.size() == base.size() || messageClass[base.size()] == '.'))
      return k.objectClass;
  }
  return 0;
}

int DefaultFolderOfItemType(int itemType) {
  for (const KindInfo& k : kKinds)
    if (k.itemType == itemType) return k.defaultFolder;
  return 0;
}

ItemObject::ItemObject(std::shared_ptr<Session> session, ItemRecord record)
    : session_(std::move(session)), record_(std::move(record)) {
  AddEventSource(IID_ItemEvents);
  if (IsStored()) session_->Register(this, record_.id);
  AddCommonMembers();
  switch (record_.objectClass) {
    case olMail:
      AddMailMembers();
      break;
    case olTask:
      AddTaskMembers();
      break;
    case olContact:
      AddContactMembers();
      break;
    case olJournal:
      AddJournalMembers();
      break;
    default:
      break;
  }
}

ItemObject::~ItemObject() { session_->Unregister(this); }

com::Variant ItemObject::Prop(std::string_view name) const {
  auto it = record_.props.find(std::string(name));
  return it == record_.props.end() ? com::Variant() : it->second;
}

void ItemObject::SetProp(std::string_view name, com::Variant value) {
  record_.props[std::string(name)] = std::move(value);
  dirty_ = true;
}

std::string ItemObject::Text(std::string_view name) const {
  if (name == "Subject" && record_.objectClass == olContact) return Text("FullName");
  com::Variant v = Prop(name);
  std::string text;
  if (v.IsEmpty() || FAILED(v.ToText(text))) return {};
  return text;
}

void ItemObject::AddPlain(const char* name, com::VarType type, bool writable) {
  std::string key = name;
  auto get = [this, key, type] {
    com::Variant v = Prop(key);
    return v.IsEmpty() ? DefaultOf(type) : v;
  };
  if (writable)
    Property(name, get, [this, key, type](const com::Variant& v) { SetProp(key, Convert(type, v)); });
  else
    Property(name, get);
}

void ItemObject::AddCommonMembers() {
  using com::VarType;
  Property("Class", [this] { return record_.objectClass; });
  Property("MessageClass", [this] { return record_.messageClass; },
           [this](const com::Variant& v) {
             std::string mc = v.AsText();
             if (mc.empty()) com::Throw(E_INVALIDARG);
             record_.messageClass = mc;
             dirty_ = true;
           });
  Property("EntryID", [this] { return record_.entryId; });
  Property("Subject", [this] { return Text("Subject"); },
           [this](const com::Variant& v) {
             SetProp(record_.objectClass == olContact ? "FullName" : "Subject", com::Variant(v.AsText()));
           });
  Property("Body", [this] { return Text("Body"); },
           [this](const com::Variant& v) {
             std::string body = v.AsText();
             SetProp("Body", com::Variant(body));
             if (Prop("BodyFormat").Type() == VarType::Int && Prop("BodyFormat").AsInt() == olFormatHTML)
               SetProp("HTMLBody", com::Variant(TextToHtml(body)));
           });
  AddPlain("Categories", VarType::Text);
  Property("Importance", [this] { return Prop("Importance").IsEmpty() ? 1 : Prop("Importance").AsInt(); },
           [this](const com::Variant& v) {
             int n = v.AsInt();
             if (n < 0 || n > 2) com::Throw(E_INVALIDARG);
             SetProp("Importance", com::Variant(n));
           });
  Property("CreationTime", [this] { return com::Variant::FromDate(IsStored() ? record_.created : NowDate()); });
  Property("LastModificationTime", [this] { return com::Variant::FromDate(IsStored() ? record_.modified : NowDate()); });
  Property("Saved", [this] { return IsStored() && !dirty_; });
  Property("Parent", [this](com::Variant& r) -> HRESULT {
    r = com::Variant(MakeFolder(session_, record_.folderId));
    return S_OK;
  });
  Property("Attachments", [this] { return com::Make<AttachmentsCollection>(com::ComPtr<ItemObject>(this)); });
  Property("UserProperties", [this] { return com::Make<UserPropertiesCollection>(com::ComPtr<ItemObject>(this)); });
  Property("GetInspector", [this](com::Variant& r) -> HRESULT {
    com::ComPtr<IDispatch> inspector;
    HRESULT hr = OpenInspector(*this, false, inspector);
    if (SUCCEEDED(hr)) r = com::Variant(inspector);
    return hr;
  });
  Method("Save", 0, 0, [this](const com::DispParams&) -> void {
    HRESULT hr = Save();
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("SaveAs", 1, 2, [this](const com::DispParams& a) -> void {
    std::string path = a.Text(0);
    int type = a.Has(1) ? a.Int(1) : olMSG;
    if (path.empty()) com::Throw(E_INVALIDARG);
    HRESULT hr = S_OK;
    if (type == olMSG || type == olMSGUnicode) {
      hr = WriteMessageFile(path);
    } else if (type == olTXT || type == olHTML) {
      std::string text = type == olTXT ? "Subject: " + Text("Subject") + "\r\n\r\n" + Text("Body") + "\r\n"
                                       : TextToHtml(Text("Body"));
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << text;
      if (!out) hr = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    } else {
      hr = E_INVALIDARG;
    }
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Close", 1, 1, [this](const com::DispParams& a) -> void {
    HRESULT hr = Close(a.Int(0));
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Delete", 0, 0, [this](const com::DispParams&) -> void {
    HRESULT hr = Delete();
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Display", 0, 1, [this](const com::DispParams& a) -> void {
    HRESULT hr = Display(a.BoolOr(0, false));
    if (FAILED(hr)) com::Throw(hr);
  });
  Method("Move", 1, 1, [this](const com::DispParams& a) {
    std::int64_t folder = FolderIdOf(a[0]);
    if (!folder) com::Throw(E_INVALIDARG);
    HRESULT hr = Move(folder);
    if (FAILED(hr)) com::Throw(hr);
    return com::ComPtr<ItemObject>(this);
  });
}

void ItemObject::AddMailMembers() {
  using com::VarType;
  Property("HTMLBody",
           [this] {
             std::string html = Text("HTMLBody");
             return html.empty() ? TextToHtml(Text("Body")) : html;
           },
           [this](const com::Variant& v) {
             std::string html = v.AsText();
             SetProp("HTMLBody", com::Variant(html));
             SetProp("BodyFormat", com::Variant(static_cast<int>(olFormatHTML)));
             SetProp("Body", com::Variant(HtmlToText(html)));
           });
  Property("BodyFormat", [this] { return Prop("BodyFormat").IsEmpty() ? int(olFormatPlain) : Prop("BodyFormat").AsInt(); },
           [this](const com::Variant& v) {
             int format = v.AsInt();
             if (format < olFormatPlain || format > olFormatRichText) com::Throw(E_INVALIDARG);
             SetProp("BodyFormat", com::Variant(format));
             if (format == olFormatHTML && Text("HTMLBody").empty())
               SetProp("HTMLBody", com::Variant(TextToHtml(Text("Body"))));
             if (format != olFormatHTML) record_.props.erase("HTMLBody");
           });
  for (int type : {olTo, olCC, olBCC}) {
    const char* name = type == olTo ? "To" : type == olCC ? "CC" : "BCC";
    Property(name, [this, type] { return RecipientText(type); },
             [this, type](const com::Variant& v) { SetRecipientText(type, v.AsText()); });
  }
  Property("Recipients", [this] { return com::Make<RecipientsCollection>(com::ComPtr<ItemObject>(this)); });
  AddPlain("Sent", VarType::Bool, false);
  AddPlain("SentOn", VarType::Date, false);
  AddPlain("ReceivedTime", VarType::Date, false);
  AddPlain("SenderName", VarType::Text, false);
  AddPlain("SenderEmailAddress", VarType::Text, false);
  AddPlain("UnRead", VarType::Bool);
  Method("Send", 0, 0, [this](const com::DispParams&) -> void {
    if (record_.recipients.empty()) com::Throw(E_FAIL);
    for (const auto& r : record_.recipients) {
      com::ComPtr<RecipientObject> recipient = com::Make<RecipientObject>(session_, com::ComPtr<ItemObject>(this), r);
      if (!recipient->Resolve()) com::Throw(MAPI_E_NOT_FOUND);
    }
    std::optional<outlook::Identity> me;
    StoreCall([&] { me = Directory(session_->Store()).CurrentUser(); });
    SetProp("Sent", com::Variant(true));
    SetProp("SentOn", com::Variant::FromDate(NowDate()));
    if (me) {
      SetProp("SenderName", com::Variant(me->displayName));
      SetProp("SenderEmailAddress", com::Variant(me->address));
    }
    std::optional<FolderRecord> sent;
    StoreCall([&] { sent = session_->Store().DefaultFolder(olFolderSentMail); });
    if (!sent) com::Throw(E_FAIL);
    HRESULT hr = IsStored() ? Save() : S_OK;
    if (SUCCEEDED(hr)) hr = Move(sent->id);
    if (FAILED(hr)) com::Throw(hr);
  });
}

void ItemObject::AddTaskMembers() {
  using com::VarType;
  auto status = [this] { return Prop("Status").IsEmpty() ? int(olTaskNotStarted) : Prop("Status").AsInt(); };
  auto percent = [this] { return Prop("PercentComplete").IsEmpty() ? 0 : Prop("PercentComplete").AsInt(); };
  // Complete, Status and PercentComplete move together as in Outlook: a complete task is
  // status 2 at 100 percent.
  Property("Status", status, [this, percent](const com::Variant& v) {
    int s = v.AsInt();
    if (s < olTaskNotStarted || s > olTaskDeferred) com::Throw(E_INVALIDARG);
    SetProp("Status", com::Variant(s));
    if (s == olTaskComplete) {
      SetProp("PercentComplete", com::Variant(100));
      SetProp("DateCompleted", com::Variant::FromDate(NowDate()));
    }
  });
  Property("Complete", [status] { return status() == olTaskComplete; },
           [this, status, percent](const com::Variant& v) {
             if (v.AsBool()) {
               SetProp("Status", com::Variant(static_cast<int>(olTaskComplete)));
               SetProp("PercentComplete", com::Variant(100));
               SetProp("DateCompleted", com::Variant::FromDate(NowDate()));
             } else if (status() == olTaskComplete) {
               SetProp("Status", com::Variant(static_cast<int>(percent() > 0 && percent() < 100 ? olTaskInProgress
                                                                                               : olTaskNotStarted)));
               if (percent() == 100) SetProp("PercentComplete", com::Variant(0));
             }
           });
  Property("PercentComplete", percent, [this, status](const com::Variant& v) {
    int p = v.AsInt();
    if (p < 0 || p > 100) com::Throw(E_INVALIDARG);
    SetProp("PercentComplete", com::Variant(p));
    if (p == 100 && status() != olTaskComplete) {
      SetProp("Status", com::Variant(static_cast<int>(olTaskComplete)));
      SetProp("DateCompleted", com::Variant::FromDate(NowDate()));
    } else if (p < 100 && status() == olTaskComplete) {
      SetProp("Status", com::Variant(static_cast<int>(p > 0 ? olTaskInProgress : olTaskNotStarted)));
    }
  });
  AddPlain("StartDate", VarType::Date);
  AddPlain("DueDate", VarType::Date);
  AddPlain("DateCompleted", VarType::Date, false);
  AddPlain("Owner", VarType::Text);
  Property("Recipients", [this] { return com::Make<RecipientsCollection>(com::ComPtr<ItemObject>(this)); });
}

void ItemObject::AddContactMembers() {
  using com::VarType;
  Property("FullName", [this] { return Text("FullName"); },
           [this](const com::Variant& v) {
             std::string full = Trimmed(v.AsText());
             SetProp("FullName", com::Variant(full));
             // Outlook splits a full name into its parts: "Last, First" or "First ... Last".
             std::string first, last;
             std::size_t comma = full.find(", ");
             if (comma != std::string::npos) {
               last = full.substr(0, comma);
               first = full.substr(comma + 2);
             } else if (std::size_t blank = full.rfind(' '); blank != std::string::npos) {
               first = full.substr(0, blank);
               last = full.substr(blank + 1);
             } else {
               first = full;
             }
             SetProp("FirstName", com::Variant(first));
             SetProp("LastName", com::Variant(last));
           });
  auto namePart = [this](const char* part) {
    return [this, part](const com::Variant& v) {
      SetProp(part, com::Variant(v.AsText()));
      std::string full = Trimmed(Text("FirstName") + " " + Text("LastName"));
      SetProp("FullName", com::Variant(full));
    };
  };
  Property("FirstName", [this] { return Text("FirstName"); }, namePart("FirstName"));
  Property("LastName", [this] { return Text("LastName"); }, namePart("LastName"));
  AddPlain("CompanyName", VarType::Text);
  AddPlain("JobTitle", VarType::Text);
  AddPlain("FileAs", VarType::Text);
  Property("Email1Address", [this] { return Text("Email1Address"); },
           [this](const com::Variant& v) {
             SetProp("Email1Address", com::Variant(Trimmed(v.AsText())));
             if (Text("Email1AddressType").empty()) SetProp("Email1AddressType", com::Variant("SMTP"));
           });
  AddPlain("Email1AddressType", VarType::Text);
  Property("Email1DisplayName",
           [this] {
             std::string shown = Text("Email1DisplayName");
             if (!shown.empty() || Text("Email1Address").empty()) return shown;
             return Text("FullName").empty() ? Text("Email1Address")
                                             : Text("FullName") + " (" + Text("Email1Address") + ")";
           },
           [this](const com::Variant& v) { SetProp("Email1DisplayName", com::Variant(v.AsText())); });
  AddPlain("BusinessTelephoneNumber", VarType::Text);
  AddPlain("HomeTelephoneNumber", VarType::Text);
  AddPlain("MobileTelephoneNumber", VarType::Text);
  AddPlain("OtherTelephoneNumber", VarType::Text);
}

void ItemObject::AddJournalMembers() {
  using com::VarType;
  AddPlain("Type", VarType::Text);
  AddPlain("Start", VarType::Date);
  AddPlain("Duration", VarType::Int);
  Property("Recipients", [this] { return com::Make<RecipientsCollection>(com::ComPtr<ItemObject>(this)); });
}

std::string ItemObject::RecipientText(int type) const {
  std::string out;
  for (const auto& r : record_.recipients) {
    if (r->type != type) continue;
    if (!out.empty()) out += "; ";
    out += r->name;
  }
  return out;
}

void ItemObject::SetRecipientText(int type, std::string_view text) {
  auto& list = record_.recipients;
  std::erase_if(list, [type](const auto& r) { return r->type == type; });
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    std::string name = Trimmed(text.substr(start, end - start));
    if (!name.empty()) {
      auto r = std::make_shared<RecipientRecord>();
      r->type = type;
      r->name = name;
      list.push_back(std::move(r));
    }
    start = end + 1;
  }
  dirty_ = true;
}

HRESULT ItemObject::Save() {
  if (deleted_) return MAPI_E_OBJECT_DELETED;
  if (record_.folderId == 0) return E_FAIL;
  com::ComPtr<IDispatch> keep(this);  // events below may drop every other reference
  bool isNew = false;
  HRESULT hr = StoreCall([&] { isNew = session_->Store().SaveItem(record_); });
  if (FAILED(hr)) return hr;
  dirty_ = false;
  if (isNew) {
    session_->Register(this, record_.id);
    session_->ItemAdded(record_.folderId, this);
  } else {
    session_->ItemChanged(record_.folderId, this);
  }
  return S_OK;
}

void ItemObject::Reload() {
  if (!IsStored()) {
    record_.props.clear();
    record_.recipients.clear();
    record_.attachments.clear();
    record_.userProps.clear();
    dirty_ = false;
    return;
  }
  std::optional<ItemRecord> fresh;
  if (SUCCEEDED(StoreCall([&] { fresh = session_->Store().LoadItem(record_.id); })) && fresh) {
    record_ = std::move(*fresh);
    dirty_ = false;
  }
}

HRESULT ItemObject::Close(int saveMode) {
  if (saveMode < olSave || saveMode > olPromptForSave) return E_INVALIDARG;
  com::ComPtr<IDispatch> keep(this);
  FireEvent(IID_ItemEvents, DISPID_ItemClose, com::DispParams{com::Variant(false)});
  HRESULT hr = S_OK;
  if (!deleted_) {
    // There is nobody to prompt: a prompt counts as saving.
    if (saveMode == olDiscard)
      Reload();
    else if (dirty_ || !IsStored())
      hr = Save();
  }
  CloseInspectorOf(*this);
  return hr;
}

HRESULT ItemObject::Delete() {
  if (deleted_) return MAPI_E_OBJECT_DELETED;
  com::ComPtr<IDispatch> keep(this);
  CloseInspectorOf(*this);
  if (!IsStored()) {
    deleted_ = true;
    return S_OK;
  }
  std::optional<FolderRecord> trash;
  HRESULT hr = StoreCall([&] { trash = session_->Store().DefaultFolder(olFolderDeletedItems); });
  if (FAILED(hr)) return hr;
  if (!trash) return E_FAIL;
  std::int64_t from = record_.folderId;
  if (from == trash->id) {
    hr = StoreCall([&] { session_->Store().DeleteItem(record_.id); });
    if (FAILED(hr)) return hr;
    deleted_ = true;
    session_->Unregister(this);
    session_->ItemRemoved(from);
    return S_OK;
  }
  hr = Move(trash->id);
  if (FAILED(hr)) return hr;
  // The object stands for the item that was deleted; the moved item opens afresh.
  deleted_ = true;
  session_->Unregister(this);
  return S_OK;
}

HRESULT ItemObject::Move(std::int64_t folderId) {
  if (deleted_) return MAPI_E_OBJECT_DELETED;
  com::ComPtr<IDispatch> keep(this);
  std::int64_t from = record_.folderId;
  if (!IsStored()) {
    record_.folderId = folderId;
    return Save();
  }
  if (from == folderId) return S_OK;
  HRESULT hr = StoreCall([&] { session_->Store().MoveItem(record_.id, folderId); });
  if (FAILED(hr)) return hr;
  record_.folderId = folderId;
  session_->ItemRemoved(from);
  session_->ItemAdded(folderId, this);
  return S_OK;
}

HRESULT ItemObject::Display(bool) {
  if (deleted_) return MAPI_E_OBJECT_DELETED;
  com::ComPtr<IDispatch> inspector;
  return OpenInspector(*this, true, inspector);
}

void ItemObject::MarkReceived(std::string_view senderName, std::string_view senderAddress) {
  double now = NowDate();
  SetProp("Sent", com::Variant(true));
  SetProp("SentOn", com::Variant::FromDate(now));
  SetProp("ReceivedTime", com::Variant::FromDate(now));
  SetProp("SenderName", com::Variant(std::string(senderName)));
  SetProp("SenderEmailAddress", com::Variant(std::string(senderAddress)));
  SetProp("UnRead", com::Variant(true));
}

namespace {

MimeMessage BuildMessage(ItemObject& item) {
  ItemRecord& rec = item.Record();
  ProfileStore& store = item.GetSession().Store();
  MimeMessage m;
  StoreCall([&] {
    if (item.ObjectClass() == olMail && item.Prop("Sent").Type() == com::VarType::Bool && item.Prop("Sent").AsBool()) {
      m.from = FormatAddress(item.Text("SenderName"), item.Text("SenderEmailAddress"));
    } else if (std::optional<Identity> me = Directory(store).CurrentUser()) {
      std::string smtp = me->address;
      if (me->addressType == "EX")
        if (auto e = Directory(store).ById(me->directoryEntry)) smtp = e->PrimarySmtp();
      if (!smtp.empty()) m.from = FormatAddress(me->displayName, smtp);
    }
    for (const auto& r : rec.recipients) {
      std::string smtp = SmtpOf(store, *r);
      if (smtp.empty() || r->type == olBCC) continue;
      std::string& list = r->type == olTo ? m.to : m.cc;
      if (!list.empty()) list += ",\r\n ";
      list += FormatAddress(r->name, smtp);
    }
  });
  m.subject = item.Text("Subject");
  com::Variant when = item.Prop("SentOn");
  m.date = RfcDate(when.Type() == com::VarType::Date ? when.AsDate() : (item.IsStored() ? rec.modified : NowDate()));
  m.extraHeaders.emplace_back("X-Message-Class", rec.messageClass);
  if (!(item.Prop("Sent").Type() == com::VarType::Bool && item.Prop("Sent").AsBool()))
    m.extraHeaders.emplace_back("X-Unsent", "1");
  m.textBody = item.Text("Body");
  com::Variant format = item.Prop("BodyFormat");
  if (format.Type() == com::VarType::Int && format.AsInt() == olFormatHTML) m.htmlBody = item.Text("HTMLBody");
  for (const auto& a : rec.attachments) {
    std::shared_ptr<AttachmentRecord> held = a;
    com::ComPtr<ItemObject> owner(&item);
    m.attachments.push_back({a->fileName.empty() ? a->displayName : a->fileName,
                             [owner, held](const ChunkSink& sink) { ReadAttachmentContent(*owner, *held, sink); }});
  }
  return m;
}

}  // namespace

HRESULT ItemObject::WriteMessageFile(const std::string& path) {
  try {
    return WriteMimeFile(BuildMessage(*this), path);
  } catch (const com::ComError& e) {
    return e.code;
  }
}

std::string ItemObject::MessageText() { return MimeText(BuildMessage(*this)); }

}  // namespace outlook

#include "service-sim/envelopestore.h"

#include <openssl/rand.h>

#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "service-sim/journal.h"
#include "service-sim/jsontext.h"

namespace sim {
namespace {

std::optional<int64_t> AsInt(const std::optional<bool>& flag) {
  if (!flag) return std::nullopt;
  return *flag ? 1 : 0;
}

std::optional<int64_t> AsInt(const std::optional<long>& n) {
  if (!n) return std::nullopt;
  return static_cast<int64_t>(*n);
}

std::optional<bool> FlagColumn(const Statement& s, int column) {
  if (s.IsNull(column)) return std::nullopt;
  return s.Int(column) != 0;
}

std::optional<int64_t> IntColumn(const Statement& s, int column) {
  if (s.IsNull(column)) return std::nullopt;
  return s.Int(column);
}

// Removes a folder of documents unless the envelope was recorded.
class FolderGuard {
 public:
  explicit FolderGuard(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~FolderGuard() {
    if (armed_) {
      std::error_code ec;
      std::filesystem::remove_all(folder_, ec);
    }
  }
  void Release() { armed_ = false; }

 private:
  std::filesystem::path folder_;
  bool armed_ = true;
};

void InsertParts(sqlite3* db, const std::string& id, const EnvelopeRequest& r, const std::string& recipientStatus,
                 const std::vector<std::filesystem::path>& files) {
  for (size_t i = 0; i < r.options.size(); ++i)
    Statement(db, "INSERT INTO envelope_options (envelope_id, position, name, value) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, r.options[i].first).Bind(4, r.options[i].second).Run();
  for (size_t i = 0; i < r.documents.size(); ++i) {
    const EnvelopeDocument& d = r.documents[i];
    Statement(db,
              "INSERT INTO envelope_documents (envelope_id, position, document_id, name, file_extension, description,"
              " template_sequence, transform_pdf_fields, size, sha256, file)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)")
        .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, d.id).Bind(4, d.name).Bind(5, d.fileExtension)
        .Bind(6, d.description).Bind(7, static_cast<int64_t>(d.templateSequence))
        .BindOptional(8, AsInt(d.transformPdfFields)).Bind(9, static_cast<int64_t>(d.content->Size()))
        .Bind(10, d.content->Sha256()).Bind(11, files[i].filename().string())
        .Run();
  }
  for (size_t i = 0; i < r.recipients.size(); ++i) {
    const EnvelopeRecipient& p = r.recipients[i];
    Statement(db,
              "INSERT INTO envelope_recipients (envelope_id, position, recipient_id, user_name, email, type,"
              " routing_order, access_code, require_id_lookup, default_recipient, note, status)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)")
        .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, p.id).Bind(4, p.userName).Bind(5, p.email)
        .Bind(6, p.type).Bind(7, p.routingOrder).Bind(8, p.accessCode).BindOptional(9, AsInt(p.requireIdLookup))
        .BindOptional(10, AsInt(p.defaultRecipient)).Bind(11, p.note).Bind(12, recipientStatus)
        .Run();
  }
  for (size_t i = 0; i < r.tabs.size(); ++i) {
    const EnvelopeTab& t = r.tabs[i];
    Statement(db,
              "INSERT INTO envelope_tabs (envelope_id, position, template_sequence, recipient_id, type, document_id)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, static_cast<int64_t>(t.templateSequence))
        .Bind(4, t.recipientId).Bind(5, t.type).Bind(6, t.documentId)
        .Run();
    for (size_t f = 0; f < t.fields.size(); ++f)
      Statement(db, "INSERT INTO envelope_tab_fields (envelope_id, tab, position, name, value) VALUES (?1, ?2, ?3, ?4, ?5)")
          .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, static_cast<int64_t>(f))
          .Bind(4, t.fields[f].first).Bind(5, t.fields[f].second)
          .Run();
  }
  for (size_t i = 0; i < r.customFields.size(); ++i) {
    const EnvelopeCustomField& c = r.customFields[i];
    Statement(db,
              "INSERT INTO envelope_custom_fields (envelope_id, position, name, show, value, required)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, c.name).Bind(4, c.show).Bind(5, c.value)
        .Bind(6, c.required)
        .Run();
  }
}

std::string RecipientsJson(sqlite3* db, std::string_view id) {
  Statement s(db,
              "SELECT recipient_id, user_name, email, type, routing_order, access_code, require_id_lookup,"
              " default_recipient, note, status, decline_reason FROM envelope_recipients"
              " WHERE envelope_id = ?1 ORDER BY position");
  s.Bind(1, id);
  std::vector<std::string> items;
  while (s.Step())
    items.push_back(JsonObject()
                        .Add("id", s.Text(0)).Add("user_name", s.Text(1)).Add("email", s.Text(2))
                        .Add("type", s.Text(3)).Add("routing_order", s.Text(4)).Add("access_code", s.Text(5))
                        .Add("require_id_lookup", FlagColumn(s, 6)).Add("default_recipient", FlagColumn(s, 7))
                        .Add("note", s.Text(8)).Add("status", s.Text(9)).Add("decline_reason", s.Text(10))
                        .Text());
  return JsonArray(items);
}

// Each tab's fields by element name; those of the anchor in an "AnchorTabItem" object.
std::string TabsJson(sqlite3* db, std::string_view id) {
  Statement s(db,
              "SELECT position, template_sequence, recipient_id, type, document_id FROM envelope_tabs"
              " WHERE envelope_id = ?1 ORDER BY position");
  s.Bind(1, id);
  std::vector<std::string> items;
  while (s.Step()) {
    Statement f(db, "SELECT name, value FROM envelope_tab_fields WHERE envelope_id = ?1 AND tab = ?2 ORDER BY position");
    f.Bind(1, id).Bind(2, s.Int(0));
    JsonObject fields, anchor;
    bool hasAnchor = false;
    constexpr std::string_view kAnchor = "AnchorTabItem/";
    while (f.Step()) {
      std::string name = f.Text(0);
      if (name.rfind(kAnchor, 0) == 0) {
        anchor.Add(name.substr(kAnchor.size()), f.Text(1));
        hasAnchor = true;
      } else {
        fields.Add(name, f.Text(1));
      }
    }
    JsonObject tab;
    tab.Add("template_sequence", s.Int(1)).Add("recipient_id", s.Text(2)).Add("type", s.Text(3))
        .Add("document_id", s.Text(4)).AddRaw("fields", fields.Text());
    tab.AddRaw("anchor", hasAnchor ? anchor.Text() : "null");
    items.push_back(tab.Text());
  }
  return JsonArray(items);
}

std::string DocumentsJson(sqlite3* db, std::string_view id) {
  Statement s(db,
              "SELECT position, document_id, name, file_extension, description, template_sequence,"
              " transform_pdf_fields, size, sha256 FROM envelope_documents WHERE envelope_id = ?1 ORDER BY position");
  s.Bind(1, id);
  std::vector<std::string> items;
  while (s.Step())
    items.push_back(JsonObject()
                        .Add("index", s.Int(0)).Add("id", s.Text(1)).Add("name", s.Text(2))
                        .Add("file_extension", s.Text(3)).Add("description", s.Text(4))
                        .Add("template_sequence", s.Int(5)).Add("transform_pdf_fields", FlagColumn(s, 6))
                        .Add("size", s.Int(7)).Add("sha256", s.Text(8))
                        .Text());
  return JsonArray(items);
}

std::string CustomFieldsJson(sqlite3* db, std::string_view id) {
  Statement s(db,
              "SELECT name, show, value, required FROM envelope_custom_fields WHERE envelope_id = ?1 ORDER BY position");
  s.Bind(1, id);
  std::vector<std::string> items;
  while (s.Step())
    items.push_back(JsonObject()
                        .Add("name", s.Text(0)).Add("show", s.Text(1)).Add("value", s.Text(2))
                        .Add("required", s.Text(3))
                        .Text());
  return JsonArray(items);
}

std::string OptionsJson(sqlite3* db, std::string_view id) {
  Statement s(db, "SELECT name, value FROM envelope_options WHERE envelope_id = ?1 ORDER BY position");
  s.Bind(1, id);
  JsonObject options;
  while (s.Step()) options.Add(s.Text(0), s.Text(1));
  return options.Text();
}

}  // namespace

std::string NewGuid() {
  unsigned char b[16];
  if (RAND_bytes(b, sizeof b) != 1) throw std::runtime_error("no random bytes for a GUID");
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // variant 1
  char text[40];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

CreatedEnvelope EnvelopeStore::Create(const EnvelopeRequest& r, const Account& sender) {
  CreatedEnvelope created{NewGuid(), r.Status(), UtcNowText()};
  const std::filesystem::path folder = dataDir_ / "envelopes" / created.envelopeId;
  std::filesystem::create_directories(folder);
  FolderGuard guard(folder);
  std::vector<std::filesystem::path> files;
  for (size_t i = 0; i < r.documents.size(); ++i) {
    files.push_back(folder / ("document-" + std::to_string(i) + ".bin"));
    r.documents[i].content->MoveTo(files.back());
  }

  const bool sent = created.status == "Sent";
  auto lock = store_.Lock();
  sqlite3* db = store_.Handle();
  Transaction t(db);
  const EnvelopeNotification& n = r.notification;
  Statement(db,
            "INSERT INTO envelopes (envelope_id, account_id, sender_email, sender_user_id, action, status, subject,"
            " email_blurb, created, sent, activate, use_account_defaults, reminders, reminder_enabled,"
            " reminder_delay, reminder_frequency, expirations, expire_enabled, expire_after, expire_warn)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20)")
      .Bind(1, created.envelopeId).Bind(2, r.accountId).Bind(3, sender.email).Bind(4, sender.userId)
      .Bind(5, r.action).Bind(6, created.status).Bind(7, r.subject).Bind(8, r.emailBlurb).Bind(9, created.time)
      .BindOptional(10, sent ? std::optional<std::string>(created.time) : std::nullopt)
      .BindOptional(11, AsInt(r.activate)).BindOptional(12, AsInt(n.useAccountDefaults))
      .Bind(13, int64_t{n.hasReminders}).BindOptional(14, AsInt(n.reminderEnabled))
      .BindOptional(15, AsInt(n.reminderDelay)).BindOptional(16, AsInt(n.reminderFrequency))
      .Bind(17, int64_t{n.hasExpirations}).BindOptional(18, AsInt(n.expireEnabled))
      .BindOptional(19, AsInt(n.expireAfter)).BindOptional(20, AsInt(n.expireWarn))
      .Run();
  InsertParts(db, created.envelopeId, r, sent ? "Sent" : "Created", files);
  t.Commit();
  guard.Release();
  return created;
}

std::vector<EnvelopeSummary> EnvelopeStore::List(std::string_view accountId) {
  auto lock = store_.Lock();
  Statement s(store_.Handle(),
              "SELECT envelope_id, account_id, status, subject, created FROM envelopes"
              " WHERE ?1 = '' OR account_id = ?1 ORDER BY seq DESC");
  s.Bind(1, accountId);
  std::vector<EnvelopeSummary> out;
  while (s.Step()) out.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4)});
  return out;
}

std::optional<std::string> EnvelopeStore::Json(std::string_view id) {
  auto lock = store_.Lock();
  sqlite3* db = store_.Handle();
  Statement s(db,
              "SELECT envelope_id, account_id, sender_email, sender_user_id, action, status, subject, email_blurb,"
              " created, sent, activate, use_account_defaults, reminders, reminder_enabled, reminder_delay,"
              " reminder_frequency, expirations, expire_enabled, expire_after, expire_warn"
              " FROM envelopes WHERE envelope_id = ?1");
  if (!s.Bind(1, id).Step()) return std::nullopt;
  JsonObject reminders, expirations;
  reminders.Add("enabled", FlagColumn(s, 13)).Add("delay", IntColumn(s, 14)).Add("frequency", IntColumn(s, 15));
  expirations.Add("enabled", FlagColumn(s, 17)).Add("after", IntColumn(s, 18)).Add("warn", IntColumn(s, 19));
  JsonObject notification;
  notification.Add("use_account_defaults", FlagColumn(s, 11))
      .AddRaw("reminders", s.Int(12) ? reminders.Text() : "null")
      .AddRaw("expirations", s.Int(16) ? expirations.Text() : "null");
  JsonObject envelope;
  envelope.Add("envelope_id", s.Text(0)).Add("account_id", s.Text(1)).Add("sender_email", s.Text(2))
      .Add("sender_user_id", s.Text(3)).Add("action", s.Text(4)).Add("status", s.Text(5)).Add("subject", s.Text(6))
      .Add("email_blurb", s.Text(7)).Add("created", s.Text(8));
  if (s.IsNull(9)) envelope.AddRaw("sent", "null");
  else envelope.Add("sent", s.Text(9));
  envelope.Add("activate", FlagColumn(s, 10))
      .AddRaw("options", OptionsJson(db, id))
      .AddRaw("notification", notification.Text())
      .AddRaw("documents", DocumentsJson(db, id))
      .AddRaw("recipients", RecipientsJson(db, id))
      .AddRaw("tabs", TabsJson(db, id))
      .AddRaw("custom_fields", CustomFieldsJson(db, id));
  return envelope.Text();
}

std::optional<std::filesystem::path> EnvelopeStore::DocumentFile(std::string_view id, int64_t index) {
  auto lock = store_.Lock();
  Statement s(store_.Handle(), "SELECT file FROM envelope_documents WHERE envelope_id = ?1 AND position = ?2");
  if (!s.Bind(1, id).Bind(2, index).Step()) return std::nullopt;
  return dataDir_ / "envelopes" / std::string(id) / s.Text(0);
}

}  // namespace sim

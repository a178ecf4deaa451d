#include "service-sim/store.h"

namespace sim {
namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw StoreError(what + ": " + (db ? sqlite3_errmsg(db) : "no database"));
}

Account ReadAccount(const Statement& s) {
  return Account{s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4)};
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK)
    Fail(db, "prepare");
  stmt_.reset(raw);
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_.get(), index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    Fail(db_, "bind");
  return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}

Statement& Statement::BindOptional(int index, const std::optional<std::string>& text) {
  if (text) return Bind(index, std::string_view(*text));
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}

Statement& Statement::BindOptional(int index, std::optional<int64_t> value) {
  if (value) return Bind(index, *value);
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, "step");
}

void Statement::Run() {
  while (Step()) {
  }
}

std::string Statement::Text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_.get(), column);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_column_bytes(stmt_.get(), column)))
           : std::string();
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL; }

Transaction::Transaction(sqlite3* db) : db_(db) {
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
    Fail(db, "begin");
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db_, "commit");
  done_ = true;
}

Store::Store(const std::filesystem::path& file) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) Fail(raw, "open " + file.string());
  sqlite3_busy_timeout(raw, 5000);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=NORMAL");
  Migrate();
}

void Store::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw StoreError(std::string(sql) + ": " + text);
  }
}

void Store::Migrate() {
  Transaction t(db_.get());
  Exec(
      "CREATE TABLE IF NOT EXISTS accounts ("
      "  id INTEGER PRIMARY KEY,"
      "  email TEXT NOT NULL, email_key TEXT NOT NULL, password TEXT NOT NULL,"
      "  account_id TEXT NOT NULL, account_name TEXT NOT NULL, user_id TEXT NOT NULL,"
      "  UNIQUE (email_key, account_id));"
      "CREATE TABLE IF NOT EXISTS nonces ("
      "  nonce TEXT PRIMARY KEY, keep_until INTEGER NOT NULL);"
      "CREATE INDEX IF NOT EXISTS nonces_keep ON nonces(keep_until);"
      // Accounts without a row in account_settings_set have the default settings.
      "CREATE TABLE IF NOT EXISTS account_settings_set (account_id TEXT PRIMARY KEY);"
      "CREATE TABLE IF NOT EXISTS account_settings ("
      "  account_id TEXT NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,"
      "  PRIMARY KEY (account_id, name));"
      "CREATE TABLE IF NOT EXISTS envelopes ("
      "  seq INTEGER PRIMARY KEY, envelope_id TEXT NOT NULL UNIQUE, account_id TEXT NOT NULL,"
      "  sender_email TEXT NOT NULL, sender_user_id TEXT NOT NULL, action TEXT NOT NULL, status TEXT NOT NULL,"
      "  subject TEXT NOT NULL, email_blurb TEXT NOT NULL, created TEXT NOT NULL, sent TEXT,"
      "  activate INTEGER, use_account_defaults INTEGER,"
      "  reminders INTEGER NOT NULL, reminder_enabled INTEGER, reminder_delay INTEGER, reminder_frequency INTEGER,"
      "  expirations INTEGER NOT NULL, expire_enabled INTEGER, expire_after INTEGER, expire_warn INTEGER);"
      "CREATE INDEX IF NOT EXISTS envelopes_account ON envelopes(account_id);"
      "CREATE TABLE IF NOT EXISTS envelope_options ("
      "  envelope_id TEXT NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,"
      "  PRIMARY KEY (envelope_id, position));"
      "CREATE TABLE IF NOT EXISTS envelope_documents ("
      "  envelope_id TEXT NOT NULL, position INTEGER NOT NULL, document_id TEXT NOT NULL, name TEXT NOT NULL,"
      "  file_extension TEXT NOT NULL, description TEXT NOT NULL, template_sequence INTEGER NOT NULL,"
      "  transform_pdf_fields INTEGER, size INTEGER NOT NULL, sha256 TEXT NOT NULL, file TEXT NOT NULL,"
      "  PRIMARY KEY (envelope_id, position));"
      "CREATE TABLE IF NOT EXISTS envelope_recipients ("
      "  envelope_id TEXT NOT NULL, position INTEGER NOT NULL, recipient_id TEXT NOT NULL,"
      "  user_name TEXT NOT NULL, email TEXT NOT NULL, type TEXT NOT NULL, routing_order TEXT NOT NULL,"
      "  access_code TEXT NOT NULL, require_id_lookup INTEGER, default_recipient INTEGER, note TEXT NOT NULL,"
      "  status TEXT NOT NULL, decline_reason TEXT NOT NULL DEFAULT '',"
      "  PRIMARY KEY (envelope_id, position));"
      "CREATE TABLE IF NOT EXISTS envelope_tabs ("
      "  envelope_id TEXT NOT NULL, position INTEGER NOT NULL, template_sequence INTEGER NOT NULL,"
      "  recipient_id TEXT NOT NULL, type TEXT NOT NULL, document_id TEXT NOT NULL,"
      "  PRIMARY KEY (envelope_id, position));"
      "CREATE TABLE IF NOT EXISTS envelope_tab_fields ("
      "  envelope_id TEXT NOT NULL, tab INTEGER NOT NULL, position INTEGER NOT NULL,"
      "  name TEXT NOT NULL, value TEXT NOT NULL, PRIMARY KEY (envelope_id, tab, position));"
      "CREATE TABLE IF NOT EXISTS envelope_custom_fields ("
      "  envelope_id TEXT NOT NULL, position INTEGER NOT NULL, name TEXT NOT NULL, show TEXT NOT NULL,"
      "  value TEXT NOT NULL, required TEXT NOT NULL, PRIMARY KEY (envelope_id, position));");
  t.Commit();
}

void Store::PutAccount(const Account& a) {
  std::lock_guard lock(mutex_);
  Statement(db_.get(),
            "INSERT INTO accounts (email, email_key, password, account_id, account_name, user_id)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
            " ON CONFLICT (email_key, account_id) DO UPDATE SET email = ?1, password = ?3,"
            " account_name = ?5, user_id = ?6")
      .Bind(1, a.email)
      .Bind(2, AsciiLower(a.email))
      .Bind(3, a.password)
      .Bind(4, a.accountId)
      .Bind(5, a.accountName)
      .Bind(6, a.userId)
      .Run();
}

std::vector<Account> Store::AccountsByEmail(std::string_view email) {
  std::lock_guard lock(mutex_);
  Statement s(db_.get(),
              "SELECT email, password, account_id, account_name, user_id FROM accounts"
              " WHERE email_key = ?1 ORDER BY id");
  s.Bind(1, AsciiLower(email));
  std::vector<Account> found;
  while (s.Step()) found.push_back(ReadAccount(s));
  return found;
}

bool Store::UseNonce(std::string_view nonce, int64_t now, int64_t keepUntil) {
  std::lock_guard lock(mutex_);
  Transaction t(db_.get());
  Statement(db_.get(), "DELETE FROM nonces WHERE keep_until < ?1").Bind(1, now).Run();
  Statement insert(db_.get(), "INSERT INTO nonces (nonce, keep_until) VALUES (?1, ?2) ON CONFLICT DO NOTHING");
  insert.Bind(1, nonce).Bind(2, keepUntil).Run();
  bool fresh = sqlite3_changes(db_.get()) == 1;
  t.Commit();
  return fresh;
}

void Store::ForgetNonces() {
  std::lock_guard lock(mutex_);
  Exec("DELETE FROM nonces");
}

}  // namespace sim

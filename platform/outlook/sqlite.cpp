#include "platform/outlook/sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace outlook::sql {

Database::Database(const std::string& path, Mode mode) : path_(path) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == Mode::Create) flags |= SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    Close();
    throw StoreError(rc & 0xFF, message);
  }
  sqlite3_extended_result_codes(db_, 0);
}

Database::~Database() { Close(); }

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), path_(std::move(other.path_)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Database::Close() noexcept {
  if (db_) {
    // Statements are RAII objects that die before their connection, so close_v2 finds none.
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

void Database::Fail(int code) const {
  throw StoreError(code & 0xFF, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code));
}

void Database::Exec(std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw StoreError(rc & 0xFF, message);
  }
}

std::int64_t Database::QueryInt(std::string_view sql) {
  Statement st(*this, sql);
  return st.Step() ? st.Int(0) : 0;
}

std::int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::Changes() const { return sqlite3_changes(db_); }

void Database::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) db_.Fail(rc);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  int rc = sqlite3_bind_double(stmt_, index, value);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  int rc = sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
  // A zero-length blob must still be a blob, not NULL.
  static const char kEmpty = 0;
  int rc = sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindZeroBlob(int index, std::int64_t size) {
  int rc = sqlite3_bind_zeroblob64(stmt_, index, static_cast<sqlite3_uint64>(size));
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

Statement& Statement::BindNull(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) db_.Fail(rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_.Fail(rc);
}

void Statement::Run() {
  while (Step()) {
  }
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

int Statement::ColumnType(int column) const { return sqlite3_column_type(stmt_, column); }

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::Double(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)) : std::string();
}

std::string Statement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
  db_.Exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Exec("COMMIT");
  done_ = true;
}

BlobReader::BlobReader(Database& db, const char* table, const char* column, std::int64_t rowid) : db_(db) {
  int rc = sqlite3_blob_open(db.Handle(), "main", table, column, rowid, 0, &blob_);
  if (rc != SQLITE_OK) db_.Fail(rc);
}

BlobReader::~BlobReader() { sqlite3_blob_close(blob_); }

std::int64_t BlobReader::Size() const { return sqlite3_blob_bytes(blob_); }

void BlobReader::Read(void* buffer, int length, std::int64_t offset) {
  int rc = sqlite3_blob_read(blob_, buffer, length, static_cast<int>(offset));
  if (rc != SQLITE_OK) db_.Fail(rc);
}

}  // namespace outlook::sql

#pragma once
// Thin RAII over SQLite for the profile store: a connection, prepared statements, and a
// transaction that rolls back unless committed. Failures throw StoreError with the SQLite
// result code and message, so that one catch at the store's edge turns them into HRESULTs.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_blob;

namespace outlook::sql {

class StoreError : public std::runtime_error {
 public:
  StoreError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // The primary SQLite result code (SQLITE_BUSY, SQLITE_NOTADB, ...).
  int Code() const { return code_; }

 private:
  int code_;
};

class Database {
 public:
  enum class Mode { OpenExisting, Create };

  Database() = default;
  // Opens the file; OpenExisting never creates one. Throws StoreError.
  Database(const std::string& path, Mode mode);
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool IsOpen() const { return db_ != nullptr; }
  sqlite3* Handle() const { return db_; }
  const std::string& Path() const { return path_; }

  // Runs one or more statements without results.
  void Exec(std::string_view sql);
  // The first column of the first row of a query, as integer (0 when there is no row).
  std::int64_t QueryInt(std::string_view sql);
  std::int64_t LastInsertId() const;
  int Changes() const;
  void SetBusyTimeout(int milliseconds);

  [[noreturn]] void Fail(int code) const;

 private:
  void Close() noexcept;
  sqlite3* db_ = nullptr;
  std::string path_;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binding by 1-based index; returns *this so binds chain.
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  Statement& Bind(int index, const std::string& text) { return Bind(index, std::string_view(text)); }
  Statement& BindBlob(int index, const void* data, std::size_t size);
  Statement& BindZeroBlob(int index, std::int64_t size);
  Statement& BindNull(int index);

  // Advances to the next row: true while there is one. Throws on failure.
  bool Step();
  // Runs a statement that yields no rows.
  void Run();
  void Reset();

  bool IsNull(int column) const;
  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
  int ColumnType(int column) const;
  std::int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  std::string Blob(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE (a writer) or BEGIN (a reader) on construction; ROLLBACK on destruction
// unless Commit was called. Taking the write lock up front keeps two writers from deadlocking
// on a lock upgrade; the busy timeout makes the second one wait.
class Transaction {
 public:
  enum class Kind { Read, Write };
  explicit Transaction(Database& db, Kind kind = Kind::Write);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();

 private:
  Database& db_;
  bool done_ = false;
};

// Incremental reading of one BLOB cell, so large attachments never sit whole in memory.
class BlobReader {
 public:
  BlobReader(Database& db, const char* table, const char* column, std::int64_t rowid);
  ~BlobReader();
  BlobReader(const BlobReader&) = delete;
  BlobReader& operator=(const BlobReader&) = delete;

  std::int64_t Size() const;
  void Read(void* buffer, int length, std::int64_t offset);

 private:
  Database& db_;
  sqlite3_blob* blob_ = nullptr;
};

}  // namespace outlook::sql

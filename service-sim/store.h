#pragma once
// The simulator's state in SQLite (WAL, so tests may read it while the simulator runs):
// accounts, the nonces of recent requests, account settings and envelopes (their tables are
// made here; accountsettings.h and envelopestore.h read and write them).
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service-sim/options.h"

namespace sim {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One prepared statement; binds by position from 1.
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, int64_t value);
  Statement& BindOptional(int index, const std::optional<std::string>& text);  // NULL when empty
  Statement& BindOptional(int index, std::optional<int64_t> value);            // NULL when empty
  bool Step();  // true while a row is there
  void Run();   // steps to the end
  std::string Text(int column) const;
  int64_t Int(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
};

// Rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db);
  ~Transaction();
  void Commit();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

 private:
  sqlite3* db_;
  bool done_ = false;
};

std::string AsciiLower(std::string_view text);

class Store {
 public:
  explicit Store(const std::filesystem::path& file);

  // Adds the account, or replaces the one with the same e-mail (any case) and account id.
  void PutAccount(const Account& account);
  // All accounts whose e-mail equals `email` without regard to ASCII case, in the order
  // they were first added.
  std::vector<Account> AccountsByEmail(std::string_view email);

  // Records `nonce` as used until `keepUntil` (seconds since 1970). False when it is still
  // recorded from an earlier request: a replay. Forgets nonces whose time has passed.
  bool UseNonce(std::string_view nonce, int64_t now, int64_t keepUntil);
  void ForgetNonces();

  // For handlers that need their own statements: hold the lock while using the handle.
  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  sqlite3* Handle() { return db_.get(); }

 private:
  void Exec(const char* sql);
  void Migrate();

  std::mutex mutex_;
  std::unique_ptr<sqlite3, SqliteCloser> db_;
};

}  // namespace sim

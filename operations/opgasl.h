#pragma once
// The account's defaults for reminders and expiry, and whether users may override them: the
// record (CAcctSets) and the service call that fills it (OpGASL, "GetAccountSettingsList").
#include <cstdint>
#include <string>

#include "foundation/credentials.h"
#include "foundation/xmlio.h"
#include "transport/opattestra.h"

class CAcctSets : public CXMLIO {
 public:
  CAcctSets() = default;
  ~CAcctSets() override;

  // Copies the seven values (not what the writer holds).
  void CopyFrom(const CAcctSets& source);

  // Writes the "AccountSettings" block into `out` (its open file, or its text buffer): the
  // three flags as "true"/"false", then the four numbers. False when a write fails.
  bool Write(CXMLIO& out) const;

  std::int32_t UserOverrides = 1;     // "UserOverrideEnabled"
  std::int32_t Reminders = 0;         // "ReminderEnabled"
  std::int32_t Expirations = 1;       // "ExpireEnabled"
  std::int32_t RemindDelay = 0;       // "ReminderDelay", days
  std::int32_t RemindFreq = 0;        // "ReminderFrequency", days
  std::int32_t ExpiresAfter = 120;    // "ExpireAfter", days
  std::int32_t ExpireWarnBuffer = 0;  // "ExpireWarnBuffer", days
};

class OpGASL : public OpAttestra {
 public:
  // `url`: the API 3.0 endpoint held by the connected API object.
  OpGASL(std::string url, const CCredentials& credentials);
  ~OpGASL() override;

  // The record that the answer fills (not owned); it must outlive the run.
  void SetSettings(CAcctSets* settings) { settings_ = settings; }
  CAcctSets* Settings() const { return settings_; }

  // E_INVALIDARG without a record; otherwise the request file.
  bool PrepareData() override;
  // Takes every known setting of the answer into the record; settings the answer leaves out
  // keep their values.
  bool ParseResponse() override;

 private:
  CAcctSets* settings_ = nullptr;
};

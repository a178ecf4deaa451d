#include "service-sim/accountsettings.h"

#include <algorithm>

namespace sim {

const AccountSettingList& DefaultAccountSettings() {
  static const AccountSettingList defaults = {
      {"UserOverrideEnabled", "True"}, {"ReminderEnabled", "True"},     {"ReminderDelay", "3"},
      {"ReminderFrequency", "2"},      {"EnvelopeIdStamping", "True"},  {"ExpireEnabled", "True"},
      {"ExpireAfter", "90"},           {"ExpireWarnBuffer", "7"},       {"SignerAttachmentsEnabled", "False"},
  };
  return defaults;
}

AccountSettingList AccountSettings::Read(std::string_view accountId) {
  sqlite3* db = store_.Handle();
  Statement known(db, "SELECT 1 FROM account_settings_set WHERE account_id = ?1");
  if (!known.Bind(1, accountId).Step()) return DefaultAccountSettings();
  Statement s(db, "SELECT name, value FROM account_settings WHERE account_id = ?1 ORDER BY position");
  s.Bind(1, accountId);
  AccountSettingList out;
  while (s.Step()) out.push_back({s.Text(0), s.Text(1)});
  return out;
}

AccountSettingList AccountSettings::Get(std::string_view accountId) {
  auto lock = store_.Lock();
  return Read(accountId);
}

AccountSettingList AccountSettings::Change(std::string_view accountId, const AccountSettingsChange& change) {
  auto lock = store_.Lock();
  sqlite3* db = store_.Handle();
  Transaction t(db);
  AccountSettingList settings = change.clear ? AccountSettingList{}
                                : change.fromDefaults ? DefaultAccountSettings()
                                                      : Read(accountId);
  for (const std::string& name : change.unset)
    std::erase_if(settings, [&](const AccountSetting& s) { return s.name == name; });
  for (const AccountSetting& wanted : change.set) {
    auto it = std::find_if(settings.begin(), settings.end(), [&](const auto& s) { return s.name == wanted.name; });
    if (it == settings.end()) settings.push_back(wanted);
    else it->value = wanted.value;
  }
  Statement(db, "INSERT INTO account_settings_set (account_id) VALUES (?1) ON CONFLICT DO NOTHING")
      .Bind(1, accountId)
      .Run();
  Statement(db, "DELETE FROM account_settings WHERE account_id = ?1").Bind(1, accountId).Run();
  for (size_t i = 0; i < settings.size(); ++i)
    Statement(db, "INSERT INTO account_settings (account_id, position, name, value) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, accountId)
        .Bind(2, static_cast<int64_t>(i))
        .Bind(3, settings[i].name)
        .Bind(4, settings[i].value)
        .Run();
  t.Commit();
  return settings;
}

}  // namespace sim

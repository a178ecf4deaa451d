#pragma once
// Per-account settings that GetAccountSettingsList answers: reminder and expiry defaults and
// whether users may override them, as name and value texts in a kept order. An account
// nobody configured has DefaultAccountSettings(); the control interface changes them.
#include <string>
#include <string_view>
#include <vector>

#include "service-sim/store.h"

namespace sim {

struct AccountSetting {
  std::string name, value;
  bool operator==(const AccountSetting&) const = default;
};
using AccountSettingList = std::vector<AccountSetting>;

// What a new account has: user overrides allowed, reminders 3 days after sending and every 2
// days, expiry after 90 days with a warning 7 days before, and two settings of other matters.
const AccountSettingList& DefaultAccountSettings();

struct AccountSettingsChange {
  bool fromDefaults = false;  // start again from the defaults
  bool clear = false;         // start again from no settings at all
  std::vector<std::string> unset;
  AccountSettingList set;     // a new name goes to the end; a known one keeps its place
};

class AccountSettings {
 public:
  explicit AccountSettings(Store& store) : store_(store) {}
  AccountSettingList Get(std::string_view accountId);
  // Applies the change (reset, then unset, then set) and returns the result.
  AccountSettingList Change(std::string_view accountId, const AccountSettingsChange& change);

 private:
  AccountSettingList Read(std::string_view accountId);
  Store& store_;
};

}  // namespace sim

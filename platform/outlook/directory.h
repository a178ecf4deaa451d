#pragma once
// The profile's directory: the Global Address List of an Exchange profile (users with their
// Exchange addresses and proxy addresses, distribution lists with members) and the identity
// of the profile's user. Recipients resolve against it; the messaging layer reads it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/outlook/store.h"

namespace outlook {

struct DirectoryEntry {
  std::int64_t id = 0;
  std::string displayName;
  std::string alias;
  std::string legacyDn;  // the Exchange (X.500-style) address: "/o=.../cn=Recipients/cn=alias"
  int displayType = 0;   // olUser or olDistList
  std::string firstName, lastName;
  std::vector<std::string> proxies;  // "SMTP:primary@x", "smtp:alias@x", "X400:..."

  // The address after "SMTP:" (the primary one), else after the first "smtp:"; empty if none.
  std::string PrimarySmtp() const;
};

// The profile user's identity: a directory entry, or a one-off address of a profile without
// a directory.
struct Identity {
  std::int64_t directoryEntry = 0;
  std::string displayName;
  std::string addressType;  // "EX" or "SMTP"
  std::string address;
};

class Directory {
 public:
  explicit Directory(ProfileStore& store) : store_(store) {}

  // A profile has a Global Address List once it is attached to an organisation.
  bool HasExchange();
  std::string Organization();
  void EnableExchange(std::string_view organization);

  // Adds a user; an empty legacyDn is made from the organisation and the alias. The first
  // proxy starting "SMTP:" is the primary address. Returns the entry with its id.
  DirectoryEntry AddUser(DirectoryEntry user);
  DirectoryEntry AddList(std::string_view displayName, std::string_view alias, const std::vector<std::int64_t>& members,
                         std::vector<std::string> proxies = {});

  std::optional<DirectoryEntry> ById(std::int64_t id);
  std::optional<DirectoryEntry> ByLegacyDn(std::string_view dn);
  std::vector<DirectoryEntry> All();
  std::vector<std::int64_t> Members(std::int64_t listId);
  // Entries whose display name, alias, Exchange address or an SMTP proxy equals `text`
  // (letter case ignored), in directory order.
  std::vector<DirectoryEntry> Match(std::string_view text);

  std::optional<Identity> CurrentUser();
  void SetCurrentUser(std::int64_t directoryEntry);
  void SetCurrentUser(std::string_view displayName, std::string_view addressType, std::string_view address);

 private:
  void LoadProxies(DirectoryEntry& entry);
  ProfileStore& store_;
};

}  // namespace outlook

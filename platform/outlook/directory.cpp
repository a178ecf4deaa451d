#include "platform/outlook/directory.h"

#include <charconv>

#include "platform/com/unknown.h"
#include "platform/outlook/codes.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

constexpr const char* kEntryColumns =
    "SELECT id, display_name, alias, legacy_dn, display_type, first_name, last_name FROM directory ";

DirectoryEntry ReadEntry(sql::Statement& st) {
  DirectoryEntry e;
  e.id = st.Int(0);
  e.displayName = st.Text(1);
  e.alias = st.Text(2);
  e.legacyDn = st.Text(3);
  e.displayType = static_cast<int>(st.Int(4));
  e.firstName = st.Text(5);
  e.lastName = st.Text(6);
  return e;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string DirectoryEntry::PrimarySmtp() const {
  for (const std::string& p : proxies)
    if (p.size() > 5 && StartsWith(p, "SMTP:")) return p.substr(5);
  for (const std::string& p : proxies)
    if (p.size() > 5 && win::EqualsNoCase(std::string_view(p).substr(0, 5), "smtp:")) return p.substr(5);
  return {};
}

bool Directory::HasExchange() { return store_.Setting("exchange_org").has_value(); }

std::string Directory::Organization() { return store_.Setting("exchange_org").value_or(""); }

void Directory::EnableExchange(std::string_view organization) { store_.SetSetting("exchange_org", organization); }

DirectoryEntry Directory::AddUser(DirectoryEntry user) {
  if (user.alias.empty() || user.displayName.empty()) com::Throw(E_INVALIDARG);
  if (!HasExchange()) EnableExchange("Vellora");
  if (user.legacyDn.empty())
    user.legacyDn = "/o=" + Organization() + "/ou=First Administrative Group/cn=Recipients/cn=" + user.alias;
  sql::Database& db = store_.Db();
  sql::Transaction tx(db);
  sql::Statement(db,
                 "INSERT INTO directory(display_name, alias, legacy_dn, display_type, first_name, last_name) "
                 "VALUES(?, ?, ?, ?, ?, ?)")
      .Bind(1, user.displayName)
      .Bind(2, user.alias)
      .Bind(3, user.legacyDn)
      .Bind(4, user.displayType)
      .Bind(5, user.firstName)
      .Bind(6, user.lastName)
      .Run();
  user.id = db.LastInsertId();
  int ordinal = 0;
  for (const std::string& proxy : user.proxies)
    sql::Statement(db, "INSERT INTO directory_proxies(entry, ordinal, proxy) VALUES(?, ?, ?)")
        .Bind(1, user.id)
        .Bind(2, ++ordinal)
        .Bind(3, proxy)
        .Run();
  tx.Commit();
  return user;
}

DirectoryEntry Directory::AddList(std::string_view displayName, std::string_view alias,
                                  const std::vector<std::int64_t>& members, std::vector<std::string> proxies) {
  DirectoryEntry list;
  list.displayName = displayName;
  list.alias = alias;
  list.displayType = olDistList;
  list.proxies = std::move(proxies);
  list = AddUser(std::move(list));
  sql::Database& db = store_.Db();
  sql::Transaction tx(db);
  int ordinal = 0;
  for (std::int64_t member : members)
    sql::Statement(db, "INSERT INTO directory_members(list, ordinal, member) VALUES(?, ?, ?)")
        .Bind(1, list.id)
        .Bind(2, ++ordinal)
        .Bind(3, member)
        .Run();
  tx.Commit();
  return list;
}

void Directory::LoadProxies(DirectoryEntry& entry) {
  sql::Statement st(store_.Db(), "SELECT proxy FROM directory_proxies WHERE entry = ? ORDER BY ordinal");
  st.Bind(1, entry.id);
  while (st.Step()) entry.proxies.push_back(st.Text(0));
}

std::optional<DirectoryEntry> Directory::ById(std::int64_t id) {
  sql::Statement st(store_.Db(), std::string(kEntryColumns) + "WHERE id = ?");
  st.Bind(1, id);
  if (!st.Step()) return std::nullopt;
  DirectoryEntry e = ReadEntry(st);
  LoadProxies(e);
  return e;
}

std::optional<DirectoryEntry> Directory::ByLegacyDn(std::string_view dn) {
  sql::Statement st(store_.Db(), std::string(kEntryColumns) + "WHERE legacy_dn = ?");
  st.Bind(1, dn);
  if (!st.Step()) return std::nullopt;
  DirectoryEntry e = ReadEntry(st);
  LoadProxies(e);
  return e;
}

std::vector<DirectoryEntry> Directory::All() {
  std::vector<DirectoryEntry> out;
  {
    sql::Statement st(store_.Db(), std::string(kEntryColumns) + "ORDER BY id");
    while (st.Step()) out.push_back(ReadEntry(st));
  }
  for (DirectoryEntry& e : out) LoadProxies(e);
  return out;
}

std::vector<std::int64_t> Directory::Members(std::int64_t listId) {
  sql::Statement st(store_.Db(), "SELECT member FROM directory_members WHERE list = ? ORDER BY ordinal");
  st.Bind(1, listId);
  std::vector<std::int64_t> out;
  while (st.Step()) out.push_back(st.Int(0));
  return out;
}

std::vector<DirectoryEntry> Directory::Match(std::string_view text) {
  std::vector<DirectoryEntry> out;
  if (text.empty()) return out;
  for (DirectoryEntry& e : All()) {
    bool hit = win::EqualsNoCase(e.displayName, text) || win::EqualsNoCase(e.alias, text) ||
               win::EqualsNoCase(e.legacyDn, text);
    for (const std::string& p : e.proxies)
      if (!hit && p.size() > 5 && win::EqualsNoCase(std::string_view(p).substr(0, 5), "smtp:"))
        hit = win::EqualsNoCase(std::string_view(p).substr(5), text);
    if (hit) out.push_back(std::move(e));
  }
  return out;
}

std::optional<Identity> Directory::CurrentUser() {
  std::optional<std::string> entry = store_.Setting("identity_entry");
  if (entry) {
    std::int64_t id = 0;
    auto [end, ec] = std::from_chars(entry->data(), entry->data() + entry->size(), id);
    if (ec != std::errc() || end != entry->data() + entry->size()) return std::nullopt;
    std::optional<DirectoryEntry> e = ById(id);
    if (!e) return std::nullopt;
    return Identity{e->id, e->displayName, "EX", e->legacyDn};
  }
  std::optional<std::string> address = store_.Setting("identity_address");
  if (!address) return std::nullopt;
  return Identity{0, store_.Setting("identity_name").value_or(*address), store_.Setting("identity_type").value_or("SMTP"),
                  *address};
}

void Directory::SetCurrentUser(std::int64_t directoryEntry) {
  if (!ById(directoryEntry)) com::Throw(MAPI_E_NOT_FOUND);
  store_.SetSetting("identity_entry", std::to_string(directoryEntry));
}

void Directory::SetCurrentUser(std::string_view displayName, std::string_view addressType, std::string_view address) {
  store_.RemoveSetting("identity_entry");
  store_.SetSetting("identity_name", displayName);
  store_.SetSetting("identity_type", addressType);
  store_.SetSetting("identity_address", address);
}

}  // namespace outlook

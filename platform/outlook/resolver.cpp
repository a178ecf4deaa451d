#include "platform/outlook/resolver.h"

#include <vector>

#include "platform/outlook/abentry.h"
#include "platform/outlook/codes.h"
#include "platform/outlook/directory.h"
#include "platform/win/text.h"

namespace outlook {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct Typed {
  std::string name;     // the display part of "Name <address>", else empty
  std::string address;  // the address part, else the whole text
};

Typed Split(std::string_view text) {
  text = Trim(text);
  Typed t;
  std::size_t open = text.rfind('<');
  if (open != std::string_view::npos && !text.empty() && text.back() == '>') {
    t.name = std::string(Trim(text.substr(0, open)));
    if (t.name.size() >= 2 && t.name.front() == '"' && t.name.back() == '"') t.name = t.name.substr(1, t.name.size() - 2);
    t.address = std::string(Trim(text.substr(open + 1, text.size() - open - 2)));
  } else {
    t.address = std::string(text);
  }
  return t;
}

struct ContactMatch {
  std::string entryId;
  std::string fullName, email, emailType, emailDisplay;
};

// Contacts of the default Contacts folder whose full name, e-mail address or e-mail display
// name equals `text`.
std::vector<ContactMatch> MatchContacts(ProfileStore& store, std::string_view text) {
  std::vector<ContactMatch> out;
  std::optional<FolderRecord> contacts = store.DefaultFolder(olFolderContacts);
  if (!contacts) return out;
  sql::Statement st(store.Db(),
                    "SELECT i.entry_id, "
                    " (SELECT value FROM item_props WHERE item_id = i.id AND name = 'FullName'), "
                    " (SELECT value FROM item_props WHERE item_id = i.id AND name = 'Email1Address'), "
                    " (SELECT value FROM item_props WHERE item_id = i.id AND name = 'Email1AddressType'), "
                    " (SELECT value FROM item_props WHERE item_id = i.id AND name = 'Email1DisplayName') "
                    "FROM items i WHERE i.folder_id = ? AND i.class = ? ORDER BY i.id");
  st.Bind(1, contacts->id).Bind(2, static_cast<int>(olContact));
  while (st.Step()) {
    ContactMatch m{st.Text(0), st.Text(1), st.Text(2), st.Text(3), st.Text(4)};
    if (m.email.empty()) continue;  // nothing to send to
    if (win::EqualsNoCase(m.fullName, text) || win::EqualsNoCase(m.email, text) ||
        (!m.emailDisplay.empty() && win::EqualsNoCase(m.emailDisplay, text)))
      out.push_back(std::move(m));
  }
  return out;
}

void FromDirectory(const DirectoryEntry& e, RecipientRecord& out) {
  out.name = e.displayName;
  out.addressType = "EX";
  out.address = e.legacyDn;
  out.displayType = e.displayType;
  out.entryId = ToHex(DirectoryEntryId(e.displayType == olDistList ? kDirectoryList : kDirectoryUser, e.legacyDn));
  out.resolved = true;
}

void FromContact(const ContactMatch& c, RecipientRecord& out) {
  out.name = !c.emailDisplay.empty() ? c.emailDisplay
             : c.fullName.empty()    ? c.email
                                     : c.fullName + " (" + c.email + ")";
  out.addressType = c.emailType.empty() ? "SMTP" : c.emailType;
  out.address = c.email;
  out.displayType = olUser;
  out.entryId = ToHex(ContactEntryId(c.entryId));
  out.resolved = true;
}

}  // namespace

bool IsSmtpAddress(std::string_view text) {
  std::size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 >= text.size()) return false;
  if (text.find('@', at + 1) != std::string_view::npos) return false;
  for (char c : text)
    if (c == ' ' || c == '\t' || c == '<' || c == '>' || c == ',' || c == ';' || c == '"' ||
        static_cast<unsigned char>(c) < 0x21)
      return false;
  return true;
}

Resolution ResolveName(ProfileStore& store, std::string_view text, RecipientRecord& out) {
  Typed typed = Split(text);
  if (typed.address.empty()) return Resolution::Unresolved;

  Directory directory(store);
  if (directory.HasExchange()) {
    std::vector<DirectoryEntry> hits = directory.Match(typed.address);
    if (hits.size() > 1) return Resolution::Ambiguous;
    if (hits.size() == 1) {
      FromDirectory(hits.front(), out);
      return Resolution::Resolved;
    }
  }
  std::vector<ContactMatch> contacts = MatchContacts(store, typed.address);
  if (contacts.size() > 1) return Resolution::Ambiguous;
  if (contacts.size() == 1) {
    FromContact(contacts.front(), out);
    return Resolution::Resolved;
  }
  if (IsSmtpAddress(typed.address)) {
    out.name = typed.name.empty() ? typed.address : typed.name;
    out.addressType = "SMTP";
    out.address = typed.address;
    out.displayType = olUser;
    out.entryId = ToHex(OneOffEntryId(out.name, "SMTP", out.address));
    out.resolved = true;
    return Resolution::Resolved;
  }
  return Resolution::Unresolved;
}

}  // namespace outlook

#pragma once
// Name resolution of recipients: a typed name or address becomes an address-book entry of
// the directory (Exchange users and distribution lists), of the profile's contacts, or a
// one-off SMTP address.
#include <string>
#include <string_view>

#include "platform/outlook/store.h"

namespace outlook {

enum class Resolution { Resolved, Unresolved, Ambiguous };

// Resolves `text` and, when it resolves, fills the address fields of `out` (name, address
// type, address, display type, entry ID, resolved). Order: the directory (name, alias,
// Exchange address or SMTP proxy), then the contacts (full name, e-mail address or e-mail
// display name), then a plain SMTP address. "Name <address>" resolves by the address and
// keeps the name for a one-off. Two matches in the first source that has any are ambiguous.
Resolution ResolveName(ProfileStore& store, std::string_view text, RecipientRecord& out);

// Whether `text` has the shape of an SMTP address (local@domain, no blanks).
bool IsSmtpAddress(std::string_view text);

}  // namespace outlook

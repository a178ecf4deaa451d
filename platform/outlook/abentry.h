#pragma once
// Address-book entry IDs: the bytes that name a directory entry, a contact behind the
// contacts address book, or a one-off address. The object model shows them as hexadecimal
// text (Recipient.EntryID); the messaging layer hands them out as bytes.
//
//   directory entry:  4 flag bytes, the Exchange provider's 16-byte id, version 1, a type
//                     (0 user, 1 list, 0x100 container), the Exchange address, a NUL
//   contact:          4 flag bytes, the contacts provider's id, version 3, type 4, 8 bytes
//                     of zeros (36 bytes, 72 hex digits), then the contact item's 24-byte
//                     entry ID (48 hex digits)
//   one-off:          4 flag bytes, the one-off provider's id, 4 bytes of version and flags,
//                     then display name, address type and address, each ended by a NUL
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace outlook {

using Bytes = std::vector<std::uint8_t>;
using ProviderUid = std::array<std::uint8_t, 16>;

// The published id of the Exchange address-book provider.
inline constexpr ProviderUid kExchangeProviderUid = {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A,
                                                     0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82};
// This store's contacts address book and its one-off addresses.
inline constexpr ProviderUid kContactsProviderUid = {0x56, 0x4C, 0x52, 0x43, 0x4F, 0x4E, 0x54, 0x41,
                                                     0x43, 0x54, 0x53, 0x00, 0x00, 0x00, 0x00, 0x01};
inline constexpr ProviderUid kOneOffProviderUid = {0x56, 0x4C, 0x52, 0x4F, 0x4E, 0x45, 0x4F, 0x46,
                                                   0x46, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02};

enum class EntryKind { Directory, Contact, OneOff };

constexpr std::uint32_t kDirectoryUser = 0;
constexpr std::uint32_t kDirectoryList = 1;
constexpr std::uint32_t kDirectoryContainer = 0x100;

struct ParsedEntryId {
  EntryKind kind = EntryKind::OneOff;
  std::uint32_t directoryType = 0;  // Directory
  std::string legacyDn;             // Directory (the container's is "/")
  std::string contactEntryId;       // Contact: the contact item's entry ID, hexadecimal
  std::string displayName, addressType, address;  // OneOff
};

Bytes DirectoryEntryId(std::uint32_t type, std::string_view legacyDn);
Bytes ContactEntryId(std::string_view contactItemEntryId);
Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address);
std::optional<ParsedEntryId> ParseEntryId(const std::uint8_t* data, std::size_t size);
inline std::optional<ParsedEntryId> ParseEntryId(const Bytes& bytes) { return ParseEntryId(bytes.data(), bytes.size()); }

// Upper-case hexadecimal and back (nullopt for odd length or a non-hex digit).
std::string ToHex(const std::uint8_t* data, std::size_t size);
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }
std::optional<Bytes> FromHex(std::string_view hex);

}  // namespace outlook

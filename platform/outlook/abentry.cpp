#include "platform/outlook/abentry.h"

#include <algorithm>
#include <cstring>

namespace outlook {
namespace {

void PutUid(Bytes& out, const ProviderUid& uid) { out.insert(out.end(), uid.begin(), uid.end()); }

void PutLe32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void PutText(Bytes& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

bool HasUid(const std::uint8_t* data, std::size_t size, const ProviderUid& uid) {
  return size >= 20 && std::equal(uid.begin(), uid.end(), data + 4);
}

// Reads a NUL-ended text at `pos`; false when no NUL follows.
bool ReadText(const std::uint8_t* data, std::size_t size, std::size_t& pos, std::string& out) {
  const std::uint8_t* end = std::find(data + pos, data + size, 0);
  if (end == data + size) return false;
  out.assign(reinterpret_cast<const char*>(data + pos), static_cast<std::size_t>(end - (data + pos)));
  pos = static_cast<std::size_t>(end - data) + 1;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Bytes DirectoryEntryId(std::uint32_t type, std::string_view legacyDn) {
  Bytes out(4, 0);
  PutUid(out, kExchangeProviderUid);
  PutLe32(out, 1);
  PutLe32(out, type);
  PutText(out, legacyDn);
  return out;
}

Bytes ContactEntryId(std::string_view contactItemEntryId) {
  Bytes out(4, 0);
  PutUid(out, kContactsProviderUid);
  PutLe32(out, 3);
  PutLe32(out, 4);
  out.insert(out.end(), 8, 0);
  std::optional<Bytes> item = FromHex(contactItemEntryId);
  if (item) out.insert(out.end(), item->begin(), item->end());
  return out;
}

Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType, std::string_view address) {
  Bytes out(4, 0);
  PutUid(out, kOneOffProviderUid);
  PutLe32(out, 0);
  PutText(out, displayName);
  PutText(out, addressType);
  PutText(out, address);
  return out;
}

std::optional<ParsedEntryId> ParseEntryId(const std::uint8_t* data, std::size_t size) {
  if (!data) return std::nullopt;
  ParsedEntryId parsed;
  if (HasUid(data, size, kExchangeProviderUid)) {
    if (size < 29) return std::nullopt;
    parsed.kind = EntryKind::Directory;
    parsed.directoryType = Le32(data + 24);
    std::size_t pos = 28;
    if (!ReadText(data, size, pos, parsed.legacyDn)) return std::nullopt;
    return parsed;
  }
  if (HasUid(data, size, kContactsProviderUid)) {
    if (size != 36 + 24) return std::nullopt;
    parsed.kind = EntryKind::Contact;
    parsed.contactEntryId = ToHex(data + 36, 24);
    return parsed;
  }
  if (HasUid(data, size, kOneOffProviderUid)) {
    parsed.kind = EntryKind::OneOff;
    std::size_t pos = 24;
    if (size < pos || !ReadText(data, size, pos, parsed.displayName) ||
        !ReadText(data, size, pos, parsed.addressType) || !ReadText(data, size, pos, parsed.address))
      return std::nullopt;
    return parsed;
  }
  return std::nullopt;
}

std::string ToHex(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::optional<Bytes> FromHex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  Bytes out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

}  // namespace outlook

#include "platform/win/guid.h"

#include <sys/random.h>

#include <cctype>
#include <cstdio>
#include <random>

namespace win {
namespace {

void RandomBytes(std::uint8_t* out, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    ssize_t r = getrandom(out + got, n - got, 0);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  if (got < n) {  // no system source: still unique enough for ids
    std::random_device rd;
    for (; got < n; ++got) out[got] = static_cast<std::uint8_t>(rd());
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

GUID NewGuid() {
  std::uint8_t b[16];
  RandomBytes(b, sizeof b);
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  GUID g;
  g.Data1 = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
  g.Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
  g.Data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
  return g;
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return buf;
}

std::optional<GUID> GuidFromString(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  std::uint8_t bytes[16];
  int n = 0;
  for (std::size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[n++] = static_cast<std::uint8_t>(hi << 4 | lo);
    i += 2;
  }
  GUID g;
  g.Data1 = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
            bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  return g;
}

}  // namespace win

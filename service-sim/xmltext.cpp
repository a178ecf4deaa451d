#include "service-sim/xmltext.h"

namespace sim {
namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
size_t Utf8Length(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  if (n == 2 && c < 0xC2) return 0;                          // overlong
  if (n == 3 && c == 0xE0 && byte(i + 1) < 0xA0) return 0;   // overlong
  if (n == 3 && c == 0xED && byte(i + 1) >= 0xA0) return 0;  // surrogates
  if (n == 4 && (c > 0xF4 || (c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90)))
    return 0;
  return n;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': case '\n': case '\r': out += c; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return out;
}

std::string XmlElementLine(std::string_view name, std::string_view text) {
  std::string out;
  out.append("<").append(name).append(">").append(XmlEscape(text));
  out.append("</").append(name).append(">\n");
  return out;
}

}  // namespace sim

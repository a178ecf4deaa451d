#pragma once
// Escaping of text written into answers.
#include <string>
#include <string_view>

namespace sim {

// Escapes &, <, >, " and ' so the text fits element content and attribute values. Bytes that
// XML 1.0 cannot carry (control characters, broken UTF-8) become '?': answers echo parts of
// requests and must stay well-formed whatever came in.
std::string XmlEscape(std::string_view text);

// The element `<name>escaped text</name>` followed by a line feed.
std::string XmlElementLine(std::string_view name, std::string_view text);

}  // namespace sim

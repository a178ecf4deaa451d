#pragma once
// Text is UTF-8 everywhere; UTF-16 only where stored data asks for it.
#include <string>
#include <string_view>

namespace win {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Decodes one code point at `pos`, advancing it. Returns -1 (and skips one byte) for a byte
// that does not start a valid, shortest-form UTF-8 sequence.
long DecodeUtf8(std::string_view text, std::size_t& pos);

// ASCII-only case folding, as the registry and the service compare names.
std::string AsciiLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace win

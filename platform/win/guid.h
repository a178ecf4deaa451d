#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace win {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};
  friend bool operator==(const GUID&, const GUID&) = default;
  friend auto operator<=>(const GUID&, const GUID&) = default;
};

// A new random (version 4) GUID from the system's random source.
GUID NewGuid();
// "{6B29FC40-CA47-1067-B31D-00DD010662DA}", upper case, with braces.
std::string GuidToString(const GUID& g);
// Accepts the braced or bare form, any letter case; nullopt for anything else.
std::optional<GUID> GuidFromString(std::string_view text);

}  // namespace win

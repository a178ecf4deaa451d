#pragma once
// JSON text for the control interface's answers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

// Builds one JSON object: Add appends `"name":value` pairs in order.
class JsonObject {
 public:
  JsonObject& Add(std::string_view name, std::string_view text);
  JsonObject& Add(std::string_view name, const char* text) { return Add(name, std::string_view(text)); }
  JsonObject& Add(std::string_view name, int64_t number);
  JsonObject& Add(std::string_view name, bool flag);
  JsonObject& Add(std::string_view name, const std::optional<bool>& flag);     // null when empty
  JsonObject& Add(std::string_view name, const std::optional<int64_t>& number);  // null when empty
  // `json` is put in as it stands (an object or array already made).
  JsonObject& AddRaw(std::string_view name, std::string_view json);
  std::string Text() const { return text_ + "}"; }

 private:
  JsonObject& Key(std::string_view name);
  std::string text_ = "{";
};

// "[a,b,...]" from JSON texts.
template <typename Range>
std::string JsonArray(const Range& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? "," : "") + item;
  return out + "]";
}

}  // namespace sim

#include "service-sim/jsontext.h"

#include <cstdio>

namespace sim {

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::Key(std::string_view name) {
  if (text_.size() > 1) text_ += ",";
  text_ += JsonString(name) + ":";
  return *this;
}

JsonObject& JsonObject::Add(std::string_view name, std::string_view text) {
  Key(name).text_ += JsonString(text);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view name, int64_t number) {
  Key(name).text_ += std::to_string(number);
  return *this;
}

JsonObject& JsonObject::Add(std::string_view name, bool flag) {
  Key(name).text_ += flag ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Add(std::string_view name, const std::optional<bool>& flag) {
  if (!flag) return AddRaw(name, "null");
  return Add(name, *flag);
}

JsonObject& JsonObject::Add(std::string_view name, const std::optional<int64_t>& number) {
  if (!number) return AddRaw(name, "null");
  return Add(name, *number);
}

JsonObject& JsonObject::AddRaw(std::string_view name, std::string_view json) {
  Key(name).text_ += json;
  return *this;
}

}  // namespace sim

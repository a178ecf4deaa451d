#include "tests/service-sim/simjson.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/win/text.h"

namespace vlrtest {

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : s_(text) {}

  JsonValue Document() {
    JsonValue v = Value(0);
    Space();
    if (i_ != s_.size()) Fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw std::runtime_error("JSON: " + why + " at offset " + std::to_string(i_));
  }
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool Take(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  JsonValue Value(int depth) {
    if (depth > 64) Fail("nested too deeply");
    Space();
    if (i_ >= s_.size()) Fail("unexpected end");
    JsonValue v;
    char c = s_[i_];
    if (c == '{') {
      ++i_;
      v.kind_ = JsonValue::Kind::Object;
      if (Take('}')) return v;
      do {
        Space();
        std::string name = String();
        Expect(':');
        v.members_.emplace_back(std::move(name), Value(depth + 1));
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++i_;
      v.kind_ = JsonValue::Kind::Array;
      if (Take(']')) return v;
      do v.items_.push_back(Value(depth + 1));
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      v.kind_ = JsonValue::Kind::String;
      v.text_ = String();
    } else if (Word("true") || Word("false")) {
      v.kind_ = JsonValue::Kind::Bool;
      v.flag_ = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u';
    } else if (Word("null")) {
      v.kind_ = JsonValue::Kind::Null;
    } else {
      size_t start = i_;
      while (i_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[i_]) != std::string_view::npos) ++i_;
      if (i_ == start) Fail("unexpected character");
      v.kind_ = JsonValue::Kind::Number;
      v.text_ = std::string(s_.substr(start, i_ - start));
    }
    return v;
  }

  unsigned long Hex4() {
    if (i_ + 4 > s_.size()) Fail("short \\u escape");
    std::string hex(s_.substr(i_, 4));
    i_ += 4;
    char* end = nullptr;
    unsigned long cp = std::strtoul(hex.c_str(), &end, 16);
    if (end != hex.c_str() + 4) Fail("bad \\u escape");
    return cp;
  }

  std::string String() {
    if (i_ >= s_.size() || s_[i_] != '"') Fail("expected a string");
    ++i_;
    std::string out;
    while (true) {
      if (i_ >= s_.size()) Fail("unterminated string");
      char c = s_[i_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) Fail("unterminated escape");
      char e = s_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          // An escape is one UTF-16 code unit; a character beyond the BMP takes two.
          std::u16string units(1, static_cast<char16_t>(Hex4()));
          if (units[0] >= 0xD800 && units[0] < 0xDC00 && s_.substr(i_, 2) == "\\u") {
            i_ += 2;
            units += static_cast<char16_t>(Hex4());
          }
          out += win::Utf16ToUtf8(units);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  std::string_view s_;
  size_t i_ = 0;
};

JsonValue JsonValue::Parse(std::string_view text) { return JsonParser(text).Document(); }

bool JsonValue::Bool() const {
  if (kind_ != Kind::Bool) throw std::runtime_error("JSON: not true or false");
  return flag_;
}

long long JsonValue::Int() const {
  if (kind_ != Kind::Number) throw std::runtime_error("JSON: not a number");
  return std::stoll(text_);
}

const std::string& JsonValue::Str() const {
  if (kind_ != Kind::String && kind_ != Kind::Number) throw std::runtime_error("JSON: not a string");
  return text_;
}

const std::vector<JsonValue>& JsonValue::Items() const {
  if (kind_ != Kind::Array) throw std::runtime_error("JSON: not an array");
  return items_;
}

const std::vector<std::pair<std::string, JsonValue>>& JsonValue::Members() const {
  if (kind_ != Kind::Object) throw std::runtime_error("JSON: not an object");
  return members_;
}

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const auto& [n, v] : Members())
    if (n == name) return &v;
  return nullptr;
}

const JsonValue& JsonValue::operator[](std::string_view name) const {
  const JsonValue* v = Find(name);
  if (!v) throw std::runtime_error("JSON: no member \"" + std::string(name) + "\"");
  return *v;
}

}  // namespace vlrtest

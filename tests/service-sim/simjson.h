#pragma once
// A small JSON reader for the simulator's control answers (tests only).
//
//   vlrtest::JsonValue v = vlrtest::JsonValue::Parse(text);
//   v["recipients"].Items()[0]["email"].Str();
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vlrtest {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  // Throws std::runtime_error when the text is not one JSON value.
  static JsonValue Parse(std::string_view text);

  Kind GetKind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  // These throw std::runtime_error when the value is of another kind.
  bool Bool() const;
  long long Int() const;
  const std::string& Str() const;  // a string, or a number's text
  const std::vector<JsonValue>& Items() const;
  const std::vector<std::pair<std::string, JsonValue>>& Members() const;
  // The member of an object; throws when it is absent. Find gives null instead.
  const JsonValue& operator[](std::string_view name) const;
  const JsonValue* Find(std::string_view name) const;

 private:
  friend class JsonParser;
  Kind kind_ = Kind::Null;
  bool flag_ = false;
  std::string text_;
  std::vector<JsonValue> items_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

}  // namespace vlrtest

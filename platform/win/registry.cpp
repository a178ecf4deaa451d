#include "platform/win/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "platform/win/folders.h"

// The hive file, as read and written here:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Attestra]
//   ;Class="Application Global Data"
//   @="default value"
//   "Host"="example.com"
//   "SSL"=dword:00000001
//   "Credentials"=hex:01,ab,ff
//
// Keys are written parents first, each followed by its values and a blank line. Strings escape
// \ " line feed, carriage return and NUL as \\ \" \n \r \0, so every value fits on its line.
// Key class strings are not part of the export format: they ride on a comment line, which other
// readers of the format skip.
//
// Reading is lenient, because people edit these files: CR LF endings, a UTF-8 byte order mark,
// blank lines, comments, "REGEDIT4", hex lists continued over lines with a trailing "\" and
// headers whose parents were never listed are all accepted. A line that cannot be read as a
// whole is skipped and the rest of the file still counts: an unclosed string, a bad number, a
// value type we do not keep, "-" deletions, values before the first header, and a header of
// another hive or beyond the platform's limits (512 levels, names of 255 bytes) together with
// the values under it. An unknown escape keeps its backslash. Before a change rewrites a file
// that had such lines, the file as it was is kept beside it as "<hive>.reg.bad", so nothing a
// person typed disappears without a trace.

namespace win {
namespace {

constexpr std::string_view kVersionLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldVersionLine = "REGEDIT4";
constexpr std::string_view kClassPrefix = ";Class=";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The non-empty names of a key path; "\" separates them.
std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    if (!part.empty()) parts.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

std::string JoinPath(const std::vector<std::string_view>& parts) {
  std::string joined;
  for (std::string_view part : parts) {
    if (!joined.empty()) joined += '\\';
    joined += part;
  }
  return joined;
}

// The platform's limits; they also bound the recursion over the tree and the work per header.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxKeyName = 255;

// A key name must fit on its header line.
bool ValidKeyName(std::string_view name) {
  return name.size() <= kMaxKeyName &&
         name.find_first_of(std::string_view("\n\r\0", 3)) == std::string_view::npos;
}

// ---- the hive in memory ----

struct Value {
  std::string name;
  RegValue data;
};

struct Node {
  std::string name;
  std::string keyClass;
  std::vector<Value> values;
  std::vector<std::unique_ptr<Node>> children;

  Node* Child(std::string_view childName) const {
    for (const auto& child : children)
      if (SameName(child->name, childName)) return child.get();
    return nullptr;
  }
  Node& AddChild(std::string_view childName, std::string_view childClass) {
    auto child = std::make_unique<Node>();
    child->name = childName;
    child->keyClass = childClass;
    children.push_back(std::move(child));
    return *children.back();
  }
  Value* FindValue(std::string_view valueName) {
    for (Value& v : values)
      if (SameName(v.name, valueName)) return &v;
    return nullptr;
  }
  void SetValue(std::string_view valueName, RegValue data) {
    if (Value* v = FindValue(valueName)) {
      v->data = std::move(data);
      return;
    }
    values.push_back(Value{std::string(valueName), std::move(data)});
  }
};

Node* FindNode(Node& root, const std::vector<std::string_view>& parts) {
  Node* node = &root;
  for (std::string_view part : parts)
    if (!(node = node->Child(part))) return nullptr;
  return node;
}

Node* FindNode(Node& root, std::string_view path) { return FindNode(root, SplitPath(path)); }

// ---- reading the text ----

// Reads a quoted string at the start of `s` (which starts with '"') and consumes it.
bool ReadQuoted(std::string_view& s, std::string& out) {
  out.clear();
  std::size_t i = 1;
  while (true) {
    std::size_t special = i;
    while (special < s.size() && s[special] != '"' && s[special] != '\\') ++special;
    if (special == s.size()) return false;
    out.append(s.substr(i, special - i));
    i = special + 1;
    if (s[special] == '"') {
      s.remove_prefix(i);
      return true;
    }
    if (i == s.size()) return false;
    char e = s[i++];
    switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case '0': out += '\0'; break;
      default:
        out += '\\';
        out += e;
    }
  }
}

bool ParseDword(std::string_view s, DWORD& out) {
  s = TrimRight(s);
  if (s.empty() || s.size() > 8) return false;
  DWORD n = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    n = n << 4 | static_cast<DWORD>(d);
  }
  out = n;
  return true;
}

// "01,ab,ff": items of one or two hex digits; blanks around items are allowed.
bool ParseHexList(std::string_view s, std::vector<std::uint8_t>& out) {
  out.clear();
  s = TrimRight(TrimLeft(s));
  if (s.empty()) return true;
  while (true) {
    std::size_t cut = s.find(',');
    std::string_view item = TrimRight(TrimLeft(s.substr(0, cut)));
    if (item.empty() || item.size() > 2) return false;
    int value = 0;
    for (char c : item) {
      int d = HexDigit(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    out.push_back(static_cast<std::uint8_t>(value));
    if (cut == std::string_view::npos) return true;
    s.remove_prefix(cut + 1);
  }
}

class HiveReader {
 public:
  HiveReader(std::string_view text, Hive hive, Node& root) : text_(text), hive_(hive), root_(root) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
  }

  // Returns the number of lines skipped.
  std::size_t Run() {
    std::string_view line;
    while (NextLine(line)) {
      line = TrimLeft(TrimRight(line));
      if (line.empty() || line == kVersionLine || line == kOldVersionLine) continue;
      bool ok;
      if (line.front() == '[')
        ok = ReadHeader(line);
      else if (line.front() == ';')
        ok = ReadComment(line);
      else
        ok = ReadValue(line);
      if (!ok) ++skipped_;
    }
    MergeRepeatedValues(root_);
    return skipped_;
  }

 private:
  bool NextLine(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return true;
  }

  bool ReadHeader(std::string_view line) {
    current_ = nullptr;
    if (line.size() < 2 || line.back() != ']') return false;
    std::string_view inner = line.substr(1, line.size() - 2);
    std::size_t cut = inner.find('\\');
    if (!SameName(inner.substr(0, cut), HiveName(hive_))) return false;
    Node* node = &root_;
    if (cut != std::string_view::npos) {
      // Found through the folded path, so that big hives read in linear time.
      std::vector<std::string_view> parts = SplitPath(inner.substr(cut + 1));
      if (parts.size() > kMaxKeyDepth) return false;
      for (std::string_view part : parts)
        if (part.size() > kMaxKeyName) return false;
      std::string folded;
      for (std::string_view part : parts) {
        folded += '\\';
        for (char c : part) folded += LowerAscii(c);
        auto [it, added] = keys_.try_emplace(folded, nullptr);
        if (added) it->second = &node->AddChild(part, {});
        node = it->second;
      }
    }
    current_ = node;
    return true;
  }

  bool ReadComment(std::string_view line) {
    if (!StartsWithNoCase(line, kClassPrefix)) return true;
    std::string_view rest = TrimLeft(line.substr(kClassPrefix.size()));
    std::string keyClass;
    if (!current_ || rest.empty() || rest.front() != '"' || !ReadQuoted(rest, keyClass) ||
        !TrimLeft(rest).empty())
      return false;
    current_->keyClass = std::move(keyClass);
    return true;
  }

  bool ReadValue(std::string_view line) {
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (line.front() != '"' || !ReadQuoted(line, name)) {
      return false;
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != '=') return false;
    line = TrimLeft(line.substr(1));

    RegValue value;
    bool ok = false;
    if (!line.empty() && line.front() == '"') {
      value.type = RegType::String;
      ok = ReadQuoted(line, value.text) && TrimLeft(line).empty();
    } else if (StartsWithNoCase(line, "dword:")) {
      value.type = RegType::Dword;
      ok = ParseDword(line.substr(6), value.number);
    } else if (StartsWithNoCase(line, "hex:")) {
      value.type = RegType::Binary;
      ok = ReadHexData(line.substr(4), value.bytes);
    }
    if (!ok || !current_) return false;
    // Repeated names are merged once the whole file is read.
    current_->values.push_back(Value{std::move(name), std::move(value)});
    return true;
  }

  // A hex list may continue on the following lines: each continued line ends with "\".
  bool ReadHexData(std::string_view first, std::vector<std::uint8_t>& bytes) {
    std::string_view part = TrimRight(first);
    if (part.empty() || part.back() != '\\') return ParseHexList(part, bytes);
    std::string joined;
    while (!part.empty() && part.back() == '\\') {
      joined.append(part.substr(0, part.size() - 1));
      std::string_view next;
      if (!NextLine(next)) return false;
      part = TrimRight(TrimLeft(next));
    }
    joined.append(part);
    return ParseHexList(joined, bytes);
  }

  // A value named twice keeps its first place and its last data, as an import would leave it.
  static void MergeRepeatedValues(Node& node) {
    std::vector<Value>& values = node.values;
    if (values.size() > 1) {
      std::vector<std::pair<std::uint64_t, std::size_t>> order;
      order.reserve(values.size());
      for (std::size_t i = 0; i < values.size(); ++i) order.emplace_back(FoldedHash(values[i].name), i);
      std::sort(order.begin(), order.end());
      std::vector<bool> dropped(values.size());
      bool any = false;
      for (std::size_t run = 0; run < order.size();) {
        std::size_t end = run + 1;
        while (end < order.size() && order[end].first == order[run].first) ++end;
        for (std::size_t j = run + 1; j < end; ++j) {
          for (std::size_t k = run; k < j; ++k) {
            std::size_t first = order[k].second, later = order[j].second;
            if (dropped[first] || !SameName(values[first].name, values[later].name)) continue;
            values[first].data = std::move(values[later].data);
            dropped[later] = any = true;
            break;
          }
        }
        run = end;
      }
      if (any) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
          if (dropped[i]) continue;
          if (kept != i) values[kept] = std::move(values[i]);
          ++kept;
        }
        values.resize(kept);
      }
    }
    for (auto& child : node.children) MergeRepeatedValues(*child);
  }

  static std::uint64_t FoldedHash(std::string_view name) {
    std::uint64_t hash = 1469598103934665603ull;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
    return hash;
  }

  std::string_view text_;
  Hive hive_;
  Node& root_;
  std::unordered_map<std::string, Node*> keys_;
  Node* current_ = nullptr;
  std::size_t pos_ = 0;
  std::size_t skipped_ = 0;
};

// ---- writing the text ----

bool NeedsEscape(char c) { return c == '\\' || c == '"' || c == '\n' || c == '\r' || c == '\0'; }

void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  std::size_t plain = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (!NeedsEscape(c)) continue;
    out.append(s.substr(plain, i - plain));
    plain = i + 1;
    out += '\\';
    out += c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\0' ? '0' : c;
  }
  out.append(s.substr(plain));
  out += '"';
}

void AppendHex8(std::string& out, DWORD n) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(n));
  out.append(buf, 8);
}

void AppendValue(std::string& out, const Value& v) {
  if (v.name.empty())
    out += '@';
  else
    AppendQuoted(out, v.name);
  out += '=';
  switch (v.data.type) {
    case RegType::String:
      AppendQuoted(out, v.data.text);
      break;
    case RegType::Dword:
      out += "dword:";
      AppendHex8(out, v.data.number);
      break;
    case RegType::Binary: {
      static constexpr char kDigits[] = "0123456789abcdef";
      out += "hex:";
      for (std::size_t i = 0; i < v.data.bytes.size(); ++i) {
        if (i) out += ',';
        out += kDigits[v.data.bytes[i] >> 4];
        out += kDigits[v.data.bytes[i] & 15];
      }
      break;
    }
  }
  out += '\n';
}

// `fullName` is the node's name with the hive in front; it is extended for the children and
// restored afterwards, so the whole walk builds names in one buffer.
void AppendNode(std::string& out, std::string& fullName, const Node& node, bool withHeader) {
  if (withHeader) {
    out += '[';
    out += fullName;
    out += "]\n";
    if (!node.keyClass.empty()) {
      out += kClassPrefix;
      AppendQuoted(out, node.keyClass);
      out += '\n';
    }
    for (const Value& v : node.values) AppendValue(out, v);
    out += '\n';
  }
  for (const auto& child : node.children) {
    std::size_t mark = fullName.size();
    fullName += '\\';
    fullName += child->name;
    AppendNode(out, fullName, *child, true);
    fullName.resize(mark);
  }
}

std::string ExportText(Hive hive, std::string_view path, const Node& node, bool wholeHive) {
  std::string out;
  out.reserve(4096);
  out += kVersionLine;
  out += "\n\n";
  std::string fullName = HiveName(hive);
  if (!path.empty()) {
    fullName += '\\';
    fullName += path;
  }
  bool rootHasData = !node.values.empty() || !node.keyClass.empty();
  AppendNode(out, fullName, node, !wholeHive || rootHasData);
  return out;
}

// ---- files ----

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now, reporting a failure (a write error may only show here).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

LONG ReadFault(int err) { return err == EIO ? ERROR_READ_FAULT : ERROR_ACCESS_DENIED; }
LONG WriteFault(int err) { return err == EIO || err == ENOSPC || err == EDQUOT ? ERROR_WRITE_FAULT : ERROR_ACCESS_DENIED; }

// A missing hive file is an empty hive.
LONG ReadHiveFile(const std::string& path, std::string& text) {
  text.clear();
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.Valid()) return errno == ENOENT ? ERROR_SUCCESS : ReadFault(errno);
  struct stat st;
  if (::fstat(file.Get(), &st) == 0 && st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  while (true) {
    ssize_t n = ::read(file.Get(), buf, sizeof buf);
    if (n == 0) return ERROR_SUCCESS;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadFault(errno);
    }
    text.append(buf, static_cast<std::size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes a temporary file beside `path` and renames it over `path`, so that a reader sees the
// old file or the new one, never a part.
LONG ReplaceFile(const std::string& path, std::string_view text) {
  std::string temp = path + ".XXXXXX";
  FileHandle file(::mkostemp(temp.data(), O_CLOEXEC));
  if (!file.Valid()) return WriteFault(errno);
  bool ok = ::fchmod(file.Get(), 0600) == 0 && WriteAll(file.Get(), text) &&
            ::fdatasync(file.Get()) == 0;
  int err = errno;
  ok = file.Close() && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return ERROR_SUCCESS;
  if (ok) err = errno;
  ::unlink(temp.c_str());
  return WriteFault(err);
}

// Holds the hive's lock file locked for the life of the object.
class HiveLock {
 public:
  explicit HiveLock(const std::string& hivePath)
      : file_(::open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (!file_.Valid()) {
      error_ = WriteFault(errno);
      return;
    }
    while (::flock(file_.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = ERROR_ACCESS_DENIED;
        return;
      }
    }
  }
  LONG Error() const { return error_; }

 private:
  FileHandle file_;  // closing it releases the lock
  LONG error_ = ERROR_SUCCESS;
};

LONG LoadHive(Hive hive, Node& root) {
  std::string text;
  if (LONG err = ReadHiveFile(HiveFilePath(hive), text)) return err;
  HiveReader(text, hive, root).Run();
  return ERROR_SUCCESS;
}

// Every change: lock, read the file as it is now, change, write it back, unlock. `change`
// returns ERROR_SUCCESS to keep its work or an error to drop it.
template <class Change>
LONG ModifyHive(Hive hive, Change&& change) {
  std::string path = HiveFilePath(hive);
  HiveLock lock(path);
  if (lock.Error()) return lock.Error();
  std::string old;
  if (LONG err = ReadHiveFile(path, old)) return err;
  Node root;
  std::size_t skipped = HiveReader(old, hive, root).Run();
  if (LONG err = change(root)) return err;
  std::string text = ExportText(hive, {}, root, true);
  if (text == old) return ERROR_SUCCESS;
  if (skipped)
    if (LONG err = ReplaceFile(path + ".bad", old)) return err;
  return ReplaceFile(path, text);
}

// Runs `read` on the open key's node, reading the hive afresh.
template <class Read>
LONG ReadKey(bool open, Hive hive, const std::string& path, Read&& read) {
  if (!open) return ERROR_INVALID_HANDLE;
  Node root;
  if (LONG err = LoadHive(hive, root)) return err;
  Node* node = FindNode(root, path);
  if (!node) return ERROR_KEY_DELETED;
  return read(*node);
}

}  // namespace

const char* HiveName(Hive hive) {
  switch (hive) {
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
  }
  return "HKEY_CURRENT_USER";
}

std::optional<std::pair<Hive, std::string>> ParseKeyName(std::string_view fullName) {
  std::string name(fullName);
  for (char& c : name)
    if (c == '/') c = '\\';
  std::vector<std::string_view> parts = SplitPath(name);
  if (parts.empty()) return std::nullopt;
  struct Root {
    std::string_view full, shortName;
    Hive hive;
  };
  static constexpr Root kRoots[] = {
      {"HKEY_CURRENT_USER", "HKCU", Hive::CurrentUser},
      {"HKEY_CLASSES_ROOT", "HKCR", Hive::ClassesRoot},
      {"HKEY_LOCAL_MACHINE", "HKLM", Hive::LocalMachine},
  };
  for (const Root& root : kRoots) {
    if (!SameName(parts.front(), root.full) && !SameName(parts.front(), root.shortName)) continue;
    parts.erase(parts.begin());
    return std::make_pair(root.hive, JoinPath(parts));
  }
  return std::nullopt;
}

std::string HiveFilePath(Hive hive) { return ConfigFolder() + "/" + HiveName(hive) + ".reg"; }

LONG RegKey::Open(Hive hive, std::string_view path, RegKey& out) {
  std::vector<std::string_view> parts = SplitPath(path);
  Node root;
  if (LONG err = LoadHive(hive, root)) return err;
  if (!FindNode(root, parts)) return ERROR_FILE_NOT_FOUND;
  out.hive_ = hive;
  out.path_ = JoinPath(parts);
  out.open_ = true;
  return ERROR_SUCCESS;
}

LONG RegKey::Create(Hive hive, std::string_view path, std::string_view keyClass, RegKey& out) {
  std::vector<std::string_view> parts = SplitPath(path);
  if (parts.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  for (std::string_view part : parts)
    if (!ValidKeyName(part)) return ERROR_INVALID_PARAMETER;
  // Callers create their keys before every use; an existing key needs no lock and no write.
  Node existing;
  LONG err = LoadHive(hive, existing);
  if (err == ERROR_SUCCESS && !FindNode(existing, parts)) {
    err = ModifyHive(hive, [&](Node& root) {
      Node* node = &root;
      for (std::string_view part : parts) {
        Node* child = node->Child(part);
        node = child ? child : &node->AddChild(part, keyClass);
      }
      return ERROR_SUCCESS;
    });
  }
  if (err) return err;
  out.hive_ = hive;
  out.path_ = JoinPath(parts);
  out.open_ = true;
  return ERROR_SUCCESS;
}

LONG RegKey::QueryValue(std::string_view name, RegValue& out) const {
  return ReadKey(open_, hive_, path_, [&](Node& node) {
    Value* v = node.FindValue(name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    out = std::move(v->data);
    return ERROR_SUCCESS;
  });
}

LONG RegKey::QueryString(std::string_view name, std::string& out) const {
  RegValue v;
  if (LONG err = QueryValue(name, v)) return err;
  if (v.type != RegType::String) return ERROR_INVALID_DATA;
  out = std::move(v.text);
  return ERROR_SUCCESS;
}

LONG RegKey::QueryDword(std::string_view name, DWORD& out) const {
  RegValue v;
  if (LONG err = QueryValue(name, v)) return err;
  if (v.type != RegType::Dword) return ERROR_INVALID_DATA;
  out = v.number;
  return ERROR_SUCCESS;
}

LONG RegKey::QueryBinary(std::string_view name, std::vector<std::uint8_t>& out) const {
  RegValue v;
  if (LONG err = QueryValue(name, v)) return err;
  if (v.type != RegType::Binary) return ERROR_INVALID_DATA;
  out = std::move(v.bytes);
  return ERROR_SUCCESS;
}

LONG RegKey::SetValue(std::string_view name, const RegValue& value) {
  if (!open_) return ERROR_INVALID_HANDLE;
  // Only the member that matches the type is stored.
  RegValue stored;
  stored.type = value.type;
  switch (value.type) {
    case RegType::String: stored.text = value.text; break;
    case RegType::Dword: stored.number = value.number; break;
    case RegType::Binary: stored.bytes = value.bytes; break;
  }
  return ModifyHive(hive_, [&](Node& root) {
    Node* node = FindNode(root, path_);
    if (!node) return ERROR_KEY_DELETED;
    node->SetValue(name, std::move(stored));
    return ERROR_SUCCESS;
  });
}

LONG RegKey::SetString(std::string_view name, std::string_view text) {
  RegValue v;
  v.type = RegType::String;
  v.text = text;
  return SetValue(name, v);
}

LONG RegKey::SetDword(std::string_view name, DWORD number) {
  RegValue v;
  v.type = RegType::Dword;
  v.number = number;
  return SetValue(name, v);
}

LONG RegKey::SetBinary(std::string_view name, const void* data, std::size_t length) {
  if (!data && length) return ERROR_INVALID_PARAMETER;
  RegValue v;
  v.type = RegType::Binary;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  v.bytes.assign(bytes, bytes + length);
  return SetValue(name, v);
}

LONG RegKey::DeleteValue(std::string_view name) {
  if (!open_) return ERROR_INVALID_HANDLE;
  return ModifyHive(hive_, [&](Node& root) {
    Node* node = FindNode(root, path_);
    if (!node) return ERROR_KEY_DELETED;
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
      if (SameName(it->name, name)) {
        node->values.erase(it);
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LONG RegKey::GetClass(std::string& out) const {
  return ReadKey(open_, hive_, path_, [&](Node& node) {
    out = std::move(node.keyClass);
    return ERROR_SUCCESS;
  });
}

LONG RegKey::EnumSubkeys(std::vector<std::string>& names) const {
  return ReadKey(open_, hive_, path_, [&](Node& node) {
    names.clear();
    names.reserve(node.children.size());
    for (auto& child : node.children) names.push_back(std::move(child->name));
    return ERROR_SUCCESS;
  });
}

LONG RegKey::EnumValues(std::vector<std::pair<std::string, RegValue>>& values) const {
  return ReadKey(open_, hive_, path_, [&](Node& node) {
    values.clear();
    values.reserve(node.values.size());
    for (Value& v : node.values) values.emplace_back(std::move(v.name), std::move(v.data));
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteTree(Hive hive, std::string_view path) {
  std::vector<std::string_view> parts = SplitPath(path);
  return ModifyHive(hive, [&](Node& root) {
    if (parts.empty()) {
      // The hive root itself stays; everything in it goes.
      root.values.clear();
      root.children.clear();
      return ERROR_SUCCESS;
    }
    std::string_view leaf = parts.back();
    parts.pop_back();
    Node* parent = FindNode(root, parts);
    if (!parent) return ERROR_FILE_NOT_FOUND;
    for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
      if (SameName((*it)->name, leaf)) {
        parent->children.erase(it);
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LONG RegExport(Hive hive, std::string_view path, std::string& text) {
  std::vector<std::string_view> parts = SplitPath(path);
  Node root;
  if (LONG err = LoadHive(hive, root)) return err;
  // The export names the keys as stored, not as the caller spelt them.
  std::vector<std::string_view> stored;
  Node* node = &root;
  for (std::string_view part : parts) {
    if (!(node = node->Child(part))) return ERROR_FILE_NOT_FOUND;
    stored.push_back(node->name);
  }
  text = ExportText(hive, JoinPath(stored), *node, parts.empty());
  return ERROR_SUCCESS;
}

}  // namespace win

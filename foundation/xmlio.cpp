#include "foundation/xmlio.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "foundation/base64.h"
#include "foundation/tempfile.h"
#include "platform/win/folders.h"
#include "platform/win/text.h"

namespace {

// What each 7-bit byte becomes: kKeep keeps it, kDrop drops it, kRef writes its numeric
// reference ("&#45;"), anything else is the replacement itself.
using EntityTable = std::array<const char*, 128>;
constexpr const char* kKeep = nullptr;
constexpr const char* kDrop = "";
constexpr const char* kRef = "#";

constexpr EntityTable MakeEntityTable() {
  EntityTable t{};
  // Control bytes are dropped, but the line breaks stay and tab is referenced.
  for (int c = 0; c < 32; ++c) t[c] = kDrop;
  t['\t'] = kRef;
  t['\n'] = kKeep;
  t['\r'] = kKeep;
  // Punctuation and DEL become references (";" too, like its neighbours); the four markup
  // characters get their named entities.
  for (int c = 32; c < 128; ++c) t[c] = kRef;
  t[' '] = kKeep;
  t['.'] = kKeep;
  for (int c = '0'; c <= '9'; ++c) t[c] = kKeep;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = kKeep;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = kKeep;
  t['"'] = "&quot;";
  t['&'] = "&amp;";
  t['<'] = "&lt;";
  t['>'] = "&gt;";
  return t;
}

constexpr EntityTable kEntities = MakeEntityTable();

// Code points XML 1.0 cannot carry even as a reference.
bool IsXmlChar(long cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendRef(std::string& out, long cp) {
  out += "&#";
  out += std::to_string(cp);
  out += ';';
}

HRESULT WriteAll(std::FILE* file, std::string_view text) {
  if (text.empty()) return S_OK;
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() ? S_OK : E_FAIL;
}

// Opens a file for writing with mode 0600 (created or truncated).
FilePtr OpenPrivate(const std::string& path) {
  int fd = win::CreatePrivateFile(path);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    return nullptr;
  }
  return FilePtr(f);
}

HRESULT CloseChecked(FilePtr& file) {
  if (!file) return S_OK;
  std::FILE* f = file.release();
  const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
  const bool closed = std::fclose(f) == 0;
  return flushed && closed ? S_OK : E_FAIL;
}

}  // namespace

std::string MarkupSafe(std::string_view text) {
  return text.find_first_of("&<>") == std::string_view::npos ? std::string(text) : XmlEscape(text);
}

const char* XmlBool(std::int32_t value) { return value ? "true" : "false"; }

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 128) {
      const char* entity = kEntities[byte];
      if (entity == kKeep)
        out += static_cast<char>(byte);
      else if (entity == kRef)
        AppendRef(out, byte);
      else
        out += entity;
      ++pos;
      continue;
    }
    const long cp = win::DecodeUtf8(text, pos);
    if (cp == 0x2018 || cp == 0x2019 || (cp < 0 && (byte == 145 || byte == 146))) {
      out += "&#39;";
    } else if (cp >= 0 && IsXmlChar(cp)) {
      AppendRef(out, cp);
    }
  }
  return out;
}

// CXMLIO

CXMLIO::~CXMLIO() = default;

void CXMLIO::Reset() {
  text_.clear();
  CloseChecked(file_);
  path_.clear();
}

HRESULT CXMLIO::OpenFile(std::string_view pattern) {
  CloseChecked(file_);
  path_.clear();
  std::string path;
  if (LONG err = MakeTempFile(pattern, path); err != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(err);
  file_ = OpenPrivate(path);
  if (!file_) {
    std::remove(path.c_str());
    return E_FAIL;
  }
  path_ = std::move(path);
  return S_OK;
}

HRESULT CXMLIO::CloseFile() { return CloseChecked(file_); }

HRESULT CXMLIO::WriteRaw(std::string_view text) {
  if (file_) return WriteAll(file_.get(), text);
  text_.append(text);
  return S_OK;
}

HRESULT CXMLIO::WriteElement(std::string_view name, std::string_view value, bool omitWhenEmpty,
                             bool escape) {
  std::string text;
  if (!value.empty()) {
    const std::string escaped = escape ? XmlEscape(value) : std::string();
    const std::string_view body = escape ? std::string_view(escaped) : value;
    if (name.empty()) {
      text.assign(body);
    } else {
      text.reserve(body.size() + 2 * name.size() + 6);
      text.append("<").append(name).append(">").append(body);
      text.append("</").append(name).append(">\n");
    }
  } else {
    if (name.empty()) return E_INVALIDARG;
    if (!omitWhenEmpty) text.append("<").append(name).append("></").append(name).append(">\n");
  }
  return WriteRaw(text);
}

// CXMLElem

CXMLElem::~CXMLElem() = default;

HRESULT CXMLElem::OpenTempFile() {
  CloseChecked(tempFile_);
  tempPath_.clear();
  std::string path;
  if (MakeTempFile({}, path) != ERROR_SUCCESS) return E_FAIL;
  tempFile_ = OpenPrivate(path);
  if (!tempFile_) {
    std::remove(path.c_str());
    return E_FAIL;
  }
  tempPath_ = std::move(path);
  return S_OK;
}

HRESULT CXMLElem::WriteTempFile(std::string_view text) {
  if (!tempFile_) return E_FAIL;
  return WriteAll(tempFile_.get(), text);
}

HRESULT CXMLElem::CloseTempFile() { return CloseChecked(tempFile_); }

HRESULT CXMLElem::DecodeToTempFile(const std::string& source, std::string_view pattern,
                                   std::string& path) {
  TempFile target;
  if (target.Make(pattern) != ERROR_SUCCESS) return E_FAIL;
  if (!File64Coder().DecodeFile(source, target.Path())) return E_FAIL;
  path = target.Release();
  return S_OK;
}

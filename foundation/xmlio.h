#pragma once
// Hand-written XML output and the base of every model element.
//
// XmlEscape is the one escaping rule of the system: the writers, the password of the security
// header and the diagnostic log all pass their text through it. Its output is pure 7-bit text.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win/hresult.h"

// Rebuilds `text` with the character-entity table. ASCII letters, digits, space, ".", line feed
// and carriage return are kept; tab, punctuation and DEL become numeric references ("&#45;"),
// the four markup characters their named entities ("&amp;"), other control bytes are dropped.
// Text above 127 is read as UTF-8: each character becomes the reference of its code point
// ("&#233;"), the typographic single quotes U+2018/U+2019 become "&#39;". Bytes that are not
// valid UTF-8 are dropped, except a stray 145 or 146 (the Windows code page's single quotes),
// which still becomes "&#39;".
std::string XmlEscape(std::string_view text);
// `text` as it is unless it holds markup ("&", "<", ">"), which is escaped after all: for texts
// that a request carries unescaped (an e-mail address, a document name), which must never
// change the document's structure (a document named "Terms & Conditions.pdf").
std::string MarkupSafe(std::string_view text);
// An XML boolean: "true" for any non-zero value, else "false".
const char* XmlBool(std::int32_t value);

namespace detail {
struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
}  // namespace detail
using FilePtr = std::unique_ptr<std::FILE, detail::FileCloser>;

// Writes XML element by element, either into an open file or, with no file open, into a text
// buffer.
class CXMLIO {
 public:
  CXMLIO() = default;
  virtual ~CXMLIO();
  CXMLIO(const CXMLIO&) = delete;
  CXMLIO& operator=(const CXMLIO&) = delete;

  // Empties the text buffer, closes the file (it stays on disk) and forgets its path.
  void Reset();

  // Makes a temporary file name from `pattern` (MakeTempFile rules), creates the file (mode
  // 0600) and keeps it open for writing. A file already open is closed first.
  // S_OK or the failure (HRESULT_FROM_WIN32 of the error number).
  HRESULT OpenFile(std::string_view pattern);
  // Flushes and closes the open file; the path stays. E_FAIL when the flush fails.
  HRESULT CloseFile();
  bool IsFileOpen() const { return file_ != nullptr; }

  // Writes "<name>value</name>\n" (value escaped when `escape`). Without a name the value is
  // written alone (raw tags such as "<Tabs>"). An empty value gives "<name></name>\n", nothing
  // with `omitWhenEmpty`, and E_INVALIDARG without a name. A failed file write gives E_FAIL.
  HRESULT WriteElement(std::string_view name, std::string_view value, bool omitWhenEmpty,
                       bool escape);
  // Writes `text` as it is to the file or the buffer. E_FAIL when the file write fails.
  HRESULT WriteRaw(std::string_view text);

  const std::string& Text() const { return text_; }
  const std::string& FilePath() const { return path_; }

 private:
  std::string text_;
  std::string path_;
  FilePtr file_;
};

// The base of every element of the model. While a SAX reader reads the element, its text goes
// to the text target (when text is collected) or is streamed into the element's temporary file.
class CXMLElem : public CXMLIO {
 public:
  CXMLElem() = default;
  explicit CXMLElem(std::string tagName) : tagName_(std::move(tagName)) {}
  // Closes the temporary file; the file itself stays for whoever took its path.
  ~CXMLElem() override;

  const std::string& TagName() const { return tagName_; }
  void SetTagName(std::string name) { tagName_ = std::move(name); }

  // The string that receives the element's text while it is read (observed, not owned).
  std::string* TextTarget() const { return textTarget_; }
  void SetTextTarget(std::string* target) { textTarget_ = target; }
  bool CollectsText() const { return collectText_ != 0; }
  void SetCollectText(bool on) { collectText_ = on ? 1 : 0; }
  // A value of the derived classes' own.
  std::int32_t Value() const { return value_; }
  void SetValue(std::int32_t v) { value_ = v; }

  // Creates a unique temporary file (temporary folder, prefix "ATgn", mode 0600) and keeps it
  // open for writing; a previous one is closed first. S_OK or E_FAIL.
  HRESULT OpenTempFile();
  bool HasTempFile() const { return tempFile_ != nullptr; }
  const std::string& TempFilePath() const { return tempPath_; }
  // Appends text to the open temporary file. E_FAIL when none is open or the write fails.
  HRESULT WriteTempFile(std::string_view text);
  // Flushes and closes the temporary file; its path stays. E_FAIL when the flush fails.
  HRESULT CloseTempFile();

  // Decodes the Base64 file `source` into a new temporary file named by `pattern` (MakeTempFile
  // rules, e.g. ".pdf") and returns its path; on failure no file is left behind.
  static HRESULT DecodeToTempFile(const std::string& source, std::string_view pattern,
                                  std::string& path);

 private:
  std::string tagName_;
  std::string* textTarget_ = nullptr;
  std::uint32_t collectText_ = 0;
  std::int32_t value_ = 0;
  std::string tempPath_;
  FilePtr tempFile_;
};

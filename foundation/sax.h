#pragma once
// Streaming XML reading for documents of any size (blueprints, templates, receipts, responses
// carrying Base64 documents). A reader derives from CSAXContentHandler, builds the model's
// elements on its CSAXStack and lets the base stream an element's text into a temporary file.
//
// CSAXReader feeds the file to the parser in 64 KiB pieces, so memory stays flat whatever the
// size. Element names reach the callbacks exactly as written, prefix included. Documents with
// a DOCTYPE are refused, and nothing outside the document is ever loaded.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/xmlio.h"
#include "platform/win/hresult.h"

// The attributes of a start tag, names as written.
class CSAXAttributes {
 public:
  struct Attribute {
    std::string name;
    std::string value;
  };
  size_t Count() const { return items_.size(); }
  const Attribute& At(size_t i) const { return items_[i]; }
  // The value of the attribute with that name, or nullptr.
  const std::string* Find(std::string_view name) const;
  void Add(std::string name, std::string value);
  void Clear() { items_.clear(); }

 private:
  std::vector<Attribute> items_;
};

// The open elements of a reader, innermost first. An element pushed as a unique_ptr belongs to
// the stack until it is popped; one pushed as a plain pointer (such as the object being read
// into) is only observed.
class CSAXStack {
 public:
  bool IsEmpty() const { return entries_.empty(); }
  size_t Size() const { return entries_.size(); }
  // The innermost element (nullptr when empty); At(1) is its parent, and so on.
  CXMLElem* Top() const { return At(0); }
  CXMLElem* At(size_t depth) const;

  void Push(CXMLElem* elem);
  CXMLElem* Push(std::unique_ptr<CXMLElem> elem);
  // Removes the innermost element; returns it when the stack owned it, else nullptr.
  std::unique_ptr<CXMLElem> Pop();
  // Pop, handing an owned element over as the reader's own type (nullptr when it was not
  // owned or is of another type; the latter is destroyed).
  template <class T>
  std::unique_ptr<T> PopAs() {
    std::unique_ptr<CXMLElem> elem = Pop();
    if (auto* typed = dynamic_cast<T*>(elem.get())) {
      elem.release();
      return std::unique_ptr<T>(typed);
    }
    return nullptr;
  }
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    CXMLElem* elem;
    std::unique_ptr<CXMLElem> owned;
  };
  std::vector<Entry> entries_;  // the back is the innermost
};

// Where and why reading went wrong.
struct CSAXError {
  int code = 0;  // libxml2's error number
  std::string message;
  int line = 0;
  int column = 0;
};

// Every callback returns S_OK to go on; a failure stops the reading, and the reader's
// Parse returns that failure. The base does nothing, except that characters go to the
// innermost element (see characters).
class CSAXContentHandler {
 public:
  CSAXContentHandler() = default;
  virtual ~CSAXContentHandler();
  CSAXContentHandler(const CSAXContentHandler&) = delete;
  CSAXContentHandler& operator=(const CSAXContentHandler&) = delete;

  virtual HRESULT startDocument();
  virtual HRESULT endDocument();
  // `prefix` is empty for a default namespace.
  virtual HRESULT startPrefixMapping(std::string_view prefix, std::string_view uri);
  virtual HRESULT endPrefixMapping(std::string_view prefix);
  // `name` as written in the document ("soap:Body").
  virtual HRESULT startElement(std::string_view name, const CSAXAttributes& attributes);
  virtual HRESULT endElement(std::string_view name);
  // The text goes to the innermost element: appended to its text target when it collects
  // text, else written to its open temporary file in pieces of at most 4096 bytes, else
  // dropped. A failed write to the temporary file stops the reading with E_FAIL.
  virtual HRESULT characters(std::string_view text);
  virtual HRESULT processingInstruction(std::string_view target, std::string_view data);

  // When the innermost element is named `parentName`, pushes a new element `name` that
  // collects text and returns it with the parent; otherwise E_FAIL and nothing changes.
  HRESULT PushChild(std::string_view parentName, std::string_view name, CXMLElem*& top,
                    CXMLElem*& child);

  CSAXStack& Stack() { return stack_; }
  const CSAXStack& Stack() const { return stack_; }

 protected:
  CSAXStack stack_;
};

// Hears of the parser's complaints. The base accepts every one (S_OK), so reading goes on as
// far as the parser allows; returning a failure from error or ignorableWarning stops it.
// A fatal error always ends the reading.
class CSAXErrorHandler {
 public:
  CSAXErrorHandler() = default;
  virtual ~CSAXErrorHandler();
  virtual HRESULT error(const CSAXError& error);
  virtual HRESULT fatalError(const CSAXError& error);
  virtual HRESULT ignorableWarning(const CSAXError& error);
};

// Drives one reading. Parse results: S_OK; the failure a callback returned; E_FAIL for a
// document that is not well-formed (logged as "XML Parse Error 0x%x : %s"); the
// HRESULT_FROM_WIN32 code of a file that cannot be read.
class CSAXReader {
 public:
  explicit CSAXReader(CSAXContentHandler& handler, CSAXErrorHandler* errors = nullptr);
  ~CSAXReader();
  CSAXReader(const CSAXReader&) = delete;
  CSAXReader& operator=(const CSAXReader&) = delete;

  HRESULT ParseFile(const std::string& path);
  HRESULT ParseText(std::string_view text);

  // The first error the parser reported during the last Parse (code 0 when none).
  const CSAXError& Error() const { return error_; }

 private:
  class Session;
  CSAXContentHandler& handler_;
  CSAXErrorHandler* errors_;
  CSAXError error_;
};

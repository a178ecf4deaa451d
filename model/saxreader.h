#pragma once
// What the blueprint and template readers share: a content handler that knows which elements
// pushed something on its stack, and the elements that carry one value (a text, a number, or
// a Base64 document streamed into a temporary file) to the object being read; and what the
// object read keeps of the read.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/sax.h"
#include "foundation/tempfile.h"
#include "platform/win/hresult.h"

// Decimal text read leniently: leading white space, one sign and the digits that follow;
// anything else ends it, no digits at all give 0. Out-of-range values are clamped.
std::int32_t LenientInt(std::string_view text);

// An element whose content is one value. A text value is collected in memory and handed over
// when the element ends; a file value goes, piece by piece, into a new temporary file whose
// path is handed over instead (the file is removed again when the element never ends).
class CSAXValue : public CXMLElem {
 public:
  using Deliver = std::function<void(std::string&&)>;
  enum class Kind { kText, kFile };

  CSAXValue(std::string_view name, Kind kind, Deliver deliver);
  ~CSAXValue() override;

  // Hands the text (or the closed file's path) over. E_FAIL when the file cannot be closed.
  HRESULT Finish();

 private:
  Kind kind_;
  Deliver deliver_;
  std::string text_;
  bool delivered_ = false;
};

class CSAXModelHandler : public CSAXContentHandler {
 public:
  HRESULT startElement(std::string_view name, const CSAXAttributes& attributes) final;
  HRESULT endElement(std::string_view name) final;

  // The root element (see PushRoot) was met.
  bool SawRoot() const { return sawRoot_; }

 protected:
  // Pushes the object being read, on meeting the root element.
  void PushRoot(CXMLElem& target);
  // Pushes what the element opens, if anything, and says whether it did. An element that
  // pushes nothing is ignored with its text (and its children meet the same top object).
  virtual bool OpenElement(std::string_view name) = 0;
  // An element that pushed an object (not a value) ends; the object has left the stack.
  // `owned` holds it when the stack owned it.
  virtual void CloseElement(std::string_view name, CXMLElem* elem,
                            std::unique_ptr<CXMLElem> owned) = 0;

  // The top object as a T, or null.
  template <class T>
  T* TopAs() const {
    return dynamic_cast<T*>(stack_.Top());
  }
  // Takes an owned element over as a T; null (and the element deleted) when it is not one.
  template <class T>
  static std::unique_ptr<T> OwnedAs(std::unique_ptr<CXMLElem> owned) {
    if (auto* typed = dynamic_cast<T*>(owned.get())) {
      owned.release();
      return std::unique_ptr<T>(typed);
    }
    return nullptr;
  }
  // Pushes a value element that delivers its text to `deliver` (or to `target`, which it
  // replaces) when it ends.
  void PushText(std::string_view name, CSAXValue::Deliver deliver);
  void PushText(std::string_view name, std::string& target);
  void PushNumber(std::string_view name, std::int32_t& target);
  // Pushes a value element for the member of `object` that `name` names among `texts` and
  // `numbers`; false when it names none of them.
  template <class T>
  bool PushMember(std::string_view name, T& object,
                  std::initializer_list<std::pair<std::string_view, std::string T::*>> texts,
                  std::initializer_list<std::pair<std::string_view, std::int32_t T::*>> numbers =
                      {}) {
    for (const auto& [element, member] : texts) {
      if (name != element) continue;
      PushText(name, object.*member);
      return true;
    }
    for (const auto& [element, member] : numbers) {
      if (name != element) continue;
      PushNumber(name, object.*member);
      return true;
    }
    return false;
  }
  // Pushes a value element that streams its text into a new temporary file and hands the
  // path to `deliver`. Raises E_FAIL when no file can be made.
  void PushFile(std::string_view name, CSAXValue::Deliver deliver);

 private:
  std::vector<bool> pushed_;  // per open element: did it push?
  bool sawRoot_ = false;
};

// The temporary files readers made for documents' bytes. Copies of a transaction share them,
// and the last one to let go deletes them, so a document's `FilePath` stays good as long as
// some copy holding the document lives.
class CDocFiles {
 public:
  void Keep(std::string path);
  void Share(const CDocFiles& other);
  bool Holds(std::string_view path) const;
  // Lets go of this share.
  void Release() { files_.clear(); }
  std::size_t Count() const { return files_.size(); }

 private:
  std::vector<std::shared_ptr<TempFile>> files_;
};

// What an object read from a file by a CSAXModelHandler keeps of the read: why the last read
// failed and the temporary files that hold its documents' Base64 text.
class CSAXLoadState {
 public:
  // Why the last read failed (code 0 after a good one).
  const CSAXError& LoadError() const { return loadError_; }
  CDocFiles& DocFiles() { return docFiles_; }
  const CDocFiles& DocFiles() const { return docFiles_; }

 protected:
  ~CSAXLoadState() = default;

  // Parses the file at `path` with `handler`. S_OK, or the reader's failure with LoadError
  // saying why; whether the handler met its root element is the caller's to judge.
  HRESULT ReadFile(const std::string& path, CSAXModelHandler& handler);
  // Records that the read failed for `why`, with no reader error behind it.
  void SetLoadError(std::string why);

 private:
  CSAXError loadError_;
  CDocFiles docFiles_;
};

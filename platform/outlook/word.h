#pragma once
// Word as Outlook's e-mail editor: an application with command bars, documents and their
// windows. Activating a window fires WindowActivate(Doc, Wn); a document's EnvelopeVisible
// tells whether the e-mail header shows.
#include <string>
#include <vector>

#include "platform/com/dispatchobject.h"
#include "platform/outlook/commandbars.h"

namespace outlook {

class WordDocumentObject;
class WordWindowObject;

class WordApplicationObject : public com::DispatchObject {
 public:
  WordApplicationObject();
  static com::ComPtr<WordApplicationObject> Running();

  com::ComPtr<WordDocumentObject> AddDocument(bool envelopeVisible);
  // Makes the window active and fires WindowActivate(its document, it).
  void Activate(WordWindowObject* window);
  void Close(WordDocumentObject* document);
  com::ComPtr<CommandBarsObject> CommandBars() const { return commandBars_; }

 protected:
  ~WordApplicationObject() override;

 private:
  com::ComPtr<CommandBarsObject> commandBars_;
  std::vector<com::ComPtr<WordDocumentObject>> documents_;
  WordDocumentObject* active_ = nullptr;
};

class WordDocumentObject : public com::DispatchObject {
 public:
  WordDocumentObject(WordApplicationObject* app, std::string name, bool envelopeVisible);
  const std::string& Name() const { return name_; }
  com::ComPtr<WordWindowObject> Window() const { return window_; }
  void Detach();

 protected:
  ~WordDocumentObject() override;

 private:
  WordApplicationObject* app_;  // observes; null once closed
  std::string name_;
  bool envelopeVisible_;
  com::ComPtr<WordWindowObject> window_;
};

class WordWindowObject : public com::DispatchObject {
 public:
  WordWindowObject(WordApplicationObject* app, WordDocumentObject* document);
  WordDocumentObject* Document() const { return document_; }
  void Detach() {
    app_ = nullptr;
    document_ = nullptr;
  }

 private:
  WordApplicationObject* app_;     // observes
  WordDocumentObject* document_;  // observes: the document owns its window
};

}  // namespace outlook

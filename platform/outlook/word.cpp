#include "platform/outlook/word.h"

#include <algorithm>

#include "platform/outlook/collection.h"
#include "platform/outlook/events.h"

namespace outlook {
namespace {

WordApplicationObject* runningWord = nullptr;

class DocumentsCollection : public com::DispatchObject {
 public:
  DocumentsCollection(com::ComPtr<WordApplicationObject> app, std::vector<com::ComPtr<WordDocumentObject>> documents)
      : app_(std::move(app)), documents_(std::move(documents)) {
    Property("Count", [this] { return static_cast<int>(documents_.size()); });
    Method("Item", 1, 1, [this](const com::DispParams& a) {
      std::size_t i = IndexArg(a[0], documents_.size(), [&](std::size_t k) { return documents_[k]->Name(); });
      return documents_[i];
    });
    // Add(Template, NewTemplate, DocumentType, Visible): a new mail document shows its envelope.
    Method("Add", 0, 4, [this](const com::DispParams&) { return app_->AddDocument(true); });
  }

 private:
  com::ComPtr<WordApplicationObject> app_;
  std::vector<com::ComPtr<WordDocumentObject>> documents_;
};

}  // namespace

WordApplicationObject::WordApplicationObject() : commandBars_(com::Make<CommandBarsObject>()) {
  if (!runningWord) runningWord = this;
  AddEventSource(IID_WordApplicationEvents2);
  Property("Name", [] { return std::string("Microsoft Word"); });
  Property("Version", [] { return std::string("16.0"); });
  Property("CommandBars", [this] { return commandBars_; });
  Property("Documents", [this] { return com::Make<DocumentsCollection>(com::ComPtr<WordApplicationObject>(this), documents_); });
  Property("ActiveDocument", [this](com::Variant& r) -> HRESULT {
    if (!active_) return E_FAIL;  // Word raises an error when no document is open
    r = com::Variant(static_cast<IDispatch*>(active_));
    return S_OK;
  });
  Property("ActiveWindow", [this](com::Variant& r) -> HRESULT {
    if (!active_) return E_FAIL;
    r = com::Variant(active_->Window());
    return S_OK;
  });
}

WordApplicationObject::~WordApplicationObject() {
  if (runningWord == this) runningWord = nullptr;
  for (auto& d : documents_) d->Detach();
}

com::ComPtr<WordApplicationObject> WordApplicationObject::Running() {
  if (runningWord) return com::ComPtr<WordApplicationObject>(runningWord);
  return com::Make<WordApplicationObject>();
}

com::ComPtr<WordDocumentObject> WordApplicationObject::AddDocument(bool envelopeVisible) {
  auto doc = com::Make<WordDocumentObject>(this, "Document" + std::to_string(documents_.size() + 1), envelopeVisible);
  documents_.push_back(doc);
  Activate(doc->Window().Get());
  return doc;
}

void WordApplicationObject::Activate(WordWindowObject* window) {
  if (!window || !window->Document()) return;
  com::ComPtr<IDispatch> keep(this);
  com::ComPtr<WordWindowObject> held(window);
  active_ = window->Document();
  FireEvent(IID_WordApplicationEvents2, DISPID_WindowActivate,
            com::DispParams{com::Variant(static_cast<IDispatch*>(window->Document())), com::Variant(held)});
}

void WordApplicationObject::Close(WordDocumentObject* document) {
  com::ComPtr<WordDocumentObject> closing(document);
  std::erase_if(documents_, [&](const auto& d) { return d.Get() == document; });
  if (active_ == document) active_ = documents_.empty() ? nullptr : documents_.back().Get();
  closing->Detach();
}

WordDocumentObject::WordDocumentObject(WordApplicationObject* app, std::string name, bool envelopeVisible)
    : app_(app), name_(std::move(name)), envelopeVisible_(envelopeVisible) {
  window_ = com::Make<WordWindowObject>(app, this);
  Property("Name", [this] { return name_; });
  Property("EnvelopeVisible", [this] { return envelopeVisible_; },
           [this](const com::Variant& v) { envelopeVisible_ = v.AsBool(); });
  Property("ActiveWindow", [this] { return window_; });
  Method("Activate", 0, 0, [this](const com::DispParams&) {
    if (!app_) com::Throw(E_FAIL);
    app_->Activate(window_.Get());
  });
  Method("Close", 0, 3, [this](const com::DispParams&) {
    com::ComPtr<IDispatch> keep(this);
    if (app_) app_->Close(this);
  });
}

WordDocumentObject::~WordDocumentObject() { window_->Detach(); }

void WordDocumentObject::Detach() {
  app_ = nullptr;
  window_->Detach();
}

WordWindowObject::WordWindowObject(WordApplicationObject* app, WordDocumentObject* document)
    : app_(app), document_(document) {
  Property("Caption", [this] { return document_ ? document_->Name() : std::string(); });
  Property("Document", [this](com::Variant& r) -> HRESULT {
    if (!document_) return E_FAIL;
    r = com::Variant(static_cast<IDispatch*>(document_));
    return S_OK;
  });
  Method("Activate", 0, 0, [this](const com::DispParams&) {
    if (!app_) com::Throw(E_FAIL);
    app_->Activate(this);
  });
}

}  // namespace outlook

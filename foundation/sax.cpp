#include "foundation/sax.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "foundation/diaglog.h"
#include "foundation/guard.h"

namespace {

#if LIBXML_VERSION >= 21200
using ErrorArg = const xmlError*;
#else
using ErrorArg = xmlError*;
#endif

constexpr size_t kReadPiece = 64 * 1024;
constexpr size_t kWritePiece = 4096;

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

std::string QualifiedName(const xmlChar* prefix, const xmlChar* localName) {
  std::string name;
  if (prefix) {
    name = View(prefix);
    name += ':';
  }
  name += View(localName);
  return name;
}

// Without entity substitution the parser hands "&amp;" in an attribute over as "&#38;" (for
// a tree builder to decode later); there are no other references left, as DTDs are refused.
std::string AttributeValue(const xmlChar* begin, const xmlChar* end) {
  std::string_view raw(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
  std::string value;
  value.reserve(raw.size());
  size_t pos = 0;
  for (size_t amp; (amp = raw.find("&#38;", pos)) != std::string_view::npos; pos = amp + 5) {
    value.append(raw.substr(pos, amp - pos));
    value += '&';
  }
  value.append(raw.substr(pos));
  return value;
}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

struct CtxtFree {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

}  // namespace

// CSAXAttributes

const std::string* CSAXAttributes::Find(std::string_view name) const {
  for (const Attribute& a : items_)
    if (a.name == name) return &a.value;
  return nullptr;
}

void CSAXAttributes::Add(std::string name, std::string value) {
  items_.push_back({std::move(name), std::move(value)});
}

// CSAXStack

CXMLElem* CSAXStack::At(size_t depth) const {
  return depth < entries_.size() ? entries_[entries_.size() - 1 - depth].elem : nullptr;
}

void CSAXStack::Push(CXMLElem* elem) { entries_.push_back({elem, nullptr}); }

CXMLElem* CSAXStack::Push(std::unique_ptr<CXMLElem> elem) {
  CXMLElem* raw = elem.get();
  entries_.push_back({raw, std::move(elem)});
  return raw;
}

std::unique_ptr<CXMLElem> CSAXStack::Pop() {
  if (entries_.empty()) return nullptr;
  std::unique_ptr<CXMLElem> owned = std::move(entries_.back().owned);
  entries_.pop_back();
  return owned;
}

// CSAXContentHandler

CSAXContentHandler::~CSAXContentHandler() = default;

HRESULT CSAXContentHandler::startDocument() { return S_OK; }
HRESULT CSAXContentHandler::endDocument() { return S_OK; }
HRESULT CSAXContentHandler::startPrefixMapping(std::string_view, std::string_view) { return S_OK; }
HRESULT CSAXContentHandler::endPrefixMapping(std::string_view) { return S_OK; }
HRESULT CSAXContentHandler::startElement(std::string_view, const CSAXAttributes&) { return S_OK; }
HRESULT CSAXContentHandler::endElement(std::string_view) { return S_OK; }
HRESULT CSAXContentHandler::processingInstruction(std::string_view, std::string_view) {
  return S_OK;
}

HRESULT CSAXContentHandler::characters(std::string_view text) {
  CXMLElem* top = stack_.Top();
  if (!top) return S_OK;
  if (top->CollectsText() && top->TextTarget()) {
    top->TextTarget()->append(text);
    return S_OK;
  }
  if (top->HasTempFile()) {
    // Base64 documents arrive here: they go to disk piece by piece, never whole in memory.
    for (size_t pos = 0; pos < text.size(); pos += kWritePiece)
      if (FAILED(top->WriteTempFile(text.substr(pos, kWritePiece)))) return E_FAIL;
  }
  return S_OK;
}

HRESULT CSAXContentHandler::PushChild(std::string_view parentName, std::string_view name,
                                      CXMLElem*& top, CXMLElem*& child) {
  CXMLElem* parent = stack_.Top();
  if (!parent || parent->TagName() != parentName) return E_FAIL;
  auto elem = std::make_unique<CXMLElem>(std::string(name));
  elem->SetCollectText(true);
  child = stack_.Push(std::move(elem));
  top = parent;
  return S_OK;
}

// CSAXErrorHandler

CSAXErrorHandler::~CSAXErrorHandler() = default;
HRESULT CSAXErrorHandler::error(const CSAXError&) { return S_OK; }
HRESULT CSAXErrorHandler::fatalError(const CSAXError&) { return S_OK; }
HRESULT CSAXErrorHandler::ignorableWarning(const CSAXError&) { return S_OK; }

// CSAXReader

// One run of the push parser: the libxml2 callbacks find it through the context's _private.
class CSAXReader::Session {
 public:
  Session(CSAXContentHandler& handler, CSAXErrorHandler& errors, const std::string& name)
      : handler_(handler), errors_(errors) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startDocument = &Session::OnStartDocument;
    sax.endDocument = &Session::OnEndDocument;
    sax.startElementNs = &Session::OnStartElement;
    sax.endElementNs = &Session::OnEndElement;
    sax.characters = &Session::OnCharacters;
    sax.cdataBlock = &Session::OnCharacters;
    sax.ignorableWhitespace = &Session::OnCharacters;
    sax.processingInstruction = &Session::OnProcessingInstruction;
    sax.internalSubset = &Session::OnDoctype;
    sax.serror = &Session::OnError;
    // No entity or DTD callbacks: nothing outside the document can be reached.
    ctxt_.reset(xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0,
                                        name.empty() ? nullptr : name.c_str()));
    if (!ctxt_) throw std::bad_alloc();
    xmlCtxtUseOptions(ctxt_.get(), XML_PARSE_NONET);
    ctxt_->_private = this;
  }

  // False once reading has ended (a callback failed or the document is broken).
  bool Feed(const char* bytes, size_t size, bool last) {
    if (!Running()) return false;
    xmlParseChunk(ctxt_.get(), bytes, static_cast<int>(size), last ? 1 : 0);
    return Running();
  }

  // The outcome; `broken` tells a document the parser could not read (or refused).
  HRESULT Result(CSAXError& error, bool& broken) const {
    error = error_;
    broken = refused_ || (SUCCEEDED(stopped_) && !ctxt_->wellFormed);
    if (FAILED(stopped_)) return stopped_;
    if (broken) {
      if (error.code == 0) error.code = ctxt_->errNo ? ctxt_->errNo : -1;
      return E_FAIL;
    }
    return S_OK;
  }

 private:
  bool Running() const { return SUCCEEDED(stopped_) && ctxt_->wellFormed; }

  static Session& Of(void* ctx) {
    return *static_cast<Session*>(static_cast<xmlParserCtxt*>(ctx)->_private);
  }

  // Runs a handler call; a failure (or anything thrown, which must not cross the C parser)
  // stops the parser.
  template <class Call>
  void Dispatch(Call&& call) {
    if (FAILED(stopped_)) return;
    HRESULT hr;
    try {
      hr = call();
    } catch (const HrFailure& failure) {
      hr = FAILED(failure.code) ? failure.code : E_FAIL;
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (...) {
      hr = E_FAIL;
    }
    if (FAILED(hr)) {
      stopped_ = hr;
      xmlStopParser(ctxt_.get());
    }
  }

  static void OnStartDocument(void* ctx) {
    Session& s = Of(ctx);
    s.Dispatch([&] { return s.handler_.startDocument(); });
  }

  static void OnEndDocument(void* ctx) {
    Session& s = Of(ctx);
    s.Dispatch([&] { return s.handler_.endDocument(); });
  }

  static void OnStartElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar*, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int, const xmlChar** attributes) {
    Session& s = Of(ctx);
    s.Dispatch([&]() -> HRESULT {
      std::vector<std::string>& declared = s.prefixes_.emplace_back();
      for (int i = 0; i < namespaceCount; ++i) {
        declared.emplace_back(View(namespaces[2 * i]));
        if (HRESULT hr = s.handler_.startPrefixMapping(declared.back(), View(namespaces[2 * i + 1]));
            FAILED(hr))
          return hr;
      }
      s.attributes_.Clear();
      // Five pointers per attribute: local name, prefix, URI, value start, value end.
      for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** a = attributes + 5 * i;
        s.attributes_.Add(QualifiedName(a[1], a[0]), AttributeValue(a[3], a[4]));
      }
      return s.handler_.startElement(QualifiedName(prefix, localName), s.attributes_);
    });
  }

  static void OnEndElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar*) {
    Session& s = Of(ctx);
    s.Dispatch([&]() -> HRESULT {
      HRESULT hr = s.handler_.endElement(QualifiedName(prefix, localName));
      if (FAILED(hr) || s.prefixes_.empty()) return hr;
      const std::vector<std::string> declared = std::move(s.prefixes_.back());
      s.prefixes_.pop_back();
      for (const std::string& p : declared)
        if (FAILED(hr = s.handler_.endPrefixMapping(p))) return hr;
      return hr;
    });
  }

  static void OnCharacters(void* ctx, const xmlChar* text, int length) {
    Session& s = Of(ctx);
    s.Dispatch([&] {
      return s.handler_.characters(
          std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
    });
  }

  static void OnProcessingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    Session& s = Of(ctx);
    s.Dispatch([&] { return s.handler_.processingInstruction(View(target), View(data)); });
  }

  // A DOCTYPE could declare entities that reach outside the document; no format of ours
  // has one, so the document is refused.
  static void OnDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Session& s = Of(ctx);
    if (s.error_.code == 0) {
      s.error_.code = XML_ERR_USER_STOP;
      s.error_.message = "DTD is prohibited";
      s.error_.line = xmlSAX2GetLineNumber(ctx);
    }
    s.refused_ = true;
    s.stopped_ = E_FAIL;
    xmlStopParser(s.ctxt_.get());
  }

  static void OnError(void*, ErrorArg error) {
    if (!error || !error->ctxt) return;
    Session& s = Of(error->ctxt);
    CSAXError e{error->code, std::string(error->message ? error->message : ""), error->line,
                error->int2};
    while (!e.message.empty() && (e.message.back() == '\n' || e.message.back() == '\r'))
      e.message.pop_back();
    if (error->level >= XML_ERR_ERROR && (s.error_.code == 0 || (!s.firstFatal_ &&
                                                                  error->level == XML_ERR_FATAL))) {
      s.error_ = e;
      s.firstFatal_ = error->level == XML_ERR_FATAL;
    }
    s.Dispatch([&] {
      switch (error->level) {
        case XML_ERR_FATAL:
          return s.errors_.fatalError(e);
        case XML_ERR_ERROR:
          return s.errors_.error(e);
        default:
          return s.errors_.ignorableWarning(e);
      }
    });
  }

  CSAXContentHandler& handler_;
  CSAXErrorHandler& errors_;
  std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt_;
  HRESULT stopped_ = S_OK;
  CSAXError error_;
  bool firstFatal_ = false;
  bool refused_ = false;
  CSAXAttributes attributes_;
  std::vector<std::vector<std::string>> prefixes_;  // declared per open element
};

CSAXReader::CSAXReader(CSAXContentHandler& handler, CSAXErrorHandler* errors)
    : handler_(handler), errors_(errors) {
  InitLibxml();
}

CSAXReader::~CSAXReader() = default;

namespace {

void LogParseError(const CSAXError& error) {
  char head[64];
  std::snprintf(head, sizeof head, "XML Parse Error 0x%x : ", static_cast<unsigned>(error.code));
  DiagLog().Error(head + error.message);
}

}  // namespace

HRESULT CSAXReader::ParseFile(const std::string& path) {
  error_ = {};
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                        &std::fclose);
  if (!file) {
    const int err = errno;
    error_.message = "Cannot open " + path + ": " + std::strerror(err);
    LogParseError(error_);
    return HRESULT_FROM_WIN32(err == ENOENT ? ERROR_FILE_NOT_FOUND
                              : err == EACCES ? ERROR_ACCESS_DENIED
                                              : ERROR_READ_FAULT);
  }
  try {
    CSAXErrorHandler accepting;
    Session session(handler_, errors_ ? *errors_ : accepting, path);
    std::vector<char> piece(kReadPiece);
    bool running = true;
    while (running) {
      const size_t n = std::fread(piece.data(), 1, piece.size(), file.get());
      if (n == 0 && std::ferror(file.get())) {
        error_.message = "Cannot read " + path;
        LogParseError(error_);
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
      }
      const bool last = n < piece.size() && std::feof(file.get());
      running = session.Feed(piece.data(), n, last) && !last;
    }
    bool broken;
    const HRESULT hr = session.Result(error_, broken);
    if (broken) LogParseError(error_);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CSAXReader::ParseText(std::string_view text) {
  error_ = {};
  try {
    CSAXErrorHandler accepting;
    Session session(handler_, errors_ ? *errors_ : accepting, {});
    for (size_t pos = 0; pos < text.size() || pos == 0; pos += kReadPiece) {
      const std::string_view piece = text.substr(pos, kReadPiece);
      const bool last = pos + kReadPiece >= text.size();
      if (!session.Feed(piece.data(), piece.size(), last) || last) break;
    }
    bool broken;
    const HRESULT hr = session.Result(error_, broken);
    if (broken) LogParseError(error_);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

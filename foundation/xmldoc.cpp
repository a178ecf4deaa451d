#include "foundation/xmldoc.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

#include "foundation/diaglog.h"

namespace {

#if LIBXML_VERSION >= 21200
using ErrorArg = const xmlError*;
#else
using ErrorArg = xmlError*;
#endif

// ---- path selection ------------------------------------------------------------------------

// A path the selection cannot read; the operations log it as a caught exception.
struct PathError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

struct Step {
  enum Kind { kSelf, kParent, kChild } kind = kChild;
  bool anyDepth = false;  // "//" before the step
  std::string name;       // "*" for any element
  long index = 0;         // [n], 1-based; 0 when absent
};

struct Path {
  bool absolute = false;
  std::vector<Step> steps;
};

bool IsNameByte(unsigned char c) {
  return c >= 0x80 || std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == ':';
}

void CheckName(std::string_view name) {
  const auto first = static_cast<unsigned char>(name.front());
  if (std::isdigit(first) || first == '-' || first == '.' || first == ':' || name.back() == ':' ||
      std::count(name.begin(), name.end(), ':') > 1 ||
      !std::all_of(name.begin(), name.end(),
                   [](char c) { return IsNameByte(static_cast<unsigned char>(c)); }))
    throw PathError("bad name in path");
}

Step ParseStep(std::string_view token) {
  Step step;
  if (token == ".") {
    step.kind = Step::kSelf;
    return step;
  }
  if (token == "..") {
    step.kind = Step::kParent;
    return step;
  }
  if (const size_t open = token.find('['); open != std::string_view::npos) {
    const std::string_view digits = token.substr(open + 1, token.size() - open - 2);
    if (token.back() != ']' || digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      throw PathError("bad index in path");
    step.index = std::stol(std::string(digits));
    if (step.index < 1) throw PathError("index in path counts from 1");
    token = token.substr(0, open);
  }
  if (token.empty()) throw PathError("empty step in path");
  if (token != "*") CheckName(token);
  step.name = token;
  return step;
}

Path ParsePath(std::string_view text) {
  Path path;
  path.absolute = !text.empty() && text.front() == '/';
  size_t pos = 0;
  bool anyDepth = false;
  if (text.substr(0, 2) == "//") {
    anyDepth = true;
    pos = 2;
  } else if (path.absolute) {
    pos = 1;
    if (text.size() == 1) return path;  // the document itself
  }
  while (true) {
    const size_t slash = text.find('/', pos);
    Step step = ParseStep(text.substr(pos, slash == std::string_view::npos ? slash : slash - pos));
    step.anyDepth = anyDepth;
    path.steps.push_back(std::move(step));
    if (slash == std::string_view::npos) break;
    anyDepth = text.substr(slash, 2) == "//";
    pos = slash + (anyDepth ? 2 : 1);
  }
  return path;
}

// The element's name as the document writes it.
std::string QualifiedName(const xmlNode* node) {
  std::string name;
  if (node->ns && node->ns->prefix) {
    name = reinterpret_cast<const char*>(node->ns->prefix);
    name += ':';
  }
  name += reinterpret_cast<const char*>(node->name);
  return name;
}

bool IsElementNamed(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && (name == "*" || QualifiedName(node) == name);
}

void AddDescendantsOrSelf(xmlNode* node, std::vector<xmlNode*>& out) {
  out.push_back(node);
  for (xmlNode* child = node->children; child; child = child->next)
    if (child->type == XML_ELEMENT_NODE) AddDescendantsOrSelf(child, out);
}

void ApplyStep(const Step& step, xmlNode* context, std::vector<xmlNode*>& out) {
  switch (step.kind) {
    case Step::kSelf:
      out.push_back(context);
      return;
    case Step::kParent:
      if (context->parent) out.push_back(context->parent);
      return;
    case Step::kChild: {
      long seen = 0;
      for (xmlNode* child = context->children; child; child = child->next) {
        if (!IsElementNamed(child, step.name)) continue;
        if (step.index == 0) {
          out.push_back(child);
        } else if (++seen == step.index) {
          out.push_back(child);
          return;
        }
      }
      return;
    }
  }
}

// Every node the path selects from `start`, in document order.
std::vector<xmlNode*> SelectNodes(xmlNode* start, const Path& path) {
  std::vector<xmlNode*> current{start};
  for (const Step& step : path.steps) {
    std::vector<xmlNode*> contexts;
    if (step.anyDepth)
      for (xmlNode* node : current) AddDescendantsOrSelf(node, contexts);
    else
      contexts = std::move(current);
    std::vector<xmlNode*> next;
    for (xmlNode* node : contexts) ApplyStep(step, node, next);
    if (next.size() > 1) {
      // Parents and nested contexts can repeat nodes or break document order.
      std::stable_sort(next.begin(), next.end(),
                       [](xmlNode* a, xmlNode* b) { return xmlXPathCmpNodes(a, b) == 1; });
      next.erase(std::unique(next.begin(), next.end()), next.end());
    }
    current = std::move(next);
    if (current.empty()) break;
  }
  return current;
}

xmlNode* SelectFirst(xmlNode* start, std::string_view path) {
  const std::vector<xmlNode*> found = SelectNodes(start, ParsePath(path));
  return found.empty() ? nullptr : found.front();
}

// ---- loading -------------------------------------------------------------------------------

struct CtxtFree {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};

struct ErrorSink {
  int code = 0;
  std::string reason;
  int line = 0;
  bool fatal = false;
};

std::string Trimmed(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

// Keeps the first error (a fatal one wins over an earlier lesser one) and keeps libxml2 from
// printing to standard error.
void NoteError(void*, ErrorArg error) {
  if (!error || !error->ctxt || error->level < XML_ERR_ERROR) return;
  auto* sink = static_cast<ErrorSink*>(static_cast<xmlParserCtxt*>(error->ctxt)->_private);
  if (!sink) return;
  const bool fatal = error->level == XML_ERR_FATAL;
  if (sink->code != 0 && (sink->fatal || !fatal)) return;
  sink->code = error->code;
  sink->reason = Trimmed(error->message);
  sink->line = error->line;
  sink->fatal = fatal;
}

xmlParserInputPtr RefuseEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

bool IsBlank(const xmlChar* text) {
  for (; text && *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
  return true;
}

// Drops text nodes of nothing but white space, as the indentation between elements is no
// value of anyone's.
void DropBlankText(xmlNode* node) {
  xmlNode* child = node->children;
  while (child) {
    xmlNode* next = child->next;
    if (child->type == XML_TEXT_NODE && IsBlank(child->content) &&
        xmlNodeGetSpacePreserve(node) != 1) {
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      DropBlankText(child);
    }
    child = next;
  }
}

HRESULT ReadWholeFile(const std::string& path, std::string& bytes, std::string& why) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    const int err = errno;
    why = "Cannot open " + path + ": " + std::strerror(err);
    return HRESULT_FROM_WIN32(err == ENOENT    ? ERROR_FILE_NOT_FOUND
                              : err == EACCES ? ERROR_ACCESS_DENIED
                                              : ERROR_READ_FAULT);
  }
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(f);
  const int err = errno;
  std::fclose(f);
  if (failed) {
    why = "Cannot read " + path + ": " + std::strerror(err);
    return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
  }
  return S_OK;
}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

// Runs one operation; anything thrown is logged as the operation's caught exception.
template <class Body>
HRESULT Protect(const char* op, Body&& body) {
  HRESULT hr;
  try {
    return body();
  } catch (const PathError&) {
    hr = E_INVALIDARG;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_FAIL;
  }
  DiagLog().Error(std::string("Caught Exception: CXMLDoc::") + op);
  return hr;
}

}  // namespace

void CXMLDoc::DocFree::operator()(_xmlDoc* doc) const { xmlFreeDoc(doc); }

CXMLDoc::CXMLDoc() { InitLibxml(); }
CXMLDoc::~CXMLDoc() = default;

xmlNode* CXMLDoc::Root() const { return reinterpret_cast<xmlNode*>(doc_.get()); }

xmlNode* CXMLDoc::StartFor(std::string_view path) const {
  if (!doc_) return nullptr;
  return !path.empty() && path.front() == '/' ? Root() : current_;
}

HRESULT CXMLDoc::LoadFile(const std::string& path) {
  return Protect("LoadFile", [&]() -> HRESULT {
    if (path.empty()) return E_INVALIDARG;
    std::string bytes;
    std::string why;
    if (HRESULT hr = ReadWholeFile(path, bytes, why); FAILED(hr)) {
      doc_.reset();
      current_ = nullptr;
      list_.clear();
      hasList_ = false;
      error_ = {hr, why, 0};
      NoteParseError();
      return hr;
    }
    return Load(bytes, false);
  });
}

HRESULT CXMLDoc::LoadString(std::string_view text) {
  return Protect("LoadString", [&] { return Load(text, true); });
}

HRESULT CXMLDoc::Load(std::string_view bytes, bool ignoreDeclaredEncoding) {
  doc_.reset();
  current_ = nullptr;
  list_.clear();
  hasList_ = false;
  error_ = {};

  if (bytes.empty()) {
    error_ = {XML_ERR_DOCUMENT_EMPTY, "Document is empty", 1};
    NoteParseError();
    return E_FAIL;
  }
  std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt;
  if (bytes.size() <= static_cast<size_t>(INT32_MAX))
    ctxt.reset(xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size())));
  if (!ctxt) {
    error_ = {E_OUTOFMEMORY, "The document cannot be read into memory", 0};
    NoteParseError();
    return E_OUTOFMEMORY;
  }
  // No external DTD, no external entities, nothing from the network: a document is read from
  // its own bytes only. Character data in CDATA sections merges into the text around it.
  int options = XML_PARSE_NONET | XML_PARSE_NOCDATA;
  // Text handed over in memory is already UTF-8, whatever its declaration claims.
  if (ignoreDeclaredEncoding) options |= XML_PARSE_IGNORE_ENC;
  xmlCtxtUseOptions(ctxt.get(), options);
  ctxt->sax->serror = NoteError;
  ctxt->sax->resolveEntity = RefuseEntity;
  ctxt->sax->externalSubset = nullptr;
  ErrorSink sink;
  ctxt->_private = &sink;

  xmlParseDocument(ctxt.get());
  std::unique_ptr<_xmlDoc, DocFree> doc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  if (!ctxt->wellFormed || !doc) {
    if (sink.code == 0) sink = {ctxt->errNo ? ctxt->errNo : -1, "The document is not well-formed", 0};
    error_ = {sink.code, sink.reason, sink.line};
    NoteParseError();
    return E_FAIL;
  }
  DropBlankText(reinterpret_cast<xmlNode*>(doc.get()));
  doc_ = std::move(doc);
  current_ = Root();
  for (xmlNode* child = current_->children; child; child = child->next) list_.push_back(child);
  hasList_ = true;
  return S_OK;
}

HRESULT CXMLDoc::NoteParseError() {
  return Protect("NoteParseError", [&] {
    char line[64];
    std::snprintf(line, sizeof line, "XML Parse Error 0x%x : ", static_cast<unsigned>(error_.code));
    DiagLog().Error(line + error_.reason);
    return S_OK;
  });
}

HRESULT CXMLDoc::GotoNode(std::string_view path) {
  return Protect("GotoNode", [&]() -> HRESULT {
    if (!doc_) return E_FAIL;
    if (path.empty()) {
      if (!current_) current_ = Root();
      return S_OK;
    }
    xmlNode* start = StartFor(path);
    if (!start) return E_FAIL;
    xmlNode* found = SelectFirst(start, path);
    if (!found) return S_FALSE;
    current_ = found;
    return S_OK;
  });
}

HRESULT CXMLDoc::LoadNodesByName(std::string_view name) {
  return Protect("LoadNodesByName", [&]() -> HRESULT {
    if (!current_) return E_FAIL;
    if (current_->type != XML_ELEMENT_NODE && current_->type != XML_DOCUMENT_NODE) return E_FAIL;
    if (name.empty()) return E_INVALIDARG;
    std::vector<xmlNode*> all;
    AddDescendantsOrSelf(current_, all);
    std::vector<xmlNode*> found;
    for (size_t i = 1; i < all.size(); ++i)  // [0] is the current node itself
      if (IsElementNamed(all[i], name)) found.push_back(all[i]);
    list_ = std::move(found);
    hasList_ = true;
    return S_OK;
  });
}

HRESULT CXMLDoc::GetNodeCount(long& count) const {
  if (!hasList_) return E_FAIL;
  count = static_cast<long>(list_.size());
  return S_OK;
}

HRESULT CXMLDoc::GotoNodeAt(long index) {
  return Protect("GotoNodeAt", [&]() -> HRESULT {
    if (!hasList_) return E_FAIL;
    if (index < 0 || static_cast<size_t>(index) >= list_.size()) return E_INVALIDARG;
    current_ = list_[static_cast<size_t>(index)];
    return S_OK;
  });
}

HRESULT CXMLDoc::GetSingleNodeValue(std::string_view path, std::string& out) {
  return Protect("GetSingleNodeValue", [&]() -> HRESULT {
    if (path.empty()) return E_INVALIDARG;
    xmlNode* start = StartFor(path);
    if (!start) return E_FAIL;
    xmlNode* node = SelectFirst(start, path);
    if (!node) return S_FALSE;
    for (xmlNode* child = node->children; child; child = child->next) {
      if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
        out = child->content ? reinterpret_cast<const char*>(child->content) : "";
        return S_OK;
      }
    }
    return S_FALSE;
  });
}

HRESULT CXMLDoc::GetSingleNodeValue(std::string_view path, long& out) {
  std::string text;
  const HRESULT hr = GetSingleNodeValue(path, text);
  if (hr != S_OK) return hr;
  // strtol reads exactly the lenient form: white space, one sign, leading digits, else 0.
  out = std::strtol(text.c_str(), nullptr, 10);
  return S_OK;
}

HRESULT CXMLDoc::GetNodeXml(std::string_view path, std::string& out) {
  return Protect("GetNodeXml", [&]() -> HRESULT {
    if (!doc_) return E_FAIL;
    xmlNode* node = nullptr;
    if (path.empty()) {
      node = current_ ? current_ : Root();
    } else {
      xmlNode* start = StartFor(path);
      if (!start) return E_FAIL;
      node = SelectFirst(start, path);
    }
    if (!node) return S_FALSE;

    std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer) throw std::bad_alloc();
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL);
    if (!save) throw std::bad_alloc();
    long written;
    if (node->type == XML_ELEMENT_NODE) {
      // A copy in a document of its own carries the namespace declarations the element takes
      // from its ancestors, so the text can be read again on its own.
      std::unique_ptr<_xmlDoc, DocFree> scratch(xmlNewDoc(BAD_CAST "1.0"));
      xmlNode* copy = scratch ? xmlDocCopyNode(node, scratch.get(), 1) : nullptr;
      if (!copy) {
        xmlSaveClose(save);
        throw std::bad_alloc();
      }
      xmlDocSetRootElement(scratch.get(), copy);
      written = xmlSaveTree(save, copy);
      xmlSaveClose(save);
    } else {
      written = xmlSaveTree(save, node);
      xmlSaveClose(save);
    }
    if (written < 0) return E_FAIL;
    out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
               static_cast<size_t>(xmlBufferLength(buffer.get())));
    return S_OK;
  });
}

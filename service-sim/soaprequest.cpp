#include "service-sim/soaprequest.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <fstream>
#include <system_error>

#include "service-sim/soapfault.h"
#include "transport/soapnames.h"

namespace sim {
namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct ParserFree {
  void operator()(xmlParserCtxtPtr ctxt) const {
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    xmlFreeParserCtxt(ctxt);
  }
};

std::string Str(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

std::string TrimMessage(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Builds the element tree from SAX2 events; everything it keeps is bounded by the limits.
class SaxBuilder {
 public:
  SaxBuilder(std::filesystem::path stem, const XmlDocument::SinkChoice& sinkChoice)
      : stem_(std::move(stem)), sinkChoice_(sinkChoice) {}

  void Parse(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw XmlError("cannot read the request body");
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &SaxBuilder::OnStart;
    sax.endElementNs = &SaxBuilder::OnEnd;
    sax.characters = &SaxBuilder::OnCharacters;
    sax.cdataBlock = &SaxBuilder::OnCharacters;
    // SOAP messages carry no document type declaration; refusing it also shuts out entity
    // expansion and external loads.
    sax.internalSubset = &SaxBuilder::OnDoctype;
    sax.serror = &SaxBuilder::OnError;

    std::unique_ptr<xmlParserCtxt, ParserFree> ctxt(
        xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr));
    if (!ctxt) throw XmlError("out of memory");
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ctxt_ = ctxt.get();

    std::vector<char> buffer(64 * 1024);
    bool any = false;
    while (error_.empty()) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      std::streamsize n = in.gcount();
      if (n <= 0) break;
      any = true;
      xmlParseChunk(ctxt_, buffer.data(), static_cast<int>(n), 0);
      if (ctxt_->disableSAX || !ctxt_->wellFormed) break;
    }
    if (!any) error_ = "the request body is empty";
    if (error_.empty() && ctxt_->wellFormed && !ctxt_->disableSAX) xmlParseChunk(ctxt_, nullptr, 0, 1);
    if (error_.empty() && !ctxt_->wellFormed) error_ = "the request is not well-formed XML";
    if (error_.empty() && (!root_ || !open_.empty())) error_ = "the request is not complete XML";
    ctxt_ = nullptr;
    if (!error_.empty()) throw XmlError(error_);
  }

  std::unique_ptr<XmlElement> TakeRoot() { return std::move(root_); }
  std::vector<std::filesystem::path>& TextFiles() { return textFiles_; }

 private:
  struct Open {
    XmlElement* element;
    FilePtr textFile;
  };

  static SaxBuilder& Self(void* ctx) { return *static_cast<SaxBuilder*>(ctx); }

  void Stop(const std::string& message) {
    if (error_.empty()) error_ = message;
    if (ctxt_) xmlStopParser(ctxt_);
  }

  static void OnStart(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                      int, const xmlChar**, int nbAttributes, int, const xmlChar** attributes) {
    SaxBuilder& self = Self(ctx);
    if (!self.error_.empty()) return;
    if (++self.elements_ > XmlDocument::kMaxElements) return self.Stop("the request has too many elements");
    if (self.open_.size() >= XmlDocument::kMaxDepth) return self.Stop("the request nests elements too deeply");
    auto element = std::make_unique<XmlElement>();
    element->name = Str(localname);
    element->prefix = Str(prefix);
    element->ns = Str(uri);
    for (int i = 0; i < nbAttributes; ++i) {
      const xmlChar** a = attributes + 5 * i;
      std::string value(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
      if (!self.Spend(value.size())) return;
      element->attributes.push_back({Str(a[2]), Str(a[0]), std::move(value)});
    }
    if (self.sinkChoice_) {
      try {
        element->sink = self.sinkChoice_(*element);
      } catch (const std::exception&) {  // never through the parser's C frames
        return self.Stop("cannot store request text");
      }
      if (element->sink && ++self.sinks_ + self.textFiles_.size() > XmlDocument::kMaxTextFiles)
        return self.Stop("the request has too many large texts");
    }
    XmlElement* raw = element.get();
    if (self.open_.empty()) {
      if (self.root_) return self.Stop("the request has more than one root element");
      self.root_ = std::move(element);
    } else {
      self.open_.back().element->children.push_back(std::move(element));
    }
    self.open_.push_back({raw, nullptr});
  }

  static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    SaxBuilder& self = Self(ctx);
    if (self.open_.empty()) return;
    Open& top = self.open_.back();
    if (top.textFile && std::fflush(top.textFile.get()) != 0) self.Stop("cannot write request text");
    if (top.element->sink) top.element->sink->End();
    self.open_.pop_back();
  }

  static void OnCharacters(void* ctx, const xmlChar* ch, int len) {
    SaxBuilder& self = Self(ctx);
    if (!self.error_.empty() || self.open_.empty() || len <= 0) return;
    Open& top = self.open_.back();
    XmlElement& e = *top.element;
    const char* data = reinterpret_cast<const char*>(ch);
    size_t n = static_cast<size_t>(len);
    e.textSize += n;
    if (e.sink) {
      e.sink->Write(data, n);
      return;
    }
    if (!top.textFile && e.text.size() + n > XmlDocument::kInlineTextLimit && !self.Divert(top)) return;
    if (top.textFile) {
      if (std::fwrite(data, 1, n, top.textFile.get()) != n) self.Stop("cannot write request text");
      return;
    }
    if (!self.Spend(n)) return;
    e.text.append(data, n);
  }

  // Moves the element's text to a file; the rest of it will follow there.
  bool Divert(Open& top) {
    if (textFiles_.size() + sinks_ >= XmlDocument::kMaxTextFiles) {
      Stop("the request has too many large texts");
      return false;
    }
    std::filesystem::path path = stem_;
    path += "." + std::to_string(textFiles_.size()) + ".txt";
    top.textFile.reset(std::fopen(path.c_str(), "wb"));
    if (!top.textFile) {
      Stop("cannot store request text");
      return false;
    }
    textFiles_.push_back(path);
    XmlElement& e = *top.element;
    e.textFile = path;
    if (std::fwrite(e.text.data(), 1, e.text.size(), top.textFile.get()) != e.text.size()) {
      Stop("cannot write request text");
      return false;
    }
    inline_ -= e.text.size();
    std::string().swap(e.text);
    return true;
  }

  bool Spend(size_t n) {
    inline_ += n;
    if (inline_ <= XmlDocument::kMaxInlineTotal) return true;
    Stop("the request holds too much text");
    return false;
  }

  static void OnDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Self(ctx).Stop("a document type declaration is not allowed in a SOAP message");
  }

  static void OnError(void* ctx, xmlErrorPtr error) {
    SaxBuilder& self = Self(ctx);
    if (!error || error->level < XML_ERR_ERROR || !self.error_.empty()) return;
    self.error_ = "the request is not well-formed XML (line " + std::to_string(error->line) + "): " +
                  TrimMessage(error->message ? error->message : "parse error");
  }

  std::filesystem::path stem_;
  const XmlDocument::SinkChoice& sinkChoice_;
  size_t sinks_ = 0;
  xmlParserCtxtPtr ctxt_ = nullptr;
  std::unique_ptr<XmlElement> root_;
  std::vector<Open> open_;
  std::vector<std::filesystem::path> textFiles_;
  std::string error_;
  size_t elements_ = 0;
  size_t inline_ = 0;
};

bool IsTrue(const std::string* value) { return value && (*value == "1" || *value == "true"); }

}  // namespace

const XmlElement* XmlElement::Child(std::string_view nsUri, std::string_view localName) const {
  for (const auto& c : children)
    if (c->Is(nsUri, localName)) return c.get();
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view nsUri,
                                                    std::string_view localName) const {
  std::vector<const XmlElement*> found;
  for (const auto& c : children)
    if (c->Is(nsUri, localName)) found.push_back(c.get());
  return found;
}

const XmlElement* XmlElement::FirstChild() const {
  return children.empty() ? nullptr : children.front().get();
}

const std::string* XmlElement::Attribute(std::string_view nsUri, std::string_view localName) const {
  for (const auto& a : attributes)
    if (a.ns == nsUri && a.name == localName) return &a.value;
  return nullptr;
}

std::string XmlElement::ChildText(std::string_view nsUri, std::string_view localName,
                                  std::string fallback) const {
  const XmlElement* c = Child(nsUri, localName);
  return c ? c->text : fallback;
}

std::unique_ptr<XmlDocument> XmlDocument::ParseFile(const std::filesystem::path& file,
                                                    const std::filesystem::path& textFileStem,
                                                    const SinkChoice& sinkChoice) {
  SaxBuilder builder(textFileStem, sinkChoice);
  std::unique_ptr<XmlDocument> doc(new XmlDocument);
  try {
    builder.Parse(file);
  } catch (...) {
    std::error_code ec;
    for (const auto& p : builder.TextFiles()) std::filesystem::remove(p, ec);
    throw;
  }
  doc->root_ = builder.TakeRoot();
  doc->textFiles_ = std::move(builder.TextFiles());
  return doc;
}

XmlDocument::~XmlDocument() {
  std::error_code ec;
  for (const auto& p : textFiles_) std::filesystem::remove(p, ec);
}

SoapEnvelope SoapEnvelope::Read(const XmlDocument& document, const std::vector<Block>& understood) {
  const XmlElement& root = document.Root();
  if (root.name != "Envelope")
    throw SoapFault(faultcode::kClient, "The request is not a SOAP envelope (root element \"" +
                                            root.name + "\").");
  if (root.ns != soapns::kEnvelope)
    throw SoapFault(faultcode::kVersionMismatch,
                    "The envelope namespace \"" + root.ns + "\" is not that of SOAP 1.1.");
  SoapEnvelope env;
  for (const auto& child : root.children) {
    if (child->ns != soapns::kEnvelope) continue;
    if (child->name == "Header" && !env.header && !env.body) env.header = child.get();
    else if (child->name == "Body" && !env.body) env.body = child.get();
  }
  if (!env.body) throw SoapFault(faultcode::kClient, "The SOAP envelope has no Body.");
  env.operation = env.body->FirstChild();
  if (!env.operation) throw SoapFault(faultcode::kClient, "The SOAP Body is empty.");
  if (env.header) {
    for (const auto& block : env.header->children) {
      if (!IsTrue(block->Attribute(soapns::kEnvelope, "mustUnderstand"))) continue;
      bool known = false;
      for (const Block& b : understood) known = known || block->Is(b.ns, b.name);
      if (!known)
        throw SoapFault(faultcode::kMustUnderstand,
                        "The header block \"" + block->name + "\" (" + block->ns + ") is not understood.");
    }
  }
  return env;
}

}  // namespace sim

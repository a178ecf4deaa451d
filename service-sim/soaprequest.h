#pragma once
// Requests as the service reads them: namespace-aware, parsed as a stream (SAX2 push parser fed
// from the spooled body file) so memory stays flat whatever the size. Character data longer
// than kInlineTextLimit goes to a file beside the spool instead of memory; that is how Base64
// documents of hundreds of megabytes pass.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct XmlAttribute {
  std::string ns, name, value;
};

// Takes an element's character data as it streams in, instead of memory or a text file: how a
// Base64 document is decoded while the request is read. It keeps its own failures; the
// handler asks it afterwards.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(const char* data, size_t size) = 0;
  virtual void End() = 0;  // the element has closed
};

struct XmlElement {
  std::string ns;      // namespace URI, empty for none
  std::string name;    // local name
  std::string prefix;  // as written, for messages only
  std::vector<XmlAttribute> attributes;
  std::string text;                 // character data directly inside, when kept in memory
  std::filesystem::path textFile;   // set instead when the character data was too big
  uint64_t textSize = 0;            // bytes of character data, wherever kept
  std::unique_ptr<TextSink> sink;   // set instead when the document's sink choice took it
  std::vector<std::unique_ptr<XmlElement>> children;

  bool Is(std::string_view nsUri, std::string_view localName) const {
    return ns == nsUri && name == localName;
  }
  const XmlElement* Child(std::string_view nsUri, std::string_view localName) const;
  std::vector<const XmlElement*> Children(std::string_view nsUri, std::string_view localName) const;
  const XmlElement* FirstChild() const;
  // Null when the attribute is absent.
  const std::string* Attribute(std::string_view nsUri, std::string_view localName) const;
  // The child's in-memory text, or `fallback` when the child is absent.
  std::string ChildText(std::string_view nsUri, std::string_view localName,
                        std::string fallback = {}) const;
};

// Not well-formed, a DTD, or beyond the limits.
class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class XmlDocument {
 public:
  static constexpr size_t kInlineTextLimit = 64 * 1024;
  static constexpr size_t kMaxElements = 200000;
  static constexpr size_t kMaxDepth = 256;  // the tree is freed recursively
  static constexpr size_t kMaxInlineTotal = 64 * 1024 * 1024;
  static constexpr size_t kMaxTextFiles = 1000;

  // Called as each element opens (its name and attributes are known, its children not yet);
  // a sink it returns takes the element's character data. Null: the text is kept as usual.
  using SinkChoice = std::function<std::unique_ptr<TextSink>(const XmlElement& element)>;

  // Big character data goes to files named after `textFileStem` ("<stem>.<n>.txt"); they are
  // removed with the document unless a handler takes them (ReleaseTextFiles). Sinks count
  // against kMaxTextFiles too.
  static std::unique_ptr<XmlDocument> ParseFile(const std::filesystem::path& file,
                                                const std::filesystem::path& textFileStem,
                                                const SinkChoice& sinkChoice = {});
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  const XmlElement& Root() const { return *root_; }
  // The caller now owns the text files (moved or deleted by it).
  void ReleaseTextFiles() { textFiles_.clear(); }

 private:
  XmlDocument() = default;
  std::unique_ptr<XmlElement> root_;
  std::vector<std::filesystem::path> textFiles_;
};

// The parts of a SOAP 1.1 envelope. Throws SoapFault when the document is no SOAP 1.1
// envelope, has no body or no element in it, or carries a header block marked
// mustUnderstand that is not in `understood` (pairs of namespace and local name).
struct SoapEnvelope {
  const XmlElement* header = nullptr;  // absent when the envelope has none
  const XmlElement* body = nullptr;
  const XmlElement* operation = nullptr;  // the body's first element

  struct Block {
    const char* ns;
    const char* name;
  };
  static SoapEnvelope Read(const XmlDocument& document, const std::vector<Block>& understood);
};

}  // namespace sim

#pragma once
// Small XML documents (service responses, the defaults file, account settings) held whole in
// memory, with a current node and a current node list, moved through by short paths.
//
// Paths match element names exactly as they are written in the document, prefix included;
// namespace URIs play no part. "/soap:Envelope/soap:Body" finds those two elements whatever
// their prefixes are bound to, and "RequestStatusResponse" finds an element written without a
// prefix even inside a default namespace. The forms understood:
//   /a/b        absolute: from the document ("/" alone is the document itself)
//   a/b         relative: from the current node
//   .  ..       the node itself, its parent ("../../Tabs" climbs twice, then goes down)
//   *           any child element
//   a[2]        the second "a" child of each context node (counted from 1)
//   //a  x//a   "a" elements at any depth below the document or below x
// A path that cannot be read (such as "a/", "a[0]" or "@id") is refused with E_INVALIDARG.
//
// Documents are read without loading anything from outside them: no external DTD, no external
// entity, no network; entities a DTD declares are kept as references, not expanded. Text nodes holding only white space are left out, as are the line breaks
// and indentation between elements (unless xml:space="preserve" asks otherwise).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/hresult.h"

struct _xmlDoc;
struct _xmlNode;

class CXMLDoc {
 public:
  CXMLDoc();
  ~CXMLDoc();
  CXMLDoc(const CXMLDoc&) = delete;
  CXMLDoc& operator=(const CXMLDoc&) = delete;

  // Loads the file (or the UTF-8 text; an encoding declaration in the text is ignored) as a new
  // document. On success the document is the current node and its children are the current
  // node list. A parse error is logged (NoteParseError) and gives E_FAIL; a file that cannot
  // be read gives its HRESULT_FROM_WIN32 code. An empty path is E_INVALIDARG.
  HRESULT LoadFile(const std::string& path);
  HRESULT LoadString(std::string_view text);
  // Logs the last load's error: "XML Parse Error 0x%x : %s" with its code and reason.
  HRESULT NoteParseError();

  // Makes the first node the path selects the current node. An empty path keeps the current
  // node. S_FALSE (1) when the path selects nothing: the current node stays.
  HRESULT GotoNode(std::string_view path);
  // The elements of that name at any depth below the current node, in document order, become
  // the current node list ("*" takes every element). E_FAIL without a current node.
  HRESULT LoadNodesByName(std::string_view name);
  // E_FAIL when there is no current node list.
  HRESULT GetNodeCount(long& count) const;
  // Makes the node at the zero-based index of the list current. E_FAIL without a list,
  // E_INVALIDARG when the index is outside it.
  HRESULT GotoNodeAt(long index);

  // The text of the first text child of the node the path selects. S_FALSE when the path
  // selects nothing or the node has no text (an empty element); `out` is then unchanged.
  // An empty path is E_INVALIDARG.
  HRESULT GetSingleNodeValue(std::string_view path, std::string& out);
  // The same text read as a signed decimal number: leading white space and one sign are
  // allowed, the first other character ends it, no digits at all give 0.
  HRESULT GetSingleNodeValue(std::string_view path, long& out);
  // The XML text of the selected node (an empty path: the current node), with the namespace
  // declarations it uses, so that the text stands on its own. S_FALSE when nothing is selected.
  HRESULT GetNodeXml(std::string_view path, std::string& out);

  bool IsLoaded() const { return doc_ != nullptr; }
  // The last load's error: libxml2's error number (or the HRESULT of a failed read), its
  // message and where it was found. Code 0 when the last load succeeded.
  int ParseErrorCode() const { return error_.code; }
  const std::string& ParseErrorReason() const { return error_.reason; }
  int ParseErrorLine() const { return error_.line; }

 private:
  struct DocFree {
    void operator()(_xmlDoc* doc) const;
  };
  struct ParseError {
    int code = 0;
    std::string reason;
    int line = 0;
  };

  HRESULT Load(std::string_view bytes, bool ignoreDeclaredEncoding);
  _xmlNode* Root() const;
  // Start for the path: the document for "/...", else the current node (or nullptr).
  _xmlNode* StartFor(std::string_view path) const;

  std::unique_ptr<_xmlDoc, DocFree> doc_;
  std::vector<_xmlNode*> list_;  // observes nodes of doc_
  bool hasList_ = false;
  _xmlNode* current_ = nullptr;  // observes a node of doc_ (or the document itself)
  ParseError error_;
};

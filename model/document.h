#pragma once
// One document of a transaction.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/xmlio.h"
#include "model/keywordvalue.h"
#include "model/ownedlist.h"

class CeDoc : public CXMLElem {
 public:
  CeDoc();
  ~CeDoc() override;

  // Copies every text and integer and replaces the form fields with deep copies of the
  // source's. Nothing happens when `source` is this document.
  void Copy(const CeDoc& source);
  std::unique_ptr<CeDoc> Clone() const;

  // `Extension`, or when it is empty the text after the last "." of `Name` (empty without one).
  std::string FileExtension() const;
  // A non-empty field list makes the envelope request use composite templates.
  bool HasFormFields() const { return !Fields.empty(); }

  // How the document's bytes are had, the values of `Source`.
  static constexpr std::int32_t kSourceNone = 0;
  static constexpr std::int32_t kSourceNamed = 1;     // the key is the name: an attachment
  static constexpr std::int32_t kSourceEmbedded = 2;  // the blueprint carries the bytes

  std::string Name;         // file name as shown and sent
  std::string Description;  // sent as AttachmentDescription
  std::string Key;          // blueprint key (a path or the name); a template's document ID
  std::string FilePath;     // local file holding the bytes (Base64 text until decoded)
  std::string Extension;    // picks the icon and recognises PDF files
  std::int32_t Source = kSourceNone;
  CKeywordList Fields;      // PDF form fields
};

using CDocList = COwnedList<CeDoc>;

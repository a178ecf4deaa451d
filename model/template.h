#pragma once
// A service template: an envelope definition kept on the service (documents with their bytes,
// recipient roles, placed tabs, custom fields and envelope options), read from the service's
// RequestTemplate result either streaming from a file or from a parsed document.
#include <memory>
#include <string>
#include <string_view>

#include "foundation/sax.h"
#include "foundation/xmldoc.h"
#include "model/customfield.h"
#include "model/saxreader.h"
#include "model/transaction.h"
#include "platform/win/hresult.h"

class CTemplate : public CTransaction, public CSAXLoadState {
 public:
  explicit CTemplate(std::string templateID = {});
  ~CTemplate() override;

  // Templates live on the service and are never written here: S_OK.
  HRESULT Save() override;
  // Streaming read of a RequestTemplate result held in a file; documents, roles, tabs and
  // custom fields are added in the file's order, each document's Base64 text goes to a
  // temporary file (its `FilePath`). S_OK, or the reader's failure; a result without a
  // "RequestTemplateResult" element (a SOAP fault, for instance) is E_FAIL.
  HRESULT Load(const std::string& path) override;
  // Plus the custom fields.
  void Clear() override;
  // Plus the template's own texts when `source` is a template.
  void CopyScalars(const CTransaction& source) override;
  // Plus the custom fields and the temporary document files, which the copy shares.
  HRESULT Assign(const CTransaction& source) override;
  // Reads the definition from `document`, positioned on the RequestTemplateResult node: the
  // definition's texts, subject, message and signing location, documents, roles and the tabs'
  // placement (no custom fields). The first failure of the definition, envelope or documents
  // step is returned; missing recipients or tabs end the read successfully.
  virtual HRESULT ReadDefinition(CXMLDoc& document);
  std::unique_ptr<CTemplate> Clone() const;

  std::string TemplateID;
  std::string Shared;
  std::string TemplatePassword;
  std::string PageCount;
  std::string SigningLocation;
  std::string AutoNavigation;
  std::string EnvelopeIdStamping;
  std::string AuthoritativeCopy;
  CCustomFieldList CustomFields;
};

// Reads a RequestTemplate result into a CTemplate, keeping the file's order.
class CSAXTemplate : public CSAXModelHandler {
 public:
  explicit CSAXTemplate(CTemplate& target);
  ~CSAXTemplate() override;

  // The fault text of a SOAP fault the result held instead.
  const std::string& FaultText() const { return faultText_; }

 protected:
  bool OpenElement(std::string_view name) override;
  void CloseElement(std::string_view name, CXMLElem* elem,
                    std::unique_ptr<CXMLElem> owned) override;

 private:
  bool OpenValue(std::string_view name);

  CTemplate& template_;
  std::string faultText_;
};

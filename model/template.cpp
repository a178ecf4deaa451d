#include "model/template.h"

#include <cstdio>
#include <new>
#include <utility>

#include "foundation/guard.h"

namespace {

// The result's Envelope element: the envelope options below it belong to the template.
class EnvelopeWrapper : public CXMLElem {
 public:
  EnvelopeWrapper() : CXMLElem("Envelope") {}
};

void SetTabFlags(CTab& tab) {
  // The service writes lower-case booleans; nothing else counts.
  tab.LockedFlag = tab.TemplateLocked == "true" ? 1 : 0;
  tab.RequiredFlag = tab.TemplateRequired == "true" ? 1 : 0;
}

// Reads an optional text; the target stays as it was when the node is missing or empty.
void ReadOptional(CXMLDoc& doc, std::string_view path, std::string& target) {
  doc.GetSingleNodeValue(path, target);
}

bool ReadRequired(CXMLDoc& doc, std::string_view path, std::string& target) {
  return doc.GetSingleNodeValue(path, target) == S_OK;
}

// Writes a document's Base64 text held in the definition to a new temporary file.
std::string WriteTempText(const std::string& text) {
  TempFile file;
  if (file.Make() != 0) Raise(E_FAIL);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(file.Path().c_str(), "wb"),
                                                       &std::fclose);
  if (!out || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() ||
      std::fclose(out.release()) != 0)
    Raise(E_FAIL);
  return file.Release();
}

}  // namespace

// CTemplate

CTemplate::CTemplate(std::string templateID)
    : CTransaction("CTemplate"), TemplateID(std::move(templateID)) {}

CTemplate::~CTemplate() = default;

HRESULT CTemplate::Save() { return S_OK; }

HRESULT CTemplate::Load(const std::string& path) {
  return Guarded("CTemplate::Load", [&]() -> HRESULT {
    Path = path;
    CSAXTemplate handler(*this);
    const HRESULT hr = ReadFile(path, handler);
    if (FAILED(hr)) return hr;
    if (!handler.SawRoot()) {
      // The service answered with a fault (or something else): no template came.
      SetLoadError(handler.FaultText().empty() ? "no RequestTemplateResult element"
                                               : handler.FaultText());
      DiagLog().CommentText("Template not received: %s", LoadError().message.c_str());
      return E_FAIL;
    }
    return S_OK;
  });
}

void CTemplate::Clear() {
  CTransaction::Clear();
  CustomFields.Clear();
}

void CTemplate::CopyScalars(const CTransaction& source) {
  if (&source == this) return;
  CTransaction::CopyScalars(source);
  const auto* templ = dynamic_cast<const CTemplate*>(&source);
  if (!templ) return;
  TemplateID = templ->TemplateID;
  Shared = templ->Shared;
  TemplatePassword = templ->TemplatePassword;
  PageCount = templ->PageCount;
  SigningLocation = templ->SigningLocation;
  AutoNavigation = templ->AutoNavigation;
  EnvelopeIdStamping = templ->EnvelopeIdStamping;
  AuthoritativeCopy = templ->AuthoritativeCopy;
}

HRESULT CTemplate::Assign(const CTransaction& source) {
  if (&source == this) return S_OK;
  return Guarded("CTemplate::Assign", [&] {
    const auto* templ = dynamic_cast<const CTemplate*>(&source);
    CCustomFieldList fields;
    if (templ) fields = CloneItems(templ->CustomFields);
    Check(CTransaction::Assign(source));
    if (templ) CustomFields.Swap(fields);
    // A blueprint's or a template's document files are shared with the copy.
    if (const auto* loaded = dynamic_cast<const CSAXLoadState*>(&source))
      DocFiles().Share(loaded->DocFiles());
  });
}

std::unique_ptr<CTemplate> CTemplate::Clone() const {
  auto copy = std::make_unique<CTemplate>(TemplateID);
  if (FAILED(copy->Assign(*this))) throw std::bad_alloc();
  return copy;
}

HRESULT CTemplate::ReadDefinition(CXMLDoc& doc) {
  return Guarded("CTemplate::ReadDefinition", [&]() -> HRESULT {
    Clear();
    CheckOk(doc.GotoNode("EnvelopeTemplateDefinition"));
    ReadOptional(doc, "Name", Name);
    ReadOptional(doc, "TemplateID", TemplateID);
    ReadOptional(doc, "Shared", Shared);
    ReadOptional(doc, "TemplatePassword", TemplatePassword);
    ReadOptional(doc, "LastModified", LastModified);
    ReadOptional(doc, "PageCount", PageCount);

    CheckOk(doc.GotoNode(".."));
    CheckOk(doc.GotoNode("Envelope"));
    ReadOptional(doc, "Subject", Subject);
    ReadOptional(doc, "EmailBlurb", Message);
    ReadOptional(doc, "SigningLocation", SigningLocation);

    CheckOk(doc.GotoNode("Documents"));
    long count = 0;
    Check(doc.LoadNodesByName("Document"));
    Check(doc.GetNodeCount(count));
    for (long i = 0; i < count; ++i) {
      CheckOk(doc.GotoNodeAt(i));
      auto document = std::make_unique<CeDoc>();
      if (!ReadRequired(doc, "Name", document->Name) || !ReadRequired(doc, "ID", document->Key))
        continue;
      std::string bytes;
      if (doc.GetSingleNodeValue("PDFBytes", bytes) == S_OK) {
        document->FilePath = WriteTempText(bytes);
        DocFiles().Keep(document->FilePath);
      }
      Documents.Append(std::move(document));
    }

    // Back up to the envelope: from the last document, or from Documents when there was none.
    if (doc.GotoNode(count > 0 ? "../../Recipients" : "../Recipients") != S_OK) return S_OK;
    Check(doc.LoadNodesByName("Recipient"));
    Check(doc.GetNodeCount(count));
    for (long i = 0; i < count; ++i) {
      CheckOk(doc.GotoNodeAt(i));
      auto role = std::make_unique<CRole>();
      if (!ReadRequired(doc, "RoleName", role->RoleName) || !ReadRequired(doc, "ID", role->ID))
        continue;
      ReadOptional(doc, "UserName", role->UserName);
      ReadOptional(doc, "Email", role->Email);
      ReadOptional(doc, "Type", role->Type);
      ReadOptional(doc, "RoutingOrder", role->RoutingOrder);
      ReadOptional(doc, "AccessCode", role->AccessCode);
      ReadOptional(doc, "RequireIDLookup", role->RequireIDLookup);
      ReadOptional(doc, "TemplateLocked", role->TemplateLocked);
      ReadOptional(doc, "TemplateRequired", role->TemplateRequired);
      Roles.Append(std::move(role));
    }

    const char* tabsPath = count > 0 ? "../../Tabs" : "../Tabs";
    doc.GetNodeXml(tabsPath, TabsXml);
    if (doc.GotoNode(tabsPath) != S_OK) return S_OK;
    Check(doc.LoadNodesByName("Tab"));
    Check(doc.GetNodeCount(count));
    for (long i = 0; i < count; ++i) {
      CheckOk(doc.GotoNodeAt(i));
      auto tab = std::make_unique<CTab>();
      if (!ReadRequired(doc, "Type", tab->Type) ||
          !ReadRequired(doc, "DocumentID", tab->DocumentID) ||
          !ReadRequired(doc, "RecipientID", tab->RecipientID) ||
          !ReadRequired(doc, "PageNumber", tab->PageNumber))
        continue;
      ReadOptional(doc, "XPosition", tab->XPosition);
      ReadOptional(doc, "YPosition", tab->YPosition);
      Tabs.Append(std::move(tab));
    }
    return S_OK;
  });
}

// CSAXTemplate

CSAXTemplate::CSAXTemplate(CTemplate& target) : template_(target) {}

CSAXTemplate::~CSAXTemplate() = default;

bool CSAXTemplate::OpenElement(std::string_view name) {
  if (name == "RequestTemplateResult") {
    PushRoot(template_);
    return true;
  }
  if (name == "faultstring") {
    PushText(name, faultText_);
    return true;
  }
  if (stack_.IsEmpty()) return false;
  if (name == "Document") {
    stack_.Push(std::make_unique<CeDoc>());
    return true;
  }
  if (name == "Recipient") {
    stack_.Push(std::make_unique<CRole>());
    return true;
  }
  if (name == "Tab") {
    stack_.Push(std::make_unique<CTab>());
    return true;
  }
  if (name == "CustomField") {
    stack_.Push(std::make_unique<CCustomField>());
    return true;
  }
  if (name == "Envelope" && TopAs<CTemplate>()) {
    stack_.Push(std::make_unique<EnvelopeWrapper>());
    return true;
  }
  return OpenValue(name);
}

bool CSAXTemplate::OpenValue(std::string_view name) {
  if (auto* templ = TopAs<CTemplate>()) {
    return PushMember<CTemplate>(name, *templ,
                                 {{"Name", &CTemplate::Name},
                                  {"TemplateID", &CTemplate::TemplateID},
                                  {"Shared", &CTemplate::Shared},
                                  {"TemplatePassword", &CTemplate::TemplatePassword},
                                  {"LastModified", &CTemplate::LastModified},
                                  {"PageCount", &CTemplate::PageCount}});
  }
  if (TopAs<EnvelopeWrapper>()) {
    return PushMember<CTemplate>(name, template_,
                                 {{"Subject", &CTemplate::Subject},
                                  {"EmailBlurb", &CTemplate::Message},
                                  {"SigningLocation", &CTemplate::SigningLocation},
                                  {"AutoNavigation", &CTemplate::AutoNavigation},
                                  {"EnvelopeIdStamping", &CTemplate::EnvelopeIdStamping},
                                  {"AuthoritativeCopy", &CTemplate::AuthoritativeCopy},
                                  {"ReminderEnabled", &CTemplate::ReminderEnabled},
                                  {"ExpireEnabled", &CTemplate::ExpireEnabled}},
                                 {{"ReminderDelay", &CTemplate::RemindIn},
                                  {"ReminderFrequency", &CTemplate::RemindFreq},
                                  {"ExpireAfter", &CTemplate::ExpiresIn},
                                  {"ExpireWarn", &CTemplate::WarnIn}});
  }
  if (auto* document = TopAs<CeDoc>()) {
    if (name == "PDFBytes") {
      // Documents can be large: their Base64 text goes straight to disk.
      PushFile(name, [this, document](std::string&& path) {
        template_.DocFiles().Keep(path);
        document->FilePath = std::move(path);
      });
      return true;
    }
    return PushMember<CeDoc>(name, *document,
                             {{"Name", &CeDoc::Name},
                              {"ID", &CeDoc::Key},
                              {"AttachmentDescription", &CeDoc::Description}});
  }
  if (auto* role = TopAs<CRole>()) {
    return PushMember<CRole>(name, *role,
                             {{"ID", &CRole::ID},
                              {"RoleName", &CRole::RoleName},
                              {"UserName", &CRole::UserName},
                              {"Email", &CRole::Email},
                              {"RoutingOrder", &CRole::RoutingOrder},
                              {"AccessCode", &CRole::AccessCode},
                              {"RequireIDLookup", &CRole::RequireIDLookup},
                              {"Type", &CRole::Type},
                              {"TemplateLocked", &CRole::TemplateLocked},
                              {"TemplateRequired", &CRole::TemplateRequired}});
  }
  if (auto* tab = TopAs<CTab>()) {
    return PushMember<CTab>(
        name, *tab,
        {{"Name", &CTab::Name},
         {"Type", &CTab::Type},
         {"TemplateLocked", &CTab::TemplateLocked},
         {"TemplateRequired", &CTab::TemplateRequired},
         {"DocumentID", &CTab::DocumentID},
         {"RecipientID", &CTab::RecipientID},
         {"PageNumber", &CTab::PageNumber},
         {"ScaleValue", &CTab::ScaleValue},
         {"XPosition", &CTab::XPosition},
         {"YPosition", &CTab::YPosition},
         {"TabLabel", &CTab::TabLabel},
         {"CustomTabType", &CTab::CustomTabType},
         {"CustomTabWidth", &CTab::CustomTabWidth},
         {"CustomTabHeight", &CTab::CustomTabHeight},
         {"CustomTabRequired", &CTab::CustomTabRequired},
         {"CustomTabLocked", &CTab::CustomTabLocked},
         {"CustomTabDisableAutoSize", &CTab::CustomTabDisableAutoSize},
         {"CustomTabValidationPattern", &CTab::CustomTabValidationPattern},
         {"CustomTabValidationMessage", &CTab::CustomTabValidationMessage},
         {"Value", &CTab::Value}});
  }
  if (auto* field = TopAs<CCustomField>()) {
    return PushMember<CCustomField>(name, *field,
                                    {{"Name", &CCustomField::Name},
                                     {"Value", &CCustomField::Value},
                                     {"Show", &CCustomField::Show},
                                     {"Required", &CCustomField::Required}});
  }
  return false;
}

void CSAXTemplate::CloseElement(std::string_view name, CXMLElem*,
                                std::unique_ptr<CXMLElem> owned) {
  if (name == "Document") {
    if (auto document = OwnedAs<CeDoc>(std::move(owned)))
      template_.Documents.Append(std::move(document));
  } else if (name == "Recipient") {
    if (auto role = OwnedAs<CRole>(std::move(owned))) template_.Roles.Append(std::move(role));
  } else if (name == "Tab") {
    if (auto tab = OwnedAs<CTab>(std::move(owned))) {
      SetTabFlags(*tab);
      template_.Tabs.Append(std::move(tab));
    }
  } else if (name == "CustomField") {
    if (auto field = OwnedAs<CCustomField>(std::move(owned))) {
      field->SetFlags();
      template_.CustomFields.Append(std::move(field));
    }
  }
}

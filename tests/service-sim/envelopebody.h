#pragma once
// Envelope creation requests written the way the client writes them (element by element, one
// per line, documents as Base64 in lines of 64 characters), for tests that call the simulator
// directly. Every text given here is escaped; documents are raw bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace vlrtest::envelopebody {

struct Document {
  std::string id, name, extension, bytes;
  std::string description{};  // AttachmentDescription, for template documents
};

struct Recipient {
  std::string id, name, email;
  std::string type = "Signer";
  std::string accessCode{}, requireIdLookup = "false", note{}, routingOrder{};
};

struct Tab {
  // Elements in the order written, names as on the wire; names beginning with
  // "AnchorTabItem/" go into an AnchorTabItem block at their place.
  std::vector<std::pair<std::string, std::string>> fields;
};

struct Notification {
  long expireAfter = 0, expireWarn = 0, remindAfter = 0, remindFreq = 0;
};

struct CustomField {
  std::string name, show, value, required;
};

// Base64 in lines of 64 characters, each ending in a line feed.
std::string Base64Lines(const std::string& bytes);
std::string Escape(const std::string& text);

std::string DocumentXml(const Document& d);          // an attachment: ID, Name, FileExtension
// A governing template's document: ID, Name, AttachmentDescription and PDFBytes (Base64 in CRLF
// lines of 76), the Document element left open for what follows.
std::string TemplateDocumentXml(const Document& d);
std::string RecipientsXml(const std::vector<Recipient>& recipients, bool routingOrder);
std::string TabsXml(const std::vector<Tab>& tabs);
std::string CustomFieldsXml(const std::vector<CustomField>& fields);
std::string NotificationXml(const Notification& n);  // empty when neither expiry nor reminders

struct Simple {
  std::string accountId;
  std::vector<Document> documents;
  std::vector<Recipient> recipients;
  std::vector<Tab> tabs{};  // the Tabs block only when not empty
  std::string subject = "Please sign", blurb{};
  std::vector<CustomField> customFields{};
  std::vector<std::pair<std::string, std::string>> options{};  // SigningLocation and the like
  Notification notification{};
  bool routingOrder = false;
  // The operation's body: "<Envelope>" ... "</Envelope>".
  std::string Xml() const;
};

struct CompositeTemplate {
  Document document;
  bool attachment = false;  // written as an attachment (with FileExtension) rather than a template document
  std::vector<Tab> tabs{};
  bool withRecipients = true;
};

struct Composite {
  std::string accountId;
  std::vector<Recipient> recipients;
  std::vector<CompositeTemplate> templates;
  std::string subject = "Please sign", blurb{};
  std::vector<CustomField> customFields{};
  Notification notification{};
  bool activate = true;
  // The operation's body: "<EnvelopeInformation>" ... "<ActivateEnvelope>".
  std::string Xml() const;
};

// Bytes that change from one seed to the next, fast to make in any amount.
std::string PseudoRandomBytes(size_t size, uint64_t seed);

}  // namespace vlrtest::envelopebody

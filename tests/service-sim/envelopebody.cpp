#include "tests/service-sim/envelopebody.h"

#include <openssl/evp.h>

namespace vlrtest::envelopebody {
namespace {

std::string Element(const std::string& name, const std::string& value) {
  return "<" + name + ">" + Escape(value) + "</" + name + ">\n";
}

std::string Encode(const std::string& bytes, size_t lineBytes, const char* lineEnd) {
  std::string out;
  std::string line(4 * ((lineBytes + 2) / 3) + 1, '\0');
  for (size_t i = 0; i < bytes.size(); i += lineBytes) {
    size_t n = std::min(lineBytes, bytes.size() - i);
    int k = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(line.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data() + i), static_cast<int>(n));
    out.append(line.data(), static_cast<size_t>(k));
    out += lineEnd;
  }
  return out;
}

}  // namespace

std::string Base64Lines(const std::string& bytes) { return Encode(bytes, 48, "\n"); }

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DocumentXml(const Document& d) {
  return "<Document>\n" + Element("ID", d.id) + Element("Name", d.name) + Element("FileExtension", d.extension) +
         "<PDFBytes>\n" + Base64Lines(d.bytes) + "</PDFBytes>\n</Document>\n";
}

std::string TemplateDocumentXml(const Document& d) {
  std::string s = "<Document>\n" + Element("ID", d.id) + Element("Name", d.name);
  if (!d.description.empty()) s += Element("AttachmentDescription", d.description);
  return s + "<PDFBytes>" + Encode(d.bytes, 57, "\r\n") + "</PDFBytes>\n";
}

std::string RecipientsXml(const std::vector<Recipient>& recipients, bool routingOrder) {
  std::string s = "<Recipients>\n";
  for (const Recipient& r : recipients) {
    s += "<Recipient>\n" + Element("ID", r.id) + Element("UserName", r.name) + Element("Email", r.email) +
         Element("Type", r.type) + Element("DefaultRecipient", "true") + Element("AccessCode", r.accessCode) +
         Element("RequireIDLookup", r.requireIdLookup);
    if (!r.note.empty()) s += Element("Note", r.note);
    if (routingOrder && !r.routingOrder.empty()) s += Element("RoutingOrder", r.routingOrder);
    s += "</Recipient>\n";
  }
  return s + "</Recipients>\n";
}

std::string TabsXml(const std::vector<Tab>& tabs) {
  std::string s;
  for (const Tab& t : tabs) {
    s += "<Tab>\n";
    bool inAnchor = false;
    for (const auto& [name, value] : t.fields) {
      bool anchorField = name.rfind("AnchorTabItem/", 0) == 0;
      if (anchorField && !inAnchor) s += "<AnchorTabItem>\n";
      if (!anchorField && inAnchor) s += "</AnchorTabItem>\n";
      inAnchor = anchorField;
      s += Element(anchorField ? name.substr(14) : name, value);
    }
    if (inAnchor) s += "</AnchorTabItem>\n";
    s += "</Tab>\n";
  }
  return s;
}

std::string CustomFieldsXml(const std::vector<CustomField>& fields) {
  std::string s;
  for (const CustomField& f : fields)
    s += "<CustomField>\n" + Element("Name", f.name) + Element("Show", f.show) + Element("Value", f.value) +
         Element("Required", f.required) + "</CustomField>\n";
  return s;
}

std::string NotificationXml(const Notification& n) {
  if (n.expireAfter == 0 && n.remindAfter == 0) return {};
  std::string s = "<Notification>\n";
  if (n.expireAfter != 0)
    s += "<Expirations>\n" + Element("ExpireEnabled", "true") + Element("ExpireAfter", std::to_string(n.expireAfter)) +
         Element("ExpireWarn", std::to_string(n.expireWarn)) + "</Expirations>\n";
  if (n.remindAfter != 0)
    s += "<Reminders>\n" + Element("ReminderEnabled", "true") + Element("ReminderDelay", std::to_string(n.remindAfter)) +
         Element("ReminderFrequency", std::to_string(n.remindFreq)) + "</Reminders>\n";
  return s + "</Notification>\n";
}

std::string Simple::Xml() const {
  std::string s = "<Envelope>\n" + Element("AccountId", accountId) + "<Documents>\n";
  for (const Document& d : documents) s += DocumentXml(d);
  s += "</Documents>\n" + RecipientsXml(recipients, routingOrder);
  if (!tabs.empty()) s += "<Tabs>\n" + TabsXml(tabs) + "</Tabs>\n";
  s += Element("Subject", subject.empty() ? "no subject" : subject);
  s += "<EmailBlurb>" + Escape(blurb) + "</EmailBlurb>\n";
  if (!customFields.empty()) s += "<CustomFields>\n" + CustomFieldsXml(customFields) + "</CustomFields>\n";
  for (const auto& [name, value] : options) s += Element(name, value);
  s += NotificationXml(notification);
  return s + "</Envelope>\n";
}

std::string Composite::Xml() const {
  std::string s = "<EnvelopeInformation>\n<Notification>\n<UseAccountDefaults>true</UseAccountDefaults>\n</Notification>\n";
  s += Element("AccountId", accountId) + Element("Subject", subject.empty() ? "no subject" : subject);
  s += "<EmailBlurb>" + Escape(blurb) + "</EmailBlurb>\n";
  if (!customFields.empty()) s += "<CustomFields>" + CustomFieldsXml(customFields) + "</CustomFields>";
  s += NotificationXml(notification) + "</EnvelopeInformation>\n<CompositeTemplates>\n";
  for (size_t n = 0; n < templates.size(); ++n) {
    const CompositeTemplate& t = templates[n];
    s += "<CompositeTemplate>\n<InlineTemplates>\n<InlineTemplate>\n" + Element("Sequence", std::to_string(n + 1)) +
         "<Envelope>\n" + Element("AccountId", accountId);
    if (t.withRecipients) s += RecipientsXml(recipients, false);
    s += "<Tabs>\n" + TabsXml(t.tabs) + "</Tabs>\n</Envelope>\n</InlineTemplate>\n</InlineTemplates>\n";
    if (t.attachment) {
      std::string d = DocumentXml(t.document);
      s += d.substr(0, d.rfind("</Document>\n"));
    } else {
      s += TemplateDocumentXml(t.document);
    }
    s += Element("TransformPdfFields", "true") + "</Document>\n</CompositeTemplate>\n";
  }
  s += "</CompositeTemplates>\n";
  if (activate) s += Element("ActivateEnvelope", "true");
  return s;
}

std::string PseudoRandomBytes(size_t size, uint64_t seed) {
  std::string out(size, '\0');
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    for (size_t k = 0; k < 8 && i + k < size; ++k) out[i + k] = static_cast<char>(x >> (8 * k));
  }
  return out;
}

}  // namespace vlrtest::envelopebody

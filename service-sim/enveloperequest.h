#pragma once
// The envelope creation calls as the service reads them: CreateAndSendEnvelope and
// CreateEnvelope (an Envelope element) and CreateEnvelopeFromTemplatesAndForms
// (EnvelopeInformation and CompositeTemplates). Reading checks everything the service would
// refuse and throws a SoapFault that says what and where; the documents' bytes were decoded
// while the request streamed in (Base64FileSink, chosen by DocumentSinkChoice).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service-sim/base64file.h"
#include "service-sim/soaprequest.h"

namespace sim {

using FieldList = std::vector<std::pair<std::string, std::string>>;  // element name, text

struct EnvelopeDocument {
  std::string id, name, fileExtension, description;
  int templateSequence = 0;  // the inline template's Sequence; 0 in a simple body
  std::optional<bool> transformPdfFields;
  Base64FileSink* content = nullptr;  // owned by the request's element tree
};

struct EnvelopeRecipient {
  std::string id, userName, email, type, accessCode, note, routingOrder;
  std::optional<bool> defaultRecipient, requireIdLookup;
};

struct EnvelopeTab {
  int templateSequence = 0;
  std::string recipientId, type, documentId;
  FieldList fields;  // every element as written; those of AnchorTabItem as "AnchorTabItem/<name>"
};

struct EnvelopeCustomField {
  std::string name, show, value, required;
};

struct EnvelopeNotification {
  std::optional<bool> useAccountDefaults;
  std::optional<bool> reminderEnabled, expireEnabled;
  std::optional<long> reminderDelay, reminderFrequency, expireAfter, expireWarn;
  bool hasReminders = false, hasExpirations = false;
};

struct EnvelopeRequest {
  std::string action;  // the operation's name
  std::string accountId, subject, emailBlurb;
  FieldList options;   // SigningLocation, AutoNavigation, EnvelopeIdStamping, AuthoritativeCopy as given
  std::optional<bool> activate;  // ActivateEnvelope of a composite request
  std::vector<EnvelopeDocument> documents;
  std::vector<EnvelopeRecipient> recipients;
  std::vector<EnvelopeTab> tabs;
  std::vector<EnvelopeCustomField> customFields;
  EnvelopeNotification notification;

  // "Created" when the envelope is only created, "Sent" when it goes out at once.
  std::string Status() const;
};

// Reads and checks the body element of one of the three calls for the account `accountId`
// (that of the security token). Throws SoapFault.
EnvelopeRequest ReadEnvelopeRequest(const XmlElement& operation, std::string_view accountId);

// Decodes every PDFBytes element of the service's namespace into a file named after `stem`.
XmlDocument::SinkChoice DocumentSinkChoice(const std::filesystem::path& stem);

}  // namespace sim

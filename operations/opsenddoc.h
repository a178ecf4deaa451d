#pragma once
// The envelope creation call: turns one outgoing transaction (documents, recipients, tabs,
// custom fields, subject, e-mail blurb, expiry and reminders) into "CreateAndSendEnvelope",
// "CreateEnvelope" or "CreateEnvelopeFromTemplatesAndForms", and reads back the new
// envelope's ID.
//
// Every document travels Base64-encoded inside the request, so the request is written straight
// into a temporary file, each document encoded from its file into the request as it goes, and
// never held whole in memory. For a broadcast the request is written as pieces instead
// (CCastlet), which the broadcast agent joins into one request per target recipient.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/credentials.h"
#include "model/customfield.h"
#include "model/ownedlist.h"
#include "model/recipient.h"
#include "model/tab.h"
#include "operations/bodypart.h"
#include "operations/castlet.h"
#include "operations/sendoptions.h"
#include "transport/opattestra.h"

class CeDoc;

// The three service calls.
namespace sendaction {
inline constexpr const char* kCreateAndSend = "CreateAndSendEnvelope";
inline constexpr const char* kCreate = "CreateEnvelope";
inline constexpr const char* kComposite = "CreateEnvelopeFromTemplatesAndForms";
}  // namespace sendaction

class OpSendDoc : public OpAttestra {
 public:
  // `url`: the API 3.0 endpoint held by the connected API object.
  OpSendDoc(std::string url, const CCredentials& credentials);
  ~OpSendDoc() override;

  // Appends a part made of `item` (an attachment, or the mail item for its message body).
  CBodyPart& AddBodyPart(com::ComPtr<IDispatch> item, std::string name, std::string label,
                         std::int32_t bodyFormat = 0);
  // "CreateEnvelope" creates the envelope without sending it; set before the run, it stays.
  void PresetAction(std::string action) { action_ = std::move(action); }
  // A prepared request-body file: when any are given, the request is the header followed by
  // these files' bytes in the order given (how the broadcast agent sends each envelope).
  void AddPreparedFile(std::string path) { prepared_.push_back(std::move(path)); }

  // Writes the whole request (or, with Options.Broadcast, its pieces). False with the result
  // code E_INVALIDARG when there are no body parts or no recipients, and with a failure code
  // when a file cannot be saved, created or written; nothing half-written is left behind.
  bool PrepareData() override;
  // Reads "<Action>Response/<Action>Result/EnvelopeID" into EnvelopeID.
  bool ParseResponse() override;
  // True when the first "Message Body" part holds at most one character.
  bool IsBodyEmpty();

  // The broadcast pieces of the last PrepareData, in the order made.
  const std::vector<std::unique_ptr<CCastlet>>& Pieces() const { return pieces_; }
  // The request file written by the last PrepareData (the Head piece in a broadcast).
  const std::string& RequestFile() const { return body_; }

  COwnedList<CBodyPart> BodyParts;
  CRecipList Recipients;  // written in list order
  CTabList Tabs;
  CCustomFieldList CustomFields;
  std::string Subject;  // "no subject" when empty
  std::string Message;  // for the send flow; not written here
  CSendOptions Options;
  std::string EnvelopeID;
  std::int32_t Substituted = 0;
  std::int32_t Composite = 0;  // 1: "CreateEnvelopeFromTemplatesAndForms"

 private:
  void SetAction();
  void Assemble();
  void OpenOutput();
  void WriteHeader();
  void WriteSimpleBody();
  void WriteCompositeBody();
  void WriteDocuments();
  void WriteTemplateDocument(const CeDoc& document, const std::string& id, bool composite);
  void WritePartDocument(CBodyPart& part, int id);
  void WritePartBytes(CBodyPart& part);
  void WriteRecipients();
  void WriteRecipientsInPiece();
  void WriteTabs();
  void WriteFormFieldTabs();
  void WriteCustomFields(bool lineBreaks);
  void WriteTemplateOptions();
  void WriteNotification();
  void WriteBlurb();
  void Finish(bool pieces);
  void Abandon();

  CCastlet& AddPiece(std::string name, std::string path = {});
  void AddMarker(const char* text);
  void SwitchTo(CCastlet& piece);
  CCastlet* FirstPiece(const std::string& name);

  bool Governed() const;
  CBodyPart* FirstDocumentPart();
  std::int32_t Number(CRecip& recipient);
  const CRecip* RecipientNumbered(const std::string& number);

  void Raw(std::string_view text);
  void Element(std::string_view name, std::string_view value, bool omitWhenEmpty = false, bool escape = false);

  std::vector<std::string> prepared_;
  std::vector<std::unique_ptr<CCastlet>> pieces_;
  std::FILE* out_ = nullptr;      // the current output
  CCastlet* current_ = nullptr;   // the piece written now (broadcast)
  CCastlet* recips_ = nullptr;    // the Recips piece (broadcast)
  bool recipsWritten_ = false;
  std::int32_t fixedCounter_ = 2;
};

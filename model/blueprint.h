#pragma once
// A blueprint: a reusable description of a transaction kept as one XML file in the blueprint
// folder (documents, signers with their roles and anchors, e-mail texts, expiry, reminders and
// the send options), with its reader and writer, and the rules that apply it to an outgoing
// transaction.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/sax.h"
#include "foundation/tempfile.h"
#include "model/saxreader.h"
#include "model/transaction.h"
#include "platform/win/hresult.h"

// Texts of the string table that the blueprint shows.
namespace blueprinttext {
inline constexpr const char* kSelectRole = "<click here to select role>";  // 9122
inline constexpr const char* kEnterValue = "<click to enter a value>";     // 9123
inline constexpr const char* kModes = "normal;broadcast";                   // 9124
inline constexpr const char* kDefaultSyntax = "Custom";                     // 9125
}  // namespace blueprinttext

class CBlueprint : public CTransaction, public CSAXLoadState {
 public:
  static constexpr std::int32_t kModeNormal = 0;
  static constexpr std::int32_t kModeBroadcast = 1;
  static constexpr std::int32_t kPositionBySigners = 0;  // "let the signers decide"
  static constexpr std::int32_t kPositionInBrowser = 1;  // "launch my browser"
  static constexpr std::int32_t kPositionByAnchors = 2;  // "use the anchor tags below"
  // Tag of the summary rows that choose a recipient's role.
  static constexpr std::int32_t kRoleRowTag = 1044;

  CBlueprint();
  ~CBlueprint() override;

  // Writes "<Name>.xml" into the folder of the "BlueprintFolder" setting, replacing any file of
  // that name only once the whole file is written. E_INVALIDARG for an empty name (or one that
  // is not a plain file name), the folder's failure when it cannot be had, E_ACCESSDENIED when
  // the file cannot be created, another failure when it cannot be written.
  HRESULT Save() override;
  // Writes the blueprint file to `path` (same rules, any place).
  HRESULT WriteTo(const std::string& path) const;
  // Reads the blueprint file at `path` into this blueprint (documents and signers are added in
  // the file's order), then fills the form fields' role choices. S_OK, or the reader's failure
  // (what was read before it stays); a file without a "vlrBlueprint" element is E_FAIL.
  HRESULT Load(const std::string& path) override;
  // Plus the blueprint's temporary document files, which the copy shares.
  HRESULT Assign(const CTransaction& source) override;
  // Plus the six blueprint options when `source` is a blueprint.
  void CopyScalars(const CTransaction& source) override;
  std::unique_ptr<CBlueprint> Clone() const;

  // Offers every form field the role names of the signers (in list order), and "Sender" when
  // no signer stands for the sending user.
  void FillRoleChoices();
  // Applies this blueprint to `transaction`, which holds the mail item's recipients: options,
  // documents, tabs and roles are taken over, signers paired with recipients, fixed signers
  // added, and the paired recipients merged. E_INVALIDARG when the blueprint has no documents
  // or the free signers and recipients do not match up; the transaction is then partly
  // changed, so callers try a copy first.
  HRESULT ApplyTo(CTransaction& transaction);
  // Rebuilds the keyword rows that summarise the blueprint in the wizard.
  void BuildSummaryRows();

  std::int32_t SendMode = kModeNormal;
  std::int32_t Order = 0;  // kept in the file only
  std::int32_t Positioning = kPositionBySigners;
  std::int32_t Applicable = 1;  // set by CBluepers::FindApplicable
  std::string Syntax = blueprinttext::kDefaultSyntax;
  std::int32_t SequenceSignatures = 0;  // send with routing order
};

// Reads a blueprint file into a CBlueprint, keeping the file's order of documents, form
// fields and signers.
class CSAXBlueprint : public CSAXModelHandler {
 public:
  explicit CSAXBlueprint(CBlueprint& blueprint);
  ~CSAXBlueprint() override;

 protected:
  bool OpenElement(std::string_view name) override;
  void CloseElement(std::string_view name, CXMLElem* elem,
                    std::unique_ptr<CXMLElem> owned) override;

 private:
  bool OpenValue(std::string_view name);

  CBlueprint& blueprint_;
  CeDoc* document_ = nullptr;  // the current document, once it belongs to the blueprint
  CRecip* signer_ = nullptr;   // the current signer, while it is read
  std::string anchorLabel_;    // of the current signer
};

// Decodes an embedded document's Base64 text (its `FilePath`) into a new temporary file named
// by `pattern` (".pdf", or the document's own extension). On failure `file` stays empty.
HRESULT DecodeDocumentFile(const CeDoc& document, std::string_view pattern, TempFile& file);

// The sending user, for blueprint signers that stand for the sender. The "Identity" setting,
// when set, is the address (no name); otherwise the mail system's current user is asked. The
// address is normalised (see NormalizeSmtpAddr); name and address are then kept for the life
// of the process. E_FAIL when no address can be had or normalised.
HRESULT IdentifyUser(std::string& name, std::string& address);
// The mail system's current user: display name and SMTP address.
using CurrentUserLookup = std::function<HRESULT(std::string& name, std::string& address)>;
// Installs the lookup that IdentifyUser asks when "Identity" is not set (none by default).
void SetCurrentUserLookup(CurrentUserLookup lookup);
// Forgets the kept identity, so the next IdentifyUser looks again.
void ForgetIdentity();
// The bare address of a display form: it must hold "@"; the part inside the first of "[]",
// "()" and "<>" that holds an address is taken, then trimmed and lower-cased
// ("Jane Doe <Jane@Example.com>" gives "jane@example.com"). E_FAIL without "@".
HRESULT NormalizeSmtpAddr(std::string& address);

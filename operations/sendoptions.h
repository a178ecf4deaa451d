#pragma once
// The options that travel with one send: receipt, routing order, the governing blueprint or
// template, expiry and reminders, the account's defaults and the broadcast settings. Written as
// the "SendOptions" document for the broadcast agent.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/xmlio.h"
#include "model/transaction.h"
#include "operations/opgasl.h"
#include "platform/win/hresult.h"

class CSendOptions : public CXMLIO {
 public:
  // The positioning mode in which a blueprint or a template governs the send.
  static constexpr std::int32_t kModeGoverned = 2;

  CSendOptions();
  ~CSendOptions() override;

  // Keeps a deep copy of `transaction` (a blueprint or a template) as the governing one.
  // E_INVALIDARG for any other kind, E_OUTOFMEMORY when the copy fails.
  HRESULT SetTransaction(const CTransaction& transaction);

  // Writes the "SendOptions" document into a new temporary ".xml" file and returns its path
  // in `path`; false (and no file, and `path` empty) when anything fails.
  bool Write(std::string& path);

  std::string Password;
  std::int32_t DisplayReceipt = 1;
  std::int32_t RoutingOrder = 0;  // write each recipient's RoutingOrder
  std::int32_t Mode = 0;
  std::unique_ptr<CTransaction> Transaction;  // the governing blueprint or template, or none
  std::string TemplateFile;
  std::int32_t ReceiptType = 0;
  std::int32_t ExpireAfter = 0;  // days; 0 no expiry
  std::int32_t ExpireWarn = 0;
  std::int32_t RemindAfter = 0;  // days; 0 no reminders
  std::int32_t RemindFreq = 0;
  CAcctSets AccountSettings;
  std::int32_t Broadcast = 0;
  std::int32_t BodyAsDocument = 0;  // the message body went as a document, not as the blurb
  std::string CategoryTags;
  std::string ReceiptSubject;
};

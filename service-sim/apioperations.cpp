#include "service-sim/apioperations.h"

#include "service-sim/accountsettings.h"
#include "service-sim/enveloperequest.h"
#include "service-sim/envelopestore.h"
#include "service-sim/soapfault.h"
#include "service-sim/xmltext.h"
#include "transport/servicenames.h"

namespace sim {
namespace {

constexpr std::string_view kNs = attestra::kApiNamespace;

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

// AccountId (with a lower-case d) names the account whose settings are asked for.
SoapReply GetAccountSettingsList(ApiCall& call) {
  const XmlElement* id = call.operation.Child(kNs, "AccountId");
  if (!id || Trim(id->text).empty()) throw SoapFault(faultcode::kClient, "The request has no AccountId.");
  if (Trim(id->text) != call.account.accountId)
    throw SoapFault(faultcode::kClient, "The AccountId \"" + Trim(id->text) +
                                            "\" is not the account of the authenticated user (" +
                                            call.account.accountId + ").");
  std::string result = "<AccountSettings>\n";
  for (const AccountSetting& s : AccountSettings(call.store).Get(call.account.accountId)) {
    result += "<AccountSetting>\n";
    result += XmlElementLine("Name", s.name);
    result += XmlElementLine("Value", s.value);
    result += "</AccountSetting>\n";
  }
  result += "</AccountSettings>\n";
  return ApiResultReply(call.operation.name, result);
}

SoapReply CreateEnvelope(ApiCall& call) {
  EnvelopeRequest request = ReadEnvelopeRequest(call.operation, call.account.accountId);
  CreatedEnvelope created = EnvelopeStore(call.store, call.dataDir).Create(request, call.account);
  std::string result = XmlElementLine("EnvelopeID", created.envelopeId);
  result += XmlElementLine("Status", created.status);
  result += XmlElementLine("StatusDateTime", created.time);
  return ApiResultReply(call.operation.name, result);
}

}  // namespace

void RegisterApiOperations(ApiEndpoint& endpoint) {
  endpoint.Register("GetAccountSettingsList", GetAccountSettingsList);
  endpoint.Register("CreateAndSendEnvelope", CreateEnvelope);
  endpoint.Register("CreateEnvelope", CreateEnvelope);
  endpoint.Register("CreateEnvelopeFromTemplatesAndForms", CreateEnvelope);
}

}  // namespace sim

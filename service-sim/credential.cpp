#include "service-sim/credential.h"

#include <string_view>

#include "service-sim/soapfault.h"
#include "service-sim/soaprequest.h"
#include "service-sim/xmltext.h"
#include "transport/servicenames.h"

namespace sim {
namespace {

std::string AccountElement(const Account& a) {
  std::string s = "<Account>\n";
  s += XmlElementLine("AccountID", a.accountId);
  s += XmlElementLine("AccountName", a.accountName);
  s += XmlElementLine("Email", a.email);
  s += XmlElementLine("UserID", a.userId);
  s += "</Account>\n";
  return s;
}

}  // namespace

SoapReply CredentialEndpoint::Handle(const ServiceRequest& request) {
  const std::string ns = attestra::kCredentialNamespace;
  if (!request.soapAction.empty() && request.soapAction != ns + "/Login")
    throw SoapFault(faultcode::kClient, "Unknown SOAPAction \"" + request.soapAction + "\".");
  auto document = XmlDocument::ParseFile(request.bodyFile, request.textFileStem);
  SoapEnvelope envelope = SoapEnvelope::Read(*document, {});
  const XmlElement& op = *envelope.operation;
  if (!op.Is(ns, "Login"))
    throw SoapFault(faultcode::kClient, "Unknown operation \"" + op.name + "\" (" + op.ns + ").");

  // The login name is the integrator key followed directly by the e-mail address.
  std::string loginName = op.ChildText(ns, "Email");
  std::string password = op.ChildText(ns, "Password");
  std::string_view key = attestra::kIntegratorKey;
  std::vector<Account> granted;
  if (loginName.size() > key.size() && loginName.compare(0, key.size(), key) == 0) {
    for (Account& a : store_.AccountsByEmail(loginName.substr(key.size())))
      if (a.password == password) granted.push_back(std::move(a));
  }

  std::string result;
  result += XmlElementLine("Success", granted.empty() ? "false" : "true");
  if (granted.empty())
    result += XmlElementLine("ErrorMessage", "The user name or password is incorrect.");
  result += "<Accounts>\n";
  for (const Account& a : granted) result += AccountElement(a);
  result += "</Accounts>\n";
  return EnvelopeReply(ResultElement(ns, "Login", result));
}

}  // namespace sim

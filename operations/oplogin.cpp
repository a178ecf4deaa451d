#include "operations/oplogin.h"

#include "foundation/diaglog.h"
#include "foundation/xmldoc.h"
#include "foundation/xmlio.h"
#include "transport/servicenames.h"
#include "transport/soapnames.h"

OpLogin::OpLogin(std::string url) : CWebSvrOp(std::move(url)) {
  kind_ = "OpLogin";
  progress_[0] = "Preparing Data";
  progress_[1] = "Connecting to Attestra";
  progress_[2] = "Requesting Login";
  progress_[3] = "Receiving Response";
  progress_[4] = "Confirming Result";
  progress_[5] = "User Logged In";
  soapAction_ = std::string(attestra::kCredentialNamespace) + "/Login";
  parseOnFault_ = true;
  faultElement_ = "soap:Fault";
  bodyPath_ = "/soap:Envelope/soap:Body";
}

bool OpLogin::PrepareData() {
  if (credentials_.email.empty() || credentials_.password.empty()) return false;
  if (!UseResponseFile()) return false;
  const std::string password = XmlEscape(credentials_.password);
  const std::string loginName = std::string(attestra::kIntegratorKey) + MarkupSafe(credentials_.email);
  const std::string ns = attestra::kCredentialNamespace;
  std::string& b = body_;
  b = "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + std::string(soapns::kEnvelope) + "\" xmlns:SOAP-ENC=\"" +
      soapns::kEncoding + "\" xmlns:xsi=\"" + soapns::kXsi + "\" xmlns:xsd=\"" + soapns::kXsd + "\" xmlns:m1=\"" +
      ns + "\">\n";
  b += "<SOAP-ENV:Body>\n";
  b += "<m:Login xmlns:m=\"" + ns + "\">\n";
  b += "<m:Email>" + loginName + "</m:Email>\n";
  b += "<m:Password>" + password + "</m:Password>\n";
  b += "</m:Login>\n";
  b += "</SOAP-ENV:Body>\n";
  b += "</SOAP-ENV:Envelope>\n";
  return true;
}

bool OpLogin::ParseResponse() {
  CXMLDoc* doc = doc_.get();
  if (!doc) {
    result_ = E_FAIL;
    return false;
  }
  if ((result_ = doc->GotoNode("LoginResponse/LoginResult")) != S_OK) return false;
  std::string success;
  result_ = doc->GetSingleNodeValue("Success", success);
  if (success != "true") {
    result_ = E_ACCESSDENIED;
    return false;
  }
  long count = 0;
  if ((result_ = doc->GotoNode("Accounts")) != S_OK) return false;
  if ((result_ = doc->LoadNodesByName("Account")) != S_OK) return false;
  if ((result_ = doc->GetNodeCount(count)) != S_OK) return false;

  bool matched = false;
  for (long i = 0; i < count; ++i) {
    if ((result_ = doc->GotoNodeAt(i)) != S_OK) break;
    std::string email;
    result_ = doc->GetSingleNodeValue("Email", email);
    if (result_ != S_OK || email != credentials_.email) continue;
    std::string accountId, accountName, userId;
    if ((result_ = doc->GetSingleNodeValue("AccountID", accountId)) != S_OK) break;
    credentials_.accountId = accountId;
    if ((result_ = doc->GetSingleNodeValue("AccountName", accountName)) != S_OK) break;
    credentials_.accountName = accountName;
    result_ = doc->GetSingleNodeValue("UserID", userId);
    if (result_ == S_OK) credentials_.userId = userId;
    matched = true;
  }
  // Without an account of exactly this e-mail address there are no ids to work with: a
  // refusal, said in words the user can act on.
  if (!matched && (result_ == S_OK || result_ == S_FALSE)) {
    result_ = E_ACCESSDENIED;
    faultString_ = "No Attestra account was found for the e-mail address " + credentials_.email + ".";
    DiagLog().Error("OpLogin::ParseResponse: no account for the login e-mail address");
  }
  return result_ == S_OK;
}

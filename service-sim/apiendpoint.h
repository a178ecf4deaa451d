#pragma once
// The API 3.0 endpoint: every call passes the shared checks (SOAP 1.1 envelope, WS-Security,
// nonce, account, WS-Addressing action), then goes to the handler registered for the local
// name of its body element. Operations are added by registering a handler (apioperations.cpp).
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "service-sim/endpoint.h"
#include "service-sim/soaprequest.h"
#include "service-sim/store.h"

namespace sim {

struct ApiCall {
  const ServiceRequest& request;
  XmlDocument& document;  // handlers that keep big texts call ReleaseTextFiles
  const SoapEnvelope& envelope;
  const XmlElement& operation;  // the body element, in the service's namespace
  const Account& account;       // the account the token's AccountId names
  Store& store;
  const std::filesystem::path& dataDir;
};

// Returns the answer (normally ApiResultReply) or throws SoapFault.
using ApiHandler = std::function<SoapReply(ApiCall&)>;

// The envelope with `<{operation}Response xmlns=api ns><{operation}Result>` around `result`.
SoapReply ApiResultReply(std::string_view operation, std::string_view result);

class ApiEndpoint : public Endpoint {
 public:
  ApiEndpoint(Store& store, std::filesystem::path dataDir);
  void Register(std::string operation, ApiHandler handler);
  SoapReply Handle(const ServiceRequest& request) override;

 private:
  Store& store_;
  std::filesystem::path dataDir_;
  std::map<std::string, ApiHandler, std::less<>> handlers_;
};

}  // namespace sim

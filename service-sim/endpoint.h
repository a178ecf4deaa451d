#pragma once
// What a service endpoint gets from the HTTP layer, and what it answers.
#include <chrono>
#include <filesystem>
#include <string>

#include "service-sim/soapreply.h"

namespace sim {

struct ServiceRequest {
  std::filesystem::path bodyFile;      // the request body as received, spooled to disk
  std::filesystem::path textFileStem;  // where big character data of the body may go
  std::string soapAction;              // the SOAPAction header without its quotes; empty if absent
  std::chrono::system_clock::time_point received;
};

class Endpoint {
 public:
  virtual ~Endpoint() = default;
  // Answers every request; refusals are SOAP faults (SoapFault, XmlError and StoreError
  // thrown from here are turned into faults by the caller).
  virtual SoapReply Handle(const ServiceRequest& request) = 0;
};

}  // namespace sim

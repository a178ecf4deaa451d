#pragma once
// The Credential endpoint: Login by integrator key + e-mail and password, answered with every
// account of that e-mail whose password matches.
#include "service-sim/endpoint.h"
#include "service-sim/store.h"

namespace sim {

class CredentialEndpoint : public Endpoint {
 public:
  explicit CredentialEndpoint(Store& store) : store_(store) {}
  SoapReply Handle(const ServiceRequest& request) override;

 private:
  Store& store_;
};

}  // namespace sim

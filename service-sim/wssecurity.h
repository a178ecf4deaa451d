#pragma once
// The checks every API 3.0 call passes before its operation runs: the WS-Security timestamp
// and username token, the nonce replay guard, the account named in the token, and the
// WS-Addressing action. Each refusal is a SoapFault.
#include <chrono>
#include <optional>
#include <string_view>

#include "service-sim/options.h"
#include "service-sim/soaprequest.h"
#include "service-sim/store.h"

namespace sim {

// Seconds since 1970 of an xsd:dateTime in UTC ("2024-05-01T12:00:00Z", fractions and a
// numeric offset allowed); nothing when the text is not one.
std::optional<int64_t> ParseUtcTime(std::string_view text);

// Checks the security header and returns the account that the token's AccountId names.
// A nonce is recorded only when the user is authenticated, so refused requests cannot
// spend other people's nonces.
Account CheckSecurity(const SoapEnvelope& envelope, Store& store,
                      std::chrono::system_clock::time_point now);

// wsa:Action must be the action base URI, "/", and the body element's local name.
void CheckAction(const SoapEnvelope& envelope);

}  // namespace sim

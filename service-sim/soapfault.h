#pragma once
// A refusal that reaches the caller as a SOAP fault (HTTP 500).
#include <stdexcept>
#include <string>

namespace sim {

// Fault codes; the prefixes are declared on every answer envelope.
namespace faultcode {
inline constexpr const char* kClient = "soap:Client";
inline constexpr const char* kServer = "soap:Server";
inline constexpr const char* kVersionMismatch = "soap:VersionMismatch";
inline constexpr const char* kMustUnderstand = "soap:MustUnderstand";
inline constexpr const char* kInvalidSecurity = "wsse:InvalidSecurity";
inline constexpr const char* kFailedAuthentication = "wsse:FailedAuthentication";
inline constexpr const char* kUnsupportedToken = "wsse:UnsupportedSecurityToken";
inline constexpr const char* kMessageExpired = "wsu:MessageExpired";
}  // namespace faultcode

class SoapFault : public std::runtime_error {
 public:
  SoapFault(std::string code, const std::string& text)
      : std::runtime_error(text), code_(std::move(code)) {}
  const std::string& Code() const { return code_; }

 private:
  std::string code_;
};

}  // namespace sim

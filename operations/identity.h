#pragma once
// The identity of the current profile's user: display name and address, converted to SMTP
// when asked. The interactive login pre-fills the e-mail address with it, and a blueprint
// names its sender with it.
#include <string>

#include "operations/mapinator.h"

class CIdentity : public CProxy {
 public:
  // `wantedType` "SMTP" converts an address of another type (an Exchange address) through
  // GetSmtpProxy; a failed conversion is the result. The outputs change only on success.
  HRESULT IdentifyUser(const std::string& wantedType, std::string& displayName, std::string& address);
};

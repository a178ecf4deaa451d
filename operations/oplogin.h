#pragma once
// The login: one call of the Credential endpoint that turns an e-mail address and a password
// into the account id, account name and user id that every later call carries. It has no
// security header; the login name is the integrator key followed by the e-mail address.
#include <string>

#include "foundation/credentials.h"
#include "transport/webop.h"

class OpLogin : public CWebSvrOp {
 public:
  // `url`: the Credential endpoint held by the connected API object.
  explicit OpLogin(std::string url);

  // Fails when the e-mail address or the password is empty.
  bool PrepareData() override;
  // Takes the ids of the account whose e-mail equals the login e-mail exactly (the last one
  // when several do). E_ACCESSDENIED when the service refuses the credentials or lists no such
  // account.
  bool ParseResponse() override;

  CCredentials& Credentials() { return credentials_; }
  const CCredentials& Credentials() const { return credentials_; }

 private:
  CCredentials credentials_;
};

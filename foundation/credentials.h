#pragma once
// The user's service account: filled by the login and carried, by value, by every service
// operation. Only the e-mail address and the password are ever stored (CConfig::SetCredentials).
#include <string>

class CCredentials {
 public:
  std::string email;  // the service user name
  std::string password;
  std::string userId;
  std::string accountId;
  std::string accountName;
};

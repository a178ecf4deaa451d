#pragma once
// The simulator's command line.
#include <filesystem>
#include <string>
#include <vector>

namespace sim {

struct Account {
  std::string email;  // as given; lookups compare it without regard to ASCII letter case
  std::string password;
  std::string accountId;
  std::string accountName;
  std::string userId;
};

struct Options {
  int port = -1;  // 0 picks a free port
  bool tls = false;
  std::filesystem::path certFile, keyFile;  // both or neither
  std::filesystem::path dataDir;
  bool control = false;
  std::vector<Account> accounts;
  bool help = false;
};

// Parses `--account EMAIL:PASSWORD:ACCOUNTID:ACCOUNTNAME:USERID`; a backslash takes the next
// character literally, so "\:" puts a colon into a field. Throws std::invalid_argument.
Account ParseAccount(const std::string& text);

// Throws std::invalid_argument with a message fit for the user.
Options ParseCommandLine(const std::vector<std::string>& args);

const char* Usage();

}  // namespace sim

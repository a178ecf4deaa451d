// vlr login: the silent login of the add-in, from the command line.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/verbs.h"
#include "foundation/config.h"
#include "foundation/credentials.h"
#include "operations/protocol.h"

namespace {

const char* const kHelp =
    "usage: vlr login [--email EMAIL --password PASSWORD] [--remember]\n"
    "\n"
    "Logs in to the Attestra service at the configured Host (see 'vlr config') and prints the\n"
    "account's AccountID, AccountName and UserID, one per line. The credentials come from the\n"
    "options, else from VLR_EMAIL and VLR_PASSWORD, else from the ones stored before.\n"
    "--remember stores them (scrambled) after a successful login.\n"
    "\n"
    "Exit status: 0 logged in; 2 usage or no credentials; 3 the service rejected the\n"
    "credentials; 4 the service could not be reached or answered wrongly.\n";

// Shown when the service refuses without saying why (string 9020).
const char* const kRejected =
    "Your user credentials were rejected by Attestra.  Please check these values to ensure they are correct.";

constexpr int kExitRejected = 3;
constexpr int kExitUnreachable = 4;

int Usage(const char* problem) {
  std::fprintf(stderr, "vlr login: %s\n%s", problem, kHelp);
  return kExitUsage;
}

}  // namespace

int RunLoginVerb(const Args& args) {
  CCredentials record;
  bool haveEmail = false, havePassword = false, remember = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--remember") {
      remember = true;
    } else if ((a == "--email" || a == "--password") && i + 1 < args.size()) {
      (a == "--email" ? record.email : record.password) = args[++i];
      (a == "--email" ? haveEmail : havePassword) = true;
    } else {
      return Usage(("unexpected argument '" + a + "'").c_str());
    }
  }
  if (haveEmail != havePassword) return Usage("--email and --password go together");

  if (!haveEmail) {
    const char* email = std::getenv("VLR_EMAIL");
    const char* password = std::getenv("VLR_PASSWORD");
    if (email && password) {
      record.email = email;
      record.password = password;
    } else if (CConfig().GetCredentials(record) != S_OK) {
      return Usage("no credentials: give --email and --password, set VLR_EMAIL and VLR_PASSWORD, "
                   "or log in once with --remember");
    }
  }

  SetTheProtocol(std::make_unique<CProtocol>());
  CProtocol& protocol = *TheProtocol();
  const HRESULT hr = protocol.Login(record);
  const std::string fault = protocol.LastLoginFault();
  const std::string detail = protocol.LastLoginDetail();
  SetTheProtocol(nullptr);

  if (hr == E_ACCESSDENIED) {
    std::fprintf(stderr, "vlr login: %s\n", fault.empty() ? kRejected : fault.c_str());
    return kExitRejected;
  }
  if (hr != S_OK) {
    std::string text = fault;
    if (!detail.empty()) text += text.empty() ? detail : " (" + detail + ")";
    if (text.empty()) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
      text = std::string("the login failed with ") + code;
    }
    std::fprintf(stderr, "vlr login: %s\n", text.c_str());
    return kExitUnreachable;
  }
  std::printf("AccountID: %s\nAccountName: %s\nUserID: %s\n", record.accountId.c_str(), record.accountName.c_str(),
              record.userId.c_str());
  if (remember && CConfig().SetCredentials(record) != S_OK) {
    std::fprintf(stderr, "vlr login: the credentials could not be stored\n");
    return kExitFailure;
  }
  return kExitOk;
}

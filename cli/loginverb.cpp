// vlr login: the silent login of the add-in, from the command line. The same login serves
// every verb that talks to the service (SilentLogin).
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

int Usage(const char* verb, const char* problem, const char* help) {
  std::fprintf(stderr, "vlr %s: %s\n%s", verb, problem, help ? help : "");
  return kExitUsage;
}

}  // namespace

bool TakeLoginOption(const Args& args, size_t& i, LoginChoice& choice) {
  const std::string& a = args[i];
  if ((a != "--email" && a != "--password") || i + 1 >= args.size()) return false;
  (a == "--email" ? choice.email : choice.password) = args[++i];
  (a == "--email" ? choice.haveEmail : choice.havePassword) = true;
  return true;
}

std::string FailureText(const std::string& fault, const std::string& detail, long code, const char* what) {
  std::string text = fault;
  if (!detail.empty()) text += text.empty() ? detail : " (" + detail + ")";
  if (text.empty()) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    text = std::string(what) + " failed with " + hex;
  }
  return text;
}

int SilentLogin(const char* verb, const LoginChoice& choice, CCredentials& record, const char* help) {
  if (choice.haveEmail != choice.havePassword) return Usage(verb, "--email and --password go together", help);
  // An empty address or password never logs in: say so here rather than let the login fail
  // as if the service could not be reached.
  if (choice.haveEmail) {
    if (choice.email.empty() || choice.password.empty())
      return Usage(verb, "--email and --password take non-empty values", help);
    record.email = choice.email;
    record.password = choice.password;
  } else {
    const char* email = std::getenv("VLR_EMAIL");
    const char* password = std::getenv("VLR_PASSWORD");
    if (email && *email && password && *password) {
      record.email = email;
      record.password = password;
    } else if (CConfig().GetCredentials(record) != S_OK || record.email.empty() || record.password.empty()) {
      return Usage(verb,
                   "no credentials: give --email and --password, set VLR_EMAIL and VLR_PASSWORD, "
                   "or log in once with 'vlr login --remember'",
                   help);
    }
  }

  SetTheProtocol(std::make_unique<CProtocol>());
  CProtocol& protocol = *TheProtocol();
  const HRESULT hr = protocol.Login(record);
  if (hr == E_ACCESSDENIED) {
    const std::string& fault = protocol.LastLoginFault();
    std::fprintf(stderr, "vlr %s: %s\n", verb, fault.empty() ? kRejected : fault.c_str());
    SetTheProtocol(nullptr);
    return kExitRejected;
  }
  if (hr != S_OK) {
    std::fprintf(stderr, "vlr %s: %s\n", verb,
                 FailureText(protocol.LastLoginFault(), protocol.LastLoginDetail(), hr, "the login").c_str());
    SetTheProtocol(nullptr);
    return kExitUnreachable;
  }
  return kExitOk;
}

int ConnectService(const char* verb) {
  // The login left the connection at the Credential endpoint: the API calls go to another.
  if (TheProtocol()) TheProtocol()->Disconnect();
  const HRESULT hr = CWebService::FireUpProtocol();
  if (hr == S_OK) return kExitOk;
  std::fprintf(stderr, "vlr %s: %s\n", verb, FailureText({}, {}, hr, "connecting to the service").c_str());
  return kExitUnreachable;
}

int RunLoginVerb(const Args& args) {
  LoginChoice choice;
  bool remember = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--remember") {
      remember = true;
    } else if (!TakeLoginOption(args, i, choice)) {
      return Usage("login", ("unexpected argument '" + a + "'").c_str(), kHelp);
    }
  }

  CCredentials record;
  const int status = SilentLogin("login", choice, record, kHelp);
  SetTheProtocol(nullptr);
  if (status != kExitOk) return status;
  std::printf("AccountID: %s\nAccountName: %s\nUserID: %s\n", record.accountId.c_str(), record.accountName.c_str(),
              record.userId.c_str());
  if (remember && CConfig().SetCredentials(record) != S_OK) {
    std::fprintf(stderr, "vlr login: the credentials could not be stored\n");
    return kExitFailure;
  }
  return kExitOk;
}

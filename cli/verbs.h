#pragma once
// Each verb group of vlr: takes the arguments after the verb, prints its results on standard
// output and its failures on standard error, and returns the exit status.
#include <string>
#include <vector>

using Args = std::vector<std::string>;

class CCredentials;

int RunConfigVerb(const Args& args);
int RunRegVerb(const Args& args);
int RunLoginVerb(const Args& args);
int RunBlueprintVerb(const Args& args);
int RunSendVerb(const Args& args);
int RunAccountSettingsVerb(const Args& args);

// Exit statuses shared by every verb.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// The service rejected the credentials; the service refused a call or could not be reached.
constexpr int kExitRejected = 3;
constexpr int kExitUnreachable = 4;

// The silent login of 'vlr login', for every verb that talks to the service (loginverb.cpp).
struct LoginChoice {
  std::string email, password;
  bool haveEmail = false, havePassword = false;
};
// Takes "--email VALUE" or "--password VALUE" at args[i] (moving i past the value); false when
// args[i] is neither.
bool TakeLoginOption(const Args& args, size_t& i, LoginChoice& choice);
// Logs in with the chosen credentials, else VLR_EMAIL and VLR_PASSWORD, else the stored ones.
// On success `record` holds the account and the protocol object stays for the verb's calls;
// otherwise the reason is on standard error ("vlr VERB: ...", then `help` after a usage
// mistake) and the exit status is returned.
int SilentLogin(const char* verb, const LoginChoice& choice, CCredentials& record, const char* help);
// After SilentLogin: connects to the configured API 3.0 service for the verb's calls.
// kExitUnreachable (said on standard error) when that fails.
int ConnectService(const char* verb);
// The text for a failed call: the fault string, the transport's detail in parentheses, or,
// without either, "`what` failed with 0x...".
std::string FailureText(const std::string& fault, const std::string& detail, long code, const char* what);

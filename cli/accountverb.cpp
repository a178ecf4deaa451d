// vlr account-settings: the account's defaults for reminders and expiry, as the send wizard
// reads them.
#include <cstdio>
#include <string>

#include "cli/verbs.h"
#include "foundation/credentials.h"
#include "operations/opgasl.h"
#include "operations/protocol.h"
#include "transport/webapi.h"

namespace {

const char* const kHelp =
    "usage: vlr account-settings [--email EMAIL --password PASSWORD]\n"
    "\n"
    "Logs in as 'vlr login' does and prints the account's settings for reminders and expiry,\n"
    "one 'Name: value' per line, under the service's names:\n"
    "  UserOverrideEnabled, ReminderEnabled, ExpireEnabled (True or False),\n"
    "  ReminderDelay, ReminderFrequency, ExpireAfter, ExpireWarnBuffer (days).\n"
    "Settings the service does not give show their defaults.\n"
    "\n"
    "Exit status: 0 printed; 2 usage or no credentials; 3 the service rejected the\n"
    "credentials; 4 the service refused or could not be reached.\n";

const char* TrueFalse(std::int32_t flag) { return flag ? "True" : "False"; }

// The protocol object goes before the process ends, after the operation that used it: the
// process-wide connection must not outlive the library state it was made with.
struct ProtocolScope {
  ~ProtocolScope() { SetTheProtocol(nullptr); }
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vlr account-settings: %s\n%s", problem.c_str(), kHelp);
  return kExitUsage;
}

}  // namespace

int RunAccountSettingsVerb(const Args& args) {
  LoginChoice choice;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (!TakeLoginOption(args, i, choice)) return Usage("unexpected argument '" + args[i] + "'");
  }

  ProtocolScope scope;
  CCredentials record;
  if (const int status = SilentLogin("account-settings", choice, record, kHelp); status != kExitOk) return status;
  if (const int status = ConnectService("account-settings"); status != kExitOk) return status;

  CAcctSets settings;
  OpGASL op(TheApi()->Endpoint(), record);
  op.SetSettings(&settings);
  if (!op.Run(nullptr, 0, 0) || op.ResultCode() != S_OK) {
    std::string detail = op.TransportError();
    if (detail.empty() && op.HttpStatus() != 0 && op.HttpStatus() != 200)
      detail = "HTTP status " + std::to_string(op.HttpStatus());
    std::fprintf(stderr, "vlr account-settings: %s\n",
                 FailureText(op.FaultString(), detail, op.ResultCode(), "the request").c_str());
    return kExitUnreachable;
  }
  std::printf("UserOverrideEnabled: %s\nReminderEnabled: %s\nExpireEnabled: %s\n", TrueFalse(settings.UserOverrides),
              TrueFalse(settings.Reminders), TrueFalse(settings.Expirations));
  std::printf("ReminderDelay: %d\nReminderFrequency: %d\nExpireAfter: %d\nExpireWarnBuffer: %d\n",
              settings.RemindDelay, settings.RemindFreq, settings.ExpiresAfter, settings.ExpireWarnBuffer);
  return kExitOk;
}

// vlr: the command line over Vellora's settings and service operations.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "cli/verbs.h"
#include "foundation/diaglog.h"

namespace {

struct Verb {
  const char* name;
  int (*run)(const Args&);
  const char* summary;
};

const Verb kVerbs[] = {
    {"config", RunConfigVerb, "read and change settings (list, get, set)"},
    {"reg", RunRegVerb, "query and change the registry hives (query, add, delete, export)"},
    {"login", RunLoginVerb, "log in to the service and show the account (AccountID, AccountName, UserID)"},
    {"blueprint", RunBlueprintVerb, "list, show and check blueprints (list, show, check)"},
    {"send", RunSendVerb, "send files for signature in one envelope and show its EnvelopeID"},
    {"account-settings", RunAccountSettingsVerb, "show the account's settings for reminders and expiry"},
};

void PrintUsage(FILE* to) {
  std::fprintf(to, "usage: vlr VERB [ARGS...]\n\nverbs:\n");
  for (const Verb& v : kVerbs) std::fprintf(to, "  %-17s %s\n", v.name, v.summary);
  std::fprintf(to, "\n'vlr VERB --help' describes a verb.\n");
}

// What a run printed must have reached standard output: a full disk or a closed descriptor
// there means the caller got nothing, which is no success.
int Flushed(const char* verb, int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const char* reason = errno ? std::strerror(errno) : "write error";
  std::fprintf(stderr, "vlr%s%s: cannot write to standard output: %s\n", *verb ? " " : "", verb, reason);
  return status == kExitOk ? kExitFailure : status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    PrintUsage(stdout);
    return Flushed("", kExitOk);
  }
  Args args(argv + 2, argv + argc);
  // The log starts with the program, as a deliverable's does when it is loaded.
  DiagLog().CommentText("vlr %s", argv[1]);
  for (const Verb& v : kVerbs) {
    if (std::strcmp(argv[1], v.name) != 0) continue;
    try {
      return Flushed(v.name, v.run(args));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vlr %s: %s\n", v.name, e.what());
      return kExitFailure;
    }
  }
  std::fprintf(stderr, "vlr: unknown verb '%s'\n", argv[1]);
  PrintUsage(stderr);
  return kExitUsage;
}

#include <cstdio>

#include "cli/verbs.h"

int RunConfigVerb(const Args&) {
  std::fprintf(stderr, "vlr config: not built yet\n");
  return kExitFailure;
}

#include <cstdio>

#include "cli/verbs.h"

int RunRegVerb(const Args&) {
  std::fprintf(stderr, "vlr reg: not built yet\n");
  return kExitFailure;
}

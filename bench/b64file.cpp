// vlr-b64: the file coder as a whole process, so that it can be timed against other tools.
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/base64.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "encode") != 0 && std::strcmp(argv[1], "decode") != 0)) {
    std::fprintf(stderr, "usage: vlr-b64 encode|decode SRC DST\n");
    return 2;
  }
  File64Coder coder;
  const bool encode = std::strcmp(argv[1], "encode") == 0;
  const bool ok = encode ? coder.EncodeFile(argv[2], argv[3]) : coder.DecodeFile(argv[2], argv[3]);
  if (!ok) {
    std::fprintf(stderr, "vlr-b64: %s of %s failed\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}

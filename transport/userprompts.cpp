#include "transport/userprompts.h"

#include <cstdio>
#include <cstdlib>

#include "foundation/diaglog.h"

namespace {

CTransportPrompts defaultPrompts;
CTransportPrompts* installed = nullptr;

}  // namespace

bool CTransportPrompts::AskProxyCredentials(const std::string& server, std::string& user,
                                            std::string& password) {
  const char* u = std::getenv("VLR_PROXY_USER");
  const char* p = std::getenv("VLR_PROXY_PASSWORD");
  if (!u || !*u) {
    DiagLog().CommentText("No proxy credentials for %s (VLR_PROXY_USER is not set)", server.c_str());
    return false;
  }
  user = u;
  password = p ? p : "";
  return true;
}

void CTransportPrompts::ShowConnectionError(const std::string& text) {
  DiagLog().Error(text);
  std::fprintf(stderr, "%s\n", text.c_str());
}

CTransportPrompts& TransportPrompts() { return installed ? *installed : defaultPrompts; }

void SetTransportPrompts(CTransportPrompts* prompts) { installed = prompts; }

bool HasInstalledTransportPrompts() { return installed != nullptr; }

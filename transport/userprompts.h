#pragma once
// What the transport may ask of the user. The core has no user interface of its own: the
// dialog targets install theirs (transport/proxydialog.h); without them, proxy credentials come
// from the environment (VLR_PROXY_USER, VLR_PROXY_PASSWORD) and messages go to the log and to
// standard error.
#include <string>

class CTransportPrompts {
 public:
  virtual ~CTransportPrompts() = default;
  // After a 407 answer: the proxy's user name and password. False when the user gives none
  // (the request is then not sent again).
  virtual bool AskProxyCredentials(const std::string& server, std::string& user, std::string& password);
  // A connection that cannot be opened.
  virtual void ShowConnectionError(const std::string& text);
};

// The prompts in use.
CTransportPrompts& TransportPrompts();
// Installs `prompts` (observed, not owned); nullptr restores the default.
void SetTransportPrompts(CTransportPrompts* prompts);
// True when prompts other than the default are installed.
bool HasInstalledTransportPrompts();

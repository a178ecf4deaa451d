#include "transport/webapi.h"

#include <mutex>

#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "transport/httprequest.h"
#include "transport/userprompts.h"

namespace {

std::unique_ptr<CWebSvrConnection> processConnection;
std::string currentServerName;
std::string currentRequestPath;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A server name with its own port: "host:8080" or "[::1]:8080".
bool HasPort(const std::string& server) {
  const auto colon = server.rfind(':');
  if (colon == std::string::npos) return false;
  const auto bracket = server.rfind(']');
  return bracket == std::string::npos || bracket < colon;
}

}  // namespace

CWebSvrSession::CWebSvrSession(std::string userAgent) : userAgent_(std::move(userAgent)) {
  InitCurlOnce();
  multi_ = curl_multi_init();
}

CWebSvrSession::~CWebSvrSession() {
  if (multi_) curl_multi_cleanup(multi_);
}

CWebSvrConnection::CWebSvrConnection(CWebSvrSession& session, std::string server, int port, bool secure)
    : session_(session), server_(std::move(server)), port_(port), secure_(secure) {
  easy_ = curl_easy_init();
}

CWebSvrConnection::~CWebSvrConnection() {
  if (active_) active_->Abandon();
  if (easy_) curl_easy_cleanup(easy_);
}

std::string CWebSvrConnection::Origin() const {
  std::string origin = secure_ ? "https://" : "http://";
  origin += server_;
  if (!HasPort(server_)) origin += ":" + std::to_string(port_);
  return origin;
}

void CWebSvrConnection::SetProxyCredentials(std::string user, std::string password, unsigned long schemes) {
  proxyUser_ = std::move(user);
  proxyPassword_ = std::move(password);
  proxySchemes_ = schemes;
}

CWebSvrAPI::CWebSvrAPI(std::string userAgent) : userAgent_(std::move(userAgent)) {}

CWebSvrAPI::~CWebSvrAPI() { Close(); }

bool CWebSvrAPI::Open() {
  if (connected_ && session_) return true;
  if (!session_) {
    session_ = std::make_unique<CWebSvrSession>(userAgent_);
    if (!session_->IsValid()) {
      session_.reset();
      TransportPrompts().ShowConnectionError("The HTTP session could not be created.");
      return false;
    }
  }
  return Connect();
}

bool CWebSvrAPI::Connect() {
  CConfig config;
  const int port = config.GetPort();
  std::string server = transport::CurrentServerName();
  if (server.empty()) config.GetHost(server);
  processConnection.reset();
  auto connection = std::make_unique<CWebSvrConnection>(*session_, server, port, port == 443);
  if (!connection->IsValid()) {
    TransportPrompts().ShowConnectionError("The connection to " + server + " could not be created.");
    return false;
  }
  DiagLog().CommentText("CWebSvrAPI::Open: connection to %s", connection->Origin().c_str());
  processConnection = std::move(connection);
  connected_ = 1;
  return true;
}

void CWebSvrAPI::Close() {
  processConnection.reset();
  currentServerName.clear();
  session_.reset();
  connected_ = 0;
  for (auto& s : reserved_) s.clear();
  endpoint_.clear();
  reserved5_.clear();
}

namespace transport {

CWebSvrConnection* ProcessConnection() { return processConnection.get(); }
const std::string& CurrentServerName() { return currentServerName; }
void SetCurrentServerName(std::string server) { currentServerName = std::move(server); }
const std::string& CurrentRequestPath() { return currentRequestPath; }
void SetCurrentRequestPath(std::string path) { currentRequestPath = std::move(path); }

}  // namespace transport

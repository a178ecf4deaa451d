#pragma once
// The one HTTP connection that every service operation of the process shares.
//
// CWebSvrSession is the HTTP client's session: a libcurl multi handle, whose connection pool
// keeps the connection alive between requests. CWebSvrConnection is the process's connection
// to the configured server and port: one libcurl easy handle for its whole life, so that every
// request goes out on the same kept-alive connection. CWebSvrAPI opens and closes both.
//
// The process-wide state (the connection, the current server name) lives here as well; only
// one operation may be in flight at a time, and everything runs on the user-interface thread.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "platform/win/hresult.h"

class CHttpRequest;

class CWebSvrSession {
 public:
  explicit CWebSvrSession(std::string userAgent);
  ~CWebSvrSession();
  CWebSvrSession(const CWebSvrSession&) = delete;
  CWebSvrSession& operator=(const CWebSvrSession&) = delete;

  bool IsValid() const { return multi_ != nullptr; }
  CURLM* Multi() const { return multi_; }
  const std::string& UserAgent() const { return userAgent_; }

  void* window = nullptr;  // the session's window: always empty in this system

 private:
  CURLM* multi_ = nullptr;
  std::string userAgent_;
};

class CWebSvrConnection {
 public:
  // `server` may carry a port ("127.0.0.1:8443"); without one, `port` is used.
  CWebSvrConnection(CWebSvrSession& session, std::string server, int port, bool secure);
  ~CWebSvrConnection();
  CWebSvrConnection(const CWebSvrConnection&) = delete;
  CWebSvrConnection& operator=(const CWebSvrConnection&) = delete;

  bool IsValid() const { return easy_ != nullptr; }
  CURL* Easy() const { return easy_; }
  CWebSvrSession& Session() const { return session_; }
  const std::string& Server() const { return server_; }
  int Port() const { return port_; }
  bool IsSecure() const { return secure_; }
  // "https://server:port" (the port only when the server name carries none).
  std::string Origin() const;

  // Proxy credentials given after a 407 stay with the connection for its later requests.
  // `schemes`: the CURLAUTH_* bits the proxy offered (0 when unknown).
  void SetProxyCredentials(std::string user, std::string password, unsigned long schemes);
  bool HasProxyCredentials() const { return !proxyUser_.empty(); }
  unsigned long ProxySchemes() const { return proxySchemes_; }
  const std::string& ProxyUser() const { return proxyUser_; }
  const std::string& ProxyPassword() const { return proxyPassword_; }

  // The request that uses the connection now (observed), or none. One at a time.
  CHttpRequest* ActiveRequest() const { return active_; }
  void SetActiveRequest(CHttpRequest* request) { active_ = request; }

 private:
  CWebSvrSession& session_;
  CURL* easy_ = nullptr;
  std::string server_;
  int port_;
  bool secure_;
  std::string proxyUser_, proxyPassword_;
  unsigned long proxySchemes_ = 0;
  CHttpRequest* active_ = nullptr;
};

class CWebSvrAPI {
 public:
  explicit CWebSvrAPI(std::string userAgent);
  ~CWebSvrAPI();
  CWebSvrAPI(const CWebSvrAPI&) = delete;
  CWebSvrAPI& operator=(const CWebSvrAPI&) = delete;

  // True on success. Makes the session when there is none and opens the process's connection
  // to the current server name (or the configured host) on the configured port.
  bool Open();
  // Closes the process's connection, forgets the current server name, deletes the session.
  void Close();

  bool IsConnected() const { return connected_ != 0; }
  CWebSvrSession* Session() const { return session_.get(); }
  const std::string& Endpoint() const { return endpoint_; }
  void SetEndpoint(std::string url) { endpoint_ = std::move(url); }
  const std::string& UserAgent() const { return userAgent_; }

 private:
  bool Connect();

  std::string reserved_[4];  // cleared on construction and Close; carry nothing
  std::string endpoint_;
  std::string reserved5_;
  std::unique_ptr<CWebSvrSession> session_;
  int connected_ = 0;
  std::string userAgent_;
};

namespace transport {

// The process's connection, or none.
CWebSvrConnection* ProcessConnection();
// The host part of the most recently parsed operation URL (empty when none).
const std::string& CurrentServerName();
void SetCurrentServerName(std::string server);
// The path part of the most recently parsed operation URL, with its query.
const std::string& CurrentRequestPath();
void SetCurrentRequestPath(std::string path);

}  // namespace transport

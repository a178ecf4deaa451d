#pragma once
// The protocol front: the one process-wide protocol object that opens the shared connection
// for an endpoint, closes it, and logs in. CProtocol logs in silently; CProtocolUI
// (operations/protocolui.h) may ask the user.
//
// It sits with the operations, above the transport, because logging in runs OpLogin.
//
// Callers follow this order: make sure the protocol object exists (SetTheProtocol);
// CWebService::FireUpProtocol; Login with their credentials record; after a successful login
// Disconnect and Connect to the configured API 3.0 service URL; then run their operations with
// TheApi()->Endpoint() as the URL.
#include <memory>
#include <string>

#include "foundation/credentials.h"
#include "platform/win/hresult.h"

class CWebSvrAPI;

class CProtocol {
 public:
  // `owner` is the deliverable's application object; it is not used further.
  explicit CProtocol(void* owner = nullptr);
  virtual ~CProtocol();  // disconnects
  CProtocol(const CProtocol&) = delete;
  CProtocol& operator=(const CProtocol&) = delete;

  // The silent login with the record's e-mail address and password; on success the record
  // gets the user id, account id and account name. `flag` is not used.
  virtual HRESULT Login(CCredentials& record, long flag = 0);

  // Creates the API object when there is none and opens it. 0, E_OUTOFMEMORY, or E_FAIL when
  // the connection cannot be opened. A connected API object stays on its server: only its
  // endpoint changes, so callers moving to another endpoint Disconnect first.
  HRESULT Connect(const std::string& url);
  // Closes and deletes the API object.
  void Disconnect();

  // What the last silent login's operation said when it failed: the fault string (the text
  // for the user), and the detail for a log or a terminal (the transport's own words, or the
  // HTTP status). Empty after a success.
  const std::string& LastLoginFault() const { return lastFault_; }
  const std::string& LastLoginDetail() const { return lastDetail_; }

 protected:
  // The configured service URL with the Credential endpoint's path, connected.
  HRESULT ConnectCredentialEndpoint();

 private:
  std::string lastFault_;
  std::string lastDetail_;
};

// The process's API object, or none.
CWebSvrAPI* TheApi();

// The process's protocol object, or none; SetTheProtocol replaces it (the previous one is
// deleted, which disconnects).
CProtocol* TheProtocol();
void SetTheProtocol(std::unique_ptr<CProtocol> protocol);

class CWebService {
 public:
  // Connects the protocol object to `url`, or with none to the configured service URL.
  // E_INVALIDARG when there is no protocol object yet.
  static HRESULT FireUpProtocol(const char* url = nullptr);
};

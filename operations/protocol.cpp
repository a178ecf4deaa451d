#include "operations/protocol.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "operations/oplogin.h"
#include "transport/servicenames.h"
#include "transport/webapi.h"

namespace {

std::unique_ptr<CWebSvrAPI> theApi;
std::unique_ptr<CProtocol> theProtocol;

// The HTTP library starts the TLS library, which registers its own shutdown at exit. Handlers
// run in reverse order of registration, so one registered after the API exists closes our
// connection while TLS still works; static destruction alone would come too late.
void ReleaseAtExit() {
  theProtocol.reset();
  theApi.reset();
}

}  // namespace

CWebSvrAPI* TheApi() { return theApi.get(); }

CProtocol* TheProtocol() { return theProtocol.get(); }

void SetTheProtocol(std::unique_ptr<CProtocol> protocol) { theProtocol = std::move(protocol); }

CProtocol::CProtocol(void*) {}

CProtocol::~CProtocol() { Disconnect(); }

HRESULT CProtocol::Connect(const std::string& url) {
  LogBlock block("CProtocol::Connect");
  if (!theApi) {
    theApi.reset(new (std::nothrow) CWebSvrAPI(attestra::kUserAgent));
    if (!theApi) {
      DiagLog().Error("Out of Memory!");
      return E_OUTOFMEMORY;
    }
  }
  if (!theApi->Open()) {
    DiagLog().Error("Failed to Open the API");
    return E_FAIL;
  }
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(ReleaseAtExit); });
  theApi->SetEndpoint(url);
  return S_OK;
}

void CProtocol::Disconnect() {
  if (!theApi) return;
  theApi->Close();
  theApi.reset();
}

HRESULT CProtocol::ConnectCredentialEndpoint() {
  CConfig config;
  std::string url;
  if (const HRESULT hr = config.GetServiceUrl(url, attestra::kCredentialPath); FAILED(hr)) return hr;
  return Connect(url);
}

HRESULT CProtocol::Login(CCredentials& record, long) {
  lastFault_.clear();
  lastDetail_.clear();
  return Guarded("CProtocol::Login", [&]() -> HRESULT {
    Check(ConnectCredentialEndpoint());
    auto op = std::make_unique<OpLogin>(theApi->Endpoint());
    op->Credentials() = record;
    op->Run(nullptr, 0, 0);
    HRESULT hr = op->ResultCode();
    lastFault_ = op->FaultString();
    lastDetail_ = op->TransportError();
    if (lastDetail_.empty() && op->HttpStatus() != 0 && op->HttpStatus() != 200)
      lastDetail_ = "HTTP status " + std::to_string(op->HttpStatus());
    // A failed step may leave a "nothing found" code (1); the caller must still see a failure.
    if (hr > 0) hr = E_FAIL;
    if (hr == S_OK) record = op->Credentials();
    return hr;
  });
}

HRESULT CWebService::FireUpProtocol(const char* url) {
  LogBlock block("CWebService::FireUpProtocol");
  CProtocol* protocol = TheProtocol();
  if (!protocol) return E_INVALIDARG;
  std::string target;
  if (url) {
    target = url;
  } else {
    CConfig config;
    if (const HRESULT hr = config.GetServiceUrl(target); FAILED(hr)) return hr;
  }
  const HRESULT hr = protocol->Connect(target);
  if (FAILED(hr)) DiagLog().Error("Failed to Open the API");
  return hr;
}

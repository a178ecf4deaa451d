#include "operations/protocolui.h"

#include <QApplication>

#include "foundation/config.h"
#include "foundation/diaglog.h"
#include "foundation/guard.h"
#include "operations/dlglogin.h"
#include "operations/identity.h"

CProtocolUI::CProtocolUI(void* owner) : CProtocol(owner) {}

HRESULT CProtocolUI::Login(CCredentials& record, long flag) {
  LogBlock block("CProtocolUI::Login");
  record.email.clear();
  record.password.clear();
  record.accountId.clear();
  if (const HRESULT hr = ConnectCredentialEndpoint(); FAILED(hr)) return hr;

  CDlgLogin dialog(TheApi(), parent_ ? parent_ : QApplication::activeWindow());
  DiagLog().Comment("Fetching Credentials");
  // The caller's record changes only when a login succeeds.
  CCredentials known = record;
  const bool stored = CConfig().GetCredentials(known) == S_OK;
  if (!stored) {
    DiagLog().Comment("Didn't find Credentials");
    std::string displayName, email;
    if (CIdentity().IdentifyUser("SMTP", displayName, email) == S_OK) known.email = email;
  }
  dialog.SetCredentials(known);

  if (stored && CProtocol::Login(known, flag) == S_OK) {
    record = known;
    return S_OK;
  }
  if (dialog.exec() != QDialog::Accepted) return ERROR_CANCELLED;

  DiagLog().Comment("User Logged In");
  record = dialog.Credentials();
  if (dialog.Remember()) {
    DiagLog().Comment("Saving Credentials");
    CConfig().SetCredentials(record);
  }
  return S_OK;
}

#include "operations/identity.h"

#include <strings.h>

#include "foundation/guard.h"

namespace {

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

HRESULT CIdentity::IdentifyUser(const std::string& wantedType, std::string& displayName, std::string& address) {
  ULONG cbEntryId = 0, count = 0;
  LPENTRYID entryId = nullptr;
  IMailUser* user = nullptr;
  LPSPropValue props = nullptr;
  std::string name, email, type;
  HRESULT hr = Guarded("CIdentity::IdentifyUser", [&] {
    Check(Open());
    if (FAILED(session_->QueryIdentity(&cbEntryId, &entryId))) Raise(MAPI_E_NOT_FOUND);
    ULONG objectType = 0;
    Check(addressBook_->OpenEntry(cbEntryId, entryId, nullptr, 0, &objectType, reinterpret_cast<IUnknown**>(&user)));
    CheckTrue(objectType == MAPI_MAILUSER, E_FAIL);
    SizedSPropTagArray<3> tags{3, {PR_DISPLAY_NAME, PR_EMAIL_ADDRESS, PR_ADDRTYPE}};
    Check(user->GetProps(tags.Get(), 0, &count, &props));
    CheckTrue(count == 3 && props && props[0].ulPropTag == PR_DISPLAY_NAME && props[1].ulPropTag == PR_EMAIL_ADDRESS &&
                  props[2].ulPropTag == PR_ADDRTYPE,
              MAPI_E_NOT_FOUND);
    name = props[0].Value.lpszA ? props[0].Value.lpszA : "";
    email = props[1].Value.lpszA ? props[1].Value.lpszA : "";
    type = props[2].Value.lpszA ? props[2].Value.lpszA : "";
    // The conversion runs a session of its own and closes it (and the library) at its end:
    // what this session handed out is given back first.
    mapi_.freeBuffer(props);
    props = nullptr;
    Release(user);
    mapi_.freeBuffer(entryId);
    entryId = nullptr;
    if (strcasecmp(wantedType.c_str(), "SMTP") == 0 && strcasecmp(type.c_str(), "SMTP") != 0) {
      std::string converted;
      Check(GetSmtpProxy(email, converted));
      email = converted;
    }
  });
  if (props) mapi_.freeBuffer(props);
  Release(user);
  if (entryId) mapi_.freeBuffer(entryId);
  Close();
  if (SUCCEEDED(hr)) {
    displayName = name;
    address = email;
  }
  return hr;
}

#pragma once
// Turning an Exchange address into its SMTP address through the messaging library: a session
// with its address book (CMapinator) and the lookup itself (CProxy). Every conversion opens
// and closes its own session.
#include <string>

#include "platform/mapi/mapidefs.h"
#include "platform/win/hresult.h"

class CMapinator {
 public:
  CMapinator();
  virtual ~CMapinator();
  CMapinator(const CMapinator&) = delete;
  CMapinator& operator=(const CMapinator&) = delete;

  // Logs on (initialising the library first) and opens the address book, unless a session is
  // open already. Returns the first failure.
  HRESULT Open();
  // Releases the address book and the session; uninitialises the library when this module
  // initialised it. Harmless when nothing is open.
  HRESULT Close();
  // The Global Address List's entry ID (a library block for MAPIFreeBuffer) and its length.
  HRESULT FindTheGAL(IAddrBook* addressBook, ULONG* cbEntryId, LPENTRYID* entryId);

 protected:
  // The library's functions, reached by ordinal.
  struct Imports {
    HRESULT (*initialize)(void*) = nullptr;
    HRESULT (*logonEx)(ULONG_PTR, const char*, const char*, ULONG, IMAPISession**) = nullptr;
    void (*uninitialize)() = nullptr;
    SCODE (*allocateBuffer)(ULONG, void**) = nullptr;
    ULONG (*freeBuffer)(void*) = nullptr;
    HRESULT (*queryAllRows)(IMAPITable*, LPSPropTagArray, LPSRestriction, SSortOrderSet*, LONG, LPSRowSet*) = nullptr;
    void (*freeProws)(LPSRowSet) = nullptr;
    void (*freePadrlist)(LPADRLIST) = nullptr;
    SCODE (*dupPropset)(int, LPSPropValue, LPALLOCATEBUFFER, LPSPropValue*) = nullptr;
    bool Complete() const;
  };
  Imports mapi_;
  IMAPISession* session_ = nullptr;
  IAddrBook* addressBook_ = nullptr;
};

class CProxy : public CMapinator {
 public:
  // A zeroed address list of `count` entries (a library block).
  HRESULT CreateSizedAddressList(ULONG count, LPADRLIST* list);
  // Entry `index` gets a copy of the properties (its previous ones are freed). E_FAIL for an
  // index beyond the list.
  HRESULT SetAddressList(LPADRLIST list, ULONG index, ULONG propCount, LPSPropValue props);
  // The entry ID (a library block) of the directory entry the Exchange address resolves to.
  HRESULT Resolve(IABContainer* container, const std::string& exchangeAddress, ULONG* cbEntryId,
                  LPENTRYID* entryId);
  // The whole conversion: the SMTP address of an Exchange address, handed back on success.
  HRESULT GetSmtpProxy(const std::string& exchangeAddress, std::string& emailAddress);
};

#pragma once
// The messaging library's functions over the profile store: start-up and log-on, memory
// blocks, whole-table queries and freeing helpers. The library is reached by ordinal, as the
// platform's is: MapiLibrary::Load() and GetProc(ordinal).
//
// The session logs on to the default Outlook profile (outlook::DefaultProfileName) and reads
// its directory; a profile without an Exchange organisation has no Global Address List.
#include "platform/mapi/mapidefs.h"

struct MAPIINIT_0 {
  ULONG ulVersion;
  ULONG ulFlags;
};

// MAPI_E_NOT_INITIALIZED until MAPIInitialize; calls nest.
HRESULT MAPIInitialize(void* init);
void MAPIUninitialize();
// No profile name: the default profile. MAPI_E_LOGON_FAILED when it cannot be opened;
// MAPI_E_BAD_CHARWIDTH with MAPI_UNICODE.
HRESULT MAPILogonEx(ULONG_PTR uiParam, const char* profileName, const char* password, ULONG flags,
                    IMAPISession** session);

// Memory blocks: a buffer, and further blocks tied to it that MAPIFreeBuffer frees with it.
SCODE MAPIAllocateBuffer(ULONG cb, void** out);
SCODE MAPIAllocateMore(ULONG cb, void* parent, void** out);
ULONG MAPIFreeBuffer(void* buffer);

// SetColumns, Restrict and QueryRows in one call; crowsMax 0 means no limit (else
// MAPI_E_TABLE_TOO_BIG when more rows qualify).
HRESULT HrQueryAllRows(IMAPITable* table, LPSPropTagArray tags, LPSRestriction restriction, SSortOrderSet* sort,
                       LONG crowsMax, LPSRowSet* rows);
void FreeProws(LPSRowSet rows);
void FreePadrlist(LPADRLIST list);
// Copies `count` properties into one block from `allocate`.
SCODE ScDupPropset(int count, LPSPropValue props, LPALLOCATEBUFFER allocate, LPSPropValue* out);

constexpr HRESULT MAPI_E_TABLE_TOO_BIG = MakeHr(0x80040403);

namespace mapi {

// The library of the functions above, reached by ordinal.
class MapiLibrary {
 public:
  // Ordinals of the functions this system imports.
  static constexpr int kMAPILogonEx = 11;
  static constexpr int kMAPIAllocateBuffer = 13;
  static constexpr int kMAPIFreeBuffer = 17;
  static constexpr int kMAPIInitialize = 21;
  static constexpr int kMAPIUninitialize = 23;
  static constexpr int kHrQueryAllRows = 75;
  static constexpr int kFreePadrlist = 139;
  static constexpr int kFreeProws = 140;
  static constexpr int kScDupPropset = 174;

  // The function exported under `ordinal`, null when there is none.
  static void* GetProc(int ordinal);
};

}  // namespace mapi

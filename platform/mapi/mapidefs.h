#pragma once
// The messaging interface's data shapes and interfaces, as far as address resolution and the
// profile user's identity need them: property values and tag arrays, rows and row sets,
// address lists, restrictions, and the session, address book, container, table and
// recipient interfaces. Platform names stay in the global namespace, as callers write them.
#include <cstddef>
#include <cstdint>

#include "platform/com/unknown.h"
#include "platform/outlook/codes.h"

using BYTE = std::uint8_t;
using LPBYTE = BYTE*;
using SCODE = HRESULT;
using LPSTR = char*;
using ULONG_PTR = std::uintptr_t;

// Property types and tags.
constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_BINARY = 0x0102;
constexpr ULONG PT_MV_STRING8 = 0x101E;
constexpr ULONG PROP_TYPE(ULONG tag) { return tag & 0xFFFF; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return id << 16 | type; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }

constexpr ULONG PR_ENTRYID = 0x0FFF0102;
constexpr ULONG PR_OBJECT_TYPE = 0x0FFE0003;
constexpr ULONG PR_RECIPIENT_TYPE = 0x0C150003;
constexpr ULONG PR_DISPLAY_NAME = 0x3001001E;
constexpr ULONG PR_ADDRTYPE = 0x3002001E;
constexpr ULONG PR_EMAIL_ADDRESS = 0x3003001E;
constexpr ULONG PR_AB_PROVIDER_ID = 0x36150102;
constexpr ULONG PR_DISPLAY_TYPE = 0x39000003;
constexpr ULONG PR_SMTP_ADDRESS = 0x39FE001E;
constexpr ULONG PR_ACCOUNT = 0x3A00001E;
constexpr ULONG PR_GIVEN_NAME = 0x3A06001E;
constexpr ULONG PR_SURNAME = 0x3A11001E;
constexpr ULONG PR_EMS_AB_CONTAINERID = 0xFFFD0003;
constexpr ULONG PR_EMS_AB_PROXY_ADDRESSES = 0x800F101E;

// Object types.
constexpr ULONG MAPI_STORE = 1;
constexpr ULONG MAPI_ADDRBOOK = 2;
constexpr ULONG MAPI_FOLDER = 3;
constexpr ULONG MAPI_ABCONT = 4;
constexpr ULONG MAPI_MESSAGE = 5;
constexpr ULONG MAPI_MAILUSER = 6;
constexpr ULONG MAPI_DISTLIST = 8;

// Display types.
constexpr ULONG DT_MAILUSER = 0;
constexpr ULONG DT_DISTLIST = 1;
constexpr ULONG DT_GLOBAL = 0x00020000;
constexpr ULONG DT_NOT_SPECIFIC = 0x00050000;

// Flags.
constexpr ULONG MAPI_UNICODE = 0x80000000;
constexpr ULONG MAPI_MODIFY = 0x1;
constexpr ULONG MAPI_DEFERRED_ERRORS = 0x8;
constexpr ULONG MAPI_BEST_ACCESS = 0x10;
constexpr ULONG CONVENIENT_DEPTH = 0x1;
constexpr ULONG MAPI_LOGON_UI = 0x1;
constexpr ULONG MAPI_NEW_SESSION = 0x2;
constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x10;
constexpr ULONG MAPI_EXTENDED = 0x20;
constexpr ULONG MAPI_USE_DEFAULT = 0x40;
constexpr ULONG MAPI_NO_MAIL = 0x8000;
constexpr ULONG MAPI_TO = 1;

// ResolveNames flags per entry.
constexpr ULONG MAPI_UNRESOLVED = 0;
constexpr ULONG MAPI_AMBIGUOUS = 1;
constexpr ULONG MAPI_RESOLVED = 2;

struct ENTRYID {
  BYTE abFlags[4];
  BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

struct SBinary {
  ULONG cb;
  LPBYTE lpb;
};

struct SStringArray8 {
  ULONG cValues;
  LPSTR* lppszA;
};

union PropValueUnion {
  short int i;
  LONG l;
  ULONG ul;
  double dbl;
  unsigned short int b;
  LPSTR lpszA;
  SBinary bin;
  SStringArray8 MVszA;
  SCODE err;
  std::int64_t li;
};

struct SPropValue {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  PropValueUnion Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;
constexpr std::size_t CbNewSPropTagArray(std::size_t n) { return offsetof(SPropTagArray, aulPropTag) + n * sizeof(ULONG); }

// A tag array of fixed size on the stack: SizedSPropTagArray<1> tags = {1, {PR_ENTRYID}}.
template <std::size_t N>
struct SizedSPropTagArray {
  ULONG cValues;
  ULONG aulPropTag[N];
  SPropTagArray* Get() { return reinterpret_cast<SPropTagArray*>(this); }
};

struct SRow {
  ULONG ulAdrEntryPad;
  ULONG cValues;
  LPSPropValue lpProps;
};

struct SRowSet {
  ULONG cRows;
  SRow aRow[1];
};
using LPSRowSet = SRowSet*;
constexpr std::size_t CbNewSRowSet(std::size_t n) { return offsetof(SRowSet, aRow) + n * sizeof(SRow); }

struct ADRENTRY {
  ULONG ulReserved1;
  ULONG cValues;
  LPSPropValue rgPropVals;
};

struct ADRLIST {
  ULONG cEntries;
  ADRENTRY aEntries[1];
};
using LPADRLIST = ADRLIST*;
// The size of an address list of n entries: its count and n entries (4 + 12 n bytes where
// pointers are 4 bytes wide).
constexpr std::size_t CbNewADRLIST(std::size_t n) { return offsetof(ADRLIST, aEntries) + n * sizeof(ADRENTRY); }

struct FlagList {
  ULONG cFlags;
  ULONG ulFlag[1];
};
using LPFlagList = FlagList*;

// Restrictions.
constexpr ULONG RES_AND = 0;
constexpr ULONG RES_OR = 1;
constexpr ULONG RES_NOT = 2;
constexpr ULONG RES_PROPERTY = 4;
constexpr ULONG RES_EXIST = 8;
constexpr ULONG RELOP_LT = 0;
constexpr ULONG RELOP_LE = 1;
constexpr ULONG RELOP_GT = 2;
constexpr ULONG RELOP_GE = 3;
constexpr ULONG RELOP_EQ = 4;
constexpr ULONG RELOP_NE = 5;

struct SRestriction;

struct SAndRestriction {
  ULONG cRes;
  SRestriction* lpRes;
};
using SOrRestriction = SAndRestriction;

struct SNotRestriction {
  ULONG ulReserved;
  SRestriction* lpRes;
};

struct SPropertyRestriction {
  ULONG relop;
  ULONG ulPropTag;
  LPSPropValue lpProp;
};

struct SExistRestriction {
  ULONG ulReserved1;
  ULONG ulPropTag;
  ULONG ulReserved2;
};

struct SRestriction {
  ULONG rt;
  union {
    SAndRestriction resAnd;
    SOrRestriction resOr;
    SNotRestriction resNot;
    SPropertyRestriction resProperty;
    SExistRestriction resExist;
  } res;
};
using LPSRestriction = SRestriction*;

struct SSortOrderSet;

using LPALLOCATEBUFFER = SCODE (*)(ULONG cb, void** out);
using LPALLOCATEMORE = SCODE (*)(ULONG cb, void* parent, void** out);
using LPFREEBUFFER = ULONG (*)(void* buffer);

// Interface ids.
inline constexpr IID IID_IMAPISession = com::GuidLiteral("00020300-0000-0000-C000-000000000046");
inline constexpr IID IID_IMAPITable = com::GuidLiteral("00020301-0000-0000-C000-000000000046");
inline constexpr IID IID_IMAPIProp = com::GuidLiteral("00020303-0000-0000-C000-000000000046");
inline constexpr IID IID_IAddrBook = com::GuidLiteral("00020309-0000-0000-C000-000000000046");
inline constexpr IID IID_IMailUser = com::GuidLiteral("0002030A-0000-0000-C000-000000000046");
inline constexpr IID IID_IABContainer = com::GuidLiteral("0002030B-0000-0000-C000-000000000046");
inline constexpr IID IID_IDistList = com::GuidLiteral("0002030E-0000-0000-C000-000000000046");

struct IMAPITable : IUnknown {
  static constexpr IID kIid = IID_IMAPITable;
  virtual HRESULT SetColumns(LPSPropTagArray columns, ULONG flags) = 0;
  // Keeps the rows that satisfy the restriction (null: all rows) and moves to the first.
  virtual HRESULT Restrict(LPSRestriction restriction, ULONG flags) = 0;
  virtual HRESULT GetRowCount(ULONG flags, ULONG* count) = 0;
  // BOOKMARK_BEGINNING only: back to the first row.
  virtual HRESULT SeekRow(ULONG bookmark, LONG rowCount, LONG* sought) = 0;
  virtual HRESULT QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) = 0;

 protected:
  ~IMAPITable() = default;
};

struct IMAPIProp : IUnknown {
  static constexpr IID kIid = IID_IMAPIProp;
  // `tags` null asks for every property. Missing properties come back as PT_ERROR values
  // with MAPI_E_NOT_FOUND and the call answers MAPI_W_ERRORS_RETURNED. The array is one
  // MAPIAllocateBuffer block for MAPIFreeBuffer.
  virtual HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* props) = 0;

 protected:
  ~IMAPIProp() = default;
};

struct IMailUser : IMAPIProp {
  static constexpr IID kIid = IID_IMailUser;

 protected:
  ~IMailUser() = default;
};

struct IABContainer : IMAPIProp {
  static constexpr IID kIid = IID_IABContainer;
  virtual HRESULT GetContentsTable(ULONG flags, IMAPITable** table) = 0;
  virtual HRESULT GetHierarchyTable(ULONG flags, IMAPITable** table) = 0;
  virtual HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, const IID* iid, ULONG flags, ULONG* objectType,
                            IUnknown** out) = 0;
  // Resolves each entry by its PR_DISPLAY_NAME: a resolved entry's properties are replaced by
  // the directory entry's (its PR_RECIPIENT_TYPE kept). With a flag list the entries' flags say
  // what happened; without one an unresolved entry fails the call (MAPI_E_NOT_FOUND, or
  // MAPI_E_AMBIGUOUS_RECIP when a name matches more than one entry).
  virtual HRESULT ResolveNames(LPSPropTagArray tags, ULONG flags, LPADRLIST list, LPFlagList flagList) = 0;

 protected:
  ~IABContainer() = default;
};

struct IDistList : IABContainer {
  static constexpr IID kIid = IID_IDistList;

 protected:
  ~IDistList() = default;
};

struct IAddrBook : IMAPIProp {
  static constexpr IID kIid = IID_IAddrBook;
  // No entry ID opens the root container.
  virtual HRESULT OpenEntry(ULONG cbEntryId, LPENTRYID entryId, const IID* iid, ULONG flags, ULONG* objectType,
                            IUnknown** out) = 0;

 protected:
  ~IAddrBook() = default;
};

struct IMAPISession : IUnknown {
  static constexpr IID kIid = IID_IMAPISession;
  virtual HRESULT OpenAddressBook(ULONG_PTR uiParam, const IID* iid, ULONG flags, IAddrBook** out) = 0;
  // The entry ID of the profile user, in a MAPIAllocateBuffer block.
  virtual HRESULT QueryIdentity(ULONG* cbEntryId, LPENTRYID* entryId) = 0;
  virtual HRESULT Logoff(ULONG_PTR uiParam, ULONG flags, ULONG reserved) = 0;

 protected:
  ~IMAPISession() = default;
};

constexpr ULONG BOOKMARK_BEGINNING = 0;
constexpr ULONG TBL_ALL_COLUMNS = 0;

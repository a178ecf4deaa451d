#pragma once
// Result codes with the numbers the Windows platform gives them, so that logs and callers
// compare the same values the original system does.
#include <cstdint>

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;

constexpr HRESULT MakeHr(std::uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHr(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHr(0x80004002);
constexpr HRESULT E_POINTER = MakeHr(0x80004003);
constexpr HRESULT E_ABORT = MakeHr(0x80004004);
constexpr HRESULT E_FAIL = MakeHr(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHr(0x80070005);
constexpr HRESULT E_HANDLE = MakeHr(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = MakeHr(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHr(0x80070057);
constexpr HRESULT RPC_E_SERVERFAULT = MakeHr(0x80010105);
constexpr HRESULT RPC_S_CALL_FAILED_HR = MakeHr(0x800106BE);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHr(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHr(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHr(0x80040202);
constexpr HRESULT OLE_E_NOCONNECTION_ITEM = MakeHr(0x80040205);  // "0x80040205" of the add-in's checks
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHr(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154);
constexpr HRESULT CO_E_CLASSSTRING = MakeHr(0x800401F3);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHr(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHr(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHr(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHr(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHr(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = MakeHr(0x80020009);
constexpr HRESULT DISP_E_BADINDEX = MakeHr(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHr(0x8002000E);

// Win32 error numbers (returned by the registry and file functions, and used bare as codes).
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_CANCELLED = 1223;  // the user's cancel
constexpr LONG ERROR_BADKEY = 1010;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Win32 error number to HRESULT (FACILITY_WIN32); 0 and negative values pass unchanged.
constexpr HRESULT HRESULT_FROM_WIN32(LONG err) {
  return err <= 0 ? err : MakeHr((static_cast<std::uint32_t>(err) & 0xFFFF) | 0x80070000u);
}

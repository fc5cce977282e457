// Result codes of the component and automation runtime.
#pragma once

#include "platform/base/win_types.h"

constexpr HRESULT make_hresult(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = make_hresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = make_hresult(0x80004002);
inline constexpr HRESULT E_POINTER = make_hresult(0x80004003);
inline constexpr HRESULT E_FAIL = make_hresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = make_hresult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = make_hresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = make_hresult(0x80070057);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = make_hresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = make_hresult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = make_hresult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = make_hresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = make_hresult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = make_hresult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = make_hresult(0x80020008);
inline constexpr HRESULT DISP_E_OVERFLOW = make_hresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = make_hresult(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = make_hresult(0x8002000E);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = make_hresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = make_hresult(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = make_hresult(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = make_hresult(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = make_hresult(0x8004018F);
inline constexpr HRESULT CO_E_ERRORINDLL = make_hresult(0x800401F9);

inline constexpr HRESULT CONNECT_E_NOCONNECTION = make_hresult(0x80040200);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = make_hresult(0x80040202);
inline constexpr HRESULT SELFREG_E_TYPELIB = make_hresult(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = make_hresult(0x80040201);

// The control framework's "property is read-only" automation error.
inline constexpr HRESULT CTL_E_SETNOTSUPPORTED = make_hresult(0x800A017F);

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// A short English text for logs and error lines; never empty.
const char* hresult_text(HRESULT hr);

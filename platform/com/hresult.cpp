#include "platform/com/hresult.h"

const char* hresult_text(HRESULT hr) {
    switch (hr) {
        case S_OK:
            return "success";
        case S_FALSE:
            return "success (false)";
        case E_NOTIMPL:
            return "not implemented";
        case E_NOINTERFACE:
            return "interface not supported";
        case E_POINTER:
            return "null pointer";
        case E_FAIL:
            return "unspecified failure";
        case E_UNEXPECTED:
            return "unexpected failure";
        case E_OUTOFMEMORY:
            return "out of memory";
        case E_INVALIDARG:
            return "invalid argument";
        case DISP_E_UNKNOWNINTERFACE:
            return "unknown interface";
        case DISP_E_MEMBERNOTFOUND:
            return "member not found";
        case DISP_E_PARAMNOTFOUND:
            return "parameter not found";
        case DISP_E_TYPEMISMATCH:
            return "type mismatch";
        case DISP_E_UNKNOWNNAME:
            return "unknown name";
        case DISP_E_NONAMEDARGS:
            return "named arguments not supported";
        case DISP_E_BADVARTYPE:
            return "bad variant type";
        case DISP_E_OVERFLOW:
            return "value out of range";
        case DISP_E_BADINDEX:
            return "bad index";
        case DISP_E_BADPARAMCOUNT:
            return "wrong number of arguments";
        case CLASS_E_NOAGGREGATION:
            return "aggregation not supported";
        case CLASS_E_CLASSNOTAVAILABLE:
            return "class not available";
        case REGDB_E_CLASSNOTREG:
            return "class not registered";
        case CO_E_CLASSSTRING:
            return "invalid class string";
        case CO_E_DLLNOTFOUND:
            return "library not found";
        case CO_E_ERRORINDLL:
            return "library has no class factory";
        case CONNECT_E_NOCONNECTION:
            return "no such connection";  // equals SELFREG_E_TYPELIB
        case CONNECT_E_CANNOTCONNECT:
            return "sink cannot connect";
        case SELFREG_E_CLASS:
            return "class registration failed";
        case CTL_E_SETNOTSUPPORTED:
            return "property is read-only";
        default:
            return SUCCEEDED(hr) ? "success" : "failure";
    }
}

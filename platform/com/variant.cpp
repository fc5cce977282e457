#include "platform/com/variant.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

void VariantInit(VARIANT* value) {
    value->vt = VT_EMPTY;
    value->dblVal = 0;
}

HRESULT VariantClear(VARIANT* value) {
    if (!value) return E_POINTER;
    if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* source) {
    if (!dest || !source) return E_POINTER;
    if (dest == source) return S_OK;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

// Reads any value as a double, the widest numeric reading; strings must hold a number (or a
// boolean word, as automation accepts).
HRESULT numeric_reading(const VARIANT& v, double& out) {
    switch (v.vt) {
        case VT_EMPTY:
            out = 0;
            return S_OK;
        case VT_I2:
            out = v.iVal;
            return S_OK;
        case VT_I4:
            out = v.lVal;
            return S_OK;
        case VT_R8:
            out = v.dblVal;
            return S_OK;
        case VT_BOOL:
            out = v.boolVal ? -1 : 0;
            return S_OK;
        case VT_BSTR: {
            const std::string_view text = trim(bstr_view(v.bstrVal));
            if (equals_ignoring_case(text, "true")) {
                out = -1;
                return S_OK;
            }
            if (equals_ignoring_case(text, "false")) {
                out = 0;
                return S_OK;
            }
            if (text.empty()) return DISP_E_TYPEMISMATCH;
            const std::string copy(text);
            char* end = nullptr;
            errno = 0;
            out = std::strtod(copy.c_str(), &end);
            if (end != copy.c_str() + copy.size() || !std::isfinite(out))
                return DISP_E_TYPEMISMATCH;
            return S_OK;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

// Automation rounds half to even when it narrows a real to an integer.
template <typename Int>
HRESULT to_integer(double value, Int& out) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<Int>::max())))
        return DISP_E_OVERFLOW;
    out = static_cast<Int>(rounded);
    return S_OK;
}

std::string text_of(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2:
            return std::to_string(v.iVal);
        case VT_I4:
            return std::to_string(v.lVal);
        case VT_BOOL:
            return v.boolVal ? "True" : "False";
        case VT_R8: {
            char text[32];
            std::snprintf(text, sizeof text, "%.15g", v.dblVal);
            return text;
        }
        default:
            return {};
    }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, WORD /*flags*/, VARTYPE vt) {
    if (!dest || !source) return E_POINTER;
    VARIANT result;
    VariantInit(&result);
    result.vt = vt;
    if (source->vt == vt) return VariantCopy(dest, source);
    switch (vt) {
        case VT_EMPTY:
            break;
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_BOOL: {
            double value = 0;
            if (HRESULT hr = numeric_reading(*source, value); FAILED(hr)) return hr;
            HRESULT hr = S_OK;
            if (vt == VT_I2) hr = to_integer(value, result.iVal);
            if (vt == VT_I4) hr = to_integer(value, result.lVal);
            if (vt == VT_R8) result.dblVal = value;
            if (vt == VT_BOOL) result.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            if (FAILED(hr)) return hr;
            break;
        }
        case VT_BSTR: {
            if (source->vt != VT_EMPTY && source->vt != VT_I2 && source->vt != VT_I4 &&
                source->vt != VT_R8 && source->vt != VT_BOOL)
                return DISP_E_BADVARTYPE;
            const std::string text = text_of(*source);
            result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!result.bstrVal) return E_OUTOFMEMORY;
            break;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
    VariantClear(dest);
    *dest = result;
    return S_OK;
}

const char* vartype_name(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
            return "void";
        case VT_I2:
            return "short";
        case VT_I4:
            return "long";
        case VT_R8:
            return "double";
        case VT_BSTR:
            return "BSTR";
        case VT_BOOL:
            return "VARIANT_BOOL";
        default:
            return "?";
    }
}

Variant Variant::i2(SHORT value) {
    Variant v;
    v.m_value.vt = VT_I2;
    v.m_value.iVal = value;
    return v;
}

Variant Variant::i4(LONG value) {
    Variant v;
    v.m_value.vt = VT_I4;
    v.m_value.lVal = value;
    return v;
}

Variant Variant::r8(DOUBLE value) {
    Variant v;
    v.m_value.vt = VT_R8;
    v.m_value.dblVal = value;
    return v;
}

Variant Variant::boolean(bool value) {
    Variant v;
    v.m_value.vt = VT_BOOL;
    v.m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::string(std::string_view text) {
    Variant v;
    v.m_value.vt = VT_BSTR;
    v.m_value.bstrVal = Bstr(text).release();
    return v;
}

Variant Variant::adopt(VARIANT& value) {
    Variant v;
    v.m_value = value;
    VariantInit(&value);
    return v;
}

Variant::Variant(const Variant& other) {
    VariantInit(&m_value);
    VariantCopy(&m_value, &other.m_value);
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value) {
    VariantInit(&other.m_value);
}

Variant& Variant::operator=(Variant other) noexcept {
    std::swap(m_value, other.m_value);
    return *this;
}

Variant Variant::changed_to(VARTYPE vt, HRESULT& hr) const {
    Variant result;
    hr = VariantChangeType(&result.m_value, &m_value, 0, vt);
    return result;
}

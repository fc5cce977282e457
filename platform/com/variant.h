// Automation values. A VARIANT owns what it holds (a BSTR); VariantClear frees it. Variant is the
// RAII holder used everywhere outside the raw dispatch boundary.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

using VARTYPE = WORD;
using VARIANT_BOOL = SHORT;
using DOUBLE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_BOOL = 11,
};

struct VARIANT {
    VARTYPE vt;
    union {
        SHORT iVal;
        LONG lVal;
        DOUBLE dblVal;
        BSTR bstrVal;
        VARIANT_BOOL boolVal;
    };
};

void VariantInit(VARIANT* value);
HRESULT VariantClear(VARIANT* value);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* source);
// Converts `source` to type `vt` into `dest` (which may be `source`): DISP_E_TYPEMISMATCH when
// the value has no such reading, DISP_E_OVERFLOW when it does not fit, DISP_E_BADVARTYPE for a
// type this runtime does not know.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, WORD flags, VARTYPE vt);

// The name of a type as a type description spells it ("long", "BSTR", ...).
const char* vartype_name(VARTYPE vt);

class Variant {
  public:
    Variant() { VariantInit(&m_value); }
    static Variant i2(SHORT value);
    static Variant i4(LONG value);
    static Variant r8(DOUBLE value);
    static Variant boolean(bool value);
    static Variant string(std::string_view text);
    // Takes ownership of `value`'s contents and leaves it empty.
    static Variant adopt(VARIANT& value);

    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant other) noexcept;
    ~Variant() { VariantClear(&m_value); }

    VARTYPE type() const { return m_value.vt; }
    const VARIANT& raw() const { return m_value; }
    VARIANT* out() {
        VariantClear(&m_value);
        return &m_value;
    }

    // Readings of the held value; valid only for the matching type.
    SHORT as_i2() const { return m_value.iVal; }
    LONG as_i4() const { return m_value.lVal; }
    DOUBLE as_r8() const { return m_value.dblVal; }
    bool as_bool() const { return m_value.boolVal != VARIANT_FALSE; }
    std::string_view as_string() const { return bstr_view(m_value.bstrVal); }

    // Converted copy; `hr` reports a failed conversion.
    Variant changed_to(VARTYPE vt, HRESULT& hr) const;

  private:
    VARIANT m_value;
};

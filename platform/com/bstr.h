// Automation strings. A BSTR points at the first character of a counted, NUL-terminated buffer
// whose length sits just before it; the text is 8-bit (the control's strings are ANSI).
// A null BSTR is the empty string. Whoever allocates a BSTR frees it with SysFreeString, or hands
// it to a Bstr, which frees it once.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/base/win_types.h"

using OLECHAR = char;
using BSTR = OLECHAR*;

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// The text of a BSTR as a view; valid while the BSTR lives.
inline std::string_view bstr_view(BSTR text) {
    return {text ? text : "", SysStringLen(text)};
}

// Owns one BSTR.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::string_view text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr& other) : Bstr(other.view()) {}
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(m_text, other.m_text);
        return *this;
    }
    ~Bstr() { SysFreeString(m_text); }

    std::string_view view() const { return bstr_view(m_text); }
    std::string str() const { return std::string(view()); }
    BSTR get() const { return m_text; }
    // Gives up ownership, for a BSTR that goes out through a VARIANT or an out-parameter.
    BSTR release() { return std::exchange(m_text, nullptr); }

  private:
    BSTR m_text = nullptr;
};

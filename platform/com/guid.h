// Globally unique identifiers for classes and interfaces.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/win_types.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return a == b;
}

// "{5E21B7A3-6C4F-4D2A-8B19-3F0C7D9E4A10}" (braces optional, any case); nullopt when malformed.
std::optional<GUID> guid_from_string(std::string_view text);
// Upper-case, with braces, the registry's spelling.
std::string guid_to_string(const GUID& guid);

// Type descriptions: what a property browser, a script host or an event sink learns about an
// interface without linking its code. Descriptions are static data owned by the module that
// defines the interface.
#pragma once

#include <string_view>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/variant.h"

using DISPID = LONG;
using MEMBERID = DISPID;
using LCID = DWORD;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_AMBIENT_USERMODE = -709;

enum class MemberKind { property, method };

struct ParamDesc {
    std::string_view name;
    VARTYPE type;
};

struct MemberDesc {
    DISPID dispid;
    std::string_view name;
    MemberKind kind;
    VARTYPE type;  // a property's type, or a method's result (VT_EMPTY when it returns nothing)
    bool read_only = false;
    std::vector<ParamDesc> params = {};
    std::string_view help = {};
};

struct InterfaceDesc {
    IID iid;
    std::string_view name;
    std::string_view doc;
    std::vector<MemberDesc> members;  // in the type library's listing order

    const MemberDesc* find(DISPID dispid) const;
    // Automation names are matched without regard to case.
    const MemberDesc* find(std::string_view name) const;
};

struct CoClassDesc {
    CLSID clsid;
    std::string_view name;
    std::string_view doc;
    const InterfaceDesc* default_interface;
    const InterfaceDesc* source_interface;  // the events, or null
};

struct TypeLibDesc {
    GUID libid;
    std::string_view name;
    WORD major_version;
    WORD minor_version;
    std::string_view help_file;
    std::string_view doc;
    std::vector<const InterfaceDesc*> interfaces;
    std::vector<const CoClassDesc*> coclasses;
};

bool names_equal(std::string_view a, std::string_view b);

#include "platform/com/typeinfo.h"

#include <cctype>

bool names_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const MemberDesc* InterfaceDesc::find(DISPID dispid) const {
    for (const auto& m : members)
        if (m.dispid == dispid) return &m;
    return nullptr;
}

const MemberDesc* InterfaceDesc::find(std::string_view name) const {
    for (const auto& m : members)
        if (names_equal(m.name, name)) return &m;
    return nullptr;
}

#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

// Layout: a 4-byte length in bytes, the characters, a terminating NUL. The BSTR points past the
// length, so it can be read as a C string.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    auto* block = static_cast<char*>(std::malloc(sizeof(UINT) + length + 1));
    if (!block) return nullptr;
    std::memcpy(block, &length, sizeof length);
    BSTR chars = block + sizeof(UINT);
    if (text)
        std::memcpy(chars, text, length);
    else
        std::memset(chars, 0, length);
    chars[length] = '\0';
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::strlen(text)));
}

void SysFreeString(BSTR text) {
    if (text) std::free(text - sizeof(UINT));
}

UINT SysStringLen(BSTR text) {
    if (!text) return 0;
    UINT length;
    std::memcpy(&length, text - sizeof(UINT), sizeof length);
    return length;
}

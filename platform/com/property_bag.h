// Named-value stores for saved state: the interface a control reads and writes its properties
// through by name, and a bag held in memory with a text form that stored layouts embed:
//
//   # comment
//   BufferSize = 2000
//   devInputName = "Line \"A\""
//   Listen = False
//
// One property per line: a name (letters, digits, '_' and '.'; not starting with a digit), '=',
// then a signed 32-bit decimal integer, True or False, or a string in double quotes in which a
// backslash escapes '"', '\', 'n', 'r', 't' and xHH (two hex digits).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

struct IPropertyBag : IUnknown {
    static constexpr IID iid{
        0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
    // `value->vt` on entry is the type wanted (VT_EMPTY: as stored). E_INVALIDARG when the bag
    // has no such name; the conversion's error when the stored value has no reading of that type.
    virtual HRESULT Read(const char* name, VARIANT* value) = 0;
    virtual HRESULT Write(const char* name, VARIANT* value) = 0;

  protected:
    ~IPropertyBag() = default;
};

class PropertyBag final : public ComObject<IPropertyBag> {
  public:
    PropertyBag() = default;

    HRESULT Read(const char* name, VARIANT* value) override;
    HRESULT Write(const char* name, VARIANT* value) override;

    // In the order first written; names compare without regard to case.
    const std::vector<std::pair<std::string, Variant>>& entries() const { return m_entries; }
    const Variant* find(std::string_view name) const;

    // The text form above; VT_I2 and VT_I4 values are written as integers.
    std::string to_text() const;

    struct Parse;
    // Reads the text form; on a malformed line the bag is empty and the error names the line.
    static Parse parse(std::string_view text);

  private:
    ~PropertyBag() = default;
    std::vector<std::pair<std::string, Variant>> m_entries;
};

struct PropertyBag::Parse {
    ComPtr<PropertyBag> bag;  // null on error
    std::string error;        // "line N: why"
};

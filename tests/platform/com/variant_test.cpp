#include <gtest/gtest.h>

#include "platform/com/guid.h"
#include "platform/com/variant.h"

namespace {

Variant convert(const Variant& v, VARTYPE vt, HRESULT expected = S_OK) {
    HRESULT hr = E_FAIL;
    Variant out = v.changed_to(vt, hr);
    EXPECT_EQ(hr, expected) << "converting to " << vartype_name(vt);
    return out;
}

TEST(Variant, IntegersNarrowWithRangeChecksAndRealsRoundHalfToEven) {
    EXPECT_EQ(convert(Variant::i4(5), VT_I2).as_i2(), 5);
    EXPECT_EQ(convert(Variant::i4(-32768), VT_I2).as_i2(), -32768);
    convert(Variant::i4(32768), VT_I2, DISP_E_OVERFLOW);
    convert(Variant::r8(3e10), VT_I4, DISP_E_OVERFLOW);
    EXPECT_EQ(convert(Variant::r8(2.5), VT_I4).as_i4(), 2);
    EXPECT_EQ(convert(Variant::r8(3.5), VT_I4).as_i4(), 4);
    EXPECT_EQ(convert(Variant::r8(-2.5), VT_I4).as_i4(), -2);
}

TEST(Variant, BooleansAndStringsFollowAutomationReadings) {
    EXPECT_EQ(convert(Variant::boolean(true), VT_I4).as_i4(), -1);
    EXPECT_TRUE(convert(Variant::i4(7), VT_BOOL).as_bool());
    EXPECT_FALSE(convert(Variant::i4(0), VT_BOOL).as_bool());
    EXPECT_EQ(convert(Variant::string(" 42 "), VT_I4).as_i4(), 42);
    EXPECT_TRUE(convert(Variant::string("TRUE"), VT_BOOL).as_bool());
    convert(Variant::string("abc"), VT_I4, DISP_E_TYPEMISMATCH);
    convert(Variant::string(""), VT_I2, DISP_E_TYPEMISMATCH);
    convert(Variant::string("1e400"), VT_R8, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(Variant::i4(-12), VT_BSTR).as_string(), "-12");
    EXPECT_EQ(convert(Variant(), VT_BSTR).as_string(), "");
    EXPECT_EQ(convert(Variant(), VT_I4).as_i4(), 0);
}

TEST(Variant, CopiesOwnTheirStringsAndEmbeddedZerosSurvive) {
    const std::string text("a\0b", 3);
    Variant original = Variant::string(text);
    Variant copy = original;
    original = Variant::i4(1);
    EXPECT_EQ(copy.as_string(), text);
    Variant moved = std::move(copy);
    EXPECT_EQ(moved.as_string(), text);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(bstr_view(nullptr), "");
}

TEST(Guid, ParsesAndFormatsTheRegistrySpelling) {
    const auto g = guid_from_string("{5e21b7a6-6c4f-4d2a-8b19-3f0c7d9e4a10}");
    ASSERT_TRUE(g);
    EXPECT_EQ(guid_to_string(*g), "{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}");
    EXPECT_EQ(g->Data1, 0x5E21B7A6u);
    EXPECT_EQ(g->Data4[7], 0x10);
    EXPECT_EQ(guid_from_string("5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10"), g);
    EXPECT_FALSE(guid_from_string("{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A1}"));
    EXPECT_FALSE(guid_from_string("{5E21B7A6+6C4F-4D2A-8B19-3F0C7D9E4A10}"));
    EXPECT_FALSE(guid_from_string("{5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4AG0}"));
    EXPECT_FALSE(guid_from_string(""));
}

}  // namespace

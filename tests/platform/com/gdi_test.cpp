// Bitmaps from resource bytes, the stretching copy and handle safety.
#include <gtest/gtest.h>

#include <vector>

#include "platform/com/gdi.h"

namespace {

using Bytes = std::vector<BYTE>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A 4-bit .bmp of 3 x 2 pixels, bottom-up: the top row is palette 1 2 3, the bottom 0 0 1.
Bytes four_bit_bmp() {
    Bytes b(14 + 40 + 4 * 4 + 2 * 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, 14 + 40 + 16);
    put32(b, 14, 40);
    put32(b, 18, 3);
    put32(b, 22, 2);
    b[26] = 1;
    b[28] = 4;
    put32(b, 46, 4);                                                                // colours used
    const BYTE palette[] = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};  // B G R x
    std::copy(std::begin(palette), std::end(palette), b.begin() + 54);
    b[70] = 0x00;  // bottom row: 0 0 1
    b[71] = 0x10;
    b[74] = 0x12;  // top row: 1 2 3
    b[75] = 0x30;
    return b;
}

struct Canvas {
    explicit Canvas(int w, int h)
        : dc(CreateCompatibleDC(nullptr)), bitmap(CreateCompatibleBitmap(dc, w, h)) {
        old = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

TEST(Gdi, BitmapResourcesDecodeRowsPaletteAndSize) {
    const Bytes bmp = four_bit_bmp();
    const ResourceBitmap bitmaps[] = {{7, bmp}};
    const ResourceString strings[] = {{200, "General"}};
    const ResourceTable table{bitmaps, strings, {}};

    HBITMAP loaded = LoadBitmapA(&table, MAKEINTRESOURCEA(7));
    ASSERT_TRUE(loaded);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(loaded, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);

    Canvas canvas(3, 2);
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(source, loaded);
    EXPECT_EQ(GetPixel(source, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(source, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(source, 2, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(source, 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(source, 0, 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(source, 3, 0), CLR_INVALID);
    SelectObject(source, old);
    DeleteDC(source);
    EXPECT_TRUE(DeleteObject(loaded));
    EXPECT_FALSE(DeleteObject(loaded));  // a second delete is refused, not followed

    EXPECT_FALSE(LoadBitmapA(&table, MAKEINTRESOURCEA(8)));
    char text[4];
    EXPECT_EQ(LoadStringA(&table, 200, text, sizeof text), 3);
    EXPECT_STREQ(text, "Gen");
    EXPECT_EQ(LoadStringA(&table, 1, text, sizeof text), 0);
}

TEST(Gdi, MalformedBitmapBytesLoadAsNothing) {
    std::vector<Bytes> bad;
    Bytes truncated = four_bit_bmp();
    truncated.pop_back();
    bad.push_back(truncated);
    Bytes index_beyond_palette = four_bit_bmp();
    index_beyond_palette[74] = 0x19;
    bad.push_back(index_beyond_palette);
    Bytes compressed = four_bit_bmp();
    compressed[30] = 2;
    bad.push_back(compressed);
    Bytes huge = four_bit_bmp();
    put32(huge, 18, 0x7FFFFFFF);
    bad.push_back(huge);
    Bytes odd_bits = four_bit_bmp();
    odd_bits[28] = 5;
    bad.push_back(odd_bits);
    bad.push_back(Bytes{'B', 'M'});
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const ResourceBitmap bitmaps[] = {{1, bad[i]}};
        const ResourceTable table{bitmaps, {}, {}};
        EXPECT_FALSE(LoadBitmapA(&table, MAKEINTRESOURCEA(1))) << i;
    }
}

TEST(Gdi, StretchingTakesTheNearestSourcePixelAndClipsToTheTarget) {
    Canvas source(2, 2);
    SetPixel(source.dc, 0, 0, RGB(1, 0, 0));
    SetPixel(source.dc, 1, 0, RGB(2, 0, 0));
    SetPixel(source.dc, 0, 1, RGB(3, 0, 0));
    SetPixel(source.dc, 1, 1, RGB(4, 0, 0));

    Canvas target(5, 5);
    ASSERT_TRUE(StretchBlt(target.dc, 1, 1, 4, 4, source.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(1, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 2, 2), RGB(1, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 3, 1), RGB(2, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 4, 4), RGB(4, 0, 0));

    // Far outside on every side: nothing is touched and nothing breaks.
    EXPECT_TRUE(
        StretchBlt(target.dc, -1000000, 3, 2000000, 100000, source.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 0, 4), RGB(2, 0, 0));  // source (1, 0): x 1000000 of 2000000
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 0, 5, source.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 5, 5, source.dc, 0, 0, 100000, 2, SRCCOPY));
    EXPECT_FALSE(CreateCompatibleBitmap(nullptr, 0, 5));
    EXPECT_FALSE(CreateCompatibleBitmap(nullptr, 20000, 5));
}

}  // namespace

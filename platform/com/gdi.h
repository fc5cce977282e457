// The drawing subset a control needs for its face: resources (bitmaps and strings) built into a
// module, bitmaps in memory, device contexts that select a bitmap, a stretching copy between them
// and pixel reads for the container that wants the picture. Colours are COLORREF, 0x00BBGGRR.
// Handles live in one table: a handle deleted twice, or never made, is refused, not followed.
#pragma once

#include <span>

#include "platform/base/win_types.h"

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// A module's resources: bitmaps as the bytes of a .bmp file, strings by number.
struct ResourceBitmap {
    WORD id;
    std::span<const BYTE> bmp_file;
};
struct ResourceString {
    WORD id;
    const char* text;
};
// A dialog template: its size in dialog units of its font, and no controls.
struct ResourceDialog {
    WORD id;
    LONG cx;
    LONG cy;
    const char* font;
    WORD point_size;
    bool child;  // a page inside another window rather than a window of its own
};
struct ResourceTable {
    std::span<const ResourceBitmap> bitmaps;
    std::span<const ResourceString> strings;
    std::span<const ResourceDialog> dialogs;
};
using HINSTANCE = const ResourceTable*;

inline LPCSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(id));
}

struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
using HBITMAP = HGDIOBJ;
struct HDC__;
using HDC = HDC__*;

struct BITMAP {
    LONG bmType;
    LONG bmWidth;       // pixels
    LONG bmHeight;      // pixels
    LONG bmWidthBytes;  // bytes per row
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

inline constexpr DWORD SRCCOPY = 0x00CC0020;

// Loads bitmap resource `name` (MAKEINTRESOURCEA) as a bitmap of its own size; null when the
// module has no such bitmap or its bytes are not an uncompressed 1, 4, 8, 24 or 32-bit .bmp.
HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
// Copies string resource `id` into `buffer` (always terminated); returns its length, 0 if absent.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int buffer_max);
// A bitmap of `width` x `height` pixels, all black. Null for sizes below 1 or above 16384.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// Fills `out` (a BITMAP) and returns the bytes written; 0 for a handle that is not a bitmap.
int GetObjectA(HGDIOBJ object, int size, void* out);
BOOL DeleteObject(HGDIOBJ object);

// A memory device context; it starts with a 1 x 1 bitmap selected.
HDC CreateCompatibleDC(HDC dc);
// Selects a bitmap into the context; returns the bitmap it replaces, null on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteDC(HDC dc);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
// Copies the source rectangle onto the destination rectangle, scaled by taking the nearest
// source pixel; parts outside either bitmap are skipped. Only SRCCOPY and positive sizes.
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x,
                int source_y, int source_width, int source_height, DWORD rop);

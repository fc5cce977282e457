#include "platform/com/gdi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Bitmap {
    LONG width = 0;
    LONG height = 0;
    std::vector<COLORREF> pixels;  // rows top to bottom
};

struct DeviceContext {
    HBITMAP selected = nullptr;
    HBITMAP own = nullptr;  // the 1 x 1 bitmap a new context starts with
};

constexpr int kMaxSide = 16384;

// Every bitmap and context by handle value. Handles count up and are never reused.
class HandleTable {
  public:
    static HandleTable& instance() {
        static HandleTable table;
        return table;
    }

    HBITMAP add_bitmap(Bitmap bitmap) {
        std::lock_guard lock(m_mutex);
        const auto handle = ++m_next;
        m_bitmaps.emplace(handle, std::make_unique<Bitmap>(std::move(bitmap)));
        return reinterpret_cast<HBITMAP>(handle);
    }
    Bitmap* bitmap(HGDIOBJ handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_bitmaps.find(reinterpret_cast<UINT_PTR>(handle));
        return it == m_bitmaps.end() ? nullptr : it->second.get();
    }
    bool remove_bitmap(HGDIOBJ handle) {
        std::lock_guard lock(m_mutex);
        const auto key = reinterpret_cast<UINT_PTR>(handle);
        // A bitmap still selected into a context stays, as the system keeps it.
        for (const auto& [id, dc] : m_contexts)
            if (dc->selected == handle) return false;
        return m_bitmaps.erase(key) > 0;
    }

    HDC add_context(DeviceContext dc) {
        std::lock_guard lock(m_mutex);
        const auto handle = ++m_next;
        m_contexts.emplace(handle, std::make_unique<DeviceContext>(dc));
        return reinterpret_cast<HDC>(handle);
    }
    DeviceContext* context(HDC handle) {
        std::lock_guard lock(m_mutex);
        auto it = m_contexts.find(reinterpret_cast<UINT_PTR>(handle));
        return it == m_contexts.end() ? nullptr : it->second.get();
    }
    bool remove_context(HDC handle) {
        std::lock_guard lock(m_mutex);
        return m_contexts.erase(reinterpret_cast<UINT_PTR>(handle)) > 0;
    }

  private:
    std::mutex m_mutex;
    UINT_PTR m_next = 0;
    std::map<UINT_PTR, std::unique_ptr<Bitmap>> m_bitmaps;
    std::map<UINT_PTR, std::unique_ptr<DeviceContext>> m_contexts;
};

Bitmap* selected_bitmap(HDC dc) {
    DeviceContext* context = HandleTable::instance().context(dc);
    return context ? HandleTable::instance().bitmap(context->selected) : nullptr;
}

DWORD le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

WORD le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// A .bmp file: 14-byte file header, a header of at least 40 bytes, the palette, the rows.
bool decode_bmp(std::span<const BYTE> file, Bitmap& out) {
    constexpr std::size_t kFileHeader = 14;
    if (file.size() < kFileHeader + 40 || file[0] != 'B' || file[1] != 'M') return false;
    const BYTE* info = file.data() + kFileHeader;
    const DWORD header_size = le32(info);
    const auto width = static_cast<std::int32_t>(le32(info + 4));
    const auto height = static_cast<std::int32_t>(le32(info + 8));
    const WORD bits = le16(info + 14);
    const DWORD compression = le32(info + 16);
    DWORD colours = le32(info + 32);
    const DWORD data_offset = le32(file.data() + 10);
    if (header_size < 40 || header_size > file.size() - kFileHeader || compression != 0)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    // A negative height stores the rows top down.
    const bool top_down = height < 0;
    const std::int64_t rows = top_down ? -static_cast<std::int64_t>(height) : height;
    if (width < 1 || width > kMaxSide || rows < 1 || rows > kMaxSide) return false;
    if (bits <= 8 && (colours == 0 || colours > (1u << bits))) colours = 1u << bits;
    if (bits > 8) colours = 0;
    const std::size_t palette_at = kFileHeader + header_size;
    if (palette_at + colours * 4 > file.size()) return false;
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (data_offset > file.size() || stride * rows > file.size() - data_offset) return false;

    out.width = width;
    out.height = static_cast<LONG>(rows);
    out.pixels.assign(static_cast<std::size_t>(width) * rows, 0);
    const BYTE* palette = file.data() + palette_at;
    for (std::int64_t y = 0; y < rows; ++y) {
        const BYTE* row = file.data() + data_offset + stride * (top_down ? y : rows - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            const BYTE* bgr = nullptr;
            if (bits <= 8) {
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (index >= colours) return false;
                bgr = palette + index * 4;
            } else {
                bgr = row + static_cast<std::size_t>(x) * (bits / 8);
            }
            out.pixels[static_cast<std::size_t>(y) * width + x] = RGB(bgr[2], bgr[1], bgr[0]);
        }
    }
    return true;
}

}  // namespace

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    const auto id = reinterpret_cast<UINT_PTR>(name);
    if (!instance || id > 0xFFFF) return nullptr;  // only numbered resources exist here
    for (const auto& resource : instance->bitmaps) {
        if (resource.id != id) continue;
        Bitmap bitmap;
        if (!decode_bmp(resource.bmp_file, bitmap)) return nullptr;
        return HandleTable::instance().add_bitmap(std::move(bitmap));
    }
    return nullptr;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int buffer_max) {
    if (!instance || !buffer || buffer_max < 1) return 0;
    buffer[0] = '\0';
    for (const auto& resource : instance->strings) {
        if (resource.id != id || !resource.text) continue;
        const std::size_t n =
            std::min(std::strlen(resource.text), static_cast<std::size_t>(buffer_max - 1));
        std::memcpy(buffer, resource.text, n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    return 0;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return nullptr;
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(static_cast<std::size_t>(width) * height, RGB(0, 0, 0));
    return HandleTable::instance().add_bitmap(std::move(bitmap));
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
    Bitmap* bitmap = HandleTable::instance().bitmap(object);
    if (!bitmap || !out || size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP info{0, bitmap->width, bitmap->height, bitmap->width * 4, 1, 32, nullptr};
    std::memcpy(out, &info, sizeof info);
    return sizeof info;
}

BOOL DeleteObject(HGDIOBJ object) {
    return HandleTable::instance().remove_bitmap(object) ? TRUE : FALSE;
}

HDC CreateCompatibleDC(HDC) {
    DeviceContext dc;
    dc.own = CreateCompatibleBitmap(nullptr, 1, 1);
    dc.selected = dc.own;
    return HandleTable::instance().add_context(dc);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    DeviceContext* context = HandleTable::instance().context(dc);
    if (!context || !HandleTable::instance().bitmap(object)) return nullptr;
    return std::exchange(context->selected, object);
}

BOOL DeleteDC(HDC dc) {
    DeviceContext* context = HandleTable::instance().context(dc);
    if (!context) return FALSE;
    const HBITMAP own = context->own;
    HandleTable::instance().remove_context(dc);
    DeleteObject(own);
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    Bitmap* bitmap = selected_bitmap(dc);
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return CLR_INVALID;
    return bitmap->pixels[static_cast<std::size_t>(y) * bitmap->width + x];
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
    Bitmap* bitmap = selected_bitmap(dc);
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return CLR_INVALID;
    return bitmap->pixels[static_cast<std::size_t>(y) * bitmap->width + x] = colour & 0xFFFFFF;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x,
                int source_y, int source_width, int source_height, DWORD rop) {
    Bitmap* to = selected_bitmap(dest);
    Bitmap* from = selected_bitmap(source);
    if (!to || !from || rop != SRCCOPY) return FALSE;
    if (width < 1 || height < 1 || source_width < 1 || source_height < 1) return FALSE;
    // No bitmap is larger than kMaxSide, so a larger source would only read outside it.
    if (source_width > kMaxSide || source_height > kMaxSide) return FALSE;
    // Copied through a buffer of the source rectangle, so that a context may copy onto itself.
    std::vector<COLORREF> copy(static_cast<std::size_t>(source_width) * source_height, CLR_INVALID);
    for (int sy = 0; sy < source_height; ++sy)
        for (int sx = 0; sx < source_width; ++sx) {
            const std::int64_t fx = std::int64_t{source_x} + sx;
            const std::int64_t fy = std::int64_t{source_y} + sy;
            if (fx >= 0 && fy >= 0 && fx < from->width && fy < from->height)
                copy[static_cast<std::size_t>(sy) * source_width + sx] =
                    from->pixels[static_cast<std::size_t>(fy) * from->width + fx];
        }
    // Only the part of the destination rectangle that lies on the bitmap is visited.
    const std::int64_t first_x = std::max<std::int64_t>(0, -std::int64_t{x});
    const std::int64_t last_x = std::min<std::int64_t>(width, std::int64_t{to->width} - x);
    const std::int64_t first_y = std::max<std::int64_t>(0, -std::int64_t{y});
    const std::int64_t last_y = std::min<std::int64_t>(height, std::int64_t{to->height} - y);
    for (std::int64_t dy = first_y; dy < last_y; ++dy) {
        const std::int64_t sy = dy * source_height / height;
        for (std::int64_t dx = first_x; dx < last_x; ++dx) {
            const std::int64_t sx = dx * source_width / width;
            const COLORREF c = copy[static_cast<std::size_t>(sy * source_width + sx)];
            if (c != CLR_INVALID)
                to->pixels[static_cast<std::size_t>((y + dy) * to->width + x + dx)] = c;
        }
    }
    return TRUE;
}

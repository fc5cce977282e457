#include "tools/script/png_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

void put_be32(std::vector<BYTE>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(value >> shift));
}

// Length, type, data and a CRC over type and data.
void put_chunk(std::vector<BYTE>& out, const char (&type)[5], const std::vector<BYTE>& data) {
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t crc_from = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + crc_from, static_cast<uInt>(out.size() - crc_from));
    put_be32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

bool write_png(const std::filesystem::path& path, int width, int height,
               std::span<const COLORREF> pixels, std::string& error) {
    if (width < 1 || height < 1 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        error = "no picture to write";
        return false;
    }
    // Each row starts with filter type 0 (none).
    std::vector<BYTE> raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixels[static_cast<std::size_t>(y) * width + x];
            raw.push_back(static_cast<BYTE>(c & 0xFF));
            raw.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
            raw.push_back(static_cast<BYTE>((c >> 16) & 0xFF));
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<BYTE> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) !=
        Z_OK) {
        error = "cannot compress the picture";
        return false;
    }
    packed.resize(packed_size);

    std::vector<BYTE> header;
    put_be32(header, static_cast<std::uint32_t>(width));
    put_be32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace

    std::vector<BYTE> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    put_chunk(file, "IHDR", header);
    put_chunk(file, "IDAT", packed);
    put_chunk(file, "IEND", {});

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out ||
        !out.write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size())) ||
        !out.flush()) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

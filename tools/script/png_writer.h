// Writes a picture as a PNG file: 8-bit RGB, no interlace, one zlib-compressed data chunk.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "platform/com/gdi.h"

// `pixels` holds `width` x `height` COLORREF values, rows top to bottom. On failure returns
// false and says why in `error`.
bool write_png(const std::filesystem::path& path, int width, int height,
               std::span<const COLORREF> pixels, std::string& error);

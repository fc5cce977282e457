#include "platform/codec/id3v2_tag.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace quillon::codec {

namespace {

constexpr BYTE kLatin1 = 0;
constexpr BYTE kUtf16 = 1;

// The code points of valid UTF-8, or nothing.
std::optional<std::u32string> decode_utf8(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80         ? 1
                     : (lead >> 5) == 6  ? 2
                     : (lead >> 4) == 14 ? 3
                     : (lead >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > text.size()) return std::nullopt;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are no valid UTF-8.
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return std::nullopt;
        out.push_back(code);
        i += length;
    }
    return out;
}

std::u32string code_points(std::string_view text) {
    if (auto decoded = decode_utf8(text)) return *decoded;
    std::u32string latin1;  // each byte is its code point
    for (char c : text) latin1.push_back(static_cast<unsigned char>(c));
    return latin1;
}

bool fits_latin1(const std::u32string& text) {
    return std::all_of(text.begin(), text.end(), [](char32_t c) { return c <= 0xFF; });
}

// One string in the frame's encoding; `terminated` adds the encoding's NUL.
void append_string(std::vector<BYTE>& out, const std::u32string& text, BYTE encoding,
                   bool terminated) {
    if (encoding == kLatin1) {
        for (char32_t c : text) out.push_back(static_cast<BYTE>(c));
        if (terminated) out.push_back(0);
        return;
    }
    auto unit = [&](char32_t u) {
        out.push_back(static_cast<BYTE>(u & 0xFF));
        out.push_back(static_cast<BYTE>(u >> 8));
    };
    unit(0xFEFF);  // little-endian, as its byte-order mark says
    for (char32_t c : text) {
        if (c > 0xFFFF) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    if (terminated) unit(0);
}

void append_be32(std::vector<BYTE>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(value >> shift));
}

// The frame's body: the encoding byte, then what its kind holds.
std::vector<BYTE> frame_body(const Id3Text& t) {
    const std::u32string text = code_points(t.text);
    const std::u32string description = code_points(t.description);
    const bool has_description = t.frame == "COMM" || t.frame == "TXXX";
    const BYTE encoding =
        fits_latin1(text) && (!has_description || fits_latin1(description)) ? kLatin1 : kUtf16;
    std::vector<BYTE> body{encoding};
    if (t.frame == "COMM") body.insert(body.end(), {'e', 'n', 'g'});
    if (has_description) append_string(body, description, encoding, true);
    append_string(body, text, encoding, false);
    return body;
}

}  // namespace

std::vector<BYTE> id3v2_tag(std::span<const Id3Text> texts) {
    std::vector<BYTE> frames;
    for (const Id3Text& t : texts) {
        if (t.text.empty() || t.frame.size() != 4) continue;
        const std::vector<BYTE> body = frame_body(t);
        frames.insert(frames.end(), t.frame.begin(), t.frame.end());
        append_be32(frames, static_cast<std::uint32_t>(body.size()));
        frames.insert(frames.end(), {0, 0});  // no frame flags
        frames.insert(frames.end(), body.begin(), body.end());
    }
    if (frames.empty()) return {};
    // The tag's size leaves out its 10-byte header and is stored 7 bits a byte.
    const auto size = static_cast<std::uint32_t>(frames.size());
    std::vector<BYTE> tag{'I',
                          'D',
                          '3',
                          3,
                          0,
                          0,
                          static_cast<BYTE>((size >> 21) & 0x7F),
                          static_cast<BYTE>((size >> 14) & 0x7F),
                          static_cast<BYTE>((size >> 7) & 0x7F),
                          static_cast<BYTE>(size & 0x7F)};
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

}  // namespace quillon::codec

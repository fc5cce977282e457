#include "platform/codec/mpeg_frame.h"

#include <cstring>

namespace quillon::codec {

namespace {

// Sample rates by version field (0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1) and rate index.
constexpr DWORD kRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

DWORD be32(const BYTE* p) {
    return DWORD{p[0]} << 24 | DWORD{p[1]} << 16 | DWORD{p[2]} << 8 | p[3];
}

bool tag_is(std::span<const BYTE> frame, DWORD at, const char* tag) {
    return at + 4 <= frame.size() && std::memcmp(frame.data() + at, tag, 4) == 0;
}

// An encoder's name opens LAME's extension ("LAME3.100", "Lavc59.37"); a frame without the
// extension has zeros or nothing there.
bool names_an_encoder(const BYTE* name) {
    for (int i = 0; i < 4; ++i) {
        const BYTE c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

std::optional<MpegInfoFrame> parse_xing(std::span<const BYTE> frame, DWORD at) {
    MpegInfoFrame info;
    info.kind = tag_is(frame, at, "Xing") ? MpegInfoFrame::Kind::xing : MpegInfoFrame::Kind::info;
    if (at + 8 > frame.size()) return info;
    const DWORD flags = be32(&frame[at + 4]);
    DWORD field = at + 8;
    auto next = [&](DWORD size) -> const BYTE* {
        if (field + size > frame.size()) return nullptr;
        const BYTE* p = &frame[field];
        field += size;
        return p;
    };
    if (flags & 1)
        if (const BYTE* p = next(4)) info.frames = be32(p);
    if (flags & 2)
        if (const BYTE* p = next(4)) info.bytes = be32(p);
    if (flags & 4) next(100);  // the table of contents: a hundredth of the time each
    if (flags & 8) next(4);    // quality
    if (field + 24 <= frame.size() && names_an_encoder(&frame[field])) {
        const BYTE* lame = &frame[field];
        info.has_delay = true;
        info.delay = lame[21] << 4 | lame[22] >> 4;
        info.padding = (lame[22] & 0x0F) << 8 | lame[23];
    }
    return info;
}

std::optional<MpegInfoFrame> parse_vbri(std::span<const BYTE> frame, DWORD at) {
    // "VBRI", version, delay, quality (2 bytes each), bytes, frames (4 each), then the table.
    if (at + 18 > frame.size()) return std::nullopt;
    MpegInfoFrame info;
    info.kind = MpegInfoFrame::Kind::vbri;
    info.bytes = be32(&frame[at + 10]);
    info.frames = be32(&frame[at + 14]);
    return info;
}

}  // namespace

DWORD MpegFrameHeader::side_info_end() const {
    const DWORD side =
        version == MpegVersion::mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    return 4 + (crc ? 2 : 0) + side;
}

std::optional<MpegFrameHeader> parse_mpeg_frame_header(std::span<const BYTE> bytes) {
    if (bytes.size() < 4) return std::nullopt;
    const BYTE* h = bytes.data();
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    const int version = (h[1] >> 3) & 3;
    const int layer = (h[1] >> 1) & 3;  // 1: Layer III
    const int kbps_index = h[2] >> 4;
    const int rate_index = (h[2] >> 2) & 3;
    if (version == 1 || layer != 1 || kbps_index == 0 || kbps_index == 15 || rate_index == 3)
        return std::nullopt;
    MpegFrameHeader header;
    header.version = version == 3   ? MpegVersion::mpeg1
                     : version == 2 ? MpegVersion::mpeg2
                                    : MpegVersion::mpeg25;
    const bool mpeg1 = header.version == MpegVersion::mpeg1;
    header.rate = kRates[version][rate_index];
    header.kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[static_cast<std::size_t>(kbps_index - 1)];
    header.channels = (h[3] >> 6) == 3 ? 1 : 2;
    header.crc = (h[1] & 1) == 0;
    header.samples = mpeg1 ? 1152 : 576;
    const DWORD padding = (h[2] >> 1) & 1;
    header.bytes = header.samples / 8 * header.kbps * 1000 / header.rate + padding;
    return header;
}

bool same_mpeg_stream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.version == b.version && a.rate == b.rate;
}

std::optional<MpegInfoFrame> parse_mpeg_info_frame(std::span<const BYTE> frame,
                                                   const MpegFrameHeader& header) {
    const DWORD xing = header.side_info_end();
    if (tag_is(frame, xing, "Xing") || tag_is(frame, xing, "Info")) return parse_xing(frame, xing);
    // VBRI sits at one place in every kind of frame.
    if (tag_is(frame, 36, "VBRI")) return parse_vbri(frame, 36);
    return std::nullopt;
}

}  // namespace quillon::codec

// Reading back the structure of an MP3 file in tests: the ID3v2 tag, the info frame's fields and
// a walk over every frame, so a test can check that the file is whole and says what it holds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace quillon_test {

struct Mp3Layout {
    std::size_t tag_bytes = 0;                      // ID3v2 tag with its header
    std::map<std::string, std::string> tag_frames;  // frame id -> raw body
    std::string info_kind;          // "Info", "Xing" or "" when there is no info frame
    std::uint32_t info_frames = 0;  // frames the info frame announces
    std::uint32_t info_bytes = 0;
    int delay = -1, padding = -1;  // from the LAME extension
    std::size_t audio_frames = 0;  // frames after the info frame
    std::size_t samples_per_frame = 0;
    int rate = 0;
    // The most frames before its own that any audio frame takes main data from (the bit
    // reservoir): after a seek, that many frames cannot be decoded yet.
    std::size_t reservoir_frames = 0;
    bool whole = false;  // the walk ended exactly at the end of the file
};

inline std::size_t mp3_frame_bytes(const unsigned char* h, int* rate = nullptr,
                                   std::size_t* samples = nullptr) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1) return 0;
    const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int kbps_index = h[2] >> 4, rate_index = (h[2] >> 2) & 3;
    if (version == 1 || kbps_index == 0 || kbps_index == 15 || rate_index == 3) return 0;
    static const int k1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int k2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int rates[3][3] = {
        {11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int r = rates[version == 3 ? 2 : version == 2 ? 1 : 0][rate_index];
    const int kbps = version == 3 ? k1[kbps_index] : k2[kbps_index];
    if (rate) *rate = r;
    if (samples) *samples = version == 3 ? 1152 : 576;
    return static_cast<std::size_t>((version == 3 ? 144000 : 72000) * kbps / r + ((h[2] >> 1) & 1));
}

inline std::uint32_t be32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Bytes of main data in a frame of `bytes` (after the header, a CRC and the side information),
// and how far back its main data begins.
struct MainData {
    std::size_t room = 0;
    std::size_t begins_back = 0;
};

inline MainData mp3_main_data(const unsigned char* h, std::size_t bytes) {
    const bool mpeg1 = ((h[1] >> 3) & 3) == 3, mono = (h[3] >> 6) == 3;
    const std::size_t crc = (h[1] & 1) ? 0 : 2;
    const std::size_t side = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const unsigned char* s = h + 4 + crc;
    const std::size_t back = mpeg1 ? (std::size_t{s[0]} << 1 | s[1] >> 7) : s[0];
    return {bytes - 4 - crc - side, back};
}

inline Mp3Layout mp3_layout(const std::vector<unsigned char>& f) {
    Mp3Layout l;
    std::size_t at = 0;
    if (f.size() >= 10 && std::memcmp(f.data(), "ID3", 3) == 0) {
        const std::size_t size =
            std::size_t{f[6]} << 21 | std::size_t{f[7]} << 14 | std::size_t{f[8]} << 7 | f[9];
        l.tag_bytes = 10 + size;
        for (std::size_t p = 10; p + 10 <= l.tag_bytes;) {
            const std::string id(reinterpret_cast<const char*>(&f[p]), 4);
            const std::size_t n = be32(&f[p + 4]);
            if (id[0] == 0 || p + 10 + n > l.tag_bytes) break;
            l.tag_frames[id] = std::string(reinterpret_cast<const char*>(&f[p + 10]), n);
            p += 10 + n;
        }
        at = l.tag_bytes;
    }
    bool first = true;
    std::vector<std::size_t> rooms;  // main data room of the audio frames so far
    while (at + 4 <= f.size()) {
        std::size_t spf = 0;
        const std::size_t n = mp3_frame_bytes(&f[at], &l.rate, &spf);
        if (n == 0 || at + n > f.size()) return l;
        l.samples_per_frame = spf;
        if (first) {
            first = false;
            // The tag sits after the side information, at one of its four lengths.
            for (std::size_t side : {9, 17, 32}) {
                const unsigned char* t = &f[at + 4 + side];
                if (at + 4 + side + 156 > f.size()) break;
                if (std::memcmp(t, "Info", 4) == 0 || std::memcmp(t, "Xing", 4) == 0) {
                    l.info_kind = std::string(reinterpret_cast<const char*>(t), 4);
                    l.info_frames = be32(t + 8);
                    l.info_bytes = be32(t + 12);
                    const unsigned char* lame = t + 120;
                    l.delay = lame[21] << 4 | lame[22] >> 4;
                    l.padding = (lame[22] & 0xF) << 8 | lame[23];
                }
            }
            if (!l.info_kind.empty()) {
                at += n;
                continue;
            }
        }
        if (at + 4 + 2 + 32 <= f.size()) {
            const MainData main = mp3_main_data(&f[at], n);
            std::size_t back = main.begins_back, frames = 0;
            for (auto room = rooms.rbegin(); back > 0 && room != rooms.rend(); ++room, ++frames)
                back = back > *room ? back - *room : 0;
            l.reservoir_frames = std::max(l.reservoir_frames, frames);
            rooms.push_back(main.room);
        }
        ++l.audio_frames;
        at += n;
    }
    l.whole = at == f.size();
    return l;
}

}  // namespace quillon_test

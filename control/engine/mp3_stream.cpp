#include "control/engine/mp3_stream.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "control/engine/little_endian.h"
#include "control/engine/mp3_stream_header.h"
#include "platform/codec/mpeg_frame.h"

namespace kelvane::engine {

namespace {

using quillon::codec::MpegFrameHeader;
using quillon::codec::MpegInfoFrame;

// How far past the tags the first frame is looked for: players skip that much junk too.
constexpr DWORD kSyncWindow = 64 * 1024;
// Bytes read at once while walking the frame headers.
constexpr DWORD kWalkChunk = 256 * 1024;

std::optional<MpegFrameHeader> header_in(std::span<const BYTE> bytes, DWORD at) {
    if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
    return quillon::codec::parse_mpeg_frame_header(bytes.subspan(at, 4));
}

// Reads `count` bytes at `offset`; fewer at the end of the file.
std::vector<BYTE> read_at(HMMIO file, DWORD offset, DWORD count) {
    std::vector<BYTE> bytes(count);
    if (mmioSeek(file, static_cast<LONG>(offset), SEEK_SET) != static_cast<LONG>(offset)) return {};
    const LONG got =
        mmioRead(file, reinterpret_cast<char*>(bytes.data()), static_cast<LONG>(count));
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

// The 4 bytes at an offset of a file, read a chunk at a time.
class HeaderReader {
  public:
    HeaderReader(HMMIO file, DWORD end, DWORD chunk) : m_file(file), m_end(end), m_buffer(chunk) {}

    std::optional<MpegFrameHeader> header(DWORD offset) {
        if (offset >= m_end || m_end - offset < 4) return std::nullopt;
        if (offset < m_start || offset + 4 > m_start + m_valid) {
            const DWORD want = std::min<DWORD>(static_cast<DWORD>(m_buffer.size()), m_end - offset);
            m_valid = 0;
            if (mmioSeek(m_file, static_cast<LONG>(offset), SEEK_SET) != static_cast<LONG>(offset))
                return std::nullopt;
            const LONG got =
                mmioRead(m_file, reinterpret_cast<char*>(m_buffer.data()), static_cast<LONG>(want));
            if (got < 4) return std::nullopt;
            m_start = offset;
            m_valid = static_cast<DWORD>(got);
        }
        return quillon::codec::parse_mpeg_frame_header({&m_buffer[offset - m_start], 4});
    }

  private:
    HMMIO m_file;
    DWORD m_end;
    std::vector<BYTE> m_buffer;
    DWORD m_start = 0;
    DWORD m_valid = 0;
};

struct Walk {
    DWORD frames = 0;
    DWORD end = 0;  // after the last whole frame
    bool varied = false;
};

// Walks the frames of the stream of `first` from `from` to `end`, calling `each(index, offset)`
// for every frame until it answers false. Bytes that are no frame of the stream (a damaged stretch)
// are stepped over to the next header that the one after it confirms, as decoders do.
template <typename Each>
Walk walk_frames(HeaderReader& reader, DWORD from, DWORD end, const MpegFrameHeader& first,
                 Each each) {
    Walk walk;
    walk.end = from;
    DWORD at = from;
    auto belongs = [&](const std::optional<MpegFrameHeader>& h) {
        return h && quillon::codec::same_mpeg_stream(*h, first);
    };
    while (at < end && end - at >= 4) {
        auto h = reader.header(at);
        if (!belongs(h)) {
            // Look for the next confirmed header.
            bool found = false;
            for (++at; at < end && end - at >= 4; ++at) {
                h = reader.header(at);
                if (!belongs(h)) continue;
                const DWORD next = at + h->bytes;
                if (next == end || belongs(reader.header(next))) {
                    found = true;
                    break;
                }
            }
            if (!found) break;
            h = reader.header(at);  // the buffer may have moved on to the next one
        }
        if (h->bytes > end - at) break;  // a frame cut short decodes to nothing
        if (!each(walk.frames, at)) break;
        if (h->kbps != first.kbps) walk.varied = true;
        ++walk.frames;
        at += h->bytes;
        walk.end = at;
    }
    return walk;
}

// Offset of the first frame in `window` (file bytes from `base` on) that starts a stream: the
// next frame follows, or the file ends with it. Frames after junk need one more confirmation.
std::optional<DWORD> first_frame(std::span<const BYTE> window, DWORD base, DWORD file_length) {
    for (DWORD at = 0; at + 4 <= window.size(); ++at) {
        const auto h = header_in(window, at);
        if (!h) continue;
        const DWORD next = at + h->bytes;
        if (base + next == file_length) return at;
        const auto second = header_in(window, next);
        if (!second || !quillon::codec::same_mpeg_stream(*h, *second)) continue;
        if (at == 0) return at;
        const DWORD third = next + second->bytes;
        if (base + third == file_length) return at;
        const auto h3 = header_in(window, third);
        if (h3 && quillon::codec::same_mpeg_stream(*h, *h3)) return at;
    }
    return std::nullopt;
}

// What the window holds instead of Layer III frames.
Mp3Problem problem_in(std::span<const BYTE> window) {
    for (DWORD at = 0; at + 4 <= window.size(); ++at) {
        const BYTE* h = &window[at];
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 3) & 3) == 1) continue;
        const int layer = (h[1] >> 1) & 3;
        const int kbps_index = h[2] >> 4, rate_index = (h[2] >> 2) & 3;
        if (rate_index == 3 || kbps_index == 15 || layer == 0) continue;
        if (layer != 1 && kbps_index != 0) return Mp3Problem::other_layer;
        if (layer == 1 && kbps_index == 0) return Mp3Problem::free_format;
    }
    return Mp3Problem::no_frames;
}

// ID3v2 tags at `at`: their bytes (headers, footers and padding included), 0 when there is none.
DWORD id3v2_bytes(HMMIO file, DWORD at, DWORD file_length) {
    DWORD total = 0;
    for (;;) {
        const auto head = read_at(file, at + total, 10);
        if (head.size() < 10 || std::memcmp(head.data(), "ID3", 3) != 0) return total;
        if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return total;  // no synchsafe size
        DWORD size = DWORD{head[6]} << 21 | DWORD{head[7]} << 14 | DWORD{head[8]} << 7 | head[9];
        size += 10 + ((head[5] & 0x10) ? 10 : 0);  // a footer repeats the header
        if (size > file_length - at - total) return file_length - at;
        total += size;
    }
}

// Where the audio ends: before an ID3v1 tag and an APEv2 tag, which players read separately.
DWORD audio_end(HMMIO file, DWORD start, DWORD file_length) {
    DWORD end = file_length;
    if (end - start >= 128) {
        const auto tail = read_at(file, end - 128, 3);
        if (tail.size() == 3 && std::memcmp(tail.data(), "TAG", 3) == 0) end -= 128;
    }
    if (end - start >= 32) {
        const auto footer = read_at(file, end - 32, 32);
        if (footer.size() == 32 && std::memcmp(footer.data(), "APETAGEX", 8) == 0) {
            DWORD size = get_u32(&footer[12]);                   // items and footer
            if (get_u32(&footer[20]) & 0x80000000u) size += 32;  // and a header
            if (size <= end - start) end -= size;
        }
    }
    return end;
}

WORD block_size_for(const MpegFrameHeader& h, DWORD kbps) {
    WORD size = 0;
    if (mp3_block_size(h.channels, h.rate, static_cast<int>(kbps), size) == 0) return size;
    // Combinations the table does not hold: the frame's own length.
    return static_cast<WORD>(h.samples / 8 * kbps * 1000 / h.rate);
}

// The length that an info frame tells, when it fits the bytes that follow it.
bool take_info_length(const MpegInfoFrame& info, const MpegFrameHeader& h, DWORD audio_bytes,
                      Mp3Stream& s) {
    if (!info.frames || *info.frames == 0) return false;
    // Frames hold at least 8 kbit/s and at most 320; a count outside what the bytes allow is
    // a file cut short or a stale tag.
    const std::uint64_t frames = *info.frames;
    const std::uint64_t smallest = h.samples / 8 * 8 * 1000 / h.rate;
    const std::uint64_t largest = h.samples / 8 * 320 * 1000 / h.rate + 1;
    if (frames * smallest > audio_bytes + largest || frames * largest + largest < audio_bytes)
        return false;
    s.frames = *info.frames;
    const std::uint64_t raw = frames * h.samples;
    if (info.has_delay) {
        const std::uint64_t trimmed = std::uint64_t(info.delay) + std::uint64_t(info.padding);
        s.samples = raw > trimmed ? raw - trimmed : 0;
        s.skipped = static_cast<DWORD>(std::min<std::uint64_t>(
            raw, std::uint64_t(info.delay) + quillon::codec::kMpegDecoderDelay));
    } else {
        s.samples = raw;
    }
    return true;
}

int read_peer(HMMIO file, DWORD file_length, DWORD tags, Mp3Stream& out, Mp3Problem& problem) {
    const auto window = read_at(file, tags, std::min(kSyncWindow, file_length - tags));
    const auto start = first_frame(window, tags, file_length);
    if (!start) {
        problem = problem_in(window);
        return -2;
    }
    Mp3Stream s;
    s.layout = Mp3Stream::Layout::peer;
    s.tag_bytes = tags;
    const DWORD first = tags + *start;
    const MpegFrameHeader h = *header_in(window, *start);
    const DWORD end = audio_end(file, first, file_length);
    if (end <= first) {
        problem = Mp3Problem::no_frames;
        return -2;
    }
    s.samples_per_frame = h.samples;
    s.data_start = first;
    s.first_audio = first;

    const auto frame = read_at(file, first, h.bytes);
    const auto info = quillon::codec::parse_mpeg_info_frame(frame, h);
    MpegFrameHeader audio = h;
    bool known = false;
    if (info) {
        s.first_audio = first + h.bytes;
        // Decoders know Xing and Info frames and take the encoder's delay from them; a VBRI
        // frame they would play as a frame of noise, so the audio starts after it.
        if (info->kind == MpegInfoFrame::Kind::vbri) s.data_start = s.first_audio;
        HeaderReader reader(file, end, 4096);
        if (const auto next = reader.header(s.first_audio)) audio = *next;
        s.variable = info->kind != MpegInfoFrame::Kind::info;
        s.length = info->kind == MpegInfoFrame::Kind::xing   ? Mp3Stream::Length::xing
                   : info->kind == MpegInfoFrame::Kind::info ? Mp3Stream::Length::info
                                                             : Mp3Stream::Length::vbri;
        known = end > s.first_audio && take_info_length(*info, h, end - s.first_audio, s);
    }
    DWORD audio_bytes_end = end;
    if (!known) {
        HeaderReader reader(file, end, kWalkChunk);
        const Walk walk =
            walk_frames(reader, s.first_audio, end, audio, [](DWORD, DWORD) { return true; });
        if (walk.frames == 0 && !info) {
            problem = Mp3Problem::no_frames;
            return -2;
        }
        s.length = Mp3Stream::Length::scan;
        s.frames = walk.frames;
        s.samples = std::uint64_t{walk.frames} * h.samples;
        s.skipped = 0;
        s.variable = walk.varied;
        audio_bytes_end = std::max(walk.end, s.first_audio);
    }
    s.data_size = audio_bytes_end - s.data_start;
    s.first_kbps = audio.kbps;
    const std::uint64_t raw = std::uint64_t{s.frames} * h.samples;
    s.average_kbps =
        s.variable && raw > 0
            ? static_cast<DWORD>(((audio_bytes_end - s.first_audio) * 8ull * h.rate + raw * 500) /
                                 (raw * 1000))
            : audio.kbps;
    if (s.average_kbps == 0) s.average_kbps = audio.kbps;
    s.format = mp3_file_format(audio.channels, h.rate, static_cast<int>(s.average_kbps),
                               block_size_for(audio, s.average_kbps));
    out = s;
    return 0;
}

// The control's own layout: its header at 0, directly followed by the encoder's first frame,
// and no frame where the header's own frame would end.
bool looks_own(HMMIO file, DWORD file_length) {
    const auto head = read_at(file, 0, std::min<DWORD>(file_length, 8));
    const auto h0 = header_in(head, 0);
    if (!h0) return true;  // whatever it is, the header reader decides as it always did
    const auto window = read_at(file, 0, std::min<DWORD>(file_length, h0->bytes + 4));
    if (quillon::codec::parse_mpeg_info_frame(window, *h0)) return false;
    const auto at4 = header_in(head, 4);
    const bool frame_at_4 = at4 && quillon::codec::same_mpeg_stream(*h0, *at4);
    const auto next = header_in(window, h0->bytes);
    const bool frame_follows = next && quillon::codec::same_mpeg_stream(*h0, *next);
    return frame_at_4 || !frame_follows;
}

}  // namespace

int read_mp3_stream(std::string_view path, Mp3Stream& stream, Mp3Problem* problem) {
    Mp3Problem found = Mp3Problem::unreadable;
    auto fail = [&] {
        if (problem) *problem = found;
        return -2;
    };
    if (path.empty() || path.size() > kMaxPathChars || path.find('\0') != path.npos) return fail();
    const std::string name(path);
    MMIOINFO info{};
    UniqueHmmio file(mmioOpen(name.c_str(), &info, MMIO_READ));
    if (!file) return fail();
    const LONG length = mmioSeek(file.get(), 0, SEEK_END);
    if (length < 0) return fail();
    const auto file_length = static_cast<DWORD>(length);

    const DWORD tags = id3v2_bytes(file.get(), 0, file_length);
    if (tags == 0 && looks_own(file.get(), file_length)) {
        Mp3Stream s;
        DWORD data_size = 0;
        if (read_mp3_stream_header(path, s.format, data_size) != 0) {
            // Not ours; maybe someone's with something before its first frame.
            found = Mp3Problem::none;
            if (read_peer(file.get(), file_length, 0, stream, found) == 0) return 0;
            return fail();
        }
        s.data_start = 4;
        s.data_size = data_size;
        stream = s;
        return 0;
    }
    found = Mp3Problem::none;
    if (read_peer(file.get(), file_length, tags, stream, found) != 0) return fail();
    return 0;
}

std::string mp3_problem_text(Mp3Problem problem) {
    switch (problem) {
        case Mp3Problem::none:
            return "";
        case Mp3Problem::unreadable:
            return "the file cannot be read";
        case Mp3Problem::no_frames:
            return "no MPEG audio frame where the audio should begin";
        case Mp3Problem::free_format:
            return "free-format MPEG audio (no bit rate in its frames) is not supported";
        case Mp3Problem::other_layer:
            return "MPEG Layer I and II audio is not supported, only Layer III (MP3)";
    }
    return "";
}

bool Mp3FrameIndex::build(HMMIO file, const Mp3Stream& stream) {
    clear();
    const DWORD end = stream.data_start + stream.data_size;
    HeaderReader reader(file, end, kWalkChunk);
    const auto first = reader.header(stream.first_audio);
    if (!first) return false;
    // One allocation: a point per stride of the most frames the bytes can hold.
    const DWORD smallest = std::max<DWORD>(1, first->samples / 8 * 8 * 1000 / first->rate);
    m_points.reserve((end - stream.first_audio) / smallest / kStride + 2);
    const Walk walk = walk_frames(reader, stream.first_audio, end, *first, [&](DWORD i, DWORD at) {
        if (i % kStride == 0) m_points.push_back(at);
        return true;
    });
    m_frames = walk.frames;
    m_end = walk.end;
    if (m_points.empty()) m_points.push_back(stream.first_audio);
    return true;
}

LONG Mp3FrameIndex::offset_of(HMMIO file, DWORD frame) const {
    if (m_points.empty()) return -1;
    if (frame >= m_frames) return static_cast<LONG>(m_end);
    const DWORD from = m_points[frame / kStride];
    const DWORD steps = frame % kStride;
    if (steps == 0) return static_cast<LONG>(from);
    HeaderReader reader(file, m_end, 4096);
    const auto first = reader.header(from);
    if (!first) return -1;
    LONG found = -1;
    walk_frames(reader, from, m_end, *first, [&](DWORD i, DWORD at) {
        if (i < steps) return true;
        found = static_cast<LONG>(at);
        return false;
    });
    return found;
}

void Mp3FrameIndex::clear() {
    m_points.clear();
    m_frames = 0;
    m_end = 0;
}

}  // namespace kelvane::engine

// MPEG audio Layer III frames as files hold them: the 4-byte header that starts every frame, and
// the info frame that many encoders put first (Xing or Info with LAME's extension, or VBRI),
// which tells the length of the stream without reading it. Pure functions over bytes: the
// callers read the files.
#pragma once

#include <array>
#include <optional>
#include <span>

#include "platform/base/win_types.h"

namespace quillon::codec {

// Bit rates in kbit/s by header index 1..14, for MPEG-1 and for MPEG-2 and 2.5.
inline constexpr std::array<DWORD, 14> kMpeg1Kbps = {32,  40,  48,  56,  64,  80,  96,
                                                     112, 128, 160, 192, 224, 256, 320};
inline constexpr std::array<DWORD, 14> kMpeg2Kbps = {8,  16, 24, 32,  40,  48,  56,
                                                     64, 80, 96, 112, 128, 144, 160};

enum class MpegVersion { mpeg1, mpeg2, mpeg25 };

struct MpegFrameHeader {
    MpegVersion version = MpegVersion::mpeg1;
    DWORD rate = 0;     // Hz
    DWORD kbps = 0;     // of this frame
    WORD channels = 0;  // 1 in the mono channel mode, else 2
    bool crc = false;   // a 16-bit check word follows the header
    DWORD bytes = 0;    // the whole frame, header included
    DWORD samples = 0;  // per channel: 1152 for MPEG-1, 576 for MPEG-2 and 2.5

    // Where the frame's side information ends, counted from the frame's first byte: an info
    // frame's tag starts there.
    [[nodiscard]] DWORD side_info_end() const;
};

// The header in the first 4 bytes of `bytes`, or none when they are not a Layer III header with
// a bit rate of the table (free format) and a listed sample rate.
[[nodiscard]] std::optional<MpegFrameHeader> parse_mpeg_frame_header(std::span<const BYTE> bytes);

// Frames of one stream share version and sample rate; only the bit rate, padding and channel
// mode extension change from frame to frame.
[[nodiscard]] bool same_mpeg_stream(const MpegFrameHeader& a, const MpegFrameHeader& b);

struct MpegInfoFrame {
    enum class Kind { xing, info, vbri };
    Kind kind = Kind::info;       // Xing: variable bit rate; Info: constant; VBRI: variable
    std::optional<DWORD> frames;  // audio frames of the stream, this one not counted
    std::optional<DWORD> bytes;   // bytes of the stream, this frame included
    // LAME's extension: the samples the encoder put before the audio and after it.
    bool has_delay = false;
    int delay = 0;
    int padding = 0;
};

// What `frame` (one whole frame that `header` describes, header first) says when it is an info
// frame rather than audio; none for an audio frame.
[[nodiscard]] std::optional<MpegInfoFrame> parse_mpeg_info_frame(std::span<const BYTE> frame,
                                                                 const MpegFrameHeader& header);

// mpg123 holds back this many samples of every stream it decodes besides the encoder's delay,
// and drops them from the start when an info frame tells the delay.
inline constexpr int kMpegDecoderDelay = 529;

}  // namespace quillon::codec

// Raw MP3 files: one 4-byte MPEG audio frame header that describes the file's format to the
// control, then the encoder's output. On reading, the header is skipped, never decoded as audio.
//
// Results: 0 success; -2 for a format that is not MPEG Layer-3 (writing) or a file that cannot
// be read or whose header is refused (reading); -1 for everything else that fails.
#pragma once

#include <array>
#include <string_view>

#include "control/engine/wave_format.h"
#include "platform/riff/mmio.h"

namespace kelvane::engine {

using Mp3Header = std::array<BYTE, 4>;
// The encoder's output starts after the header, at this file offset.
inline constexpr DWORD kMp3StreamHeaderBytes = 4;

#pragma pack(push, 1)
// The extra bytes of an MPEG Layer-3 wave format (cbSize 12), as they follow the header.
struct Mp3FormatExtra {
    WORD wID;              // 1: MPEG
    DWORD fdwFlags;        // 2: padding off
    WORD nBlockSize;       // bytes per block
    WORD nFramesPerBlock;  // 1
    WORD nCodecDelay;      // samples
};
#pragma pack(pop)
static_assert(sizeof(Mp3FormatExtra) == 12);

inline constexpr WORD kMp3CodecDelay = 1393;

// Builds the header for a file format. 0; -2 when wFormatTag is not MPEG Layer-3; -1 when the
// sample rate, byte rate or channel count has no encoding.
[[nodiscard]] int encode_mp3_stream_header(const WAVEFORMATEX& format, Mp3Header& header);

// Derives the MPEG Layer-3 file format from a header: 0, or -2 when the header is refused
// (reserved version, other layer, reserved sample rate, or no block size for the combination).
[[nodiscard]] int decode_mp3_stream_header(const Mp3Header& header, FileFormat& format);

// The MPEG Layer-3 file format of channels, rate, bit rate (80 kbit/s declared as 10050 bytes
// per second) and block size.
[[nodiscard]] FileFormat mp3_file_format(int channels, DWORD samples_per_sec, int kbit_per_sec,
                                         WORD block_size);

// nBlockSize for channels (1 or 2), sample rate in Hz and bit rate in kbit/s: 0, or -1.
[[nodiscard]] int mp3_block_size(int channels, DWORD samples_per_sec, int kbit_per_sec,
                                 WORD& block_size);

// Creates (or truncates) `path` and writes the header; `file` then holds the open file,
// positioned for the encoder's output. Results as encode_mp3_stream_header, and -1 when the file
// cannot be created or written. A format without a header encoding leaves an existing file alone.
[[nodiscard]] int write_mp3_stream_header(std::string_view path, const FileFormat& format,
                                          UniqueHmmio& file);

// Reads the header of `path`: 0 with the derived format and the data size (file length - 4), or
// -2 when the file cannot be opened, holds fewer than 4 bytes or its header is refused. Nothing
// is changed on failure.
[[nodiscard]] int read_mp3_stream_header(std::string_view path, FileFormat& format,
                                         DWORD& data_size);

}  // namespace kelvane::engine

// The MP3 stream header reader on arbitrary files: short files are refused, accepted headers
// give a consistent MPEG Layer-3 format that the writer encodes back to the same format.
#include <cstdint>

#include "control/engine/little_endian.h"
#include "control/engine/mp3_stream_header.h"
#include "fuzz/fuzz_memfile.h"

using namespace kelvane::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::MemFile input("mp3-in");
    input.assign(data, size);
    FileFormat format;
    DWORD data_size = 0;
    const int result = read_mp3_stream_header(input.path(), format, data_size);
    if (result != 0 && result != -2) __builtin_trap();
    if (size < 4 && result == 0) __builtin_trap();
    if (result != 0) return 0;
    if (data_size != size - 4) __builtin_trap();

    const WAVEFORMATEX& wfx = format.wfx;
    if (wfx.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || wfx.cbSize != 12) __builtin_trap();
    if (wfx.nChannels != 1 && wfx.nChannels != 2) __builtin_trap();
    WORD block_size = 0;
    const int kbit =
        wfx.nAvgBytesPerSec == 10050 ? 80 : static_cast<int>(wfx.nAvgBytesPerSec / 125);
    if (mp3_block_size(wfx.nChannels, wfx.nSamplesPerSec, kbit, block_size) != 0) __builtin_trap();
    if (get_u16(format.extra.data() + 6) != block_size) __builtin_trap();

    Mp3Header header{};
    if (encode_mp3_stream_header(wfx, header) != 0) return 0;  // not every bit rate is writable
    FileFormat again;
    if (decode_mp3_stream_header(header, again) != 0) __builtin_trap();
    if (again.wfx.nChannels != wfx.nChannels || again.wfx.nSamplesPerSec != wfx.nSamplesPerSec ||
        again.wfx.nAvgBytesPerSec != wfx.nAvgBytesPerSec)
        __builtin_trap();
    return 0;
}

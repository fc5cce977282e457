// The MP3 reader on arbitrary files, as a player meets them: whatever it accepts lies inside the
// file, has a Layer III format, and its frame index finds frames in order within the audio.
#include <cstdint>

#include "control/engine/mp3_stream.h"
#include "fuzz/fuzz_memfile.h"
#include "platform/codec/mpeg_frame.h"

using namespace kelvane::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::MemFile input("mp3-stream");
    input.assign(data, size);
    Mp3Stream stream;
    Mp3Problem problem = Mp3Problem::none;
    const int result = read_mp3_stream(input.path(), stream, &problem);
    if (result != 0) {
        if (result != -2 || problem == Mp3Problem::none) __builtin_trap();
        return 0;
    }
    if (std::uint64_t{stream.data_start} + stream.data_size > size) __builtin_trap();
    const WAVEFORMATEX& wfx = stream.format.wfx;
    if (wfx.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || wfx.cbSize != 12) __builtin_trap();
    if (wfx.nChannels != 1 && wfx.nChannels != 2) __builtin_trap();
    if (stream.layout == Mp3Stream::Layout::own) return 0;

    if (stream.first_audio < stream.data_start) __builtin_trap();
    if (stream.samples_per_frame != 576 && stream.samples_per_frame != 1152) __builtin_trap();
    if (stream.samples > std::uint64_t{stream.frames} * stream.samples_per_frame) __builtin_trap();
    if (stream.skipped > std::uint64_t{stream.frames} * stream.samples_per_frame) __builtin_trap();

    MMIOINFO info{};
    UniqueHmmio file(mmioOpen(input.path().c_str(), &info, MMIO_READ));
    if (!file) __builtin_trap();
    Mp3FrameIndex index;
    if (!index.build(file.get(), stream)) return 0;
    LONG previous = -1;
    const DWORD end = stream.data_start + stream.data_size;
    for (DWORD frame = 0; frame <= index.frames() && frame < 200; ++frame) {
        const LONG at = index.offset_of(file.get(), frame);
        if (at <= previous || static_cast<DWORD>(at) > end) __builtin_trap();
        if (frame < index.frames()) {
            std::uint8_t h[4];
            if (mmioSeek(file.get(), at, SEEK_SET) != at ||
                mmioRead(file.get(), reinterpret_cast<char*>(h), 4) != 4 ||
                !quillon::codec::parse_mpeg_frame_header(h))
                __builtin_trap();
        }
        previous = at;
    }
    return 0;
}

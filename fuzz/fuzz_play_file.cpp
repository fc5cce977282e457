// Any bytes played as a file, end to end, as the playback engine drives the sound file object:
// opened (WAV or raw MP3, whichever the bytes say), every buffer decoded through the codec the
// header names, then sought from each origin and decoded again. Whatever a file holds, the
// counters must stay within the data and no buffer may be overrun.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "control/engine/sound_file.h"
#include "fuzz/fuzz_memfile.h"

using namespace kelvane::engine;

namespace {

// Decodes until the end of the data, a failure, or a bound that keeps each input quick.
void decode(SoundFile& file, std::vector<BYTE>& pcm, DWORD length, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        const DWORD before = file.pcm_produced();
        // Bytes past `length` are a canary: the buffer is twice as long, as the engine's are.
        std::fill(pcm.begin() + length, pcm.end(), BYTE{0xA5});
        const LONG produced = file.read_and_convert(std::span<BYTE>(pcm.data(), length));
        if (produced > static_cast<LONG>(length)) __builtin_trap();
        for (std::size_t i = length; i < pcm.size(); ++i)
            if (pcm[i] != 0xA5) __builtin_trap();
        if (file.source_consumed() > file.data_size()) __builtin_trap();
        if (produced > 0 && file.pcm_produced() != before + static_cast<DWORD>(produced))
            __builtin_trap();
        if (produced <= 0) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quillon::fuzz::MemFile input("play-in");
    input.assign(data, size);

    SoundFile file;
    if (file.open_for_playback(input.path()) < 0) return 0;
    const WAVEFORMATEX& device = file.device_format();
    if (device.wFormatTag != WAVE_FORMAT_PCM || device.nBlockAlign == 0) __builtin_trap();
    // Buffers of a tenth of a second keep an input of a few kilobytes to a few rounds.
    const DWORD length = file.playback_size_rounding(
        std::max<DWORD>(device.nAvgBytesPerSec / 10, device.nBlockAlign));
    if (length == 0 || length > (64u << 20)) return 0;
    if (!file.allocate_work_buffer(length * 2)) return 0;
    std::vector<BYTE> pcm(std::size_t{length} * 2);
    decode(file, pcm, length, 64);

    // Offsets and origins taken from the input itself, so the fuzzer steers them.
    LONG offset = 0;
    std::memcpy(&offset, data + size - std::min<std::size_t>(size, sizeof offset),
                std::min<std::size_t>(size, sizeof offset));
    for (SHORT origin : {SHORT{3}, SHORT{1}, SHORT{2}, SHORT{3}}) {
        const LONG produced = file.seek(origin == 3 ? offset : -offset, origin);
        if (produced >= 0 && file.source_consumed() > file.data_size()) __builtin_trap();
        decode(file, pcm, length, 4);
        offset /= 2;
    }
    (void)file.seek(std::numeric_limits<LONG>::min(), 3);
    (void)file.seek(std::numeric_limits<LONG>::max(), 1);
    decode(file, pcm, length, 2);
    return file.close();
}

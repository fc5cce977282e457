// Helpers for the wave tests: formats, headers with their buffers, and sample access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/wave/mmsystem_wave.h"

namespace quillon::test {

inline WAVEFORMATEX pcm_format(DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// A header that owns its buffer, set up the way the engines set theirs up.
struct Buffer {
    explicit Buffer(std::size_t bytes) : data(bytes, 0) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = static_cast<DWORD>(bytes);
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    bool done() const { return header.dwFlags & WHDR_DONE; }
    bool queued() const { return header.dwFlags & WHDR_INQUEUE; }
    std::int16_t sample16(std::size_t index) const {
        return static_cast<std::int16_t>(data[2 * index] | (data[2 * index + 1] << 8));
    }

    std::vector<unsigned char> data;
    WAVEHDR header{};
};

inline std::vector<unsigned char> pcm16(std::initializer_list<int> samples) {
    std::vector<unsigned char> bytes;
    for (int s : samples) {
        bytes.push_back(static_cast<unsigned char>(s & 0xFF));
        bytes.push_back(static_cast<unsigned char>((s >> 8) & 0xFF));
    }
    return bytes;
}

}  // namespace quillon::test

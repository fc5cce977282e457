// Helpers for the wave tests: formats, headers with their buffers, and sample access.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/loop/message_loop.h"
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

// Runs the loop (real clock) until `done` holds or `limit_ms` passes; devices on a real server
// deliver when the server does, so tests wait for them in bounded loops like this one.
template <typename Done>
bool wait_for(Done done, int limit_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MessageLoop::instance().run_for(10);
    }
    return true;
}

inline double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Power of `hz` in 16-bit mono samples (Goertzel), normalised by the sample count: the squared
// amplitude over four of a tone at `hz`.
inline double tone_power(const std::vector<std::int16_t>& s, double hz, double rate) {
    constexpr double kPi = 3.14159265358979323846;
    const double k = 2 * std::cos(2 * kPi * hz / rate);
    double a = 0, b = 0;
    for (std::int16_t x : s) {
        const double y = x + k * a - b;
        b = a;
        a = y;
    }
    return (a * a + b * b - k * a * b) / static_cast<double>(s.size() * s.size());
}

// A sine of `hz` at `amplitude` (of full scale) in every channel of a 16-bit buffer, starting at
// frame `first_frame` of the tone.
inline void fill_tone(Buffer& buffer, const WAVEFORMATEX& f, double hz, double amplitude,
                      std::size_t first_frame) {
    constexpr double kPi = 3.14159265358979323846;
    const std::size_t frames = buffer.data.size() / f.nBlockAlign;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(
            amplitude * 32767 * std::sin(2 * kPi * hz * (first_frame + i) / f.nSamplesPerSec)));
        for (WORD c = 0; c < f.nChannels; ++c) {
            buffer.data[i * f.nBlockAlign + 2 * c] = static_cast<unsigned char>(v & 0xFF);
            buffer.data[i * f.nBlockAlign + 2 * c + 1] =
                static_cast<unsigned char>((v >> 8) & 0xFF);
        }
    }
}

// The first channel of a 16-bit stereo buffer.
inline std::vector<std::int16_t> left_channel(const Buffer& buffer) {
    std::vector<std::int16_t> left;
    for (std::size_t i = 0; i < buffer.data.size() / 4; ++i) left.push_back(buffer.sample16(2 * i));
    return left;
}

}  // namespace quillon::test

// Finding a test tone in decoded audio, for tests that check what a peer or a device made of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillon_test {

// Frequency of the strongest tone in mono 16-bit samples, from zero crossings with hysteresis
// over the middle of the signal (the ends hold encoder delay and padding).
inline double tone_frequency(const std::vector<int16_t>& samples, double rate) {
    const std::size_t from = samples.size() / 5, to = samples.size() * 4 / 5;
    int16_t peak = 0;
    for (std::size_t i = from; i < to; ++i)
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(samples[i])));
    const int threshold = peak / 4;
    if (threshold == 0) return 0;
    int state = 0, rises = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (samples[i] > threshold && state <= 0) {
            if (state < 0) {
                if (rises == 0) first = i;
                last = i;
                ++rises;
            }
            state = 1;
        } else if (samples[i] < -threshold) {
            state = -1;
        }
    }
    if (rises < 3) return 0;
    return (rises - 1) * rate / static_cast<double>(last - first);
}

// First channel of interleaved PCM, as 16-bit samples (8-bit samples are unsigned).
inline std::vector<int16_t> first_channel(const std::vector<char>& bytes, int bits, int channels) {
    std::vector<int16_t> out;
    const std::size_t frame = static_cast<std::size_t>(bits / 8 * channels);
    for (std::size_t at = 0; at + frame <= bytes.size(); at += frame) {
        if (bits == 8)
            out.push_back(static_cast<int16_t>((static_cast<unsigned char>(bytes[at]) - 128) << 8));
        else
            out.push_back(static_cast<int16_t>(static_cast<unsigned char>(bytes[at]) |
                                               (static_cast<unsigned char>(bytes[at + 1]) << 8)));
    }
    return out;
}

inline std::vector<char> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The audio of a PCM WAV file written by the control: 58 bytes of header, the data size at 54.
inline std::vector<char> wav_audio(const std::string& path) {
    const std::vector<char> bytes = read_all(path);
    if (bytes.size() < 58) return {};
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data() + 54, 4);
    size = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(bytes.size() - 58));
    return {bytes.begin() + 58, bytes.begin() + 58 + size};
}

}  // namespace quillon_test

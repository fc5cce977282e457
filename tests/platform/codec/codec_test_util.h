// Helpers for the codec tests: signals, a stream driven exactly as the engine drives one,
// signal-to-noise measurement and a tiny WAV reader/writer for the interoperability tests (the
// real WAV code lives in the engine and is tested there).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codec/acm.h"

namespace codec_test {

inline constexpr double kPi = 3.14159265358979323846;

// Interleaved 16-bit samples of a sine (the same on every channel) at `amplitude` of full scale.
inline std::vector<std::int16_t> sine(double hz, int rate, int channels, double seconds,
                                      double amplitude = 0.5) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> s(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[i * channels + c] = static_cast<std::int16_t>(
                std::lround(amplitude * 32767.0 * std::sin(2 * kPi * hz * i / rate)));
    return s;
}

inline std::vector<BYTE> bytes_of(const std::vector<std::int16_t>& s) {
    std::vector<BYTE> b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

inline std::vector<std::int16_t> samples_of(const std::vector<BYTE>& b) {
    std::vector<std::int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

inline const WAVEFORMATEX& wfx(const std::vector<BYTE>& format) {
    return *reinterpret_cast<const WAVEFORMATEX*>(format.data());
}
inline WAVEFORMATEX* wfx_ptr(std::vector<BYTE>& format) {
    return reinterpret_cast<WAVEFORMATEX*>(format.data());
}

inline std::vector<BYTE> pcm(DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    std::vector<BYTE> b(sizeof f);
    std::memcpy(b.data(), &f, sizeof f);
    return b;
}

// The PCM format acmFormatSuggest proposes for `coded`.
inline std::vector<BYTE> suggested_pcm(std::vector<BYTE> coded) {
    std::vector<BYTE> out(18);
    EXPECT_EQ(acmFormatSuggest(nullptr, wfx_ptr(coded), wfx_ptr(out), 18, 0), 0u);
    return out;
}

// An open stream, closed when it goes out of scope.
class TestStream {
  public:
    TestStream(std::vector<BYTE> src, std::vector<BYTE> dst) {
        m_result = acmStreamOpen(&m_handle, nullptr, wfx_ptr(src), wfx_ptr(dst), nullptr, 0, 0,
                                 ACM_STREAMOPENF_NONREALTIME);
    }
    ~TestStream() {
        if (m_handle) acmStreamClose(m_handle, 0);
    }
    TestStream(const TestStream&) = delete;
    TestStream& operator=(const TestStream&) = delete;

    MMRESULT result() const { return m_result; }
    HACMSTREAM handle() const { return m_handle; }

    DWORD size(DWORD bytes, DWORD which) const {
        DWORD out = 0;
        acmStreamSize(m_handle, bytes, &out, which);
        return out;
    }

    struct Step {
        MMRESULT result;
        DWORD src_used;
        std::vector<BYTE> out;
    };
    // One prepare/convert/unprepare round, as the engine does it.
    Step convert(const BYTE* src, DWORD src_len, DWORD room, DWORD flags) {
        std::vector<BYTE> dst(room);
        std::vector<BYTE> src_copy(src, src + src_len);
        ACMSTREAMHEADER h{};
        h.cbStruct = sizeof h;
        h.pbSrc = src_copy.data();
        h.cbSrcLength = src_len;
        h.pbDst = dst.data();
        h.cbDstLength = room;
        Step step{acmStreamPrepareHeader(m_handle, &h, 0), 0, {}};
        if (step.result != 0) return step;
        step.result = acmStreamConvert(m_handle, &h, flags);
        const MMRESULT unprepared = acmStreamUnprepareHeader(m_handle, &h, 0);
        if (step.result == 0) step.result = unprepared;
        step.src_used = h.cbSrcLengthUsed;
        dst.resize(h.cbDstLengthUsed);
        step.out = std::move(dst);
        return step;
    }

    // Converts everything in chunks of `chunk` source bytes with room from the SOURCE size
    // answer; with `end`, the last call flushes and the stream is drained.
    std::vector<BYTE> convert_all(const std::vector<BYTE>& src, DWORD chunk, bool end = true) {
        std::vector<BYTE> out;
        std::size_t at = 0;
        while (at < src.size()) {
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(chunk, src.size() - at));
            const bool last = at + n == src.size();
            const DWORD room = std::max<DWORD>(size(n, ACM_STREAMSIZEF_SOURCE), 1);
            DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
            if (last && end) flags |= ACM_STREAMCONVERTF_END;
            Step s = convert(src.data() + at, n, room, flags);
            EXPECT_EQ(s.result, 0u);
            out.insert(out.end(), s.out.begin(), s.out.end());
            if (s.src_used == 0) {
                if (last) break;
                chunk *= 2;  // less than one block offered: offer more, as a caller would
                continue;
            }
            at += s.src_used;
        }
        for (int i = 0; end && i < 1000; ++i) {  // what the codec still holds
            Step s = convert(nullptr, 0, 65536, ACM_STREAMCONVERTF_END);
            EXPECT_EQ(s.result, 0u);
            if (s.out.empty()) break;
            out.insert(out.end(), s.out.begin(), s.out.end());
        }
        return out;
    }

  private:
    MMRESULT m_result = 0;
    HACMSTREAM m_handle = nullptr;
};

// Signal-to-noise ratio in dB of `test` against `ref`, both interleaved, with `test` delayed by
// `lag` frames; `skip` frames at both ends are left out.
inline double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& test,
                     int channels, std::size_t lag = 0, std::size_t skip = 0) {
    const std::size_t frames = std::min(ref.size() / channels, test.size() / channels - lag);
    double signal = 0, noise = 0;
    for (std::size_t i = skip; i + skip < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double r = ref[i * channels + c];
            const double t = test[(i + lag) * channels + c];
            signal += r * r;
            noise += (r - t) * (r - t);
        }
    if (noise == 0) return 200;
    return 10 * std::log10(signal / noise);
}

// The gain g that best maps `ref` onto `test` (delayed by `lag`), and the SNR of `test` against
// g * ref: for codecs that scale the signal slightly, which is not noise.
struct GainMatch {
    double gain;
    double snr_db;
};
inline GainMatch gain_matched_snr(const std::vector<std::int16_t>& ref,
                                  const std::vector<std::int16_t>& test, int channels,
                                  std::size_t lag, std::size_t skip) {
    const std::size_t frames = std::min(ref.size() / channels, test.size() / channels - lag);
    double rr = 0, rt = 0;
    for (std::size_t i = skip * channels; i + skip * channels < frames * channels; ++i) {
        rr += double(ref[i]) * ref[i];
        rt += double(ref[i]) * test[i + lag * channels];
    }
    const double g = rt / rr;
    double noise = 0;
    for (std::size_t i = skip * channels; i + skip * channels < frames * channels; ++i) {
        const double e = test[i + lag * channels] - g * ref[i];
        noise += e * e;
    }
    return {g, noise == 0 ? 200 : 10 * std::log10(g * g * rr / noise)};
}

// The delay (frames, 0..max_lag) at which `test` matches `ref` best, by SNR of channel 0.
inline std::size_t best_lag(const std::vector<std::int16_t>& ref,
                            const std::vector<std::int16_t>& test, int channels,
                            std::size_t max_lag, std::size_t skip) {
    std::size_t best = 0;
    double best_snr = -1e9;
    for (std::size_t lag = 0; lag <= max_lag && lag < test.size() / channels; ++lag) {
        const double s = snr_db(ref, test, channels, lag, skip);
        if (s > best_snr) {
            best_snr = s;
            best = lag;
        }
    }
    return best;
}

// ---- WAV files for the peers ---------------------------------------------------------------

// Writes RIFF/WAVE with fmt, fact (for coded formats) and data chunks.
inline void write_wav(const std::string& path, const std::vector<BYTE>& format,
                      const std::vector<BYTE>& data, std::uint32_t frames) {
    std::ofstream out(path, std::ios::binary);
    auto raw = [&](const void* p, std::size_t n) {
        out.write(static_cast<const char*>(p), static_cast<std::streamsize>(n));
    };
    auto u32 = [&](std::uint32_t x) { raw(&x, 4); };
    const bool plain_pcm = wfx(format).wFormatTag == WAVE_FORMAT_PCM;
    const std::size_t fmt_size = plain_pcm ? 16 : format.size();
    auto padded = [](std::size_t n) { return n + (n & 1); };
    const std::size_t riff =
        4 + 8 + padded(fmt_size) + (plain_pcm ? 0 : 12) + 8 + padded(data.size());
    raw("RIFF", 4);
    u32(static_cast<std::uint32_t>(riff));
    raw("WAVEfmt ", 8);
    u32(static_cast<std::uint32_t>(fmt_size));
    raw(format.data(), fmt_size);
    if (fmt_size & 1) raw("", 1);
    if (!plain_pcm) {
        raw("fact", 4);
        u32(4);
        u32(frames);
    }
    raw("data", 4);
    u32(static_cast<std::uint32_t>(data.size()));
    raw(data.data(), data.size());
    if (data.size() & 1) raw("", 1);
}

struct WavFile {
    std::vector<BYTE> format;  // fmt chunk, padded to 18 bytes with cbSize 0 when shorter
    std::vector<BYTE> data;
};

inline bool read_file(const std::string& path, std::vector<BYTE>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

inline bool read_wav(const std::string& path, WavFile& wav) {
    std::vector<BYTE> f;
    if (!read_file(path, f) || f.size() < 12 || std::memcmp(f.data(), "RIFF", 4) != 0 ||
        std::memcmp(f.data() + 8, "WAVE", 4) != 0)
        return false;
    std::size_t at = 12;
    bool have_fmt = false;
    while (at + 8 <= f.size()) {
        std::uint32_t size;
        std::memcpy(&size, f.data() + at + 4, 4);
        const std::size_t body = at + 8;
        const std::size_t avail = std::min<std::size_t>(size, f.size() - body);
        if (std::memcmp(f.data() + at, "fmt ", 4) == 0) {
            wav.format.assign(f.begin() + body, f.begin() + body + avail);
            if (wav.format.size() < 18) wav.format.resize(18, 0);
            have_fmt = true;
        } else if (std::memcmp(f.data() + at, "data", 4) == 0) {
            wav.data.assign(f.begin() + body, f.begin() + body + avail);
            return have_fmt;
        }
        at = body + size + (size & 1);
    }
    return false;
}

// Runs a shell command quietly; true on exit status 0.
inline bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool have_tool(const std::string& tool) {
    return run("command -v " + tool);
}

}  // namespace codec_test

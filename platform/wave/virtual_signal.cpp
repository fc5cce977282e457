#include "platform/wave/virtual_signal.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <optional>
#include <vector>

namespace {

// A looped input file is held in memory; anything larger is refused rather than exhausting it.
constexpr std::uint64_t kMaxFileBytes = 256u << 20;
// Fixed seed: the same noise on every run, so recordings of it compare byte for byte.
constexpr std::uint32_t kNoiseSeed = 0x2545F491u;

std::optional<double> parse_number(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> parse_amplitude(std::string_view text) {
    const auto value = parse_number(text);
    if (!value || *value < 0 || *value > 1) return std::nullopt;
    return value;
}

std::int16_t full_scale(double amplitude) {
    return static_cast<std::int16_t>(std::lround(amplitude * 32767.0));
}

class Silence final : public VirtualSignal {
  public:
    explicit Silence(const WAVEFORMATEX& format) : VirtualSignal(format) {}
    void skip(std::uint64_t) override {}

  private:
    void next_frame(std::int16_t& left, std::int16_t& right) override { left = right = 0; }
};

class Sine final : public VirtualSignal {
  public:
    Sine(const WAVEFORMATEX& format, double hz, double amplitude)
        : VirtualSignal(format), m_hz(hz), m_peak(amplitude * 32767.0) {}
    void skip(std::uint64_t frames) override { m_frame += frames; }

  private:
    void next_frame(std::int16_t& left, std::int16_t& right) override {
        // From the frame number, not an accumulated phase: no drift over hours.
        const double cycles = std::fmod(
            static_cast<double>(m_frame++) * m_hz / static_cast<double>(m_format.nSamplesPerSec),
            1.0);
        left = right = static_cast<std::int16_t>(
            std::lround(m_peak * std::sin(2 * std::numbers::pi * cycles)));
    }

    double m_hz;
    double m_peak;
    std::uint64_t m_frame = 0;
};

class Noise final : public VirtualSignal {
  public:
    Noise(const WAVEFORMATEX& format, double amplitude)
        : VirtualSignal(format), m_peak(full_scale(amplitude)) {}

  private:
    void next_frame(std::int16_t& left, std::int16_t& right) override {
        // xorshift32: cheap, and the same sequence everywhere.
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        const std::int64_t span = 2 * static_cast<std::int64_t>(m_peak) + 1;
        left = right =
            static_cast<std::int16_t>(static_cast<std::int64_t>(m_state % span) - m_peak);
    }

    std::int32_t m_peak;
    std::uint32_t m_state = kNoiseSeed;
};

// The samples of a PCM WAV file as 16-bit frames.
struct FileAudio {
    DWORD rate = 0;
    WORD channels = 0;
    std::vector<std::int16_t> samples;  // interleaved
};

std::uint32_t le32(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::optional<FileAudio> read_wav(const std::string& path, std::string* error) {
    auto fail = [&](const char* why) -> std::optional<FileAudio> {
        if (error) *error = path + ": " + why;
        return std::nullopt;
    };
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return fail("cannot be opened");
    const auto length = static_cast<std::uint64_t>(in.tellg());
    if (length > kMaxFileBytes) return fail("is too large to loop");
    std::vector<BYTE> bytes(length);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length)))
        return fail("cannot be read");
    if (length < 12 || le32(&bytes[0]) != mmioFOURCC('R', 'I', 'F', 'F') ||
        le32(&bytes[8]) != mmioFOURCC('W', 'A', 'V', 'E'))
        return fail("is not a WAV file");

    FileAudio audio;
    WORD bits = 0;
    bool have_format = false;
    std::uint64_t pos = 12;
    while (pos + 8 <= length) {
        const std::uint32_t id = le32(&bytes[pos]);
        // A chunk claiming more than the file holds is cut at the end of the file.
        const std::uint64_t size = std::min<std::uint64_t>(le32(&bytes[pos + 4]), length - pos - 8);
        const BYTE* body = &bytes[pos + 8];
        if (id == mmioFOURCC('f', 'm', 't', ' ')) {
            if (size < 16) return fail("has a short fmt chunk");
            if (le16(body) != WAVE_FORMAT_PCM) return fail("is not PCM");
            audio.channels = le16(body + 2);
            audio.rate = le32(body + 4);
            bits = le16(body + 14);
            if (audio.channels < 1 || audio.channels > 2 || (bits != 8 && bits != 16) ||
                audio.rate == 0)
                return fail("is not 8/16-bit mono or stereo PCM");
            have_format = true;
        } else if (id == mmioFOURCC('d', 'a', 't', 'a')) {
            if (!have_format) return fail("has its data before its format");
            const std::size_t step = bits / 8;
            const std::size_t frame = step * audio.channels;
            const std::size_t frames = size / frame;
            audio.samples.reserve(frames * audio.channels);
            for (std::size_t i = 0; i < frames * audio.channels; ++i) {
                const BYTE* p = body + i * step;
                audio.samples.push_back(step == 1 ? static_cast<std::int16_t>((p[0] - 128) * 256)
                                                  : static_cast<std::int16_t>(le16(p)));
            }
            return audio;
        }
        pos += 8 + size + (size & 1);
    }
    return fail("has no data chunk");
}

class FileLoop final : public VirtualSignal {
  public:
    FileLoop(const WAVEFORMATEX& format, FileAudio audio)
        : VirtualSignal(format), m_audio(std::move(audio)) {
        m_frames = m_audio.samples.size() / m_audio.channels;
    }
    void skip(std::uint64_t frames) override { m_frame += frames; }

  private:
    void next_frame(std::int16_t& left, std::int16_t& right) override {
        if (m_frames == 0) {
            left = right = 0;
            return;
        }
        // Nearest earlier sample of the file's own rate: a test signal, not a resampler.
        const std::uint64_t at = (m_frame++ * m_audio.rate / m_format.nSamplesPerSec) % m_frames;
        left = m_audio.samples[at * m_audio.channels];
        right = m_audio.samples[at * m_audio.channels + m_audio.channels - 1];
    }

    FileAudio m_audio;
    std::uint64_t m_frames = 0;
    std::uint64_t m_frame = 0;
};

struct Parsed {
    enum Kind { silence, sine, noise, file } kind = silence;
    double hz = 0;
    double amplitude = 0;
    std::string path;
};

std::optional<Parsed> parse(std::string_view spec, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Parsed> {
        if (error) *error = why;
        return std::nullopt;
    };
    Parsed p;
    if (spec == "silence") return p;
    if (spec.starts_with("sine:")) {
        const std::string_view rest = spec.substr(5);
        const auto colon = rest.find(':');
        const auto hz =
            colon == std::string_view::npos ? std::nullopt : parse_number(rest.substr(0, colon));
        const auto amplitude = colon == std::string_view::npos
                                   ? std::nullopt
                                   : parse_amplitude(rest.substr(colon + 1));
        if (!hz || *hz <= 0 || !amplitude)
            return fail("sine wants sine:HZ:AMPLITUDE with HZ > 0 and AMPLITUDE 0..1");
        p.kind = Parsed::sine;
        p.hz = *hz;
        p.amplitude = *amplitude;
        return p;
    }
    if (spec.starts_with("noise:")) {
        const auto amplitude = parse_amplitude(spec.substr(6));
        if (!amplitude) return fail("noise wants noise:AMPLITUDE with AMPLITUDE 0..1");
        p.kind = Parsed::noise;
        p.amplitude = *amplitude;
        return p;
    }
    if (spec.starts_with("file:") && spec.size() > 5) {
        p.kind = Parsed::file;
        p.path = std::string(spec.substr(5));
        return p;
    }
    return fail("not silence, sine:HZ:AMPLITUDE, noise:AMPLITUDE or file:PATH.wav");
}

}  // namespace

void VirtualSignal::render(std::span<BYTE> out) {
    const std::size_t align = m_format.nBlockAlign;
    const bool eight = m_format.wBitsPerSample == 8;
    for (std::size_t at = 0; at + align <= out.size(); at += align) {
        std::int16_t left, right;
        next_frame(left, right);
        const std::int16_t mono = static_cast<std::int16_t>((left + right) / 2);
        for (WORD c = 0; c < m_format.nChannels; ++c) {
            const std::int16_t v = m_format.nChannels == 1 ? mono : (c == 0 ? left : right);
            if (eight) {
                out[at + c] = static_cast<BYTE>((v >> 8) + 128);
            } else {
                out[at + 2 * c] = static_cast<BYTE>(v & 0xFF);
                out[at + 2 * c + 1] = static_cast<BYTE>((v >> 8) & 0xFF);
            }
        }
    }
}

void VirtualSignal::skip(std::uint64_t frames) {
    std::int16_t left, right;
    while (frames-- > 0) next_frame(left, right);
}

bool valid_signal_spec(std::string_view spec, std::string* error) {
    const auto parsed = parse(spec, error);
    if (!parsed) return false;
    if (parsed->kind == Parsed::file) return read_wav(parsed->path, error).has_value();
    return true;
}

std::unique_ptr<VirtualSignal> make_signal(std::string_view spec, const WAVEFORMATEX& format) {
    const auto parsed = parse(spec, nullptr);
    if (parsed) {
        switch (parsed->kind) {
            case Parsed::sine:
                return std::make_unique<Sine>(format, parsed->hz, parsed->amplitude);
            case Parsed::noise:
                return std::make_unique<Noise>(format, parsed->amplitude);
            case Parsed::file:
                if (auto audio = read_wav(parsed->path, nullptr))
                    return std::make_unique<FileLoop>(format, std::move(*audio));
                break;
            case Parsed::silence:
                break;
        }
    }
    return std::make_unique<Silence>(format);
}

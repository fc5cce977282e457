// The WAV source: every kind of WAV file the codec manager decodes comes out as 16-bit PCM of the
// rate and channels asked for, with the tone it holds and the length it should have; files it
// cannot read say which and why.
#include <gtest/gtest.h>

#include <cmath>

#include "control/engine/wav_file.h"
#include "control/engine/wav_source.h"
#include "platform/codec/format_names.h"
#include "tests/platform/codec/codec_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

using kelvane::engine::FileFormat;
using kelvane::engine::WavSource;
using quillon::test::TempDir;

namespace {

constexpr double kSeconds = 1.5;

FileFormat file_format(const std::vector<BYTE>& bytes) {
    FileFormat f;
    std::memcpy(&f, bytes.data(), std::min(bytes.size(), sizeof f));
    return f;
}

void write_wav(const std::string& path, const std::vector<BYTE>& format,
               const std::vector<BYTE>& data) {
    kelvane::engine::WavWriter writer;
    ASSERT_EQ(writer.create(path, file_format(format)), 0);
    ASSERT_EQ(writer.write(data), static_cast<LONG>(data.size()));
    kelvane::engine::InfoTexts texts;
    texts.slots[14] = "Tone";  // INAM
    ASSERT_EQ(writer.finalize(texts), 0);
}

// A 440 Hz tone in a format the codec manager writes, encoded by it from 16-bit PCM.
std::vector<BYTE> coded_tone(const std::vector<BYTE>& format) {
    const WAVEFORMATEX& f = codec_test::wfx(format);
    const auto pcm =
        codec_test::sine(440, static_cast<int>(f.nSamplesPerSec), f.nChannels, kSeconds, 0.4);
    codec_test::TestStream encode(codec_test::suggested_pcm(format), format);
    EXPECT_EQ(encode.result(), 0u);
    return encode.convert_all(codec_test::bytes_of(pcm), 8192);
}

// Integer or float PCM of any layout, written sample by sample.
std::vector<BYTE> pcm_tone(WORD tag, DWORD rate, WORD channels, WORD bits, bool is_float,
                           std::vector<BYTE>& format) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = tag;
    f.Format.nChannels = channels;
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    std::size_t size = sizeof(WAVEFORMATEX);
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        f.Format.cbSize = 22;
        f.Samples.wValidBitsPerSample = bits;
        f.dwChannelMask = (1u << channels) - 1;
        std::memcpy(
            f.SubFormat,
            is_float ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT_BYTES : KSDATAFORMAT_SUBTYPE_PCM_BYTES, 16);
        size = sizeof f;
    }
    format.assign(reinterpret_cast<const BYTE*>(&f), reinterpret_cast<const BYTE*>(&f) + size);
    std::vector<BYTE> data;
    const auto frames = static_cast<std::size_t>(kSeconds * rate);
    for (std::size_t i = 0; i < frames; ++i)
        for (WORD c = 0; c < channels; ++c) {
            const double x = 0.4 * std::sin(2 * codec_test::kPi * 440 * i / rate);
            if (is_float && bits == 32) {
                const float v = static_cast<float>(x);
                const auto* p = reinterpret_cast<const BYTE*>(&v);
                data.insert(data.end(), p, p + 4);
            } else if (is_float) {
                const auto* p = reinterpret_cast<const BYTE*>(&x);
                data.insert(data.end(), p, p + 8);
            } else if (bits == 8) {
                data.push_back(static_cast<BYTE>(std::lround(x * 127) + 128));
            } else {
                const auto v = static_cast<std::int64_t>(std::llround(x * (1ll << (bits - 1))));
                for (int b = 0; b < bits / 8; ++b) data.push_back(static_cast<BYTE>(v >> (8 * b)));
            }
        }
    return data;
}

struct Kind {
    const char* name;
    std::function<std::vector<BYTE>(std::vector<BYTE>&)> make;  // data; fills the format
    DWORD out_rate;
    WORD out_channels;
};

std::vector<BYTE> named(const char* name, std::vector<BYTE>& format) {
    format = quillon::codec::parse_format_name(name).format;
    return coded_tone(format);
}

const Kind kKinds[] = {
    {"pcm8_mono", [](auto& f) { return pcm_tone(WAVE_FORMAT_PCM, 11025, 1, 8, false, f); }, 11025,
     1},
    {"pcm16_stereo", [](auto& f) { return pcm_tone(WAVE_FORMAT_PCM, 44100, 2, 16, false, f); },
     44100, 2},
    {"pcm24_96k", [](auto& f) { return pcm_tone(WAVE_FORMAT_PCM, 96000, 2, 24, false, f); }, 48000,
     2},
    {"pcm32_22k", [](auto& f) { return pcm_tone(WAVE_FORMAT_PCM, 22050, 1, 32, false, f); }, 22050,
     1},
    {"float32", [](auto& f) { return pcm_tone(WAVE_FORMAT_IEEE_FLOAT, 48000, 1, 32, true, f); },
     48000, 1},
    {"float64", [](auto& f) { return pcm_tone(WAVE_FORMAT_IEEE_FLOAT, 32000, 2, 64, true, f); },
     32000, 2},
    {"extensible_6ch",
     [](auto& f) { return pcm_tone(WAVE_FORMAT_EXTENSIBLE, 48000, 6, 24, false, f); }, 48000, 2},
    {"extensible_float",
     [](auto& f) { return pcm_tone(WAVE_FORMAT_EXTENSIBLE, 44100, 2, 32, true, f); }, 22050, 1},
    {"alaw", [](auto& f) { return named("alaw:8000:1", f); }, 8000, 1},
    {"mulaw", [](auto& f) { return named("mulaw:8000:2", f); }, 16000, 2},
    {"ima_adpcm", [](auto& f) { return named("ima-adpcm:22050:2", f); }, 22050, 2},
    {"ms_adpcm", [](auto& f) { return named("ms-adpcm:11025:1", f); }, 16000, 1},
    {"gsm610", [](auto& f) { return named("gsm610:8000:1", f); }, 32000, 1},
    {"mp3", [](auto& f) { return named("mp3:44100:2:128", f); }, 44100, 2},
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.name;
}

bool is_pcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM || f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
           f.wFormatTag == WAVE_FORMAT_EXTENSIBLE;
}

class EveryKind : public ::testing::TestWithParam<Kind> {};

TEST_P(EveryKind, DecodesToTheToneAtTheRateAsked) {
    const Kind& k = GetParam();
    TempDir dir;
    std::vector<BYTE> format;
    const std::vector<BYTE> data = k.make(format);
    write_wav(dir.file("in.wav"), format, data);

    WavSource source;
    ASSERT_TRUE(source.open(dir.file("in.wav"))) << source.error();
    EXPECT_EQ(source.info().slots[14], "Tone");
    EXPECT_EQ(source.channels(), std::min<WORD>(codec_test::wfx(format).nChannels, 2));
    ASSERT_TRUE(source.start(k.out_rate, k.out_channels)) << source.error();
    std::vector<BYTE> pcm;
    while (!source.done()) ASSERT_TRUE(source.read(pcm)) << source.error();

    const auto samples =
        quillon_test::first_channel(std::vector<char>(pcm.begin(), pcm.end()), 16, k.out_channels);
    EXPECT_NEAR(quillon_test::tone_frequency(samples, k.out_rate), 440, 440 * 0.01);
    const double frames = static_cast<double>(samples.size());
    // Coded formats end on a whole block and MP3 adds its codec delay (up to 60 ms here); PCM
    // loses nothing but what resampling rounds.
    const bool coded = !is_pcm(codec_test::wfx(format));
    const double margin = coded ? 0.06 * k.out_rate : 2;
    EXPECT_NEAR(frames, kSeconds * k.out_rate, margin);
    EXPECT_NEAR(static_cast<double>(source.expected_frames()), frames, margin);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WavSource, UnreadableFilesSayWhichAndWhy) {
    TempDir dir;
    WavSource missing;
    EXPECT_FALSE(missing.open(dir.file("none.wav")));
    EXPECT_EQ(missing.failure(), WavSource::Failure::missing);
    EXPECT_EQ(missing.error(), dir.file("none.wav") + ": No such file or directory");

    quillon::test::write_bytes(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o'});
    WavSource text;
    EXPECT_FALSE(text.open(dir.file("text.wav")));
    EXPECT_EQ(text.failure(), WavSource::Failure::not_wav);
    EXPECT_NE(text.error().find("text.wav: not a WAV file"), std::string::npos);

    // A format tag no driver knows opens, but cannot be decoded.
    std::vector<BYTE> format = codec_test::pcm(8000, 1, 16);
    codec_test::wfx_ptr(format)->wFormatTag = 0x2001;
    write_wav(dir.file("odd.wav"), format, std::vector<BYTE>(1600, 0));
    WavSource odd;
    ASSERT_TRUE(odd.open(dir.file("odd.wav"))) << odd.error();
    EXPECT_FALSE(odd.start(8000, 1));
    EXPECT_EQ(odd.failure(), WavSource::Failure::undecodable);
    EXPECT_NE(odd.error().find("0x2001"), std::string::npos) << odd.error();
}

TEST(WavSource, DataChunkLongerThanTheFileEndsWithTheFile) {
    TempDir dir;
    std::vector<BYTE> format;
    const auto data = pcm_tone(WAVE_FORMAT_PCM, 8000, 1, 16, false, format);
    write_wav(dir.file("in.wav"), format, data);
    auto bytes = quillon::test::read_bytes(dir.file("in.wav"));
    bytes.resize(bytes.size() - 4000);  // cut into the data chunk (and drop the INFO list)
    quillon::test::write_bytes(dir.file("cut.wav"), bytes);
    WavSource source;
    ASSERT_TRUE(source.open(dir.file("cut.wav"))) << source.error();
    ASSERT_TRUE(source.start(8000, 1));
    std::vector<BYTE> pcm;
    for (int i = 0; i < 100 && !source.done(); ++i) ASSERT_TRUE(source.read(pcm));
    EXPECT_TRUE(source.done());
    EXPECT_LT(pcm.size(), data.size());
    EXPECT_GT(pcm.size(), data.size() - 4100);
}

}  // namespace

// Interoperability with the tools people already use: sox and ffmpeg decode the WAV files our
// encoders fill, and our decoders read what sox, ffmpeg and lame write, each to audio that
// matches the peer's own decoding. A missing peer skips its cases with a message.

#include <filesystem>

#include "platform/codec/format_names.h"
#include "tests/platform/codec/codec_test_util.h"
#include "tests/support/temp_dir.h"

using namespace codec_test;
namespace qc = quillon::codec;
namespace fs = std::filesystem;

namespace {

class Interop : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return m_dir.file(name); }

    quillon::test::TempDir m_dir;
};

// Two tones, so a codec that only follows one frequency would show.
std::vector<std::int16_t> test_signal(int rate, int channels, double seconds = 1.0) {
    auto a = sine(440, rate, channels, seconds, 0.3);
    const auto b = sine(rate / 8.0 + 13, rate, channels, seconds, 0.15);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::int16_t>(a[i] + b[i]);
    return a;
}

std::vector<BYTE> named(const std::string& name) {
    auto parsed = qc::parse_format_name(name);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.format;
}

// Our decoding of a coded payload into the suggested 16-bit PCM.
std::vector<std::int16_t> our_decode(const std::vector<BYTE>& format,
                                     const std::vector<BYTE>& data) {
    std::vector<BYTE> out = pcm(8000, 1, 16);
    std::vector<BYTE> f = format;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, wfx_ptr(f), wfx_ptr(out), 18, ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
        0u);
    TestStream dec(format, out);
    EXPECT_EQ(dec.result(), 0u) << "tag " << wfx(format).wFormatTag;
    return samples_of(dec.convert_all(data, 8192));
}

// SNR of `theirs` against `ours` at the best small lag either way.
double match_db(const std::vector<std::int16_t>& ours, const std::vector<std::int16_t>& theirs,
                int channels, std::size_t max_lag) {
    const std::size_t a = best_lag(ours, theirs, channels, max_lag, 2048);
    const std::size_t b = best_lag(theirs, ours, channels, max_lag, 2048);
    return std::max(snr_db(ours, theirs, channels, a, 2048),
                    snr_db(theirs, ours, channels, b, 2048));
}

bool decode_with(const std::string& tool, const std::string& in, const std::string& out) {
    // No dither: it would add noise that neither decoder made.
    if (tool == "sox") return run("sox -D '" + in + "' -b 16 -e signed-integer '" + out + "'");
    return run("ffmpeg -nostdin -v error -y -i '" + in + "' -c:a pcm_s16le '" + out + "'");
}

struct OursCase {
    const char* format;
    const char* tool;
    double min_match_db;  // ours against the peer's decoding of the same file
    std::size_t max_lag;
};

class OursReadByPeer : public Interop, public ::testing::WithParamInterface<OursCase> {};

TEST_P(OursReadByPeer, PeerDecodesWhatWeEncoded) {
    const OursCase c = GetParam();
    if (!have_tool(c.tool))
        GTEST_SKIP() << c.tool << " is not installed; cannot check " << c.format;
    const std::vector<BYTE> format = named(c.format);
    const int rate = static_cast<int>(wfx(format).nSamplesPerSec);
    const int channels = wfx(format).nChannels;
    const auto signal = test_signal(rate, channels);
    TestStream enc(suggested_pcm(format), format);
    ASSERT_EQ(enc.result(), 0u);
    const std::vector<BYTE> coded = enc.convert_all(bytes_of(signal), 8820);
    write_wav(path("ours.wav"), format, coded,
              static_cast<std::uint32_t>(signal.size() / channels));

    ASSERT_TRUE(decode_with(c.tool, path("ours.wav"), path("theirs.wav"))) << c.tool << " refused";
    WavFile theirs;
    ASSERT_TRUE(read_wav(path("theirs.wav"), theirs));
    EXPECT_EQ(wfx(theirs.format).nChannels, channels);
    EXPECT_EQ(wfx(theirs.format).nSamplesPerSec, static_cast<DWORD>(rate));
    const auto ours = our_decode(format, coded);
    const auto their_samples = samples_of(theirs.data);
    EXPECT_NEAR(static_cast<double>(their_samples.size()), static_cast<double>(ours.size()),
                2.0 * c.max_lag * channels + 1152.0 * channels);
    const double db = match_db(ours, their_samples, channels, c.max_lag);
    EXPECT_GE(db, c.min_match_db) << c.format << " via " << c.tool;
    RecordProperty("match_db", std::to_string(db));
}

std::string case_name(const char* format, const char* tool) {
    std::string n = std::string(format) + "_" + tool;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, OursReadByPeer,
    ::testing::Values(
        OursCase{"pcm:44100:2:16", "sox", 200, 0}, OursCase{"pcm:8000:1:8", "ffmpeg", 200, 0},
        OursCase{"alaw:8000:1", "sox", 200, 0}, OursCase{"alaw:8000:2", "ffmpeg", 200, 0},
        OursCase{"mulaw:22050:1", "sox", 200, 0}, OursCase{"mulaw:8000:2", "ffmpeg", 200, 0},
        OursCase{"ima-adpcm:8000:1", "sox", 200, 0}, OursCase{"ima-adpcm:22050:2", "sox", 200, 0},
        // ffmpeg expands IMA codes by multiplying where the reference adds shifted steps, and
        // MS ADPCM predictions by dividing where the reference shifts: close, not equal.
        OursCase{"ima-adpcm:44100:2", "ffmpeg", 50, 0},  // measured 54 dB
        OursCase{"ima-adpcm:11025:1", "ffmpeg", 50, 0}, OursCase{"ms-adpcm:8000:1", "sox", 200, 0},
        OursCase{"ms-adpcm:44100:2", "sox", 200, 0},
        OursCase{"ms-adpcm:22050:2", "ffmpeg", 40, 0},  // measured 47 dB
        OursCase{"ms-adpcm:11025:1", "ffmpeg", 40, 0}, OursCase{"gsm610:8000:1", "sox", 200, 0},
        OursCase{"gsm610:8000:1", "ffmpeg", 60, 0},
        OursCase{"mp3:44100:2:128", "ffmpeg", 80, 1200},  // measured 98 dB
        OursCase{"mp3:16000:1:32", "ffmpeg", 80, 1200}),
    [](const auto& info) { return case_name(info.param.format, info.param.tool); });

struct TheirsCase {
    const char* tool;
    const char* encode_args;  // options that pick the peer's encoder
    double min_match_db;      // ours against the peer's decoding of its own file
    WORD expect_tag;
};

class PeerReadByUs : public Interop, public ::testing::WithParamInterface<TheirsCase> {};

TEST_P(PeerReadByUs, WeDecodeWhatThePeerEncoded) {
    const TheirsCase c = GetParam();
    if (!have_tool(c.tool))
        GTEST_SKIP() << c.tool << " is not installed; cannot check " << c.encode_args;
    const bool gsm = std::string(c.encode_args).find("gsm") != std::string::npos;
    const int rate = gsm ? 8000 : 22050;
    const int channels = gsm ? 1 : 2;
    write_wav(path("source.wav"), pcm(rate, channels, 16), bytes_of(test_signal(rate, channels)),
              0);
    const std::string coded = path("coded.wav");
    const bool encoded =
        std::string(c.tool) == "sox"
            ? run("sox '" + path("source.wav") + "' " + c.encode_args + " '" + coded + "'")
            : run("ffmpeg -nostdin -v error -y -i '" + path("source.wav") + "' " + c.encode_args +
                  " '" + coded + "'");
    if (!encoded) GTEST_SKIP() << c.tool << " cannot encode with " << c.encode_args;
    WavFile file;
    ASSERT_TRUE(read_wav(coded, file));
    ASSERT_EQ(wfx(file.format).wFormatTag, c.expect_tag) << c.encode_args;
    ASSERT_TRUE(decode_with(c.tool, coded, path("theirs.wav")));
    WavFile theirs;
    ASSERT_TRUE(read_wav(path("theirs.wav"), theirs));
    const auto ours = our_decode(file.format, file.data);
    const auto their_samples = samples_of(theirs.data);
    // Their decoding may keep a partial last block that ours leaves out; never more than one.
    EXPECT_LE(their_samples.size() - std::min(their_samples.size(), ours.size()), 2048u * channels);
    const double db = match_db(ours, their_samples, channels, 0);
    EXPECT_GE(db, c.min_match_db) << c.encode_args;
    RecordProperty("match_db", std::to_string(db));
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, PeerReadByUs,
    ::testing::Values(TheirsCase{"sox", "-e ima-adpcm", 200, WAVE_FORMAT_IMA_ADPCM},
                      TheirsCase{"sox", "-e ms-adpcm", 200, WAVE_FORMAT_ADPCM},
                      TheirsCase{"sox", "-e gsm-full-rate", 200, WAVE_FORMAT_GSM610},
                      TheirsCase{"sox", "-e a-law", 200, WAVE_FORMAT_ALAW},
                      TheirsCase{"sox", "-e u-law", 200, WAVE_FORMAT_MULAW},
                      TheirsCase{"sox", "-b 24", 200, WAVE_FORMAT_EXTENSIBLE},
                      TheirsCase{"sox", "-e floating-point -b 32", 200, WAVE_FORMAT_IEEE_FLOAT},
                      TheirsCase{"ffmpeg", "-c:a adpcm_ima_wav", 50, WAVE_FORMAT_IMA_ADPCM},
                      TheirsCase{"ffmpeg", "-c:a adpcm_ms", 40, WAVE_FORMAT_ADPCM},
                      TheirsCase{"ffmpeg", "-c:a libgsm_ms -ar 8000 -ac 1", 60, WAVE_FORMAT_GSM610},
                      TheirsCase{"ffmpeg", "-c:a pcm_alaw", 200, WAVE_FORMAT_ALAW},
                      TheirsCase{"ffmpeg", "-c:a pcm_mulaw", 200, WAVE_FORMAT_MULAW},
                      TheirsCase{"ffmpeg", "-c:a pcm_s24le", 200, WAVE_FORMAT_EXTENSIBLE},
                      TheirsCase{"ffmpeg", "-c:a pcm_f32le", 200, WAVE_FORMAT_EXTENSIBLE}),
    [](const auto& info) { return case_name(info.param.encode_args, info.param.tool); });

// lame writes a raw MP3 stream (with its info frame); the derived format decodes it.
TEST_F(Interop, WeDecodeWhatLameEncoded) {
    if (!have_tool("lame")) GTEST_SKIP() << "lame is not installed";
    const auto signal = test_signal(44100, 2, 2.0);
    write_wav(path("source.wav"), pcm(44100, 2, 16), bytes_of(signal), 0);
    ASSERT_TRUE(run("lame --quiet -b 128 '" + path("source.wav") + "' '" + path("lame.mp3") + "'"));
    ASSERT_TRUE(
        run("lame --quiet --decode '" + path("lame.mp3") + "' '" + path("theirs.wav") + "'"));
    std::vector<BYTE> stream;
    ASSERT_TRUE(read_file(path("lame.mp3"), stream));
    WavFile theirs;
    ASSERT_TRUE(read_wav(path("theirs.wav"), theirs));
    const auto ours = our_decode(named("mp3:44100:2:128"), stream);
    const auto their_samples = samples_of(theirs.data);
    EXPECT_GE(match_db(ours, their_samples, 2, 2400), 40);
    EXPECT_GE(snr_db(signal, ours, 2, best_lag(signal, ours, 2, 2400, 2048), 2048), 25)
        << "and it is the signal that went in";
}

}  // namespace

// What players make of the MP3 files kelvane convert writes. Inputs of every kind are made by sox
// and ffmpeg (so they are foreign files), converted at each of the conversion window's seven bit
// rates, and read back: mpg123 and ffmpeg find the tone, mpg123 and ffprobe give the length
// within one frame of the input's (sox, which ignores the info frame's delay and padding, decodes
// the frames it announces, and the length once those are taken off), ffmpeg seeks to within a
// frame, and ffprobe reads the tags.
// A missing tool skips its cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tests/support/mp3_layout.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

using quillon::test::TempDir;
using quillon_test::run_command;

namespace {

bool have(const char* tool) {
    return run_command(std::string("command -v ") + tool).status == 0;
}

bool have_all() {
    return have("sox") && have("ffmpeg") && have("ffprobe") && have("mpg123");
}

struct Kind {
    const char* name;
    const char* make;  // makes in.wav from a 440 Hz tone of SECONDS
};

// {} stands for the output file, SECONDS for the length.
const Kind kKinds[] = {
    {"pcm16_44k_stereo", "sox -n -r 44100 -c 2 -b 16 {} synth SECONDS sine 440 vol 0.5"},
    {"pcm8_11k_mono", "sox -n -r 11025 -c 1 -b 8 -e unsigned {} synth SECONDS sine 440 vol 0.5"},
    {"pcm24_96k_stereo", "sox -n -r 96000 -c 2 -b 24 {} synth SECONDS sine 440 vol 0.5"},
    {"pcm16_37k_6ch", "sox -n -r 37800 -c 6 -b 16 {} synth SECONDS sine 440 vol 0.5"},
    {"float_22k_stereo",
     "sox -n -r 22050 -c 2 -e floating-point -b 32 {} synth SECONDS sine 440 vol 0.5"},
    {"extensible_48k_mono",
     "ffmpeg -nostdin -v error -y -f lavfi -i sine=f=440:d=SECONDS:sample_rate=48000 "
     "-c:a pcm_s32le -rf64 never {}"},
    {"alaw_8k_mono", "sox -n -r 8000 -c 1 -e a-law {} synth SECONDS sine 440 vol 0.5"},
    {"mulaw_8k_stereo", "sox -n -r 8000 -c 2 -e u-law {} synth SECONDS sine 440 vol 0.5"},
    {"ima_22k_stereo", "sox -n -r 22050 -c 2 -e ima-adpcm {} synth SECONDS sine 440 vol 0.5"},
    {"msadpcm_11k_mono", "sox -n -r 11025 -c 1 -e ms-adpcm {} synth SECONDS sine 440 vol 0.5"},
    {"gsm_8k_mono", "sox -n -r 8000 -c 1 -e gsm-full-rate {} synth SECONDS sine 440 vol 0.5"},
    {"mp3inwav_44k_stereo",
     "ffmpeg -nostdin -v error -y -f lavfi -i sine=f=440:d=SECONDS:sample_rate=44100 -ac 2 "
     "-c:a libmp3lame -b:a 128k -f wav {}"},
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.name;
}

constexpr int kBitrates[] = {32, 56, 64, 96, 112, 128, 256};

std::string fill(std::string text, const std::string& file, double seconds) {
    text.replace(text.find("{}"), 2, "'" + file + "'");
    char s[16];
    std::snprintf(s, sizeof s, "%g", seconds);
    for (std::size_t at; (at = text.find("SECONDS")) != std::string::npos;) text.replace(at, 7, s);
    return text;
}

// Mono 16-bit samples a command writes to its standard output.
std::vector<int16_t> decoded(const std::string& command) {
    const auto r = run_command(command + " 2>/dev/null");
    std::vector<int16_t> out(r.output.size() / 2);
    std::memcpy(out.data(), r.output.data(), out.size() * 2);
    return out;
}

std::string probe(const std::string& entries, const std::string& file) {
    auto r = run_command("ffprobe -v error -show_entries " + entries +
                         " -of default=noprint_wrappers=1:nokey=1 '" + file + "'");
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r'))
        r.output.pop_back();
    return r.output;
}

// Samples per channel of the input, as ffmpeg decodes it, at `rate`.
double input_samples(const std::string& file, int rate) {
    return static_cast<double>(decoded("ffmpeg -nostdin -v error -i '" + file + "' -ac 1 -ar " +
                                       std::to_string(rate) + " -f s16le -")
                                   .size());
}

class Conversion : public ::testing::TestWithParam<std::tuple<Kind, int>> {};

TEST_P(Conversion, PlayersFindTheToneAndTheLength) {
    if (!have_all()) GTEST_SKIP() << "sox, ffmpeg, ffprobe and mpg123 are needed";
    const auto& [kind, kbps] = GetParam();
    TempDir dir;
    const std::string in = dir.file("in.wav"), out = dir.file("out.mp3");
    ASSERT_EQ(run_command(fill(kind.make, in, 1.5)).status, 0) << kind.name;
    const auto r = quillon_test::run_kelvane("convert '" + in + "' '" + out + "' --bitrate " +
                                             std::to_string(kbps));
    ASSERT_EQ(r.status, 0) << r.output;

    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(out));
    ASSERT_TRUE(layout.whole);
    ASSERT_EQ(layout.info_frames, layout.audio_frames);
    const int rate = layout.rate;
    const double spf = static_cast<double>(layout.samples_per_frame);
    // Exact for a constant bit rate with LAME's info frame; an average over the whole file where
    // the info frame is ours (it has a larger bit rate of its own).
    EXPECT_NEAR(std::stod(probe("stream=bit_rate", out)), kbps * 1000, kbps * 100);

    const auto by_mpg123 = decoded("mpg123 -q -m -s '" + out + "'");
    const auto by_ffmpeg = decoded("ffmpeg -nostdin -v error -i '" + out + "' -ac 1 -f s16le -");
    EXPECT_NEAR(quillon_test::tone_frequency(by_mpg123, rate), 440, 440 * 0.01) << "mpg123";
    EXPECT_NEAR(quillon_test::tone_frequency(by_ffmpeg, rate), 440, 440 * 0.01) << "ffmpeg";

    const double source = input_samples(in, rate);
    EXPECT_NEAR(static_cast<double>(by_mpg123.size()), source, spf) << "mpg123";
    EXPECT_NEAR(static_cast<double>(by_ffmpeg.size()), source, spf) << "ffmpeg";
    // ffprobe's duration counts from the stream's start, before the delay it skips.
    const double ffprobe =
        (std::stod(probe("format=duration", out)) - std::stod(probe("stream=start_time", out))) *
        rate;
    EXPECT_NEAR(ffprobe, source, spf) << "ffprobe";
    const auto by_sox = decoded("sox '" + out + "' -t s16 -c 1 -");
    EXPECT_NEAR(static_cast<double>(by_sox.size()),
                static_cast<double>(layout.audio_frames * layout.samples_per_frame), spf)
        << "sox";
    EXPECT_NEAR(static_cast<double>(by_sox.size()) - layout.delay - 529 - layout.padding, source,
                spf)
        << "sox";
}

INSTANTIATE_TEST_SUITE_P(KindsAndBitrates, Conversion,
                         ::testing::Combine(::testing::ValuesIn(kKinds),
                                            ::testing::ValuesIn(kBitrates)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

struct SeekCase {
    const char* name;
    int rate;
    const char* options;  // for kelvane convert
};

void PrintTo(const SeekCase& c, std::ostream* os) {
    *os << c.name;
}

class Seeking : public ::testing::TestWithParam<SeekCase> {};

// A sweep, so that every moment sounds different and a misplaced seek shows as a lag.
TEST_P(Seeking, FfmpegLandsWithinAFrame) {
    if (!have_all()) GTEST_SKIP() << "sox, ffmpeg, ffprobe and mpg123 are needed";
    const SeekCase c = GetParam();
    TempDir dir;
    const std::string in = dir.file("in.wav"), out = dir.file("out.mp3");
    ASSERT_EQ(run_command("sox -n -r " + std::to_string(c.rate) + " -c 2 -b 16 '" + in +
                          "' synth 8 sine 200-3000 vol 0.5")
                  .status,
              0);
    const auto r = quillon_test::run_kelvane("convert '" + in + "' '" + out + "' " + c.options);
    ASSERT_EQ(r.status, 0) << r.output;
    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(out));
    const int rate = layout.rate;
    const auto source = decoded("sox '" + in + "' -t s16 -c 1 -r " + std::to_string(rate) + " -");
    const auto whole = decoded("ffmpeg -nostdin -v error -i '" + out + "' -ac 1 -f s16le -");
    const auto sought =
        decoded("ffmpeg -nostdin -v error -ss 5.0 -i '" + out + "' -ac 1 -t 1 -f s16le -");
    ASSERT_GT(sought.size(), static_cast<std::size_t>(rate / 2));

    // The lag of `test` against `ref` at sample `at`, within a few frames either way. The frames
    // just after a seek lack the main data they take from frames before it (at 32 kbit/s as
    // many as seven), so the comparison starts after those and the frame the seek lands in.
    const std::size_t from = (layout.reservoir_frames + 1) * layout.samples_per_frame;
    ASSERT_GT(sought.size(), from + 4096);
    auto lag = [&](const std::vector<int16_t>& ref, std::size_t at,
                   const std::vector<int16_t>& test) {
        const long span = 4 * static_cast<long>(layout.samples_per_frame);
        long best = 0;
        double best_score = -1e300;
        for (long l = -span; l <= span; ++l) {
            double score = 0;
            for (std::size_t i = from; i < from + 4096 && i < test.size(); ++i) {
                const long j = static_cast<long>(at + i) + l;
                if (j >= 0 && j < static_cast<long>(ref.size())) score += double(ref[j]) * test[i];
            }
            if (score > best_score) best_score = score, best = l;
        }
        return best;
    };
    // The whole decoding lines up with the source (the delay is skipped exactly), and the seek
    // lands where the whole decoding has that moment.
    EXPECT_LE(std::abs(lag(source, rate, {whole.begin() + rate, whole.end()})), 2);
    EXPECT_LE(std::abs(lag(whole, 5 * rate, sought)), static_cast<long>(layout.samples_per_frame));
}

INSTANTIATE_TEST_SUITE_P(Files, Seeking,
                         ::testing::Values(SeekCase{"constant_128", 44100, "--bitrate 128"},
                                           SeekCase{"constant_32", 44100, "--bitrate 32"},
                                           SeekCase{"average_128", 44100, "--bitrate 128 --vbr"},
                                           SeekCase{"low_rate_256", 8000, "--bitrate 256"},
                                           SeekCase{"mpeg2_64", 22050, "--bitrate 64 --vbr"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Tags, FfprobeReadsTheWavTexts) {
    if (!have_all()) GTEST_SKIP() << "sox, ffmpeg, ffprobe and mpg123 are needed";
    TempDir dir;
    const std::string in = dir.file("in.wav"), out = dir.file("out.mp3");
    // ffmpeg writes the WAV's INFO list from its metadata.
    ASSERT_EQ(run_command("ffmpeg -nostdin -v error -y -f lavfi -i sine=f=440:d=1 "
                          "-metadata title='Night Song' -metadata artist='Zoë' "
                          "-metadata comment='first take' -metadata date=2024-05-17 "
                          "-metadata genre=Jazz -metadata album=Demos '" +
                          in + "'")
                  .status,
              0);
    const auto r =
        quillon_test::run_kelvane("convert '" + in + "' '" + out + "' --info ICOP='(c) 2024 €uro'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(probe("format_tags=title", out), "Night Song");
    EXPECT_EQ(probe("format_tags=artist", out), "Zoë");
    EXPECT_EQ(probe("format_tags=comment", out), "first take");
    EXPECT_EQ(probe("format_tags=date", out).substr(0, 4), "2024");
    EXPECT_EQ(probe("format_tags=genre", out), "Jazz");
    EXPECT_EQ(probe("format_tags=album", out), "Demos");
    EXPECT_EQ(probe("format_tags=copyright", out), "(c) 2024 €uro");
}

}  // namespace

// MP3 files that lame and ffmpeg write, as users have them (ID3 tags, info frames or none,
// constant and variable bit rates, MPEG-1, 2 and 2.5, mono and stereo), played through the sound
// file object and measured against mpg123's decoding of the same file: the length, the decoded
// audio and where a seek lands. Skipped where one of the three is not installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "control/engine/sound_file.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"
#include "tests/support/tools.h"

namespace kelvane::engine {
namespace {

using quillon_test::read_all;
using quillon_test::run_command;

struct PeerFile {
    const char* name;
    const char* make;  // {in} is a 3 s stereo sweep at 44100 Hz, {out} the MP3 file
};

const PeerFile kPeerFiles[] = {
    {"lame_cbr128_id3v2", "lame --quiet -b 128 --add-id3v2 --tt Title --ta Artist {in} {out}"},
    {"lame_vbr_v4", "lame --quiet -V 4 {in} {out}"},
    {"lame_cbr160_no_info_frame", "lame --quiet -t -b 160 {in} {out}"},
    {"lame_mono_44k_128", "lame --quiet -m m -b 128 {in} {out}"},
    {"lame_mpeg2_22k_mono_id3v1",
     "lame --quiet -m m --resample 22.05 -b 32 --id3v1-only --tt T "
     "{in} {out}"},
    {"lame_mpeg25_8k_vbr", "lame --quiet --resample 8 -V 6 {in} {out}"},
    {"ffmpeg_default_192", "ffmpeg -nostdin -v error -y -i {in} -b:a 192k {out}"},
    {"ffmpeg_vbr_48k", "ffmpeg -nostdin -v error -y -i {in} -ar 48000 -q:a 2 {out}"},
    {"ffmpeg_mpeg25_11k_mono_no_info_frame",
     "ffmpeg -nostdin -v error -y -i {in} -ar 11025 -ac 1 -b:a 24k -write_xing 0 {out}"},
    {"ffmpeg_mpeg2_24k_mono_id3v1",
     "ffmpeg -nostdin -v error -y -i {in} -ar 24000 -ac 1 -b:a 48k -write_id3v1 1 {out}"},
};

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what))
        text.replace(at, what.size(), with);
    return text;
}

std::vector<std::int16_t> samples_of(const std::vector<char>& bytes) {
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// Signal to difference ratio in dB of `ours` against `reference` from sample `at` of it.
double snr_db(const std::vector<std::int16_t>& ours, const std::vector<std::int16_t>& reference,
              std::size_t at) {
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < ours.size() && at + i < reference.size(); ++i) {
        const double r = reference[at + i];
        signal += r * r;
        noise += (r - ours[i]) * (r - ours[i]);
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

// The sample frame of `reference` where `piece` fits best, searched around `guess`.
long best_fit(const std::vector<std::int16_t>& piece, const std::vector<std::int16_t>& reference,
              long guess, long radius, int channels) {
    long best = -1;
    double best_error = 0;
    for (long frame = std::max(0L, guess - radius); frame <= guess + radius; ++frame) {
        const std::size_t at = static_cast<std::size_t>(frame) * channels;
        if (at + piece.size() > reference.size()) break;
        double error = 0;
        for (std::size_t i = 0; i < piece.size(); i += 7) {
            const double d = piece[i] - reference[at + i];
            error += d * d;
        }
        if (best < 0 || error < best_error) best = frame, best_error = error;
    }
    return best;
}

// Decodes everything from the current position: the PCM bytes.
std::vector<char> decode(SoundFile& f, std::size_t limit = SIZE_MAX) {
    std::vector<char> out;
    std::vector<BYTE> chunk(16384);
    while (out.size() < limit) {
        const LONG n = f.read_and_convert(chunk);
        if (n <= 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

class Mp3PeerFiles : public ::testing::TestWithParam<PeerFile> {
  protected:
    void SetUp() override {
        for (const char* tool : {"sox", "lame", "ffmpeg", "mpg123"}) QUILLON_REQUIRE_TOOL(tool);
        ASSERT_EQ(run_command("sox -n -r 44100 -c 2 -b 16 '" + m_in +
                              "' synth 3 sine 200-4000 sine 300-5000 gain -3")
                      .status,
                  0);
        const std::string make = replaced(replaced(GetParam().make, "{in}", "'" + m_in + "'"),
                                          "{out}", "'" + m_mp3 + "'");
        const auto made = run_command(make);
        ASSERT_EQ(made.status, 0) << make << "\n" << made.output;
        ASSERT_EQ(run_command("mpg123 -q -s '" + m_mp3 + "' > '" + m_ref + "'").status, 0);
        m_reference = samples_of(read_all(m_ref));
    }

    quillon::test::TempDir m_dir;
    std::string m_in = m_dir.file("in.wav");
    std::string m_mp3 = m_dir.file("peer.mp3");
    std::string m_ref = m_dir.file("reference.raw");
    std::vector<std::int16_t> m_reference;  // mpg123's decoding, interleaved
};

TEST_P(Mp3PeerFiles, PlayLikeMpg123AndSeekToTheFrameAsked) {
    SoundFile f;
    ASSERT_EQ(f.open_for_playback(m_mp3), 0);
    ASSERT_TRUE(f.is_mp3());
    ASSERT_TRUE(f.allocate_work_buffer(65536));
    const int channels = f.device_format().nChannels;
    const DWORD align = f.device_format().nBlockAlign;
    const long spf = static_cast<long>(f.mp3_stream().samples_per_frame);
    const long reference_frames = static_cast<long>(m_reference.size()) / channels;

    // The length we announce, and what we decode, within one frame of mpg123's; the audio the
    // same as its.
    const long announced = static_cast<long>(f.total_pcm_bytes() / align);
    EXPECT_LE(std::abs(announced - reference_frames), spf)
        << "announced " << announced << ", mpg123 " << reference_frames;
    const auto ours = samples_of(decode(f));
    const long decoded = static_cast<long>(ours.size()) / channels;
    EXPECT_LE(std::abs(decoded - reference_frames), spf) << decoded << " " << reference_frames << " " << announced;
    EXPECT_LE(decoded, announced) << "the position would pass the length";
    EXPECT_GT(snr_db(ours, m_reference, 0), 60);

    // Seeks: the position the seek reports is where the audio that follows sits in mpg123's
    // decoding, it is within one frame of the position asked for, and the audio from there on
    // is as clean as when played through.
    for (double part : {0.4, 0.75, 0.1}) {
        const long wanted = static_cast<long>(announced * part);
        const LONG landed = f.seek(static_cast<LONG>(wanted * align), 3);
        ASSERT_GE(landed, 0);
        const long at = landed / static_cast<long>(align);
        EXPECT_LE(std::abs(at - wanted), spf) << part;
        const auto after = samples_of(decode(f, static_cast<std::size_t>(4 * spf) * align));
        ASSERT_GT(after.size(), static_cast<std::size_t>(spf * channels));
        const long fit = best_fit(after, m_reference, at, 2 * spf, channels);
        EXPECT_EQ(fit, at) << part;
        EXPECT_GT(snr_db(after, m_reference, static_cast<std::size_t>(at) * channels), 40) << part;
    }
    // Back to the start: the whole file once more, as at first.
    ASSERT_EQ(f.seek(0, 3), 0);
    EXPECT_EQ(samples_of(decode(f)), ours);
}

INSTANTIATE_TEST_SUITE_P(LameAndFfmpeg, Mp3PeerFiles, ::testing::ValuesIn(kPeerFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvane::engine

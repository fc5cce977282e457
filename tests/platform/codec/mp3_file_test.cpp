// The MP3 file writer: the rate it picks for each source, the file it leaves (tag, info frame
// whose counts and gapless fields match the frames, nothing after them), and that a failure or
// an abandoned file never touches what was at the destination before.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/codec/mp3_file.h"
#include "tests/platform/codec/codec_test_util.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/mp3_layout.h"
#include "tests/support/temp_dir.h"

namespace qc = quillon::codec;
namespace fs = std::filesystem;
using quillon::test::TempDir;

namespace {

struct RateCase {
    DWORD source, kbps, expected;
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << c.source << " Hz at " << c.kbps << " kbit/s";
}

class RateFor : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateFor, PicksTheNearestRateThatCarriesTheBitRate) {
    const RateCase c = GetParam();
    EXPECT_EQ(qc::Mp3FileWriter::rate_for(c.source, c.kbps), c.expected)
        << c.source << " Hz at " << c.kbps << " kbit/s";
}

INSTANTIATE_TEST_SUITE_P(
    Rates, RateFor,
    ::testing::Values(RateCase{44100, 128, 44100}, RateCase{8000, 64, 8000},
                      RateCase{96000, 128, 48000},  // never upwards when a lower rate serves
                      RateCase{37800, 128, 32000}, RateCase{88200, 32, 48000},
                      // MPEG-2.5 stops at 64 kbit/s, MPEG-2 at 160: low rates go up to carry
                      RateCase{8000, 128, 16000}, RateCase{8000, 256, 32000},
                      RateCase{22050, 256, 32000}, RateCase{11025, 96, 16000},
                      // and MPEG-1 starts at 32 kbit/s
                      RateCase{44100, 8, 24000}, RateCase{4000, 32, 8000}));

struct FileCase {
    DWORD rate;
    WORD channels;
    DWORD kbps;
    bool average;
    const char* info;  // the info frame's kind
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.rate << " Hz " << c.channels << " ch " << c.kbps << " kbit/s";
}

class WrittenFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(WrittenFile, InfoFrameTellsExactlyWhatTheFileHolds) {
    const FileCase c = GetParam();
    TempDir dir;
    const std::string path = dir.file("out.mp3");
    const std::size_t samples = c.rate * 3 + 123;  // not a whole number of frames
    qc::Mp3FileSettings settings;
    settings.rate = c.rate;
    settings.channels = c.channels;
    settings.kbps = c.kbps;
    settings.average = c.average;
    settings.expected_samples = samples;
    settings.tags = {{"TIT2", "", "Title"}};
    qc::Mp3FileWriter::Failure failure;
    auto writer = qc::Mp3FileWriter::create(path, settings, failure);
    ASSERT_TRUE(writer) << failure.text;
    const auto pcm = codec_test::sine(440, static_cast<int>(c.rate), c.channels,
                                      static_cast<double>(samples) / c.rate);
    ASSERT_EQ(pcm.size(), samples * c.channels);
    // In pieces, as the encoder component feeds it.
    for (std::size_t at = 0; at < pcm.size(); at += 4096 * c.channels)
        ASSERT_TRUE(writer->write(
            std::span(pcm).subspan(at, std::min<std::size_t>(4096 * c.channels, pcm.size() - at))));
    ASSERT_TRUE(writer->finish()) << writer->failure().text;

    const auto layout = quillon_test::mp3_layout(quillon::test::read_bytes(path));
    EXPECT_TRUE(layout.whole);
    EXPECT_EQ(layout.rate, static_cast<int>(c.rate));
    EXPECT_EQ(layout.tag_frames.count("TIT2"), 1u);
    EXPECT_EQ(layout.info_kind, c.info);
    EXPECT_EQ(layout.info_frames, layout.audio_frames);
    EXPECT_EQ(layout.audio_frames, writer->frames());
    EXPECT_EQ(writer->frames(), writer->expected_frames());
    EXPECT_EQ(layout.info_bytes, fs::file_size(path) - layout.tag_bytes);
    // Gapless: the frames minus the announced delay and padding are exactly the samples given.
    EXPECT_EQ(layout.delay, 576);
    EXPECT_EQ(layout.audio_frames * layout.samples_per_frame - layout.delay - layout.padding,
              samples);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, WrittenFile,
    ::testing::Values(FileCase{44100, 2, 128, false, "Info"},  // LAME's own info frame
                      FileCase{48000, 1, 256, false, "Info"},
                      FileCase{44100, 2, 32, false, "Xing"},  // too small for LAME's: ours
                      FileCase{44100, 2, 56, false, "Xing"}, FileCase{22050, 2, 32, false, "Xing"},
                      FileCase{8000, 1, 8, false, "Xing"}, FileCase{44100, 2, 128, true, "Xing"},
                      FileCase{16000, 1, 64, true, "Xing"}),
    [](const auto& info) {
        const FileCase& c = info.param;
        return std::to_string(c.rate) + "_" + std::to_string(c.channels) + "ch_" +
               std::to_string(c.kbps) + (c.average ? "_average" : "_constant");
    });

// The files in `dir` besides `keep`.
std::vector<std::string> others(const TempDir& dir, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
    return names;
}

TEST(Mp3FileWriter, AnAbandonedFileLeavesTheDestinationAsItWas) {
    TempDir dir;
    quillon::test::write_bytes(dir.file("out.mp3"), {'k', 'e', 'e', 'p'});
    qc::Mp3FileWriter::Failure failure;
    {
        auto writer = qc::Mp3FileWriter::create(dir.file("out.mp3"), {}, failure);
        ASSERT_TRUE(writer) << failure.text;
        ASSERT_TRUE(writer->write(codec_test::sine(440, 44100, 2, 0.5)));
        EXPECT_EQ(others(dir, "out.mp3").size(), 1u);  // the temporary file, beside it
    }
    EXPECT_EQ(quillon::test::read_bytes(dir.file("out.mp3")),
              (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(others(dir, "out.mp3").empty());
}

TEST(Mp3FileWriter, AFolderThatCannotTakeTheFileIsNamed) {
    TempDir dir;
    qc::Mp3FileWriter::Failure failure;
    EXPECT_FALSE(qc::Mp3FileWriter::create(dir.file("no/such/out.mp3"), {}, failure));
    EXPECT_NE(failure.text.find(dir.file("no/such")), std::string::npos) << failure.text;
    EXPECT_EQ(failure.system_error, ENOENT);
}

TEST(Mp3FileWriter, AFullDiskFailsAndKeepsTheOldFile) {
    TempDir dir;
    quillon::test::write_bytes(dir.file("out.mp3"), {'o', 'l', 'd'});
    quillon_test::FileSizeLimit full(100 * 1024);
    ASSERT_TRUE(full.ok());
    qc::Mp3FileWriter::Failure failure;
    auto writer = qc::Mp3FileWriter::create(dir.file("out.mp3"), {}, failure);
    ASSERT_TRUE(writer) << failure.text;
    bool written = true;
    const auto second = codec_test::sine(440, 44100, 2, 1.0);
    for (int i = 0; i < 20 && written; ++i) written = writer->write(second);
    if (written) written = writer->finish();
    full.lift();
    EXPECT_FALSE(written);
    EXPECT_EQ(writer->failure().system_error, EFBIG);
    EXPECT_NE(writer->failure().text.find("out.mp3"), std::string::npos);
    EXPECT_EQ(quillon::test::read_bytes(dir.file("out.mp3")),
              (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_TRUE(others(dir, "out.mp3").empty());
}

}  // namespace

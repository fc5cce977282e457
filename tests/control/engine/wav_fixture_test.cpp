// WAV files written by other programs (tests/data/wav, see make_fixtures.sh there): 16-byte fmt
// chunks, a G.711 fmt with fact, an extensible fmt, LIST before data, a bext chunk before data.
#include <gtest/gtest.h>

#include <string>

#include "control/engine/wav_file.h"

namespace {

using namespace kelvane::engine;

struct Fixture {
    const char* file;
    WORD tag;
    WORD channels;
    DWORD rate;
    WORD bits;
    WORD block_align;
    WORD cb_size;
    DWORD data_size;
    const char* title;   // INAM
    const char* artist;  // IART
};

class WavFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(WavFixture, IsReadWithItsFormatSizeAndTexts) {
    const Fixture& f = GetParam();
    WavHeader header;
    InfoTexts texts;
    const std::string path = std::string(QUILLON_TEST_DATA) + "/wav/" + f.file;
    ASSERT_EQ(test_for_wav(path), 1);
    ASSERT_EQ(read_wav_header(path, header, texts), 0);
    const WAVEFORMATEX& wfx = header.format.wfx;
    EXPECT_EQ(wfx.wFormatTag, f.tag);
    EXPECT_EQ(wfx.nChannels, f.channels);
    EXPECT_EQ(wfx.nSamplesPerSec, f.rate);
    EXPECT_EQ(wfx.nAvgBytesPerSec, f.rate * f.block_align);
    EXPECT_EQ(wfx.nBlockAlign, f.block_align);
    EXPECT_EQ(wfx.wBitsPerSample, f.bits);
    EXPECT_EQ(wfx.cbSize, f.cb_size);
    EXPECT_EQ(header.data_size, f.data_size);
    EXPECT_EQ(*info_text_for_property(texts, "infoName"), f.title);
    EXPECT_EQ(*info_text_for_property(texts, "infoArtists"), f.artist);
}

INSTANTIATE_TEST_SUITE_P(
    OtherWriters, WavFixture,
    ::testing::Values(
        Fixture{"sox_pcm16_mono_8k.wav", WAVE_FORMAT_PCM, 1, 8000, 16, 2, 0, 160, "", ""},
        Fixture{"sox_alaw_mono_8k.wav", WAVE_FORMAT_ALAW, 1, 8000, 8, 1, 0, 80, "", ""},
        Fixture{"sox_pcm24_3ch_48k.wav", WAVE_FORMAT_EXTENSIBLE, 3, 48000, 24, 9, 22, 432, "", ""},
        Fixture{"ffmpeg_list_stereo_22k.wav", WAVE_FORMAT_PCM, 2, 22050, 16, 4, 0, 884, "Tune",
                "Me"},
        Fixture{"ffmpeg_bext_mono_11k.wav", WAVE_FORMAT_PCM, 1, 11025, 16, 2, 0, 220, "", ""}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

}  // namespace

// The sound file object: recording through the conversion stream into WAV and MP3 files, and
// playback with its counters, seeks and end of data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "control/engine/sound_file.h"
#include "tests/support/temp_dir.h"

namespace kelvane::engine {
namespace {

WAVEFORMATEX pcm_format(DWORD rate, WORD channels, WORD bits) {
    const WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

std::vector<BYTE> sine(DWORD frames, DWORD rate, double hz, WORD channels = 1) {
    std::vector<BYTE> bytes(frames * 2 * channels);
    for (DWORD i = 0; i < frames; ++i)
        for (WORD c = 0; c < channels; ++c) {
            const auto s = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate));
            std::memcpy(&bytes[(i * channels + c) * 2], &s, 2);
        }
    return bytes;
}

class SoundFileTest : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return m_folder.file(name); }

    // Records `pcm` in pieces of `piece` bytes into `name` with the given file format.
    void record(SoundFile& f, const std::string& name, const FileFormat& file,
                const WAVEFORMATEX& device, const std::vector<BYTE>& pcm, std::size_t piece,
                std::size_t* written = nullptr) {
        f.file_format() = file;
        f.device_format() = device;
        ASSERT_EQ(f.open_for_recording(name), 0);
        ASSERT_TRUE(f.allocate_work_buffer(static_cast<DWORD>(piece * 2)));
        std::size_t used_total = 0;
        for (std::size_t at = 0; at < pcm.size(); at += piece) {
            const std::size_t n = std::min(piece, pcm.size() - at);
            const LONG used = f.convert_and_write({pcm.data() + at, n});
            if (used > 0) used_total += static_cast<std::size_t>(used);
        }
        if (written) *written = used_total;
        EXPECT_EQ(f.close(), 0);
    }

    quillon::test::TempDir m_folder;
};

TEST_F(SoundFileTest, PcmRecordingConvertsOneToOneAndPlaysBackTheSameBytes) {
    const WAVEFORMATEX device = pcm_format(8000, 1, 16);
    FileFormat file{};
    file.wfx = device;
    const auto pcm = sine(8000, 8000, 440);
    SoundFile f;
    f.info().slots[14] = "Tone";  // INAM
    std::size_t used = 0;
    record(f, path("tone.wav"), file, device, pcm, 3200, &used);
    EXPECT_EQ(used, pcm.size());
    // The 16058 bytes of a one-second file, then LIST/INFO with INAM "Tone" and its pad byte.
    EXPECT_EQ(std::filesystem::file_size(path("tone.wav")), 16058u + 8 + 4 + 8 + 6);
    EXPECT_EQ(f.mode(), SoundFile::Mode::idle);

    f.info() = {};
    ASSERT_EQ(f.open_for_playback(path("tone.wav")), 0);
    EXPECT_EQ(f.info().slots[14], "Tone");
    EXPECT_EQ(f.data_size(), 16000u);
    EXPECT_EQ(f.total_pcm_bytes(), 16000u);
    EXPECT_EQ(f.device_format().nSamplesPerSec, 8000u);
    ASSERT_TRUE(f.allocate_work_buffer(8000));
    std::vector<BYTE> back;
    std::vector<BYTE> chunk(3000);
    for (;;) {
        const LONG n = f.read_and_convert(chunk);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        back.insert(back.end(), chunk.begin(), chunk.begin() + n);
    }
    // Stops at the end of the data chunk although LIST follows it.
    EXPECT_EQ(back, pcm);
    EXPECT_EQ(f.pcm_produced(), 16000u);
}

TEST_F(SoundFileTest, PcmInTheDeviceLayoutGoesInByWholeBlocksAndOtherLayoutsAreConverted) {
    const WAVEFORMATEX stereo = pcm_format(8000, 2, 16);
    const auto pcm = sine(1000, 8000, 440, 2);
    FileFormat same{};
    same.wfx = stereo;
    SoundFile f;
    f.file_format() = same;
    f.device_format() = stereo;
    ASSERT_EQ(f.open_for_recording(path("a.wav")), 0);
    ASSERT_TRUE(f.allocate_work_buffer(8000));
    // Two and a half frames: the half frame is dropped, the rest goes in unchanged.
    EXPECT_EQ(f.convert_and_write({pcm.data(), 10}), 8);
    EXPECT_EQ(f.convert_and_write({pcm.data() + 8, 2}), -1);
    EXPECT_EQ(f.convert_and_write({pcm.data() + 8, pcm.size() - 8}),
              static_cast<LONG>(pcm.size() - 8));
    EXPECT_EQ(f.close(), 0);
    ASSERT_EQ(f.open_for_playback(path("a.wav")), 0);
    ASSERT_TRUE(f.allocate_work_buffer(8000));
    std::vector<BYTE> back(pcm.size() + 4);
    ASSERT_EQ(f.read_and_convert(back), static_cast<LONG>(pcm.size()));
    back.resize(pcm.size());
    EXPECT_EQ(back, pcm);
    EXPECT_EQ(f.close(), 0);

    // The same samples into 8-bit mono: converted, a quarter of the bytes.
    FileFormat narrow{};
    narrow.wfx = pcm_format(8000, 1, 8);
    std::size_t used = 0;
    record(f, path("b.wav"), narrow, stereo, pcm, 1000, &used);
    EXPECT_EQ(used, pcm.size());
    ASSERT_EQ(f.open_for_playback(path("b.wav")), 0);
    EXPECT_EQ(f.data_size(), pcm.size() / 4);
}

TEST_F(SoundFileTest, SeeksMoveByPcmBytesFromEachOriginAndStayInsideTheData) {
    const WAVEFORMATEX device = pcm_format(8000, 1, 16);
    FileFormat file{};
    file.wfx = device;
    SoundFile f;
    record(f, path("seek.wav"), file, device, sine(4000, 8000, 300), 8000);
    ASSERT_EQ(f.open_for_playback(path("seek.wav")), 0);
    ASSERT_TRUE(f.allocate_work_buffer(4000));
    EXPECT_EQ(f.seek(2000, 3), 2000);
    EXPECT_EQ(f.seek(1000, 1), 3000);
    EXPECT_EQ(f.seek(-1000, 2), 7000);
    EXPECT_EQ(f.seek(-100000, 1), 0);
    EXPECT_EQ(f.seek(100000, 3), 8000);
    std::vector<BYTE> chunk(1000);
    EXPECT_EQ(f.read_and_convert(chunk), 0);
    EXPECT_EQ(f.seek(10, 7), -1);
    EXPECT_EQ(f.seek(7998, 3), 7998);
    EXPECT_EQ(f.read_and_convert(chunk), 2);
}

TEST_F(SoundFileTest, CompressedRecordingDropsThePartialBlockAndDecodesBack) {
    const WAVEFORMATEX device = pcm_format(8000, 1, 16);
    FileFormat file{};
    file.wfx = {WAVE_FORMAT_GSM610, 1, 8000, 1625, 65, 0, 2};
    const WORD samples_per_block = 320;
    std::memcpy(file.extra.data(), &samples_per_block, 2);
    // 1000 samples: three whole 320-sample blocks, 40 samples dropped.
    const auto pcm = sine(1000, 8000, 500);
    SoundFile f;
    std::size_t used = 0;
    record(f, path("gsm.wav"), file, device, pcm, pcm.size(), &used);
    EXPECT_EQ(used, 3u * 640);

    ASSERT_EQ(f.open_for_playback(path("gsm.wav")), 0);
    EXPECT_EQ(f.file_format().wfx.wFormatTag, WAVE_FORMAT_GSM610);
    EXPECT_EQ(f.device_format().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.data_size(), 3u * 65);
    EXPECT_EQ(f.total_pcm_bytes(), 3u * 640);
}

TEST_F(SoundFileTest, Mp3RecordingWritesTheHeaderAndPlaysBack) {
    const WAVEFORMATEX device = pcm_format(44100, 2, 16);
    FileFormat file{};
    file.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, 12};
    const BYTE extra[12] = {1, 0, 2, 0, 0, 0, 0x72, 0x01, 1, 0, 0x71, 0x05};
    std::memcpy(file.extra.data(), extra, sizeof extra);
    const auto pcm = sine(44100, 44100, 1000, 2);
    SoundFile f;
    record(f, path("tone.mp3"), file, device, pcm, 44100 * 4 / 10);
    const auto size = std::filesystem::file_size(path("tone.mp3"));
    EXPECT_GT(size, 10000u);
    EXPECT_LT(size, 20000u);

    ASSERT_EQ(f.open_for_playback(path("tone.mp3")), 0);
    EXPECT_TRUE(f.is_mp3());
    EXPECT_EQ(f.data_start(), 4u);
    EXPECT_EQ(f.device_format().nChannels, 2);
    EXPECT_EQ(f.device_format().nSamplesPerSec, 44100u);
    ASSERT_TRUE(f.allocate_work_buffer(64000));
    std::vector<BYTE> chunk(17640);
    std::size_t total = 0;
    for (int guard = 0; guard < 1000; ++guard) {
        const LONG n = f.read_and_convert(chunk);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    // The encoder is flushed at close: every input sample comes back (with its delay).
    EXPECT_GE(total, pcm.size());
}

TEST_F(SoundFileTest, FailedOpensLeaveTheObjectIdle) {
    SoundFile f;
    f.file_format().wfx = pcm_format(8000, 1, 16);
    f.device_format() = pcm_format(8000, 1, 16);
    EXPECT_LT(f.open_for_recording(path("no-extension")), 0);
    EXPECT_LT(f.open_for_recording(path("missing/dir/x.wav")), 0);
    EXPECT_LT(f.open_for_recording(std::string(2000, 'a') + ".wav"), 0);
    EXPECT_EQ(f.mode(), SoundFile::Mode::idle);
    EXPECT_LT(f.open_for_playback(path("absent.wav")), 0);
    std::ofstream(path("junk.wav")) << "not a sound file at all";
    EXPECT_LT(f.open_for_playback(path("junk.wav")), 0);
    EXPECT_EQ(f.mode(), SoundFile::Mode::idle);
    EXPECT_EQ(f.close(), 0);
    std::vector<BYTE> chunk(10);
    EXPECT_EQ(f.read_and_convert(chunk), -1);
    EXPECT_EQ(f.seek(0, 3), -1);
}

}  // namespace
}  // namespace kelvane::engine

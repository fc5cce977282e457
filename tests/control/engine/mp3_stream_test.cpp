// Reading MP3 files laid out as other programs write them, from bytes built here: where the audio
// starts and ends, how long it is, where its frames are; and the control's own raw files, which
// read exactly as their 4-byte header says.
#include "control/engine/mp3_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/engine/little_endian.h"
#include "platform/codec/mpeg_frame.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvane::engine;
using quillon::codec::MpegVersion;
using quillon::codec::parse_mpeg_frame_header;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

// Header bytes of an MPEG-1 Layer III frame without CRC at `rate_index` (0: 44100 Hz) and
// `kbps_index`, stereo or mono.
Bytes header(int kbps_index, bool mono = false, int version = 3, int rate_index = 0,
             bool padding = false) {
    return {0xFF, static_cast<BYTE>(0xE0 | version << 3 | 1 << 1 | 1),
            static_cast<BYTE>(kbps_index << 4 | rate_index << 2 | (padding ? 2 : 0)),
            static_cast<BYTE>(mono ? 0xC4 : 0x44)};
}

// A whole frame: the header, then a body of `fill` bytes (which never holds a sync pattern).
Bytes frame(const Bytes& h, BYTE fill = 0x11) {
    const auto parsed = parse_mpeg_frame_header(h);
    Bytes f(parsed ? parsed->bytes : 4, fill);
    std::copy(h.begin(), h.end(), f.begin());
    return f;
}

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

void put_be32(Bytes& b, std::size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (24 - 8 * i));
}

// An info frame ("Xing" or "Info") of a 128 kbit/s stereo header with the frame and byte counts
// and LAME's extension giving `delay` and `padding`.
Bytes info_frame(const char* tag, DWORD frames, DWORD bytes, int delay = -1, int padding = 0) {
    Bytes f = frame(header(9), 0);
    const std::size_t at = 4 + 32;
    std::copy(tag, tag + 4, f.begin() + at);
    put_be32(f, at + 4, 0x0F);
    put_be32(f, at + 8, frames);
    put_be32(f, at + 12, bytes);
    if (delay >= 0) {
        const std::size_t lame = at + 120;
        std::copy_n("LAME3.100", 9, f.begin() + lame);
        f[lame + 21] = static_cast<BYTE>(delay >> 4);
        f[lame + 22] = static_cast<BYTE>((delay & 0xF) << 4 | padding >> 8);
        f[lame + 23] = static_cast<BYTE>(padding);
    }
    return f;
}

Bytes id3v2(std::size_t body) {
    Bytes t = {'I', 'D', '3', 3, 0, 0};
    for (int shift : {21, 14, 7, 0}) t.push_back(static_cast<BYTE>((body >> shift) & 0x7F));
    t.resize(10 + body, 0);
    return t;
}

class Mp3StreamTest : public ::testing::Test {
  protected:
    int read(const Bytes& bytes, Mp3Stream& stream, Mp3Problem* problem = nullptr) {
        write_bytes(m_path, bytes);
        return read_mp3_stream(m_path, stream, problem);
    }
    TempDir m_dir;
    std::string m_path = m_dir.file("x.mp3");
};

TEST(MpegFrameHeader, EveryVersionRateBitRateAndChannelModeParses) {
    int parsed = 0;
    for (int version : {0, 2, 3})
        for (int rate_index = 0; rate_index < 3; ++rate_index)
            for (int kbps_index = 1; kbps_index < 15; ++kbps_index)
                for (bool mono : {false, true}) {
                    const auto h =
                        parse_mpeg_frame_header(header(kbps_index, mono, version, rate_index));
                    ASSERT_TRUE(h) << version << " " << rate_index << " " << kbps_index;
                    EXPECT_EQ(h->channels, mono ? 1 : 2);
                    EXPECT_EQ(h->samples, version == 3 ? 1152u : 576u);
                    EXPECT_EQ(h->bytes, h->samples / 8 * h->kbps * 1000 / h->rate);
                    ++parsed;
                }
    EXPECT_EQ(parsed, 3 * 3 * 14 * 2);
    // 128 kbit/s at 44100 Hz, with and without padding; 8 kbit/s at 8000 Hz (MPEG-2.5).
    EXPECT_EQ(parse_mpeg_frame_header(header(9))->bytes, 417u);
    EXPECT_EQ(parse_mpeg_frame_header(header(9, false, 3, 0, true))->bytes, 418u);
    const auto low = parse_mpeg_frame_header(header(1, true, 0, 2));
    EXPECT_EQ(low->version, MpegVersion::mpeg25);
    EXPECT_EQ(low->rate, 8000u);
    EXPECT_EQ(low->bytes, 72u);
    EXPECT_EQ(low->side_info_end(), 4u + 9);

    EXPECT_FALSE(parse_mpeg_frame_header(header(0)));                      // free format
    EXPECT_FALSE(parse_mpeg_frame_header(header(15)));                     // bad bit rate
    EXPECT_FALSE(parse_mpeg_frame_header(header(9, false, 1)));            // reserved version
    EXPECT_FALSE(parse_mpeg_frame_header(header(9, false, 3, 3)));         // reserved rate
    EXPECT_FALSE(parse_mpeg_frame_header(Bytes{0xFF, 0xFD, 0x90, 0x44}));  // Layer II
    EXPECT_FALSE(parse_mpeg_frame_header(Bytes{0xFF, 0xFB, 0x90}));        // too short
}

TEST_F(Mp3StreamTest, TagsAroundTheFramesAreSkipped) {
    // Two ID3v2 tags, 20 frames at 128 kbit/s, an APEv2 tag with its header, an ID3v1 tag.
    Bytes file = id3v2(300);
    append(file, id3v2(20));
    const std::size_t audio = file.size();
    for (int i = 0; i < 20; ++i) append(file, frame(header(9)));
    Bytes ape(64, 0);
    std::copy_n("APETAGEX", 8, ape.begin() + 32);
    put_u32(&ape[32 + 12], 32);
    put_u32(&ape[32 + 20], 0x80000000u);
    append(file, ape);
    Bytes v1(128, 'x');
    std::copy_n("TAG", 3, v1.begin());
    append(file, v1);

    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.layout, Mp3Stream::Layout::peer);
    EXPECT_EQ(s.length, Mp3Stream::Length::scan);
    EXPECT_EQ(s.tag_bytes, 310u + 30);
    EXPECT_EQ(s.data_start, audio);
    EXPECT_EQ(s.first_audio, audio);
    EXPECT_EQ(s.data_size, 20u * 417);
    EXPECT_EQ(s.frames, 20u);
    EXPECT_EQ(s.samples, 20u * 1152);
    EXPECT_FALSE(s.variable);
    EXPECT_EQ(s.format.wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(s.format.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(s.format.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(get_u16(s.format.extra.data() + 6), 417);  // nBlockSize as the table says
}

TEST_F(Mp3StreamTest, AnInfoFrameGivesTheLengthAndTheDelayThatDecodersDrop) {
    Bytes file = info_frame("Info", 30, 31 * 417, 576, 1000);
    for (int i = 0; i < 30; ++i) append(file, frame(header(9)));
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.length, Mp3Stream::Length::info);
    EXPECT_EQ(s.data_start, 0u);  // decoders read the info frame themselves
    EXPECT_EQ(s.first_audio, 417u);
    EXPECT_EQ(s.frames, 30u);
    EXPECT_EQ(s.samples, 30u * 1152 - 576 - 1000);
    EXPECT_EQ(s.skipped, 576u + 529);
    EXPECT_FALSE(s.variable);

    // Without LAME's extension nothing is dropped.
    file = info_frame("Info", 30, 31 * 417);
    for (int i = 0; i < 30; ++i) append(file, frame(header(9)));
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.samples, 30u * 1152);
    EXPECT_EQ(s.skipped, 0u);

    // A count the bytes cannot hold (a file cut short): the frames are counted instead.
    file = info_frame("Info", 3000, 3001 * 417, 576, 1000);
    for (int i = 0; i < 30; ++i) append(file, frame(header(9)));
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.length, Mp3Stream::Length::scan);
    EXPECT_EQ(s.frames, 30u);
}

TEST_F(Mp3StreamTest, VariableBitRatesReportTheirAverage) {
    // Alternating 64 and 192 kbit/s frames: the average is 128.
    Bytes frames;
    for (int i = 0; i < 40; ++i) append(frames, frame(header(i % 2 ? 11 : 5)));
    Bytes file = info_frame("Xing", 40, static_cast<DWORD>(frames.size() + 417));
    append(file, frames);
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.length, Mp3Stream::Length::xing);
    EXPECT_TRUE(s.variable);
    EXPECT_EQ(s.first_kbps, 64u);
    EXPECT_EQ(s.average_kbps, 128u);
    EXPECT_EQ(s.format.wfx.nAvgBytesPerSec, 16000u);

    // The same frames without an info frame: counted, and found to vary.
    ASSERT_EQ(read(frames, s), 0);
    EXPECT_EQ(s.length, Mp3Stream::Length::scan);
    EXPECT_EQ(s.frames, 40u);
    EXPECT_TRUE(s.variable);
    EXPECT_EQ(s.average_kbps, 128u);
}

TEST_F(Mp3StreamTest, AVbriFrameGivesTheLengthAndIsNotPlayed) {
    Bytes file = frame(header(9), 0);
    const Bytes vbri = {'V', 'B', 'R', 'I', 0, 1, 4, 0x51, 0, 75};
    std::copy(vbri.begin(), vbri.end(), file.begin() + 36);
    put_be32(file, 36 + 10, 26 * 417);
    put_be32(file, 36 + 14, 25);
    for (int i = 0; i < 25; ++i) append(file, frame(header(9)));
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.length, Mp3Stream::Length::vbri);
    EXPECT_EQ(s.data_start, 417u);
    EXPECT_EQ(s.data_size, 25u * 417);
    EXPECT_EQ(s.samples, 25u * 1152);
    EXPECT_TRUE(s.variable);
}

TEST_F(Mp3StreamTest, LowRatesMonoAndCombinationsOutsideTheWritersTableAreRead) {
    // MPEG-1 mono at 128 kbit/s has no block size in the table: the frame's own length serves.
    Bytes file;
    for (int i = 0; i < 10; ++i) append(file, frame(header(9, true)));
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.format.wfx.nChannels, 1);
    EXPECT_EQ(s.format.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(get_u16(s.format.extra.data() + 6), 417);
    // MPEG-2.5 at 8000 Hz and 8 kbit/s: 576 samples a frame.
    file.clear();
    for (int i = 0; i < 10; ++i) append(file, frame(header(1, true, 0, 2)));
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.format.wfx.nSamplesPerSec, 8000u);
    EXPECT_EQ(s.samples_per_frame, 576u);
    EXPECT_EQ(s.samples, 5760u);
}

TEST_F(Mp3StreamTest, DamagedStretchesAndLeadingJunkAreSteppedOver) {
    Bytes file(100, 0x00);  // junk before the first frame
    for (int i = 0; i < 5; ++i) append(file, frame(header(9)));
    append(file, Bytes(333, 0x22));  // a damaged stretch
    for (int i = 0; i < 5; ++i) append(file, frame(header(9)));
    append(file, Bytes(200, 0x11));  // a last frame cut short
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.data_start, 100u);
    EXPECT_EQ(s.frames, 10u);
    EXPECT_EQ(s.data_size, 10u * 417 + 333);
}

TEST_F(Mp3StreamTest, TheControlsOwnFilesReadAsTheirHeaderSays) {
    // The header, then the encoder's frames from byte 4 on.
    Bytes file = {0xFF, 0xFB, 0x90, 0x04};
    for (int i = 0; i < 5; ++i) append(file, frame(header(9)));
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    EXPECT_EQ(s.layout, Mp3Stream::Layout::own);
    EXPECT_EQ(s.data_start, 4u);
    EXPECT_EQ(s.data_size, file.size() - 4);
    EXPECT_EQ(s.format.wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(get_u16(s.format.extra.data() + 6), 417);
    // A header with nothing, or with bytes that are no frames, after it.
    ASSERT_EQ(read({0xFF, 0xFB, 0x90, 0x04}, s), 0);
    EXPECT_EQ(s.layout, Mp3Stream::Layout::own);
    EXPECT_EQ(s.data_size, 0u);
    ASSERT_EQ(read({0xFF, 0xFB, 0x90, 0x04, 'f', 'r', 'a', 'm', 'e', 's'}, s), 0);
    EXPECT_EQ(s.layout, Mp3Stream::Layout::own);
    EXPECT_EQ(s.data_size, 6u);
}

TEST_F(Mp3StreamTest, FilesWithoutLayerThreeFramesSayWhy) {
    Mp3Stream s;
    s.data_size = 77;
    Mp3Problem problem = Mp3Problem::none;
    EXPECT_EQ(read({}, s, &problem), -2);
    EXPECT_EQ(problem, Mp3Problem::no_frames);
    Bytes text(5000, 'a');
    EXPECT_EQ(read(text, s, &problem), -2);
    EXPECT_EQ(problem, Mp3Problem::no_frames);
    Bytes layer2 = id3v2(10);
    for (int i = 0; i < 5; ++i) append(layer2, Bytes{0xFF, 0xFD, 0x90, 0x44, 1, 2, 3});
    EXPECT_EQ(read(layer2, s, &problem), -2);
    EXPECT_EQ(problem, Mp3Problem::other_layer);
    Bytes free_format = id3v2(10);
    append(free_format, Bytes{0xFF, 0xFB, 0x00, 0x44, 0, 0, 0, 0});
    EXPECT_EQ(read(free_format, s, &problem), -2);
    EXPECT_EQ(problem, Mp3Problem::free_format);
    EXPECT_EQ(read_mp3_stream(m_dir.file("absent.mp3"), s, &problem), -2);
    EXPECT_EQ(problem, Mp3Problem::unreadable);
    EXPECT_EQ(s.data_size, 77u);  // untouched
    EXPECT_FALSE(mp3_problem_text(Mp3Problem::other_layer).empty());
}

TEST_F(Mp3StreamTest, TheFrameIndexFindsEveryFrame) {
    // 100 frames of four sizes after a tag: more than three strides of the index.
    Bytes file = id3v2(50);
    std::vector<DWORD> offsets;
    for (int i = 0; i < 100; ++i) {
        offsets.push_back(static_cast<DWORD>(file.size()));
        append(file, frame(header(5 + i % 4, false, 3, 0, i % 3 == 0)));
    }
    Mp3Stream s;
    ASSERT_EQ(read(file, s), 0);
    MMIOINFO info{};
    UniqueHmmio handle(mmioOpen(m_path.c_str(), &info, MMIO_READ));
    ASSERT_TRUE(handle);
    Mp3FrameIndex index;
    ASSERT_TRUE(index.build(handle.get(), s));
    EXPECT_EQ(index.frames(), 100u);
    for (DWORD i = 0; i < 100; ++i)
        EXPECT_EQ(index.offset_of(handle.get(), i), static_cast<LONG>(offsets[i])) << i;
    EXPECT_EQ(index.offset_of(handle.get(), 100), static_cast<LONG>(file.size()));
    EXPECT_EQ(index.offset_of(handle.get(), 5000), static_cast<LONG>(file.size()));
}

}  // namespace

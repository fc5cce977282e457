#include "control/engine/mp3_stream_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/engine/container.h"
#include "control/engine/little_endian.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvane::engine;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

WAVEFORMATEX mp3(WORD channels, DWORD rate, DWORD bytes_per_sec) {
    return {WAVE_FORMAT_MPEGLAYER3, channels, rate, bytes_per_sec, 1, 0, 12};
}

struct Decoded {
    int result;
    FileFormat format;
};
Decoded decode(Mp3Header bytes) {
    Decoded d{};
    d.result = decode_mp3_stream_header(bytes, d.format);
    return d;
}

TEST(Mp3Header, KnownFormatsGiveKnownBytes) {
    Mp3Header h{};
    ASSERT_EQ(encode_mp3_stream_header(mp3(2, 44100, 16000), h), 0);
    EXPECT_EQ(h, (Mp3Header{0xFF, 0xFB, 0x90, 0x04}));
    ASSERT_EQ(encode_mp3_stream_header(mp3(1, 22050, 7000), h), 0);
    EXPECT_EQ(h, (Mp3Header{0xFF, 0xF3, 0x70, 0xC4}));
    ASSERT_EQ(encode_mp3_stream_header(mp3(1, 8000, 1000), h), 0);  // MPEG-2.5
    EXPECT_EQ(h, (Mp3Header{0xFF, 0xE3, 0x18, 0xC4}));
    ASSERT_EQ(encode_mp3_stream_header(mp3(2, 48000, 4000), h), 0);
    EXPECT_EQ(h, (Mp3Header{0xFF, 0xFB, 0x14, 0x04}));
}

TEST(Mp3Header, FormatsWithoutAnEncodingAreRefused) {
    Mp3Header h{0xAA, 0xAA, 0xAA, 0xAA};
    WAVEFORMATEX pcm = mp3(2, 44100, 16000);
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(encode_mp3_stream_header(pcm, h), -2);
    EXPECT_EQ(encode_mp3_stream_header(mp3(2, 44100, 1000), h), -1);  // no MPEG-1 index
    EXPECT_EQ(encode_mp3_stream_header(mp3(2, 44100, 10000), h), -1);
    EXPECT_EQ(encode_mp3_stream_header(mp3(2, 30000, 16000), h), -1);  // no version
    EXPECT_EQ(encode_mp3_stream_header(mp3(2, 11000, 1000), h), -1);   // version, no index
    EXPECT_EQ(encode_mp3_stream_header(mp3(3, 44100, 16000), h), -1);
    EXPECT_EQ(encode_mp3_stream_header(mp3(0, 44100, 16000), h), -1);
    EXPECT_EQ(h, (Mp3Header{0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST(Mp3Header, ReadingDerivesTheLayer3Format) {
    Decoded d = decode({0xFF, 0xFB, 0x90, 0x04});
    ASSERT_EQ(d.result, 0);
    const WAVEFORMATEX& wfx = d.format.wfx;
    EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(wfx.nChannels, 2);
    EXPECT_EQ(wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(wfx.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(wfx.nBlockAlign, 1);
    EXPECT_EQ(wfx.wBitsPerSample, 0);
    EXPECT_EQ(wfx.cbSize, 12);
    const BYTE* x = d.format.extra.data();
    EXPECT_EQ(get_u16(x), 1);          // wID
    EXPECT_EQ(get_u32(x + 2), 2u);     // fdwFlags
    EXPECT_EQ(get_u16(x + 6), 417);    // nBlockSize
    EXPECT_EQ(get_u16(x + 8), 1);      // nFramesPerBlock
    EXPECT_EQ(get_u16(x + 10), 1393);  // nCodecDelay

    d = decode({0xFF, 0xF3, 0x70, 0xC4});
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.format.wfx.nChannels, 1);
    EXPECT_EQ(d.format.wfx.nSamplesPerSec, 22050u);
    EXPECT_EQ(d.format.wfx.nAvgBytesPerSec, 7000u);
    EXPECT_EQ(get_u16(d.format.extra.data() + 6), 182);

    // The fields the reader ignores change nothing: sync, CRC, padding, private, mode
    // extension, copyright, original, emphasis; and any mode but mono is stereo.
    d = decode({0x00, 0x1A, 0x93, 0x7F});
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.format.wfx.nChannels, 2);
    EXPECT_EQ(d.format.wfx.nSamplesPerSec, 44100u);

    d = decode({0xFF, 0xFB, 0x60, 0x04});  // 80 kbit/s is declared as 10050 bytes/s
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.format.wfx.nAvgBytesPerSec, 10050u);
}

TEST(Mp3Header, RefusedHeaders) {
    EXPECT_EQ(decode({0xFF, 0xFB, 0x90, 0xC4}).result, -2);  // mono MPEG-1 at 128 kbit/s
    Decoded d = decode({0xFF, 0xFB, 0x50, 0xC4});            // ... at 64 kbit/s is fine
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(get_u16(d.format.extra.data() + 6), 208);

    EXPECT_EQ(decode({0xFF, 0xEB, 0x90, 0x04}).result, -2);  // reserved version
    EXPECT_EQ(decode({0xFF, 0xFD, 0x90, 0x04}).result, -2);  // Layer II
    EXPECT_EQ(decode({0xFF, 0xF9, 0x90, 0x04}).result, -2);  // layer field 00
    EXPECT_EQ(decode({0xFF, 0xFB, 0x9C, 0x04}).result, -2);  // reserved sample rate
    EXPECT_EQ(decode({0xFF, 0xFB, 0x00, 0x04}).result, -2);  // free format
    EXPECT_EQ(decode({0xFF, 0xFB, 0xF0, 0x04}).result, -2);  // bad bit rate
}

TEST(Mp3Header, BlockSizeTable) {
    struct Case {
        int channels;
        DWORD rate;
        int kbit;
        int expected;  // -1: refused
    };
    const Case cases[] = {
        {2, 32000, 112, 503}, {2, 32000, 128, 576}, {2, 44100, 112, 365}, {2, 48000, 320, 384},
        {2, 22050, 56, 182},  {2, 24000, 24, 144},  {2, 16000, 64, 288},  {1, 32000, 56, 252},
        {2, 8000, 32, 288},   {1, 22050, 32, 208},  {2, 8000, 8, -1},     {2, 44100, 24, -1},
        {1, 44100, 320, -1},  {3, 44100, 128, -1},  {0, 44100, 128, -1},  {2, 11025, 128, -1},
    };
    for (const Case& c : cases) {
        WORD size = 0;
        const int result = mp3_block_size(c.channels, c.rate, c.kbit, size);
        if (c.expected < 0) {
            EXPECT_EQ(result, -1) << c.channels << " " << c.rate << " " << c.kbit;
        } else {
            EXPECT_EQ(result, 0) << c.channels << " " << c.rate << " " << c.kbit;
            EXPECT_EQ(size, c.expected) << c.channels << " " << c.rate << " " << c.kbit;
        }
    }
}

TEST(Mp3Header, WhatIsWrittenReadsBackAsTheSameFormat) {
    const DWORD rates[] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
    const DWORD byte_rates[] = {1000, 2000, 3000, 4000, 6000, 7000, 8000, 12000, 14000, 16000};
    int round_trips = 0;
    for (WORD channels : {1, 2})
        for (DWORD rate : rates)
            for (DWORD byte_rate : byte_rates) {
                Mp3Header h{};
                if (encode_mp3_stream_header(mp3(channels, rate, byte_rate), h) != 0) continue;
                Decoded d = decode(h);
                if (d.result != 0) continue;  // a block size the table does not have
                ++round_trips;
                EXPECT_EQ(d.format.wfx.nChannels, channels);
                EXPECT_EQ(d.format.wfx.nSamplesPerSec, rate);
                EXPECT_EQ(d.format.wfx.nAvgBytesPerSec, byte_rate);
            }
    EXPECT_GT(round_trips, 40);
}

TEST(Mp3StreamFile, HeaderStartsTheFileAndTheEncoderOutputFollows) {
    TempDir dir;
    const std::string path = dir.file("rec.mp3");
    FileFormat format;
    format.wfx = mp3(2, 44100, 16000);
    {
        UniqueHmmio file;
        ASSERT_EQ(write_mp3_stream_header(path, format, file), 0);
        ASSERT_TRUE(file);
        ASSERT_EQ(mmioWrite(file.get(), "frames", 6), 6);
        ASSERT_EQ(mmioClose(file.release(), 0), 0u);
    }
    EXPECT_EQ(read_bytes(path), (Bytes{0xFF, 0xFB, 0x90, 0x04, 'f', 'r', 'a', 'm', 'e', 's'}));

    FileFormat back;
    DWORD data_size = 0;
    ASSERT_EQ(read_mp3_stream_header(path, back, data_size), 0);
    EXPECT_EQ(data_size, 6u);
    EXPECT_EQ(back.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(get_u16(back.extra.data() + 6), 417);
}

TEST(Mp3StreamFile, BadFilesAndFormatsFailWithoutHarm) {
    TempDir dir;
    const std::string path = dir.file("keep.mp3");
    write_bytes(path, {1, 2, 3});
    FileFormat format;
    format.wfx = mp3(2, 44100, 16000);
    format.wfx.wFormatTag = WAVE_FORMAT_PCM;
    UniqueHmmio file;
    EXPECT_EQ(write_mp3_stream_header(path, format, file), -2);
    format.wfx = mp3(2, 44100, 1000);
    EXPECT_EQ(write_mp3_stream_header(path, format, file), -1);
    EXPECT_FALSE(file);
    EXPECT_EQ(read_bytes(path), (Bytes{1, 2, 3}));  // a refused format leaves the file alone
    format.wfx = mp3(2, 44100, 16000);
    EXPECT_EQ(write_mp3_stream_header(std::string(1024, 'm'), format, file), -1);
    EXPECT_EQ(write_mp3_stream_header(dir.file("no/dir.mp3"), format, file), -1);

    FileFormat back;
    back.wfx.wFormatTag = 77;
    DWORD data_size = 99;
    EXPECT_EQ(read_mp3_stream_header(path, back, data_size), -2);  // 3 bytes
    write_bytes(path, {});
    EXPECT_EQ(read_mp3_stream_header(path, back, data_size), -2);
    write_bytes(path, {0xFF, 0xFB, 0x90, 0xC4, 0, 0});
    EXPECT_EQ(read_mp3_stream_header(path, back, data_size), -2);
    EXPECT_EQ(read_mp3_stream_header(dir.file("absent.mp3"), back, data_size), -2);
    EXPECT_EQ(read_mp3_stream_header(std::string(1024, 'm'), back, data_size), -2);
    EXPECT_EQ(back.wfx.wFormatTag, 77);
    EXPECT_EQ(data_size, 99u);

    write_bytes(path, {0xFF, 0xFB, 0x90, 0x04});  // a header and nothing else
    ASSERT_EQ(read_mp3_stream_header(path, back, data_size), 0);
    EXPECT_EQ(data_size, 0u);
}

TEST(Container, ChosenByTheTextAfterTheLastDot) {
    EXPECT_EQ(container_for_path("/home/u/take.wav"), Container::wav);
    EXPECT_EQ(container_for_path("TAKE.WaV"), Container::wav);
    EXPECT_EQ(container_for_path("a.wav.mp3"), Container::mp3);
    EXPECT_EQ(container_for_path("song.MP3"), Container::mp3);
    EXPECT_EQ(container_for_path("noext"), Container::none);
    EXPECT_EQ(container_for_path("trailing."), Container::none);
    EXPECT_EQ(container_for_path("/dir.wav/file"), Container::none);
    EXPECT_EQ(container_for_path("x.wave"), Container::none);
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "control/engine/wav_file.h"
#include "tests/control/engine/byte_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvane::engine;
using quillon::test::ByteBuilder;
using quillon::test::riff_wave;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

class WavReader : public ::testing::Test {
  protected:
    // Reads `bytes` as a file; the header and texts start from recognisable values so that a
    // failed read can be seen to leave them alone.
    int read(const Bytes& bytes) {
        const std::string path = m_dir.file("in.wav");
        write_bytes(path, bytes);
        header = WavHeader{};
        header.data_size = 12345;
        texts = InfoTexts{};
        texts.slots[0] = "before";
        texts.display_name = "before";
        return read_wav_header(path, header, texts);
    }

    const std::string& text(const char* id) {
        return texts.slots[info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3]))];
    }

    TempDir m_dir;
    WavHeader header;
    InfoTexts texts;
};

Bytes info_list(const Bytes& sub_chunks, std::string_view type = "INFO") {
    ByteBuilder body;
    body.text(type).bytes(sub_chunks);
    return ByteBuilder().chunk("LIST", body);
}

TEST_F(WavReader, SixteenByteFmtIsReadWithCbSizeZero) {
    ASSERT_EQ(
        read(riff_wave(ByteBuilder().pcm_fmt(2, 44100, 16, false).text("data").u32(8).zeros(8))),
        0);
    EXPECT_EQ(header.format.wfx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(header.format.wfx.nChannels, 2);
    EXPECT_EQ(header.format.wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(header.format.wfx.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(header.format.wfx.nBlockAlign, 4);
    EXPECT_EQ(header.format.wfx.wBitsPerSample, 16);
    EXPECT_EQ(header.format.wfx.cbSize, 0);
    EXPECT_EQ(header.data_size, 8u);
    EXPECT_EQ(texts.slots[0], "before");  // slots absent from the file are kept
}

TEST_F(WavReader, CbSizeIsForcedToZeroForPcmAndG711AndHonouredOtherwise) {
    for (WORD tag : {WAVE_FORMAT_PCM, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW}) {
        ASSERT_EQ(read(riff_wave(ByteBuilder()
                                     .text("fmt ")
                                     .u32(22)
                                     .u16(tag)
                                     .u16(1)
                                     .u32(8000)
                                     .u32(8000)
                                     .u16(1)
                                     .u16(8)
                                     .u16(4)
                                     .u32(0xDEADBEEF))),
                  0);
        EXPECT_EQ(header.format.wfx.cbSize, 0) << tag;
        EXPECT_EQ(header.data_size, 0u);
    }
    ASSERT_EQ(read(riff_wave(ByteBuilder()
                                 .text("fmt ")
                                 .u32(20)
                                 .u16(0x11)
                                 .u16(1)
                                 .u32(8000)
                                 .u32(4055)
                                 .u16(256)
                                 .u16(4)
                                 .u16(2)
                                 .bytes({0xF9, 0x01}))),
              0);
    EXPECT_EQ(header.format.wfx.cbSize, 2);
    EXPECT_EQ(header.format.extra[0], 0xF9);
    EXPECT_EQ(header.format.extra[1], 0x01);
}

TEST_F(WavReader, FormatChunksThatCannotBeHeldAreRefused) {
    auto gsm_fmt = [](WORD cb_size, DWORD chunk_size) {
        ByteBuilder b;
        b.text("fmt ").u32(chunk_size).u16(0x31).u16(1).u32(8000).u32(1625).u16(65).u16(0);
        b.u16(cb_size).zeros(chunk_size - 18);
        return riff_wave(b);
    };
    EXPECT_EQ(read(gsm_fmt(162, 180)), 0);
    EXPECT_EQ(read(gsm_fmt(163, 181)), -1);    // more extra bytes than the buffer holds
    EXPECT_EQ(read(gsm_fmt(0xFFFF, 40)), -1);  // extra bytes that the chunk does not hold
    EXPECT_EQ(read(gsm_fmt(30, 20)), -1);
    EXPECT_EQ(header.data_size, 12345u);  // a failed read changes nothing
    EXPECT_EQ(texts.display_name, "before");

    // Fewer than 16 bytes is no usable format; neither is a file without any fmt chunk.
    EXPECT_EQ(read(riff_wave(ByteBuilder()
                                 .text("fmt ")
                                 .u32(14)
                                 .u16(1)
                                 .u16(1)
                                 .u32(8000)
                                 .u32(8000)
                                 .u16(1)
                                 .text("data")
                                 .u32(0))),
              -1);
    EXPECT_EQ(read(riff_wave(ByteBuilder().text("data").u32(2).zeros(2))), -1);
}

TEST_F(WavReader, ChunksAroundTheKnownOnesAreSkipped) {
    const Bytes file = riff_wave(ByteBuilder()
                                     .chunk("junk", {1, 2, 3})
                                     .pcm_fmt(1, 8000, 8, false)
                                     .chunk("fact", {5, 0, 0, 0})
                                     .chunk("bext", Bytes(33, 0x55))
                                     .text("data")
                                     .u32(5)
                                     .bytes({1, 2, 3, 4, 5})
                                     .bytes({0})
                                     .chunk("cue ", {9, 9})
                                     .bytes(info_list(ByteBuilder().chunk("INAM", {'h', 'i', 0})))
                                     .chunk("zzzz", {1}));
    ASSERT_EQ(read(file), 0);
    EXPECT_EQ(header.data_size, 5u);
    EXPECT_EQ(header.format.wfx.wBitsPerSample, 8);
    EXPECT_EQ(text("INAM"), "hi");
}

TEST_F(WavReader, InfoTextsAreCutAndOddListsParsed) {
    const std::string long_text(300, 'w');
    Bytes long_body(long_text.begin(), long_text.end());
    long_body.push_back(0);
    const Bytes list = info_list(ByteBuilder()
                                     .chunk("ICMT", {'a', 'b', 0, 'c', 'd', 0})  // cut at NUL
                                     .chunk("IART", long_body)                   // cut at 199
                                     .chunk("XXXX", {'n', 'o', 0})               // not a slot
                                     .chunk("IKEY", {'k'})                       // no NUL at all
                                     .chunk("IGNR", {}));                        // empty text
    ASSERT_EQ(read(riff_wave(ByteBuilder().pcm_fmt(1, 8000, 16, true).bytes(list))), 0);
    EXPECT_EQ(text("ICMT"), "ab");
    EXPECT_EQ(text("IART"), long_text.substr(0, 199));
    EXPECT_EQ(text("IKEY"), "k");
    EXPECT_EQ(text("IGNR"), "");
    EXPECT_EQ(texts.slots[0], "before");

    // The list type is not checked; a later sub-chunk with the same id wins.
    const Bytes other =
        info_list(ByteBuilder().chunk("INAM", {'1', 0}).chunk("INAM", {'2', 0}), "adtl");
    ASSERT_EQ(read(riff_wave(ByteBuilder().pcm_fmt(1, 8000, 16, true).bytes(other))), 0);
    EXPECT_EQ(text("INAM"), "2");
}

TEST_F(WavReader, ListWhoseSubChunksOverrunItKeepsWhatCameBefore) {
    const Bytes body =
        ByteBuilder().text("INFO").chunk("INAM", {'o', 'k', 0}).text("ICMT").u32(50).text("short");
    const Bytes file = riff_wave(
        ByteBuilder().pcm_fmt(1, 8000, 16, true).chunk("LIST", body).text("data").u32(2).zeros(2));
    ASSERT_EQ(read(file), 0);
    EXPECT_EQ(text("INAM"), "ok");
    EXPECT_EQ(text("ICMT"), "");
    EXPECT_EQ(header.data_size, 2u);  // the walk goes on after the LIST

    // A header cut inside the body, and a LIST too short to hold its own type.
    ASSERT_EQ(read(riff_wave(ByteBuilder()
                                 .pcm_fmt(1, 8000, 16, true)
                                 .chunk("LIST", ByteBuilder().text("INFOIN").get())
                                 .chunk("LIST", {'I', 'N'}))),
              0);
}

TEST_F(WavReader, DisplayNameStopsAtNulOr256BytesWithoutCheckingItsType) {
    const std::string name(300, 'n');
    ASSERT_EQ(read(riff_wave(ByteBuilder()
                                 .pcm_fmt(1, 8000, 16, true)
                                 .chunk("DISP", ByteBuilder().u32(8).text(name).get()))),
              0);
    EXPECT_EQ(texts.display_name, name.substr(0, 256));
    ASSERT_EQ(
        read(riff_wave(ByteBuilder()
                           .pcm_fmt(1, 8000, 16, true)
                           .chunk("DISP", ByteBuilder().u32(1).text("ab").bytes({0, 'c'}).get()))),
        0);
    EXPECT_EQ(texts.display_name, "ab");
    ASSERT_EQ(read(riff_wave(ByteBuilder().pcm_fmt(1, 8000, 16, true).chunk("DISP", {1, 0}))), 0);
    EXPECT_EQ(texts.display_name, "");
}

TEST_F(WavReader, ChunksPastTheRiffOrTheFileEndTheWalk) {
    // The data chunk claims more than the RIFF holds, and the file has it: the RIFF size is
    // the one that is wrong.
    ByteBuilder inner;
    inner.pcm_fmt(1, 8000, 16, true).text("data").u32(100).zeros(100);
    ByteBuilder lying;
    lying.text("RIFF").u32(4 + 26 + 8 + 50).text("WAVE").bytes(inner.get());
    ASSERT_EQ(read(lying), 0);
    EXPECT_EQ(header.data_size, 100u);

    // A recording cut short: the data chunk counts the audio bytes that are there.
    ByteBuilder cut_inner;
    cut_inner.pcm_fmt(1, 8000, 16, true).text("data").u32(1000).zeros(10);
    ByteBuilder cut;
    cut.text("RIFF").u32(4 + 26 + 8 + 1000).text("WAVE").bytes(cut_inner.get());
    ASSERT_EQ(read(cut), 0);
    EXPECT_EQ(header.data_size, 10u);

    // A LIST cut short by the end of the file is not read, the rest of the file stands.
    ByteBuilder list_cut;
    list_cut.text("RIFF")
        .u32(0xFFFFFFF0)
        .text("WAVE")
        .pcm_fmt(1, 8000, 16, true)
        .text("data")
        .u32(2)
        .zeros(2)
        .text("LIST")
        .u32(4000)
        .text("INFO")
        .chunk("INAM", {'x', 0});
    ASSERT_EQ(read(list_cut), 0);
    EXPECT_EQ(header.data_size, 2u);
    EXPECT_EQ(text("INAM"), "");

    // A fmt chunk cut short cannot be used.
    ByteBuilder fmt_cut;
    fmt_cut.text("RIFF").u32(100).text("WAVE").text("fmt ").u32(18).u16(1).u16(1);
    EXPECT_EQ(read(fmt_cut), -1);
}

TEST_F(WavReader, SizesThatWritersCouldNotSettleReadAsFarAsTheFileGoes) {
    // A writer on a pipe, a recorder killed before it settled anything (ours, before files were
    // kept valid), one killed with the sizes of the longest recording it planned.
    struct Case {
        DWORD riff, data;
    };
    for (const Case c :
         {Case{0xFFFFFFFF, 0xFFFFFFFF}, Case{0, 0}, Case{0x80000024, 0x7FFFFFFF}, Case{0, 1000}}) {
        ByteBuilder b;
        b.text("RIFF").u32(c.riff).text("WAVE").pcm_fmt(1, 8000, 16, true);
        b.text("data").u32(c.data).bytes(std::vector<unsigned char>(301, 0x41));
        ASSERT_EQ(read(b), 0) << c.riff;
        EXPECT_EQ(header.data_size, 301u) << c.riff;
        EXPECT_EQ(header.data_offset, 46u);
    }
    // An empty data chunk followed by a chunk stays empty; texts after it are read.
    ByteBuilder empty;
    empty.text("RIFF").u32(0).text("WAVE").pcm_fmt(1, 8000, 16, true).text("data").u32(0);
    empty.bytes(info_list(ByteBuilder().chunk("INAM", {'a', 0})));
    ASSERT_EQ(read(empty), 0);
    EXPECT_EQ(header.data_size, 0u);
    EXPECT_EQ(text("INAM"), "a");
    // A RIFF size that stops before the chunks it holds.
    ASSERT_EQ(read(ByteBuilder()
                       .text("RIFF")
                       .u32(4)
                       .text("WAVE")
                       .pcm_fmt(1, 8000, 16, true)
                       .text("data")
                       .u32(4)
                       .zeros(4)),
              0);
    EXPECT_EQ(header.data_size, 4u);
    // Bytes that are no chunk after the last one end the walk.
    ASSERT_EQ(read(ByteBuilder()
                       .text("RIFF")
                       .u32(0)
                       .text("WAVE")
                       .pcm_fmt(1, 8000, 16, true)
                       .text("data")
                       .u32(2)
                       .zeros(2)
                       .zeros(64)),
              0);
    EXPECT_EQ(header.data_size, 2u);
}

TEST_F(WavReader, OnlyTheStartOfAFileSaysWhetherItIsAWaveFile) {
    // A RIFF WAVE chunk further in is not looked for: a file of 8 GiB of zeros (sparse here) is
    // refused after its first bytes.
    const std::string zeros = m_dir.file("zeros.wav");
    { std::ofstream create(zeros); }
    std::filesystem::resize_file(zeros, 8ull << 30);
    EXPECT_EQ(test_for_wav(zeros), 0);
    EXPECT_EQ(read_wav_header(zeros, header, texts), -1);
    const std::string later = m_dir.file("later.wav");
    write_bytes(
        later, ByteBuilder()
                   .chunk("JUNK", {1, 2})
                   .bytes(riff_wave(ByteBuilder().pcm_fmt(1, 8000, 16, true).text("data").u32(0))));
    EXPECT_EQ(test_for_wav(later), 0);
}

TEST_F(WavReader, FilesThatAreNoWaveAreRefused) {
    const Bytes good =
        riff_wave(ByteBuilder().pcm_fmt(1, 8000, 16, true).text("data").u32(4).zeros(4));
    EXPECT_EQ(read({}), -1);
    EXPECT_EQ(read(Bytes(good.begin(), good.begin() + 10)), -1);
    EXPECT_EQ(read(Bytes(good.begin(), good.begin() + 30)), -1);
    EXPECT_EQ(read(ByteBuilder().text("RIFF").u32(4).text("AVI ")), -1);
    EXPECT_EQ(read(ByteBuilder().bytes({0xFF, 0xFB, 0x90, 0x04}).zeros(100)), -1);
    EXPECT_EQ(read(good), 0);

    const std::string path = m_dir.file("t.wav");
    write_bytes(path, good);
    EXPECT_EQ(test_for_wav(path), 1);
    write_bytes(path, ByteBuilder().text("RIFF").u32(4).text("AVI "));
    EXPECT_EQ(test_for_wav(path), 0);
    write_bytes(path, {});
    EXPECT_EQ(test_for_wav(path), 0);
    EXPECT_EQ(test_for_wav(m_dir.file("absent.wav")), -2);
    EXPECT_EQ(test_for_wav(std::string(1024, 'p')), -2);
    EXPECT_EQ(read_wav_header(std::string(1024, 'p'), header, texts), -1);
    EXPECT_EQ(read_wav_header(m_dir.file("absent.wav"), header, texts), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "control/engine/wav_file.h"
#include "tests/control/engine/byte_builder.h"
#include "tests/control/engine/pcm_format.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvane::engine;
using quillon::test::ByteBuilder;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using Bytes = std::vector<unsigned char>;

using quillon::test::pcm;

Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 31 + 7);
    return b;
}

// Writes one file with the given format, audio and texts; returns its bytes.
Bytes record(const TempDir& dir, const FileFormat& format, const Bytes& audio,
             const InfoTexts& texts) {
    const std::string path = dir.file("rec.wav");
    WavWriter writer;
    EXPECT_EQ(writer.create(path, format), 0);
    EXPECT_EQ(writer.write(audio), static_cast<LONG>(audio.size()));
    EXPECT_EQ(writer.finalize(texts), 0);
    EXPECT_FALSE(writer.is_open());
    return read_bytes(path);
}

// RIFF header + 18-byte PCM fmt + fact 0, as every recording starts.
ByteBuilder header_chunks(WORD channels, DWORD rate, WORD bits) {
    ByteBuilder b;
    b.pcm_fmt(channels, rate, bits, true).text("fact").u32(4).u32(0);
    return b;
}

Bytes whole_file(ByteBuilder chunks) {
    ByteBuilder file;
    file.text("RIFF").u32(static_cast<DWORD>(chunks.size() + 4)).text("WAVE").bytes(chunks.get());
    return file;
}

TEST(WavWriter, OneSecondOfTheDefaultFormatIsByteExact) {
    TempDir dir;
    const Bytes audio = pattern(16000);
    const Bytes file = record(dir, pcm(1, 8000, 16), audio, {});
    ASSERT_EQ(file.size(), 16058u);
    EXPECT_EQ(file, whole_file(header_chunks(1, 8000, 16).text("data").u32(16000).bytes(audio)));
    EXPECT_EQ(file[4] | file[5] << 8, 16050);
}

TEST(WavWriter, InfoChunkFollowsDataWithSizesAndPads) {
    TempDir dir;
    const Bytes audio = pattern(4);
    {
        InfoTexts texts;
        *info_text_for_property(texts, "infoName") = "abc";
        EXPECT_EQ(record(dir, pcm(1, 8000, 16), audio, texts), whole_file(header_chunks(1, 8000, 16)
                                                                              .text("data")
                                                                              .u32(4)
                                                                              .bytes(audio)
                                                                              .text("LIST")
                                                                              .u32(16)
                                                                              .text("INFO")
                                                                              .text("INAM")
                                                                              .u32(4)
                                                                              .text("abc")
                                                                              .bytes({0})));
    }
    {
        // Set in another order than written; an even text (odd size) is padded and the LIST
        // size counts the pad; slots without a property are written too.
        InfoTexts texts;
        *info_text_for_property(texts, "infoComment") = "note";
        *info_text_for_property(texts, "infoArtists") = "ab";
        texts.slots[info_slot_index(mmioFOURCC('I', 'A', 'R', 'L'))] = "x";
        EXPECT_EQ(record(dir, pcm(1, 8000, 16), audio, texts), whole_file(header_chunks(1, 8000, 16)
                                                                              .text("data")
                                                                              .u32(4)
                                                                              .bytes(audio)
                                                                              .text("LIST")
                                                                              .u32(4 + 10 + 12 + 14)
                                                                              .text("INFO")
                                                                              .text("IARL")
                                                                              .u32(2)
                                                                              .text("x")
                                                                              .bytes({0})
                                                                              .text("IART")
                                                                              .u32(3)
                                                                              .text("ab")
                                                                              .bytes({0, 0})
                                                                              .text("ICMT")
                                                                              .u32(5)
                                                                              .text("note")
                                                                              .bytes({0, 0})));
    }
}

TEST(WavWriter, DisplayNameAloneGivesDispWithoutList) {
    TempDir dir;
    const Bytes audio = pattern(2);
    InfoTexts texts;
    *info_text_for_property(texts, "infoDisplayName") = "Take 1";
    EXPECT_EQ(record(dir, pcm(1, 8000, 16), audio, texts), whole_file(header_chunks(1, 8000, 16)
                                                                          .text("data")
                                                                          .u32(2)
                                                                          .bytes(audio)
                                                                          .text("DISP")
                                                                          .u32(11)
                                                                          .u32(1)
                                                                          .text("Take 1")
                                                                          .bytes({0, 0})));
}

TEST(WavWriter, OddDataCountIsPaddedAndKeepsItsSize) {
    TempDir dir;
    const Bytes audio = pattern(3);
    InfoTexts texts;
    texts.display_name = "d";
    EXPECT_EQ(record(dir, pcm(1, 11025, 8), audio, texts), whole_file(header_chunks(1, 11025, 8)
                                                                          .text("data")
                                                                          .u32(3)
                                                                          .bytes(audio)
                                                                          .bytes({0})
                                                                          .text("DISP")
                                                                          .u32(6)
                                                                          .u32(1)
                                                                          .text("d")
                                                                          .bytes({0})));
}

TEST(WavWriter, LongTextsAreWrittenWholeAndDisplayNameIsCut) {
    TempDir dir;
    const std::string long_text(300, 'q');
    InfoTexts texts;
    *info_text_for_property(texts, "infoSubject") = long_text;
    texts.display_name = long_text;
    const Bytes file = record(dir, pcm(1, 8000, 16), {}, texts);
    Bytes subject(long_text.begin(), long_text.end());
    subject.push_back(0);
    EXPECT_EQ(file, whole_file(header_chunks(1, 8000, 16)
                                   .text("data")
                                   .u32(0)
                                   .text("LIST")
                                   .u32(4 + 8 + 302)
                                   .text("INFO")
                                   .text("ISBJ")
                                   .u32(301)
                                   .bytes(subject)
                                   .bytes({0})
                                   .text("DISP")
                                   .u32(260)
                                   .u32(1)
                                   .text(long_text.substr(0, 256))));

    WavHeader header;
    InfoTexts back;
    ASSERT_EQ(read_wav_header(dir.file("rec.wav"), header, back), 0);
    EXPECT_EQ(*info_text_for_property(back, "infoSubject"), long_text.substr(0, 199));
    EXPECT_EQ(back.display_name, long_text.substr(0, 256));
}

TEST(WavWriter, FormatChunkCarriesExtraBytesOnlyForNonPcm) {
    TempDir dir;
    FileFormat adpcm;
    adpcm.wfx = {WAVE_FORMAT_IMA_ADPCM, 1, 8000, 4055, 256, 4, 2};
    adpcm.extra[0] = 0xF9;
    adpcm.extra[1] = 0x01;
    Bytes file = record(dir, adpcm, pattern(256), {});
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 40), ByteBuilder()
                                                               .text("fmt ")
                                                               .u32(20)
                                                               .u16(0x11)
                                                               .u16(1)
                                                               .u32(8000)
                                                               .u32(4055)
                                                               .u16(256)
                                                               .u16(4)
                                                               .u16(2)
                                                               .bytes({0xF9, 0x01})
                                                               .get());

    // PCM has no extra bytes: a stray cbSize is not written, so readers see a clean header.
    FileFormat odd_pcm = pcm(2, 44100, 16);
    odd_pcm.wfx.cbSize = 5;
    file = record(dir, odd_pcm, pattern(4), {});
    EXPECT_EQ(file, whole_file(header_chunks(2, 44100, 16).text("data").u32(4).bytes(pattern(4))));

    FileFormat too_big = adpcm;
    too_big.wfx.cbSize = static_cast<WORD>(kMaxExtraFormatBytes + 1);
    WavWriter writer;
    EXPECT_EQ(writer.create(dir.file("big.wav"), too_big), -1);
    EXPECT_FALSE(writer.is_open());
}

TEST(WavWriter, EverySlotAndPropertySurvivesARoundTrip) {
    TempDir dir;
    InfoTexts texts;
    for (std::size_t i = 0; i < kInfoSlotCount; ++i)
        texts.slots[i] = std::string(kInfoSlots[i].id) + " text " + std::to_string(i);
    texts.display_name = "shown";
    const Bytes audio = pattern(999);
    record(dir, pcm(2, 22050, 8), audio, texts);

    WavHeader header;
    InfoTexts back;
    ASSERT_EQ(read_wav_header(dir.file("rec.wav"), header, back), 0);
    EXPECT_EQ(back, texts);
    EXPECT_EQ(header.data_size, 999u);
    EXPECT_EQ(header.format.wfx.nChannels, 2);
    EXPECT_EQ(header.format.wfx.nSamplesPerSec, 22050u);
    EXPECT_EQ(header.format.wfx.wBitsPerSample, 8);
    EXPECT_EQ(test_for_wav(dir.file("rec.wav")), 1);
}

TEST(WavWriter, PropertyTableMapsSixteenPropertiesOntoDistinctSlots) {
    const char* properties[] = {
        "infoCreationDate",       "infoProduct",   "infoMedium",    "infoArtists",
        "infoDigitizationSource", "infoDigitizer", "infoEngineers", "infoSourceSuppler",
        "infoKeyWords",           "infoComment",   "infoSubject",   "infoGenre",
        "infoCopyright",          "infoName",      "infoSoftware"};
    const char* slots[] = {"ICRD", "IPRD", "IMED", "IART", "ISRF", "ITCH", "IENG", "ISRC",
                           "IKEY", "ICMT", "ISBJ", "IGNR", "ICOP", "INAM", "ISFT"};
    InfoTexts texts;
    for (std::size_t i = 0; i < std::size(properties); ++i) {
        std::string* text = info_text_for_property(texts, properties[i]);
        ASSERT_NE(text, nullptr) << properties[i];
        const char* id = slots[i];
        EXPECT_EQ(text, &texts.slots[info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3]))])
            << properties[i];
    }
    EXPECT_EQ(info_text_for_property(texts, "infoDisplayName"), &texts.display_name);
    EXPECT_EQ(info_text_for_property(texts, "infoname"), nullptr);
    EXPECT_EQ(info_text_for_property(texts, "IARL"), nullptr);
}

TEST(WavWriter, AnAbandonedRecordingIsStillAReadableFile) {
    TempDir dir;
    const std::string path = dir.file("cut.wav");
    {
        WavWriter writer;
        ASSERT_EQ(writer.create(path, pcm(1, 8000, 16)), 0);
        ASSERT_EQ(writer.write(pattern(100)), 100);
        WavWriter moved = std::move(writer);  // the moved-to writer owns the file now
    }
    EXPECT_EQ(read_bytes(path),
              whole_file(header_chunks(1, 8000, 16).text("data").u32(100).bytes(pattern(100))));
}

TEST(WavWriter, EveryWriteLeavesAValidFileAsIfTheWriterHadStoppedThere) {
    TempDir dir;
    const std::string path = dir.file("live.wav");
    WavWriter writer;
    ASSERT_EQ(writer.create(path, pcm(1, 8000, 16)), 0);
    // Before any audio: a file of its own, not an empty one.
    EXPECT_EQ(read_bytes(path), whole_file(header_chunks(1, 8000, 16).text("data").u32(0)));
    Bytes audio;
    for (std::size_t piece : {100u, 7u, 5000u}) {
        const Bytes more = pattern(piece);
        ASSERT_EQ(writer.write(more), static_cast<LONG>(piece));
        audio.insert(audio.end(), more.begin(), more.end());
        // What another program reads now, the writer still at work: sizes that count it all.
        EXPECT_EQ(read_bytes(path), whole_file(header_chunks(1, 8000, 16)
                                                   .text("data")
                                                   .u32(static_cast<DWORD>(audio.size()))
                                                   .bytes(audio)));
    }
    EXPECT_EQ(writer.finalize({}), 0);
}

TEST(WavWriter, TheSizeLimitKeepsRoomForTheChunksAfterTheData) {
    TempDir dir;
    const std::string path = dir.file("limit.wav");
    WavWriter writer;
    // As if the file were near 4 GiB already: 58 bytes of header, 100 of audio room left.
    const std::uint64_t trailer = kMaxWavFileBytes - 58 - 100;
    ASSERT_EQ(writer.create(path, pcm(1, 8000, 16), trailer), 0);
    EXPECT_EQ(writer.room(), 100u);
    EXPECT_EQ(writer.write(pattern(60)), 60);
    EXPECT_EQ(writer.room(), 40u);
    EXPECT_EQ(writer.write(pattern(60)), -1) << "more than fits is refused whole";
    EXPECT_EQ(writer.write(pattern(40)), 40);
    EXPECT_EQ(writer.room(), 0u);
    EXPECT_EQ(writer.finalize({}), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 58u + 100);

    // The room kept is what the texts take.
    InfoTexts texts;
    texts.slots[info_slot_index(mmioFOURCC('I', 'N', 'A', 'M'))] = "abc";
    texts.display_name = "x";
    const Bytes file = record(dir, pcm(1, 8000, 16), pattern(3), texts);
    EXPECT_EQ(info_chunks_size(texts), file.size() - 58 - 3);
    EXPECT_EQ(info_chunks_size({}), 1u) << "the pad byte of odd data";
}

TEST(WavWriter, AFileThatStopsTakingBytesEndsWithTheLastWholeWrite) {
    TempDir dir;
    const std::string path = dir.file("full.wav");
    WavWriter writer;
    ASSERT_EQ(writer.create(path, pcm(1, 8000, 16)), 0);
    ASSERT_EQ(writer.write(pattern(1000)), 1000);
    LONG refused = 0, taken = 0;
    {
        // A disk that fills up after 3000 bytes, as a file size limit does.
        const quillon_test::FileSizeLimit limit(3000);
        ASSERT_TRUE(limit.ok());
        refused = writer.write(pattern(5000));
        taken = writer.write(pattern(500));
    }
    EXPECT_EQ(refused, -1);
    EXPECT_EQ(taken, 500) << "a smaller buffer that fits still goes in";

    Bytes audio = pattern(1000);
    const Bytes last = pattern(500);
    audio.insert(audio.end(), last.begin(), last.end());
    const Bytes expected =
        whole_file(header_chunks(1, 8000, 16).text("data").u32(1500).bytes(audio));
    EXPECT_EQ(read_bytes(path), expected) << "no part of the refused write is left";
    EXPECT_EQ(writer.finalize({}), 0);
}

TEST(WavWriter, BadPathsAndFullDisksFail) {
    TempDir dir;
    WavWriter writer;
    EXPECT_EQ(writer.create(std::string(1024, 'a'), pcm(1, 8000, 16)), -1);
    EXPECT_EQ(writer.create(dir.file("missing/dir.wav"), pcm(1, 8000, 16)), -1);
    EXPECT_EQ(writer.create(std::string("x\0y.wav", 7), pcm(1, 8000, 16)), -1);
    EXPECT_EQ(writer.write(pattern(2)), -1);
    EXPECT_EQ(writer.finalize({}), -1);

    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
    // The header goes out at once, so a file that cannot take it is refused at once.
    EXPECT_EQ(writer.create("/dev/full", pcm(1, 8000, 16)), -1);
    EXPECT_FALSE(writer.is_open());
}

}  // namespace

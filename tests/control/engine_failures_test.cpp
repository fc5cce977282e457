// The engines when the world gives way under them, on the manual clock: a disk that fills up, a
// device that is unplugged, files that peers leave behind. Each ends as the failure table says,
// then says why, and leaves a valid file holding what was reported.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "control/engine/block_count.h"
#include "control/engine/wav_file.h"
#include "tests/control/engine/byte_builder.h"
#include "tests/control/engines_fixture.h"
#include "tests/support/file_size_limit.h"

namespace {

using kelvane::engine::InfoTexts;
using kelvane::engine::read_wav_header;
using kelvane::engine::WavHeader;
using quillon::test::ByteBuilder;
using quillon_test::FileSizeLimit;

// The blocks of a PCM WAV file as a reader finds them, or -1 when it cannot be read.
std::int64_t blocks_in(const std::string& file, InfoTexts* texts = nullptr) {
    WavHeader header;
    InfoTexts read;
    if (read_wav_header(file, header, read) != 0 || header.format.wfx.nBlockAlign == 0) return -1;
    if (texts) *texts = read;
    return header.data_size / header.format.wfx.nBlockAlign;
}

// Blocks of a 2 s capture buffer of the default format.
constexpr LONG kBuffer = 16000;

TEST_F(Engines, ADiskThatFillsEndsTheRecordingWithWhatFitAndSaysSo) {
    create_quiet();
    const std::string file = path("full.wav");
    put("infoName", Variant::string("Kept"));
    V events;
    {
        // Room for three whole buffers and part of a fourth.
        const FileSizeLimit disk(kWavOverhead + 3 * 2 * kBuffer + 1000);
        ASSERT_TRUE(disk.ok());
        call("Record", {Variant::string(file)});
        run(10000);
        events = take_events();
    }
    EXPECT_EQ(events, (V{"LevelRecord(0)", "BlockRecord(16000)", "BlockRecord(32000)",
                         "BlockRecord(48000)", "BlockRecord(48000)", "LevelRecord(0)",
                         "EndRecord()", "Errors(-15, \"Record error\")"}));
    EXPECT_EQ(get_long("BlocksCount"), 3 * kBuffer);
    // The buffers reported are the file's; the part of the fourth that fit is given back, and
    // the INFO list fits in what it leaves.
    InfoTexts texts;
    EXPECT_EQ(blocks_in(file, &texts), 3 * kBuffer);
    EXPECT_EQ(texts.slots[kelvane::engine::info_slot_index(mmioFOURCC('I', 'N', 'A', 'M'))],
              "Kept");
    EXPECT_EQ(std::filesystem::file_size(file), kWavOverhead + 3 * 2 * kBuffer + 8 + 4 + 8 + 6);

    // The next recording, with room again, is a normal one.
    record_file(path("after.wav"), 1000);
    EXPECT_EQ(blocks_in(path("after.wav")), 8000);
}

TEST_F(Engines, AWriteRefusedAtPauseOrAtStopIsTold) {
    create_quiet();
    const std::string paused = path("paused.wav");
    call("Record", {Variant::string(paused)});
    run(2500);
    take_events();
    {
        const FileSizeLimit disk(kWavOverhead + 2 * kBuffer + 100);
        ASSERT_TRUE(disk.ok());
        call("Pause");  // half a second more than fits
    }
    EXPECT_EQ(take_events(), (V{"BlockRecord(16000)", "LevelRecord(0)", "EndRecord()",
                                "Errors(-15, \"Record error\")"}));
    EXPECT_EQ(blocks_in(paused), kBuffer);

    // All the audio fits but the INFO list does not: the file is whole, the loss is told.
    put("infoName", Variant::string("Lost"));
    const std::string stopped = path("stopped.wav");
    call("Record", {Variant::string(stopped)});
    run(1000);
    take_events();
    {
        const FileSizeLimit disk(kWavOverhead + 16000 + 4);
        ASSERT_TRUE(disk.ok());
        call("Stop");
    }
    EXPECT_EQ(take_events(), (V{"BlockRecord(8000)", "LevelRecord(0)", "EndRecord()",
                                "Errors(-15, \"Record error\")"}));
    InfoTexts texts;
    EXPECT_EQ(blocks_in(stopped, &texts), 8000);
}

TEST_F(Engines, AnUnpluggedInputEndsTheRecordingWithEverythingItCaptured) {
    create_quiet();
    card().unplug_after(3300, WaveDirection::input);
    const std::string file = path("unplugged.wav");
    call("Record", {Variant::string(file)});
    run(10000);
    // The buffer the device handed back early is written, then the device refuses it again.
    EXPECT_EQ(take_events(),
              (V{"LevelRecord(0)", "BlockRecord(16000)", "BlockRecord(26400)", "BlockRecord(26400)",
                 "LevelRecord(0)", "EndRecord()", "Errors(-13, \"Input device error\")"}));
    EXPECT_EQ(blocks_in(file), 26400);
}

TEST_F(Engines, AnUnpluggedOutputEndsPlaybackInsteadOfHanging) {
    create_quiet();
    record_file(path("five.wav"), 5000);
    card().unplug_after(1500, WaveDirection::output);
    call("Play", {Variant::string(path("five.wav"))});
    run(20000);
    const V events = take_events();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(V(events.end() - 3, events.end()),
              (V{"LevelPlay(0)", "EndPlay()", "Errors(-12, \"Output device error\")"}));
    EXPECT_EQ(events[events.size() - 4], "BlockPlay(11200)") << "the last tick before 1.5 s";
    // A new device plays to the end.
    card().clear_failures();
    call("Play", {Variant::string(path("five.wav"))});
    run(7000);
    EXPECT_EQ(take_events().back(), "EndPlay()");
}

TEST_F(Engines, AFailedDeviceCloseStillLetsTheDeviceGo) {
    create_quiet();
    card().fail_next(WaveCall::close, MMSYSERR_ERROR, WaveDirection::input);
    record_file(path("a.wav"), 1000);
    card().fail_next(WaveCall::close, MMSYSERR_ERROR, WaveDirection::output);
    call("Play", {Variant::string(path("a.wav"))});
    run(2000);
    take_events();
    // Both handles are gone: new devices open, and nothing is left for the loop's end to trip on.
    record_file(path("b.wav"), 1000);
    EXPECT_EQ(blocks_in(path("b.wav")), 8000);
}

TEST_F(Engines, TextsWithoutAPropertyGoIntoTheNextRecording) {
    create_quiet();
    const std::string played = path("peer.wav");
    ByteBuilder list;
    list.text("INFO").chunk("IARL", {'a', 'r', 'c', 0}).chunk("ISHP", {'s', 0});
    list.chunk("INAM", {'n', 0});
    quillon::test::write_bytes(played, quillon::test::riff_wave(ByteBuilder()
                                                                    .pcm_fmt(1, 8000, 16, true)
                                                                    .text("data")
                                                                    .u32(1600)
                                                                    .zeros(1600)
                                                                    .chunk("LIST", list)));
    call("Play", {Variant::string(played)});
    run(1000);
    call("Stop");
    put("infoName", Variant::string("mine"));
    record_file(path("next.wav"), 500);
    InfoTexts texts;
    ASSERT_GE(blocks_in(path("next.wav"), &texts), 0);
    auto slot = [&](const char* id) -> const std::string& {
        return texts
            .slots[kelvane::engine::info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3]))];
    };
    EXPECT_EQ(slot("IARL"), "arc");
    EXPECT_EQ(slot("ISHP"), "s");
    EXPECT_EQ(slot("INAM"), "mine") << "a property's slot takes the property";
}

TEST_F(Engines, AResampledPlaybackPlaysItsLastMilliseconds) {
    create_quiet();
    const std::string out = path("played.raw");
    ASSERT_TRUE(card().set_output("file:" + out));
    // One second of 32-bit float at 96 kHz: the device plays 16-bit at 48 kHz.
    ByteBuilder fmt;
    fmt.u16(3).u16(1).u32(96000).u32(96000 * 4).u16(4).u16(32).u16(0);
    ByteBuilder body;
    body.chunk("fmt ", fmt).text("data").u32(96000 * 4);
    for (int i = 0; i < 96000; ++i) {
        const float sample = i % 96 < 48 ? 0.25f : -0.25f;
        std::uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        body.u32(bits);
    }
    quillon::test::write_bytes(path("float.wav"), quillon::test::riff_wave(body));
    call("Play", {Variant::string(path("float.wav"))});
    run(5000);
    EXPECT_EQ(take_events().back(), "EndPlay()");
    card().set_output("");
    // All of the second, within the resampler's rounding.
    EXPECT_NEAR(static_cast<double>(std::filesystem::file_size(out)), 48000.0 * 2, 8);
}

TEST_F(Engines, EightBitSilenceHasNoLevelEvenWhereABufferIsOnlyPartlyFilled) {
    setenv("KELVANE_VIRTUAL_INPUT", "silence", 1);
    create_quiet();
    choose("pcm:8000:1:8");
    ASSERT_EQ(call("SetFormatFromMenu").as_i4(), 0);
    acm_set_format_chooser({});
    // 4.5 s: a 4 s playback buffer and a second one of half a second.
    record_file(path("quiet.wav"), 4500);
    put("TypePlayLevel", Variant::i4(2));
    put("TypeRecordLevel", Variant::i4(2));
    call("Play", {Variant::string(path("quiet.wav"))});
    run(6000);
    for (const std::string& event : take_events())
        EXPECT_TRUE(event.rfind("LevelPlay", 0) != 0 || event == "LevelPlay(0)") << event;
    call("Record", {Variant::string(path("again.wav"))});
    run(3000);
    call("Stop");
    for (const std::string& event : take_events())
        EXPECT_TRUE(event.rfind("LevelRecord", 0) != 0 || event == "LevelRecord(0)") << event;
}

TEST_F(Engines, HugeFilesAndExtremeSeeksStayInRange) {
    create_quiet();
    // 3 GiB of 8-bit mono (a sparse file): more blocks than a 32-bit count holds.
    const std::string huge = path("huge.wav");
    quillon::test::write_bytes(
        huge, quillon::test::riff_wave(
                  ByteBuilder().pcm_fmt(1, 8000, 8, true).text("data").u32(0xC0000000u)));
    std::filesystem::resize_file(huge, 0xC0000000ull + 46);
    call("Play", {Variant::string(huge)});
    EXPECT_EQ(get_long("BlocksCount"), std::numeric_limits<LONG>::max());
    call("Stop");

    record_file(path("short.wav"), 3000);
    call("Play", {Variant::string(path("short.wav"))});
    take_events();
    for (LONG offset : {std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()})
        for (SHORT origin : {SHORT{1}, SHORT{2}, SHORT{3}})
            call("Seek", {Variant::i4(offset), Variant::i2(origin)});
    call("Seek", {Variant::i4(std::numeric_limits<LONG>::min()), Variant::i2(3)});
    run(100);
    EXPECT_EQ(take_events().front(), "BlockPlay(0)") << "held at the start of the data";
    call("Stop");

    LONG count = std::numeric_limits<LONG>::max() - 5;
    kelvane::engine::add_blocks(count, 10);
    EXPECT_EQ(count, std::numeric_limits<LONG>::max());
    kelvane::engine::add_blocks(count, 1ull << 40);
    EXPECT_EQ(count, std::numeric_limits<LONG>::max());
}

}  // namespace

// Recording and playback through the control on the virtual card's manual clock: whole event
// transcripts, file sizes, seeks, formats and every failure the engines report.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/control/engines_fixture.h"

namespace {

TEST_F(Engines, RecordPauseContinueStopFireTheirEventsInOrder) {
    create_quiet();
    const std::string file = path("take.wav");
    call("Record", {Variant::string(file)});
    EXPECT_EQ(take_events(), V{"LevelRecord(0)"});
    run(2000);  // one 2 s buffer of 16000 blocks
    EXPECT_EQ(take_events(), V{"BlockRecord(16000)"});
    run(500);
    EXPECT_TRUE(take_events().empty());
    call("Pause");
    EXPECT_EQ(take_events(), (V{"BlockRecord(20000)", "LevelRecord(0)"}));
    call("Pause");  // the partial buffer was written once already
    EXPECT_EQ(take_events(), (V{"BlockRecord(20000)", "LevelRecord(0)"}));
    run(1000);
    EXPECT_TRUE(take_events().empty());
    call("Continue");
    run(2000);
    EXPECT_EQ(take_events(), V{"BlockRecord(36000)"});
    call("Stop");
    EXPECT_EQ(take_events(), (V{"BlockRecord(36000)", "LevelRecord(0)", "EndRecord()"}));
    EXPECT_EQ(get_long("BlocksCount"), 36000);
    EXPECT_EQ(std::filesystem::file_size(file), kWavOverhead + 72000);
    call("Stop");
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Engines, AnHourOfRecordingInVirtualTimeHasExactlyTheExpectedSize) {
    create_quiet();
    const std::string file = path("hour.wav");
    call("Record", {Variant::string(file)});
    run(3'600'000);
    call("Stop");
    const auto events = take_events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string& e) { return e.rfind("BlockRecord", 0) == 0; }),
              1801);
    EXPECT_EQ(events.back(), "EndRecord()");
    EXPECT_EQ(get_long("BlocksCount"), 28'800'000);
    EXPECT_EQ(std::filesystem::file_size(file), kWavOverhead + 57'600'000);
}

TEST_F(Engines, ContinueTicksEvery50MsAndTheNextRecordAgainEvery100) {
    create(false);
    put("TypeRecordLevel", Variant::i4(2));
    auto level_events = [&] {
        const auto events = take_events();
        return std::count_if(events.begin(), events.end(),
                             [](const std::string& e) { return e.rfind("LevelRecord", 0) == 0; });
    };
    call("Record", {Variant::string(path("a.wav"))});
    take_events();
    run(1000);
    EXPECT_EQ(level_events(), 10);
    call("Pause");
    call("Continue");
    take_events();
    run(1000);
    EXPECT_EQ(level_events(), 20);
    call("Stop");
    call("Record", {Variant::string(path("b.wav"))});
    take_events();
    run(1000);
    EXPECT_EQ(level_events(), 10);
}

TEST_F(Engines, SilenceAtLevelType2FiresOnlyTheZeroLevels) {
    setenv("KELVANE_VIRTUAL_INPUT", "silence", 1);
    create(false);
    put("TypeRecordLevel", Variant::i4(2));
    take_events();
    call("Record", {Variant::string(path("quiet.wav"))});
    run(2500);
    call("Pause");
    call("Stop");
    EXPECT_EQ(take_events(),
              (V{"LevelRecord(0)", "BlockRecord(16000)", "BlockRecord(20000)", "LevelRecord(0)",
                 "BlockRecord(20000)", "LevelRecord(0)", "EndRecord()"}));
}

TEST_F(Engines, TheLevelTypeCanChangeWhileRecording) {
    create(false);
    put("TypeRecordLevel", Variant::i4(1));
    take_events();
    call("Record", {Variant::string(path("levels.wav"))});
    run(300);
    // The mixer's peak meter follows the virtual card's half-scale tone.
    EXPECT_EQ(take_events(), (V{"LevelRecord(0)", "LevelRecord(16384)", "LevelRecord(16384)",
                                "LevelRecord(16384)"}));
    put("TypeRecordLevel", Variant::i4(0));
    run(300);
    EXPECT_TRUE(take_events().empty());
    put("TypeRecordLevel", Variant::i4(2));
    run(100);
    const auto events = take_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rfind("LevelRecord(", 0), 0u);
    EXPECT_NE(events[0], "LevelRecord(0)");
    call("Stop");
}

TEST_F(Engines, PlaybackReportsEveryTickAndEndsExactlyAtTheEndOfTheData) {
    create_quiet();
    const std::string file = path("three.wav");
    put("infoName", Variant::string("Three seconds"));
    record_file(file, 3000);
    m_host->destroy();
    create_quiet();

    call("Play", {Variant::string(file)});
    EXPECT_EQ(take_events(), V{"BlockPlay(0)"});
    EXPECT_EQ(get_long("BlocksCount"), 24000);
    EXPECT_EQ(get_string("infoName"), "Three seconds");
    run(3000);
    V expected;
    for (int tick = 1; tick <= 30; ++tick)
        expected.push_back("BlockPlay(" + std::to_string(tick * 800) + ")");
    expected.push_back("LevelPlay(0)");
    expected.push_back("EndPlay()");
    EXPECT_EQ(take_events(), expected);
    EXPECT_EQ(get_long("BlocksCount"), 0);
    // The played file's format stays.
    EXPECT_EQ(get_long("nSamplesPerSec"), 8000);
}

TEST_F(Engines, SeeksFromEachOriginAndSeekOnlyWhilePlaying) {
    create_quiet();
    const std::string file = path("seek.wav");
    record_file(file, 6000);
    call("Seek", {Variant::i4(8000), Variant::i2(3)});
    EXPECT_TRUE(take_events().empty());

    call("Play", {Variant::string(file)});
    run(100);
    take_events();
    call("Seek", {Variant::i4(8000), Variant::i2(3)});
    run(100);
    EXPECT_EQ(take_events(), V{"BlockPlay(8000)"});
    run(100);
    EXPECT_EQ(take_events(), V{"BlockPlay(8800)"});
    call("Seek", {Variant::i4(-8000), Variant::i2(2)});
    run(100);
    EXPECT_EQ(take_events(), V{"BlockPlay(40000)"});
    call("Seek", {Variant::i4(0), Variant::i2(3)});
    run(100);
    EXPECT_EQ(take_events(), V{"BlockPlay(0)"});
    // Origin 1 counts from the read position, which runs ahead of what is heard.
    call("Seek", {Variant::i4(1000), Variant::i2(1)});
    run(100);
    const auto events = take_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_GT(std::stoi(events[0].substr(10)), 1000);
    call("Seek", {Variant::i4(1000), Variant::i2(9)});  // no such origin: ignored
    run(100);
    EXPECT_EQ(take_events().size(), 1u);
    call("Stop");
    EXPECT_EQ(take_events(), (V{"LevelPlay(0)", "EndPlay()"}));
}

TEST_F(Engines, PauseHoldsThePositionAndContinueResumesIt) {
    create_quiet();
    const std::string file = path("pause.wav");
    record_file(file, 4000);
    call("Play", {Variant::string(file)});
    run(1000);
    take_events();
    call("Pause");
    run(1000);
    EXPECT_TRUE(take_events().empty());
    call("Continue");
    run(50);
    EXPECT_EQ(take_events(), V{"BlockPlay(8400)"});
}

TEST_F(Engines, ARecordingAfterPlayUsesThePlayedFilesFormat) {
    create_quiet();
    choose("pcm:22050:2:16");
    EXPECT_EQ(call("SetFormatFromMenu").as_i4(), 0);
    acm_set_format_chooser({});
    EXPECT_EQ(get_long("nSamplesPerSec"), 22050);
    EXPECT_EQ(get_long("nChannels"), 2);
    const std::string stereo = path("stereo.wav");
    record_file(stereo, 1000);
    EXPECT_EQ(std::filesystem::file_size(stereo), kWavOverhead + 88200);

    m_host->destroy();
    create_quiet();
    EXPECT_EQ(get_long("nSamplesPerSec"), 8000);
    call("Play", {Variant::string(stereo)});
    call("Stop");
    take_events();
    const std::string again = path("again.wav");
    record_file(again, 1000);
    EXPECT_EQ(std::filesystem::file_size(again), kWavOverhead + 88200);
    EXPECT_EQ(call("BlockToSec", {Variant::i4(22050)}).as_i4(), 1000);
}

TEST_F(Engines, CompressedFormatsRecordAndPlayBack) {
    for (const char* name :
         {"gsm610:8000:1", "ima-adpcm:22050:1", "alaw:8000:1", "mp3:44100:2:128"}) {
        create_quiet();
        choose(name);
        ASSERT_EQ(call("SetFormatFromMenu").as_i4(), 0) << name;
        acm_set_format_chooser({});
        const std::string file = path((std::string(name).substr(0, 3) +
                                       (std::string(name).rfind("mp3", 0) == 0 ? ".mp3" : ".wav"))
                                          .c_str());
        record_file(file, 3000);
        call("Play", {Variant::string(file)});
        const auto blocks = get_long("BlocksCount");
        EXPECT_GT(blocks, 0) << name;
        run(5000);
        const auto events = take_events();
        ASSERT_FALSE(events.empty()) << name;
        EXPECT_EQ(events.back(), "EndPlay()") << name;
        m_host->destroy();
    }
}

TEST_F(Engines, BusyEnginesRefuseTheOtherActivityAndTheFormatChooser) {
    create_quiet();
    const std::string file = path("busy.wav");
    record_file(file, 1000);
    call("Play", {Variant::string(file)});
    take_events();
    call("Record", {Variant::string(path("never.wav"))});
    call("Play", {Variant::string(file)});
    EXPECT_EQ(call("SetFormatFromMenu").as_i4(), 0);
    call("SetFormatLikeSample", {Variant::string(file)});
    EXPECT_EQ(take_events(),
              (V{"Errors(-14, \"Playback error\")", "Errors(-14, \"Playback error\")",
                 "Errors(-14, \"Playback error\")", "Errors(-14, \"Playback error\")"}));
    run(100);
    EXPECT_EQ(take_events().size(), 1u);  // still playing
    call("Stop");
    call("Record", {Variant::string(path("rec.wav"))});
    take_events();
    call("Play", {Variant::string(file)});
    EXPECT_EQ(call("SetFormatFromMenu").as_i4(), 0);
    EXPECT_EQ(take_events(), (V{"Errors(-15, \"Record error\")", "Errors(-15, \"Record error\")"}));
    EXPECT_FALSE(std::filesystem::exists(path("never.wav")));
}

TEST_F(Engines, OpenFailuresReportTheirErrorAndLeaveTheEngineIdle) {
    create_quiet();
    call("Record", {Variant::string(path("no/such/folder/x.wav"))});
    EXPECT_EQ(take_events(), V{"Errors(-11, \"File open error\")"});
    call("Play", {Variant::string(path("absent.wav"))});
    EXPECT_EQ(take_events(), V{"Errors(-11, \"File open error\")"});

    card().fail_next(WaveCall::open, MMSYSERR_ALLOCATED, WaveDirection::input);
    call("Record", {Variant::string(path("a.wav"))});
    EXPECT_EQ(take_events(), V{"Errors(-13, \"Input device error\")"});
    card().fail_next(WaveCall::start, MMSYSERR_ERROR, WaveDirection::input);
    call("Record", {Variant::string(path("b.wav"))});
    EXPECT_EQ(take_events(), V{"Errors(-13, \"Input device error\")"});
    card().fail_next(WaveCall::add, MMSYSERR_ERROR, WaveDirection::input, 1);
    call("Record", {Variant::string(path("c.wav"))});
    EXPECT_EQ(take_events(), (V{"LevelRecord(0)", "BlockRecord(0)", "LevelRecord(0)", "EndRecord()",
                                "Errors(-13, \"Input device error\")"}));
    // Idle again: a new recording starts normally.
    call("Record", {Variant::string(path("d.wav"))});
    EXPECT_EQ(take_events(), V{"LevelRecord(0)"});
    run(1000);
    call("Stop");
    take_events();

    const std::string file = path("d.wav");
    card().fail_next(WaveCall::open, MMSYSERR_ALLOCATED, WaveDirection::output);
    call("Play", {Variant::string(file)});
    EXPECT_EQ(take_events(), V{"Errors(-12, \"Output device error\")"});
    card().fail_next(WaveCall::write, MMSYSERR_ERROR, WaveDirection::output);
    call("Play", {Variant::string(file)});
    EXPECT_EQ(take_events(), (V{"BlockPlay(0)", "Errors(-12, \"Output device error\")"}));
    call("Play", {Variant::string(file)});
    EXPECT_EQ(take_events(), V{"BlockPlay(0)"});
    call("Stop");
}

TEST_F(Engines, FailuresWhileRunningStopCleanlyAndNeverLoseTheFile) {
    create_quiet();
    const std::string file = path("run.wav");
    // waveInStop failing at Pause leaves the recording running with its timer stopped.
    call("Record", {Variant::string(file)});
    take_events();
    card().fail_next(WaveCall::stop, MMSYSERR_ERROR, WaveDirection::input);
    call("Pause");
    run(3000);
    EXPECT_TRUE(take_events().empty());
    // Re-queueing failing at Continue stops, then reports.
    card().fail_next(WaveCall::add, MMSYSERR_ERROR, WaveDirection::input);
    call("Continue");
    const auto events = take_events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "EndRecord()");
    EXPECT_EQ(events.back(), "Errors(-11, \"File open error\")");

    // waveInStop failing at Stop still writes the audio and finalizes the file.
    const std::string kept = path("kept.wav");
    call("Record", {Variant::string(kept)});
    run(2500);
    take_events();
    card().fail_next(WaveCall::stop, MMSYSERR_ERROR, WaveDirection::input);
    call("Stop");
    EXPECT_EQ(take_events(), (V{"BlockRecord(20000)", "LevelRecord(0)"}));
    EXPECT_EQ(std::filesystem::file_size(kept), kWavOverhead + 40000);

    // A later playback buffer that cannot be written ends playback instead of hanging, and
    // says why.
    record_file(path("long.wav"), 12000);
    call("Play", {Variant::string(path("long.wav"))});
    card().fail_next(WaveCall::write, MMSYSERR_ERROR, WaveDirection::output);
    run(20000);
    const auto played = take_events();
    ASSERT_GE(played.size(), 2u);
    EXPECT_EQ(played[played.size() - 2], "EndPlay()");
    EXPECT_EQ(played.back(), "Errors(-12, \"Output device error\")");
}

TEST_F(Engines, DestroyingTheControlFinishesTheRecordingWithoutEvents) {
    create_quiet();
    const std::string file = path("destroyed.wav");
    put("infoName", Variant::string("Kept"));
    call("Record", {Variant::string(file)});
    run(3000);
    take_events();
    m_host->destroy();
    EXPECT_TRUE(take_events().empty());
    // 3 s at 16000 bytes per second, and INFO with INAM "Kept".
    EXPECT_EQ(std::filesystem::file_size(file), kWavOverhead + 48000 + 8 + 4 + 8 + 6);
}

TEST_F(Engines, SampleFormatsComeFromFilesAndAMissingSampleChangesNothing) {
    create_quiet();
    choose("gsm610:8000:1");
    ASSERT_EQ(call("SetFormatFromMenu").as_i4(), 0);
    acm_set_format_chooser({});
    const std::string gsm = path("gsm.wav");
    record_file(gsm, 1000);
    m_host->destroy();
    create_quiet();
    call("SetFormatLikeSample", {Variant::string(path("missing.wav"))});
    EXPECT_EQ(take_events(), V{"Errors(-11, \"File open error\")"});
    EXPECT_EQ(get_long("wFormatTag"), 1);
    call("SetFormatLikeSample", {Variant::string(gsm)});
    EXPECT_TRUE(take_events().empty());
    EXPECT_EQ(get_long("wFormatTag"), 0x31);
    EXPECT_EQ(get_long("nBlockAlign"), 65);
    EXPECT_EQ(get_long("nAvgBytesPerSec"), 1625);
    EXPECT_EQ(call("SetFormatFromMenu").as_i4(), -1);  // no chooser installed
    EXPECT_EQ(get_long("wFormatTag"), 0x31);
}

}  // namespace

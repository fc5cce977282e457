// The sound server's wave backend on both servers it speaks to: a private PulseAudio and a private
// PipeWire with its pulse server, each with a null sink `quillon_sink` and a sine source
// `quillon_sine` (440 Hz, the default source). Tests load what else they need (null sinks with
// long descriptions) and take it away again. Label `device`; every case skips with the reason
// when its server cannot start.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/pulse_wave.h"
#include "tests/platform/wave/wave_device_checks.h"
#include "tests/platform/wave/wave_test_util.h"
#include "tests/support/sound_servers.h"

namespace {

using quillon::test::Buffer;
using quillon::test::fill_tone;
using quillon::test::left_channel;
using quillon::test::pcm_format;
using quillon::test::seconds_since;
using quillon::test::tone_power;
using quillon::test::wait_for;
using quillon_test::pactl;
using quillon_test::SoundServer;
using quillon_test::SoundServers;
using Clock = std::chrono::steady_clock;

constexpr UINT kHdr = sizeof(WAVEHDR);
constexpr UINT kNone = ~0u;

// Two descriptions that agree in their first 31 characters, as two identical USB headsets do.
constexpr const char* kLongA = "Quillon Test Sink Number One Long Name";
constexpr const char* kLongB = "Quillon Test Sink Number One Long Name Too";

class PulseWave : public ::testing::TestWithParam<SoundServer> {
  protected:
    void SetUp() override {
        if (const std::string why = m_scratch.use(GetParam()); !why.empty()) GTEST_SKIP() << why;
        m_server = m_scratch.address();
        MessageLoop::instance().set_clock(ClockKind::real);
        use_server_backend();
    }

    void TearDown() override {
        setenv("KELVANE_AUDIO", "virtual", 1);
        set_wave_backend(nullptr);
        MessageLoop::instance().set_clock(ClockKind::manual);
    }

    // The backend made afresh: it takes the server's devices as they are now.
    void use_server_backend() {
        setenv("KELVANE_AUDIO", "pulse", 1);
        set_wave_backend(nullptr);
        ASSERT_EQ(wave_backend().name(), "pulse") << "no server answers at " << m_server;
    }

    void load_sink(const std::string& name, const std::string& description) {
        m_scratch.load_sink(name, description);
    }

    static UINT find(WaveDirection direction, const std::string& server_name) {
        const auto list = wave_backend().devices(direction);
        for (UINT i = 0; i < list.size(); ++i)
            if (list[i].native_name == server_name) return i;
        return kNone;
    }

    quillon_test::ServerScratch m_scratch;
    std::string m_server;
};

// Plays `seconds` of `hz` into output `device` from two buffers; close with finish_output.
struct TonePlayer {
    TonePlayer(UINT device, double hz, double seconds)
        : format(pcm_format(44100, 2, 16)),
          a(static_cast<std::size_t>(format.nAvgBytesPerSec * seconds / 2) / 4 * 4),
          b(a.data.size()) {
        fill_tone(a, format, hz, 0.5, 0);
        fill_tone(b, format, hz, 0.5, a.data.size() / format.nBlockAlign);
        EXPECT_EQ(waveOutOpen(&out, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        for (Buffer* x : {&a, &b}) {
            EXPECT_EQ(waveOutPrepareHeader(out, &x->header, kHdr), MMSYSERR_NOERROR);
            EXPECT_EQ(waveOutWrite(out, &x->header, kHdr), MMSYSERR_NOERROR);
        }
    }
    ~TonePlayer() {
        EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    }
    WAVEFORMATEX format;
    Buffer a, b;
    HWAVEOUT out = nullptr;
};

// Half a second of the first channel from input `device`, after the first half second.
std::vector<std::int16_t> capture_tone(UINT device) {
    const auto format = pcm_format(44100, 2, 16);
    HWAVEIN in = nullptr;
    EXPECT_EQ(waveInOpen(&in, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    if (!in) return {};
    Buffer first(format.nAvgBytesPerSec / 2), second(format.nAvgBytesPerSec / 2);
    for (Buffer* b : {&first, &second}) {
        EXPECT_EQ(waveInPrepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInAddBuffer(in, &b->header, kHdr), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(wait_for([&] { return second.done(); }, 8000)) << "no data from the device";
    EXPECT_EQ(second.header.dwBytesRecorded, second.header.dwBufferLength);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    return left_channel(second);
}

double power(const std::vector<std::int16_t>& samples, double hz) {
    return samples.empty() ? 0 : tone_power(samples, hz, 44100);
}

// `hz` stands out: nothing much at 1.5 times it.
bool dominant(const std::vector<std::int16_t>& samples, double hz) {
    return power(samples, hz) > 1000 * power(samples, 1.5 * hz);
}

TEST_P(PulseWave, DevicesAreTheServersSourcesAndSinksByTheirDescriptionsUniqueAndStable) {
    load_sink("qtest_a", kLongA);
    load_sink("qtest_b", kLongB);
    use_server_backend();

    const auto inputs = wave_backend().devices(WaveDirection::input);
    const auto outputs = wave_backend().devices(WaveDirection::output);
    auto named = [](const std::vector<WaveDeviceInfo>& list, const std::string& native) {
        for (const auto& d : list)
            if (d.native_name == native) return d.name;
        return std::string("(missing)");
    };
    EXPECT_EQ(named(outputs, "quillon_sink"), "QuillonNullSink");
    EXPECT_EQ(named(inputs, "quillon_sine"), "Sine source at 440 Hz");
    EXPECT_EQ(named(inputs, "quillon_sink.monitor"), "Monitor of QuillonNullSink");
    // Cut to 31 characters, and the second of two that agree that far told apart.
    EXPECT_EQ(named(outputs, "qtest_a"), "Quillon Test Sink Number One Lo");
    EXPECT_EQ(named(outputs, "qtest_b"), "Quillon Test Sink Number One #2");
    EXPECT_EQ(named(inputs, "qtest_a.monitor"), "Monitor of Quillon Test Sink Nu");
    EXPECT_EQ(named(inputs, "qtest_b.monitor"), "Monitor of Quillon Test Sink #2");

    for (const auto* list : {&inputs, &outputs}) {
        std::set<std::string> names;
        std::set<WORD> makers;
        for (const auto& d : *list) {
            EXPECT_LT(d.name.size(), std::size_t{MAXPNAMELEN});
            names.insert(d.name);
            makers.insert(d.maker_id);
        }
        EXPECT_EQ(names.size(), list->size()) << "names tell the devices apart";
        EXPECT_EQ(makers.size(), list->size()) << "each device has a mixer of its own";
    }
    // Sources that record from something come before the monitors of sinks.
    EXPECT_LT(find(WaveDirection::input, "quillon_sine"),
              find(WaveDirection::input, "quillon_sink.monitor"));

    // The same devices give the same numbers and names, however the server lists them.
    use_server_backend();
    const auto again = wave_backend().devices(WaveDirection::input);
    ASSERT_EQ(again.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_EQ(again[i].name, inputs[i].name);
        EXPECT_EQ(again[i].maker_id, inputs[i].maker_id);
    }

    WAVEINCAPSA mapper{};
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &mapper, sizeof mapper), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(mapper.szPname), kWaveMapperName);
    EXPECT_EQ(mapper.wMid, pulse_mapper_maker_id(WaveDirection::input));
    EXPECT_EQ(mapper.dwFormats, 0x0FFFu) << "the server carries every classic format";
    WAVEOUTCAPSA sink{};
    ASSERT_EQ(waveOutGetDevCapsA(find(WaveDirection::output, "qtest_a"), &sink, sizeof sink),
              MMSYSERR_NOERROR);
    EXPECT_STREQ(sink.szPname, "Quillon Test Sink Number One Lo");
}

TEST_P(PulseWave, TheMonitorOfASinkRecordsTheToneThatPlaysIntoIt) {
    load_sink("qtest_a", "Quillon Test A");
    use_server_backend();
    const UINT sink = find(WaveDirection::output, "qtest_a");
    const UINT monitor = find(WaveDirection::input, "qtest_a.monitor");
    ASSERT_NE(sink, kNone);
    ASSERT_NE(monitor, kNone);

    TonePlayer player(sink, 1000, 4);
    const auto heard = capture_tone(monitor);
    EXPECT_TRUE(dominant(heard, 1000));
    EXPECT_NEAR(2 * std::sqrt(power(heard, 1000)), 0.5 * 32767, 0.1 * 32767) << "amplitude";
    EXPECT_GT(wave_recent_peak(WaveDirection::output, sink), 8000u)
        << "the output's level tap sees what it plays";
}

TEST_P(PulseWave, TheMapperRecordsAndPlaysOnTheDefaultDevicesOfTheMomentItOpens) {
    load_sink("qtest_a", "Quillon Test A");
    use_server_backend();
    const UINT sink = find(WaveDirection::output, "qtest_a");
    const UINT monitor = find(WaveDirection::input, "qtest_a.monitor");
    ASSERT_NE(monitor, kNone);

    // The default source is the 440 Hz sine.
    EXPECT_TRUE(dominant(capture_tone(WAVE_MAPPER), 440));

    // Another default, chosen while the program runs, is what the mapper records next.
    ASSERT_TRUE(quillon_test::set_default_device(m_server, "source", "qtest_a.monitor"));
    {
        TonePlayer player(sink, 1000, 4);
        const auto heard = capture_tone(WAVE_MAPPER);
        EXPECT_TRUE(dominant(heard, 1000));
        EXPECT_GT(power(heard, 1000), 1000 * power(heard, 440)) << "not the sine any more";
    }

    // The same for playback: the mapper plays into the default sink.
    ASSERT_TRUE(quillon_test::set_default_device(m_server, "sink", "qtest_a"));
    TonePlayer player(WAVE_MAPPER, 700, 4);
    EXPECT_TRUE(dominant(capture_tone(monitor), 700));
}

TEST_P(PulseWave, CaptureRunsAtExactlyTheRateAskedForAndStopKeepsWhatWasCaptured) {
    // The monitor of a playing sink runs at the sink's pace.
    TonePlayer player(find(WaveDirection::output, "quillon_sink"), 440, 12);
    ASSERT_NO_FATAL_FAILURE(quillon::test::check_capture_rate_and_stop(
        find(WaveDirection::input, "quillon_sink.monitor"), m_server));
}

TEST_P(PulseWave, CaptureDeliversAboutOnceATickWhateverTheOrderOfStartAndBuffers) {
    // The recorder's order: reset and start first, buffers after; nothing captured between is
    // lost, and the driver wakes about once per 100 ms fragment.
    const UINT monitor = find(WaveDirection::input, "quillon_sink.monitor");
    TonePlayer player(find(WaveDirection::output, "quillon_sink"), 440, 8);
    const auto format = pcm_format(8000, 1, 16);
    const PulseWaveStats before = pulse_wave_stats();
    const auto opened = Clock::now();
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, monitor, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    // Until the first delivery (each one wakes the driver) there is nothing to keep.
    ASSERT_TRUE(wait_for([&] { return pulse_wave_stats().deliveries > before.deliveries; }, 5000));
    Buffer first(format.nAvgBytesPerSec), second(format.nAvgBytesPerSec);
    for (Buffer* b : {&first, &second}) {
        ASSERT_EQ(waveInPrepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &b->header, kHdr), MMSYSERR_NOERROR);
    }
    EXPECT_GT(first.header.dwBytesRecorded, 0u) << "what came before the buffers is kept";
    ASSERT_TRUE(wait_for([&] { return second.done(); }, 8000));
    const double elapsed = seconds_since(opened);
    const std::uint64_t wakeups = pulse_wave_stats().deliveries - before.deliveries;
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    EXPECT_EQ(first.header.dwBytesRecorded, first.header.dwBufferLength);
    EXPECT_EQ(second.header.dwBytesRecorded, second.header.dwBufferLength);
    // A count, not a time: a driver that polled would wake thousands of times a second.
    const auto fragments = static_cast<std::uint64_t>(elapsed / 0.1) + 2;
    EXPECT_LT(wakeups, 2 * fragments) << "over " << fragments << " fragments";
}

TEST_P(PulseWave, PlayPositionAdvancesAtTheByteRateHoldsWhilePausedAndReachesTheEnd) {
    // PulseAudio's null sink takes up to two seconds to lower its latency to what the stream
    // asks; the rate is measured after that.
    ASSERT_NO_FATAL_FAILURE(quillon::test::check_play_position(
        find(WaveDirection::output, "quillon_sink"), 6, 2.5, m_server));
}

TEST_P(PulseWave, AFormatTheServerCannotCarryIsRefusedAndEveryClassicOneRunsAsAsked) {
    const UINT sink = find(WaveDirection::output, "quillon_sink");
    HWAVEOUT out = nullptr;
    const auto huge = pcm_format(1'000'000, 2, 16);
    EXPECT_EQ(waveOutOpen(&out, sink, &huge, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(waveOutOpen(nullptr, sink, &huge, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    for (DWORD rate : {11025u, 22050u, 44100u})
        for (WORD channels : {WORD{1}, WORD{2}})
            for (WORD bits : {WORD{8}, WORD{16}}) {
                const auto f = pcm_format(rate, channels, bits);
                EXPECT_EQ(waveOutOpen(nullptr, sink, &f, 0, 0, WAVE_FORMAT_QUERY),
                          MMSYSERR_NOERROR);
            }
}

// A server of its own for this test (its own folder), killed while a capture and a playback run.
TEST_P(PulseWave, AServerThatGoesAwayCompletesTheBuffersAndEveryLaterCallSaysSo) {
    const std::string folder = "/tmp/quillon-gone-" + std::to_string(getpid());
    const std::string env =
        (GetParam() == SoundServer::pulseaudio ? "QUILLON_PULSE_DIR=" : "QUILLON_PIPEWIRE_DIR=") +
        folder + " ";
    const std::string script = SoundServers::script(GetParam());
    const auto started = quillon_test::run_command(env + script + " start");
    ASSERT_EQ(started.status, 0) << started.output;
    setenv("PULSE_SERVER", ("unix:" + folder + "/runtime/pulse/native").c_str(), 1);
    use_server_backend();
    const UINT sink = find(WaveDirection::output, "quillon_sink");
    const UINT source = find(WaveDirection::input, "quillon_sink.monitor");

    const auto format = pcm_format(44100, 2, 16);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, sink, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer play(format.nAvgBytesPerSec * 10);
    ASSERT_EQ(waveOutPrepareHeader(out, &play.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &play.header, kHdr), MMSYSERR_NOERROR);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, source, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer first(format.nAvgBytesPerSec * 10), second(format.nAvgBytesPerSec * 10);
    for (Buffer* b : {&first, &second}) {
        ASSERT_EQ(waveInPrepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &b->header, kHdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(wait_for([&] { return first.header.dwBytesRecorded > 0; }, 8000));

    // Everything of the server goes at once, as when it crashes.
    const auto killed = quillon_test::run_command(
        "kill -9 $(" + env + script + " pids 2>/dev/null) $(cat " + folder +
        "/runtime/pulse/pid 2>/dev/null) 2>/dev/null; sleep 0.2");
    const DWORD kept = first.header.dwBytesRecorded;
    ASSERT_TRUE(wait_for([&] { return first.done() && second.done(); }, 5000))
        << "the capture's buffers come back";
    EXPECT_GE(first.header.dwBytesRecorded, kept) << "with what they hold";
    EXPECT_TRUE(play.done()) << "and so does the playback's";
    EXPECT_EQ(waveInAddBuffer(in, &first.header, kHdr), MMSYSERR_NODRIVER);
    EXPECT_FALSE(first.queued()) << "a refused buffer is not left queued";
    EXPECT_EQ(waveInStart(in), MMSYSERR_NODRIVER);
    MMTIME t{};
    t.wType = TIME_BYTES;
    EXPECT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutWrite(out, &play.header, kHdr), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutPause(out), MMSYSERR_NODRIVER);
    // What finishes a recording or a playback still works.
    EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    for (Buffer* b : {&first, &second})
        EXPECT_EQ(waveInUnprepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutUnprepareHeader(out, &play.header, kHdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    // And nothing opens on a server that is not there.
    EXPECT_NE(waveInOpen(&in, source, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

    quillon_test::run_command(env + script + " stop; rm -rf " + folder);
    setenv("PULSE_SERVER", m_server.c_str(), 1);
}

TEST_P(PulseWave, ADeviceRemovedMidRecordingOrMidPlaybackFailsItsStream) {
    load_sink("qtest_gone", "Quillon Test Gone");
    use_server_backend();
    const auto format = pcm_format(44100, 2, 16);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(
        waveOutOpen(&out, find(WaveDirection::output, "qtest_gone"), &format, 0, 0, CALLBACK_NULL),
        MMSYSERR_NOERROR);
    Buffer play(format.nAvgBytesPerSec * 10);
    ASSERT_EQ(waveOutPrepareHeader(out, &play.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &play.header, kHdr), MMSYSERR_NOERROR);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, find(WaveDirection::input, "qtest_gone.monitor"), &format, 0, 0,
                         CALLBACK_NULL),
              MMSYSERR_NOERROR);
    Buffer first(format.nAvgBytesPerSec * 10);
    ASSERT_EQ(waveInPrepareHeader(in, &first.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &first.header, kHdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(wait_for([&] { return first.header.dwBytesRecorded > 0; }, 8000));

    // Unplugged: the streams are not moved to another device behind the caller's back.
    ASSERT_TRUE(m_scratch.unload_last());
    EXPECT_TRUE(wait_for([&] { return first.done() && play.done(); }, 5000));
    EXPECT_EQ(waveInAddBuffer(in, &first.header, kHdr), MMSYSERR_NODRIVER);
    MMTIME t{};
    t.wType = TIME_BYTES;
    EXPECT_EQ(waveOutGetPosition(out, &t, sizeof t), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(OnServer, PulseWave,
                         ::testing::Values(SoundServer::pulseaudio, SoundServer::pipewire),
                         quillon_test::ServerName());

}  // namespace

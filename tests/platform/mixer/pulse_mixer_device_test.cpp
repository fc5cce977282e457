// The sound server's mixers through the control, on both servers (a private PulseAudio and a
// private PipeWire): volume, balance and gain reach the devices the control chose and come back
// from them, and Listen plays the chosen input on the chosen output through the server. Label
// `device`; every case skips with the reason when its server cannot start.
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/mmsystem_mixer.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/pulse_wave.h"
#include "tests/control/control_fixture.h"
#include "tests/platform/mixer/mixer_test_util.h"
#include "tests/support/sound_servers.h"

namespace {

using quillon_test::pactl;
using quillon_test::ProcessResult;
using quillon_test::run_command;
using quillon_test::SoundServer;
using quillon_test::SoundServers;
using Clock = std::chrono::steady_clock;

// The value pactl prints after `channel:` (the server's raw units, 65536 is 100 %).
std::optional<long> channel_value(const std::string& text, const std::string& channel) {
    const auto at = text.find(channel + ":");
    if (at == std::string::npos) return std::nullopt;
    return std::strtol(text.c_str() + at + channel.size() + 1, nullptr, 10);
}

// Waits (real time) until `done` holds or `limit_ms` passes.
template <typename Done>
bool eventually(Done done, int limit_ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class PulseMixer : public ControlFixture, public ::testing::WithParamInterface<SoundServer> {
  protected:
    void SetUp() override {
        if (const std::string why = m_scratch.use(GetParam()); !why.empty()) GTEST_SKIP() << why;
        m_server = m_scratch.address();
        setenv("KELVANE_AUDIO", "pulse", 1);
        m_scratch.load_sink("qtest_a", "Quillon Test A");
        ControlFixture::SetUp();
        set_mixer_backend(nullptr);
        ASSERT_EQ(wave_backend().name(), "pulse") << "no server answers at " << m_server;
    }

    void TearDown() override {
        ControlFixture::TearDown();
        setenv("KELVANE_AUDIO", "virtual", 1);
        set_wave_backend(nullptr);
        set_mixer_backend(nullptr);
    }

    // The control's number (device + 1) of the device the server calls `server_name`.
    static LONG number(WaveDirection direction, const std::string& server_name) {
        const auto list = wave_backend().devices(direction);
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].native_name == server_name) return static_cast<LONG>(i + 1);
        ADD_FAILURE() << "no device " << server_name;
        return 0;
    }

    std::string volume_text(const std::string& what, const std::string& name) {
        return pactl(m_server, "get-" + what + "-volume " + name).output;
    }

    // The volume of `channel` of sink or source `name` as pactl reports it, once it is within
    // 2 of `expected` (PipeWire applies a volume a moment after it acknowledged it), or as it
    // is after 3 s.
    long settled(const std::string& what, const std::string& name, const std::string& channel,
                 long expected) {
        long value = -1;
        eventually(
            [&] {
                value = channel_value(volume_text(what, name), channel).value_or(-1);
                return std::labs(value - expected) <= 2;
            },
            3000);
        return value;
    }

    // The devices our monitoring streams are on, as the server lists them: "source-outputs"
    // (the sources recorded) or "sink-inputs" (the sinks played on), by name, in one string.
    std::string monitoring(const std::string& kind) {
        const bool outputs = kind == "source-outputs";
        const std::string devices =
            pactl(m_server, outputs ? "list short sources" : "list short sinks").output;
        const std::string text = pactl(m_server, "list " + kind).output;
        const std::string field = outputs ? "\tSource: " : "\tSink: ";
        std::string found;
        for (std::size_t block = text.find('#'); block != std::string::npos;) {
            const std::size_t next =
                text.find(outputs ? "Source Output #" : "Sink Input #", block + 1);
            const std::string part = text.substr(block, next - block);
            const auto at = part.find(field);
            if (part.find("media.name = \"Monitoring\"") != std::string::npos &&
                at != std::string::npos) {
                const std::string index =
                    part.substr(at + field.size(), part.find('\n', at) - at - field.size());
                const auto line = devices.find(index + "\t");
                const auto name_at = devices.find('\t', line) + 1;
                found += (found.empty() ? "" : " ") +
                         devices.substr(name_at, devices.find('\t', name_at) - name_at);
            }
            block = next;
        }
        return found;
    }

    quillon_test::ServerScratch m_scratch;
    std::string m_server;
};

TEST_P(PulseMixer, EveryDeviceAndEachMapperPairsWithAMixerOfItsOwn) {
    for (WaveDirection direction : {WaveDirection::input, WaveDirection::output}) {
        const UINT count =
            direction == WaveDirection::input ? waveInGetNumDevs() : waveOutGetNumDevs();
        for (UINT device = 0; device <= count; ++device) {
            const UINT id = device == count ? WAVE_MAPPER : device;
            WAVEOUTCAPSA caps{};
            const MMRESULT result =
                direction == WaveDirection::input
                    ? waveInGetDevCapsA(id, reinterpret_cast<WAVEINCAPSA*>(&caps),
                                        sizeof(WAVEINCAPSA))
                    : waveOutGetDevCapsA(id, &caps, sizeof caps);
            ASSERT_EQ(result, MMSYSERR_NOERROR);
            int mixers = 0;
            for (UINT m = 0; m < mixerGetNumDevs(); ++m) {
                MIXERCAPSA mixer{};
                ASSERT_EQ(mixerGetDevCapsA(m, &mixer, sizeof mixer), MMSYSERR_NOERROR);
                if (mixer.wMid == caps.wMid) ++mixers;
            }
            EXPECT_EQ(mixers, 1) << caps.szPname;
        }
    }
}

TEST_P(PulseMixer, VolumeAndBalanceAreTheChosenSinksChannelsAndPactlsChangesShowAtTheNextPoll) {
    create();
    ASSERT_EQ(put("devOutput", Variant::i4(number(WaveDirection::output, "qtest_a"))), S_OK);
    ASSERT_EQ(put("VolumeBalance", Variant::i4(50)), S_OK);
    ASSERT_EQ(put("Volume", Variant::i4(32768)), S_OK);
    EXPECT_NEAR(settled("sink", "qtest_a", "front-left", 32768), 32768, 1);
    EXPECT_NEAR(settled("sink", "qtest_a", "front-right", 32768), 32768, 1);
    EXPECT_EQ(settled("sink", "quillon_sink", "front-left", 65536), 65536)
        << "the other sink is left as it was";

    ASSERT_EQ(put("Volume", Variant::i4(65535)), S_OK);
    ASSERT_EQ(put("VolumeBalance", Variant::i4(25)), S_OK);
    EXPECT_NEAR(settled("sink", "qtest_a", "front-left", 65536), 65536, 1);
    EXPECT_NEAR(settled("sink", "qtest_a", "front-right", 32768), 32768, 1);

    // A change made outside (the desktop's mixer) is what the next poll reads, once the server
    // has it (PipeWire takes a moment to apply a volume).
    ASSERT_EQ(pactl(m_server, "set-sink-volume qtest_a 20000 40000").status, 0);
    ASSERT_EQ(settled("sink", "qtest_a", "front-right", 40000), 40000);
    take_events();
    MessageLoop::instance().run_for(1000);
    EXPECT_EQ(take_events(), (std::vector<std::string>{"VolumeChange()", "GainChange()"}));
    EXPECT_NEAR(get_long("Volume"), 40000, 1);
    EXPECT_NEAR(get_long("VolumeBalance"), 75, 1);
}

TEST_P(PulseMixer, TheMappersMixerActsOnWhicheverSinkIsTheDefaultNow) {
    create();
    ASSERT_EQ(put("devOutput", Variant::i4(0)), S_OK);
    ASSERT_EQ(put("Volume", Variant::i4(30000)), S_OK);
    EXPECT_NEAR(settled("sink", "quillon_sink", "front-left", 30000), 30000, 1);
    ASSERT_TRUE(quillon_test::set_default_device(m_server, "sink", "qtest_a"));
    ASSERT_EQ(put("Volume", Variant::i4(10000)), S_OK);
    EXPECT_NEAR(settled("sink", "qtest_a", "front-left", 10000), 10000, 1);
    EXPECT_NEAR(settled("sink", "quillon_sink", "front-left", 30000), 30000, 1);
}

TEST_P(PulseMixer, GainIsTheChosenSourcesVolumeBothWays) {
    create();
    const std::string source = "qtest_a.monitor";
    ASSERT_EQ(put("devInput", Variant::i4(number(WaveDirection::input, source))), S_OK);
    ASSERT_EQ(put("Gain", Variant::i4(30000)), S_OK);
    EXPECT_NEAR(settled("source", source, "front-left", 30000), 30000, 1);
    EXPECT_NEAR(settled("source", source, "front-right", 30000), 30000, 1);

    ASSERT_EQ(pactl(m_server, "set-source-volume " + source + " 40000").status, 0);
    ASSERT_EQ(settled("source", source, "front-right", 40000), 40000);
    EXPECT_NEAR(get_long("Gain"), 40000, 1);
    // Unequal channels read as the louder, and a write keeps their balance.
    ASSERT_EQ(pactl(m_server, "set-source-volume " + source + " 20000 40000").status, 0);
    ASSERT_EQ(settled("source", source, "front-left", 20000), 20000);
    EXPECT_NEAR(get_long("Gain"), 40000, 1);
    ASSERT_EQ(put("Gain", Variant::i4(20000)), S_OK);
    EXPECT_NEAR(settled("source", source, "front-left", 10000), 10000, 2);
    EXPECT_NEAR(settled("source", source, "front-right", 20000), 20000, 2);
}

TEST_P(PulseMixer, ListenPlaysTheChosenInputOnTheChosenOutputUntilItIsTurnedOff) {
    create();
    ASSERT_EQ(put("devInput", Variant::i4(number(WaveDirection::input, "quillon_sine"))), S_OK);
    ASSERT_EQ(put("devOutput", Variant::i4(number(WaveDirection::output, "qtest_a"))), S_OK);
    EXPECT_EQ(monitoring("sink-inputs"), "");
    ASSERT_EQ(put("Listen", Variant::boolean(true)), S_OK);
    ASSERT_TRUE(eventually([&] { return monitoring("sink-inputs") == "qtest_a"; }, 3000))
        << monitoring("sink-inputs");
    EXPECT_TRUE(eventually([&] { return monitoring("source-outputs") == "quillon_sine"; }, 3000))
        << monitoring("source-outputs");
    // The sink plays the sine: its monitor records it.
    const auto heard = run_command("PULSE_SERVER='" + m_server +
                                   "' timeout 3 parecord --raw --latency-msec=100 -d "
                                   "qtest_a.monitor --format=s16le --channels=1 --rate=44100 "
                                   "| head -c 88200 | wc -c");
    EXPECT_EQ(heard.output, "88200\n");
    const std::string inputs = pactl(m_server, "list sink-inputs").output;
    EXPECT_NE(inputs.find("Quillon"), std::string::npos);

    // Another input chosen while listening is what is heard from then on.
    ASSERT_EQ(put("devInput", Variant::i4(number(WaveDirection::input, "quillon_sink.monitor"))),
              S_OK);
    EXPECT_TRUE(
        eventually([&] { return monitoring("source-outputs") == "quillon_sink.monitor"; }, 3000))
        << monitoring("source-outputs");
    EXPECT_EQ(monitoring("sink-inputs"), "qtest_a");

    ASSERT_EQ(put("Listen", Variant::boolean(false)), S_OK);
    EXPECT_TRUE(eventually([&] { return monitoring("sink-inputs").empty(); }, 3000));
    EXPECT_TRUE(eventually([&] { return monitoring("source-outputs").empty(); }, 3000));
}

TEST_P(PulseMixer, AProgramKilledWhileListeningLeavesNoLoopbackBehind) {
    // The monitor of the other sink is what is heard: PipeWire's sine source stops for a while
    // after a client that records it is killed, which would trouble the tests after this one.
    const std::string script =
        "set devInput " + std::to_string(number(WaveDirection::input, "quillon_sink.monitor")) +
        "\nset devOutput " + std::to_string(number(WaveDirection::output, "qtest_a")) +
        "\nset Listen true\necho listening\nwait 60000\n";
    const ProcessResult started = run_command(
        "printf '" + script +
        "' > /tmp/quillon-listen-$PPID.kvs; KELVANE_AUDIO=pulse "
        "PULSE_SERVER='" +
        m_server + "' " + QUILLON_BIN_DIR +
        "/kelvane script --clock real /tmp/quillon-listen-$PPID.kvs > /dev/null 2>&1 & echo $!");
    const std::string pid = started.output.substr(0, started.output.find('\n'));
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(eventually([&] { return monitoring("sink-inputs") == "qtest_a"; }, 10000));
    run_command("kill -9 " + pid);
    EXPECT_TRUE(eventually([&] { return monitoring("sink-inputs").empty(); }, 5000));
    EXPECT_TRUE(eventually([&] { return monitoring("source-outputs").empty(); }, 5000));
    run_command("rm -f /tmp/quillon-listen-*.kvs");
}

TEST_P(PulseMixer, TheRecordingMeterReadsTheSamplesTheInputMoves) {
    const LONG sine = number(WaveDirection::input, "quillon_sine");
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, static_cast<UINT>(sine - 1), &f, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    std::vector<char> data(f.nAvgBytesPerSec * 4);
    WAVEHDR header{};
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
    ASSERT_EQ(waveInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    ASSERT_TRUE(eventually([&] { return header.dwBytesRecorded > 0; }, 5000));

    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(static_cast<UINT>(sine - 1), &caps, sizeof caps), MMSYSERR_NOERROR);
    UINT id = 0;
    for (UINT m = 0; m < mixerGetNumDevs(); ++m) {
        MIXERCAPSA mixer{};
        mixerGetDevCapsA(m, &mixer, sizeof mixer);
        if (mixer.wMid == caps.wMid) id = m;
    }
    HMIXER mixer = nullptr;
    ASSERT_EQ(mixerOpen(&mixer, id, 0, 0, 0), MMSYSERR_NOERROR);
    const MIXERLINEA line = destination_line(mixer, 0);
    EXPECT_STREQ(line.szName, "Recording");
    std::vector<LONG> peak(1);
    ASSERT_EQ(exchange_values(mixer, control_id(mixer, line, "Peak Meter"), peak, false),
              MMSYSERR_NOERROR);
    EXPECT_GT(peak[0], 8000) << "the sine is loud";
    mixerClose(mixer);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInUnprepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

INSTANTIATE_TEST_SUITE_P(OnServer, PulseMixer,
                         ::testing::Values(SoundServer::pulseaudio, SoundServer::pipewire),
                         quillon_test::ServerName());

}  // namespace

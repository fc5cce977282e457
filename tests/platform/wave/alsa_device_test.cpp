// The ALSA backend on a real sound server: a private PulseAudio with a null sink, reached through
// ALSA's `pulse` device. Label `device`; every test skips with the reason when the server cannot
// start. Data arrives 0.1 to 1.5 s after a capture starts, so tests wait for it in bounded loops.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/loop/message_loop.h"
#include "platform/wave/alsa_names.h"
#include "platform/wave/alsa_wave.h"
#include "platform/wave/level_tap.h"
#include "platform/wave/mmsystem_wave.h"
#include "tests/platform/wave/wave_device_checks.h"
#include "tests/platform/wave/wave_test_util.h"

namespace {

using quillon::test::Buffer;
using quillon::test::fill_tone;
using quillon::test::left_channel;
using quillon::test::pcm_format;
using quillon::test::seconds_since;
using quillon::test::tone_power;
using quillon::test::wait_for;
using Clock = std::chrono::steady_clock;

constexpr UINT kHdr = sizeof(WAVEHDR);

class PulseDevices : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string command =
            std::string(QUILLON_SOURCE_DIR) + "/scripts/pulse-test-server.sh start 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            s_skip = "cannot run scripts/pulse-test-server.sh";
            return;
        }
        std::string output;
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n') text.pop_back();
            if (text.starts_with("PULSE_SERVER="))
                setenv("PULSE_SERVER", text.substr(13).c_str(), 1);
            else if (text == "QUILLON_PULSE_STARTED=1")
                s_started = true;
            else
                output += text + " ";
        }
        if (pclose(pipe) != 0) s_skip = "the PulseAudio test server cannot start here: " + output;
    }
    static void TearDownTestSuite() {
        set_wave_backend(nullptr);
        if (s_started) [[maybe_unused]]
            int ignored = std::system(
                (std::string(QUILLON_SOURCE_DIR) + "/scripts/pulse-test-server.sh stop").c_str());
    }

    void SetUp() override {
        if (!s_skip.empty()) GTEST_SKIP() << s_skip;
        MessageLoop::instance().set_clock(ClockKind::real);
        setenv("KELVANE_AUDIO", "alsa", 1);
        set_wave_backend(nullptr);
        m_in = find(WaveDirection::input);
        m_out = find(WaveDirection::output);
        if (m_in == kNone || m_out == kNone)
            GTEST_SKIP() << "ALSA lists no PulseAudio device although the server runs (is "
                            "libasound2-plugins installed?) "
                         << alsa_last_error();
    }
    void TearDown() override {
        unsetenv("PULSE_SOURCE");
        setenv("KELVANE_AUDIO", "virtual", 1);
        set_wave_backend(nullptr);
        MessageLoop::instance().set_clock(ClockKind::manual);
    }

    static constexpr UINT kNone = ~0u;
    static UINT find(WaveDirection direction) {
        const auto list = wave_backend().devices(direction);
        for (UINT i = 0; i < list.size(); ++i)
            if (list[i].native_name == "pulse") return i;
        return kNone;
    }

    UINT m_in = kNone;
    UINT m_out = kNone;
    static inline std::string s_skip;
    static inline bool s_started = false;
};

TEST_F(PulseDevices, TheServerIsListedUnderReadableNamesWithTheServersMakerIdAndNeverNull) {
    for (WaveDirection d : {WaveDirection::input, WaveDirection::output}) {
        const auto list = wave_backend().devices(d);
        for (const auto& device : list) {
            EXPECT_NE(device.native_name, "null");
            EXPECT_LT(device.name.size(), std::size_t{MAXPNAMELEN});
        }
        const auto& pulse = list[d == WaveDirection::input ? m_in : m_out];
        EXPECT_EQ(pulse.name, "PulseAudio");
        EXPECT_EQ(pulse.maker_id, alsa_maker_id(kAlsaServerCard));
        EXPECT_EQ(pulse.maker_id, 0x4C00);
        EXPECT_TRUE(pulse.formats & WAVE_FORMAT_4S16);
    }
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(m_in, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "PulseAudio");
}

TEST_F(PulseDevices, CaptureFromTheSinksMonitorFillsTwoBuffersWithTheToneThatPlaysIntoIt) {
    setenv("PULSE_SOURCE", "quillon_sink.monitor", 1);
    const auto format = pcm_format(44100, 2, 16);

    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, m_out, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer tone_a(format.nAvgBytesPerSec * 3), tone_b(format.nAvgBytesPerSec * 3);
    fill_tone(tone_a, format, 1000, 0.5, 0);
    fill_tone(tone_b, format, 1000, 0.5, tone_a.data.size() / format.nBlockAlign);
    for (Buffer* b : {&tone_a, &tone_b}) {
        ASSERT_EQ(waveOutPrepareHeader(out, &b->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, &b->header, kHdr), MMSYSERR_NOERROR);
    }

    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, m_in, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Buffer first(format.nAvgBytesPerSec / 2), second(format.nAvgBytesPerSec / 2);
    for (Buffer* b : {&first, &second}) {
        ASSERT_EQ(waveInPrepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &b->header, kHdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    DWORD peak_while_capturing = 0;
    ASSERT_TRUE(wait_for(
        [&] {
            peak_while_capturing =
                std::max(peak_while_capturing, wave_recent_peak(WaveDirection::input, m_in));
            return second.done();
        },
        8000))
        << "no data from the monitor; " << alsa_last_error();
    EXPECT_TRUE(first.done());
    EXPECT_EQ(first.header.dwBytesRecorded, first.header.dwBufferLength);
    EXPECT_EQ(second.header.dwBytesRecorded, second.header.dwBufferLength);

    // The second buffer lies well inside the tone: 1 kHz at about half scale, nothing at 1.5 kHz.
    const std::vector<std::int16_t> left = left_channel(second);
    const double at_tone = tone_power(left, 1000, 44100);
    const double beside = tone_power(left, 1500, 44100);
    EXPECT_GT(at_tone, 1000 * beside);
    EXPECT_NEAR(std::sqrt(at_tone) * 2, 0.5 * 32767, 0.1 * 32767) << "amplitude of the tone";
    EXPECT_GT(peak_while_capturing, 8000u) << "the level tap saw the tone";

    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_TRUE(tone_a.done() && tone_b.done());
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(PulseDevices, CaptureRunsAtExactlyTheRateAskedForAndStopKeepsWhatWasCaptured) {
    ASSERT_NO_FATAL_FAILURE(quillon::test::check_capture_rate_and_stop(m_in, alsa_last_error()));
}

TEST_F(PulseDevices, CaptureStartedBeforeItsBuffersWakesTheDriverAboutOnceAPeriod) {
    // The recorder's order: reset and start first, buffers after. The reset replaces the
    // plugin's stream while its descriptor still signals the old one's data; the new stream's
    // first data comes up to seconds later, and until then that descriptor must not be polled.
    setenv("PULSE_SOURCE", "quillon_sink.monitor", 1);
    const auto format = pcm_format(8000, 1, 16);
    const AlsaWaveStats before = alsa_wave_stats();
    const auto opened = Clock::now();
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, m_in, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    Buffer first(format.nAvgBytesPerSec), second(format.nAvgBytesPerSec);
    for (Buffer* b : {&first, &second}) {
        ASSERT_EQ(waveInPrepareHeader(in, &b->header, kHdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, &b->header, kHdr), MMSYSERR_NOERROR);
    }
    ASSERT_TRUE(wait_for([&] { return second.done(); }, 8000))
        << "no data from the monitor; " << alsa_last_error();
    const std::uint64_t wakeups = alsa_wave_stats().wakeups - before.wakeups;
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    EXPECT_EQ(first.header.dwBytesRecorded, first.header.dwBufferLength);
    EXPECT_EQ(second.header.dwBytesRecorded, second.header.dwBufferLength);
    // A count, not a time: a driver that spins wakes hundreds of thousands of times a second.
    const auto periods = static_cast<std::uint64_t>(seconds_since(opened) / 0.1) + 1;
    EXPECT_LT(wakeups, 5 * periods) << "over " << periods << " periods";
}

TEST_F(PulseDevices, PlayPositionAdvancesAtTheByteRateHoldsWhilePausedAndSurvivesRunningDry) {
    // The server needs a moment to start; measured once the position moves steadily.
    ASSERT_NO_FATAL_FAILURE(quillon::test::check_play_position(m_out, 3, 1, alsa_last_error()));
}

}  // namespace

// The ALSA mixer on a real sound server: a private PulseAudio reached through ALSA, whose sink
// volume the control writes and reads. Label `device`; every test skips with the reason when the
// server cannot start or ALSA does not reach it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/mmsystem_mixer.h"
#include "tests/control/control_fixture.h"

namespace {

std::string run_command(const std::string& command, int* status = nullptr) {
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) output += line;
        const int result = pclose(pipe);
        if (status) *status = result;
    } else if (status) {
        *status = -1;
    }
    return output;
}

// The sink's volume as pactl reports it (PulseAudio's raw units, 65536 is 100 %): the first
// channel's value.
std::optional<long> sink_volume() {
    const std::string text = run_command("pactl get-sink-volume quillon_sink 2>/dev/null");
    const auto at = text.find("front-left:");
    if (at == std::string::npos) return std::nullopt;
    return std::strtol(text.c_str() + at + 11, nullptr, 10);
}

class PulseMixer : public ControlFixture {
  protected:
    static void SetUpTestSuite() {
        int status = 0;
        const std::string output = run_command(
            std::string(QUILLON_SOURCE_DIR) + "/scripts/pulse-test-server.sh start 2>&1", &status);
        if (status != 0) {
            s_skip = "the PulseAudio test server cannot start here: " + output;
            return;
        }
        for (std::size_t start = 0; start < output.size();) {
            const std::size_t end = output.find('\n', start);
            const std::string line = output.substr(start, end - start);
            if (line.starts_with("PULSE_SERVER="))
                setenv("PULSE_SERVER", line.substr(13).c_str(), 1);
            else if (line == "QUILLON_PULSE_STARTED=1")
                s_started = true;
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    static void TearDownTestSuite() {
        set_mixer_backend(nullptr);
        set_wave_backend(nullptr);
        if (s_started)
            run_command(std::string(QUILLON_SOURCE_DIR) + "/scripts/pulse-test-server.sh stop");
    }

    void SetUp() override {
        if (!s_skip.empty()) GTEST_SKIP() << s_skip;
        setenv("KELVANE_AUDIO", "alsa", 1);
        ControlFixture::SetUp();
        set_mixer_backend(nullptr);
        if (wave_backend().name() != "alsa") GTEST_SKIP() << "no ALSA wave backend here";
        if (mixerGetNumDevs() == 0)
            GTEST_SKIP()
                << "ALSA offers no mixer for the server (is libasound2-plugins installed?)";
        if (!sink_volume()) GTEST_SKIP() << "pactl cannot read the test sink";
    }
    void TearDown() override {
        ControlFixture::TearDown();
        setenv("KELVANE_AUDIO", "virtual", 1);
        set_wave_backend(nullptr);
        set_mixer_backend(nullptr);
    }

    static inline std::string s_skip;
    static inline bool s_started = false;
};

TEST_F(PulseMixer, TheServersMixerCarriesTheWaveDevicesMakerId) {
    create();
    WAVEOUTCAPSA out{};
    ASSERT_EQ(waveOutGetDevCapsA(0, &out, sizeof out), MMSYSERR_NOERROR);
    bool found = false;
    for (UINT id = 0; id < mixerGetNumDevs(); ++id) {
        MIXERCAPSA caps{};
        ASSERT_EQ(mixerGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
        found = found || caps.wMid == out.wMid;
    }
    EXPECT_TRUE(found) << "no mixer for " << out.szPname;
}

TEST_F(PulseMixer, VolumeWrittenThroughTheControlIsTheSinkVolumeAndBack) {
    create();
    ASSERT_EQ(put("VolumeBalance", Variant::i4(50)), S_OK);
    ASSERT_EQ(put("Volume", Variant::i4(32768)), S_OK);
    const auto written = sink_volume();
    ASSERT_TRUE(written);
    EXPECT_NEAR(*written, 32768, 1);  // the server's 0..65536 against the mixer's 0..65535

    // A volume set from outside reaches the control on its next poll tick.
    run_command("pactl set-sink-volume quillon_sink 20000");
    // The mixer stays connected and learns of the change from the server's notice; on the real
    // clock a tick is a second away, here the notice gets a moment of real time to arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    take_events();
    MessageLoop::instance().run_for(1000);
    EXPECT_EQ(take_events(), (std::vector<std::string>{"VolumeChange()", "GainChange()"}));
    EXPECT_NEAR(get_long("Volume"), 20000, 1);
    EXPECT_EQ(get_long("VolumeBalance"), 50);

    // Balance reaches the server's two channels.
    ASSERT_EQ(put("Volume", Variant::i4(65535)), S_OK);
    ASSERT_EQ(put("VolumeBalance", Variant::i4(25)), S_OK);
    const std::string text = run_command("pactl get-sink-volume quillon_sink");
    const auto right = text.find("front-right:");
    ASSERT_NE(right, std::string::npos) << text;
    EXPECT_NEAR(std::strtol(text.c_str() + right + 12, nullptr, 10), 32768, 1);
    EXPECT_NEAR(*sink_volume(), 65536, 1);
}

}  // namespace

// Level metering: the mixer meter with its open, read and close rules, and the sample window of
// both directions.
#include <gtest/gtest.h>

#include <vector>

#include "control/level_meter.h"
#include "control/mixer_control.h"
#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/virtual_card.h"

namespace {

std::vector<BYTE> pcm16(std::initializer_list<int> values) {
    std::vector<BYTE> bytes;
    for (int v : values) {
        bytes.push_back(static_cast<BYTE>(v & 0xFF));
        bytes.push_back(static_cast<BYTE>((v >> 8) & 0xFF));
    }
    return bytes;
}

void put16(std::vector<BYTE>& buffer, std::size_t offset, int value) {
    buffer[offset] = static_cast<BYTE>(value & 0xFF);
    buffer[offset + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

using Level = std::optional<LONG>;

// --- the sample window ----------------------------------------------------------------------

TEST(SampleWindow, SilenceGivesNoLevelAndAFullScaleNegativeSampleGives32767) {
    const std::vector<BYTE> silence(400, 0);
    EXPECT_EQ(recording_window_peak(silence, 300, 16), std::nullopt);
    EXPECT_EQ(playback_window_peak(silence, 400, 200, 16), std::nullopt);
    const auto loud = pcm16({5, -32768, 7});
    EXPECT_EQ(recording_window_peak(loud, 6, 16), Level{32767});
    EXPECT_EQ(playback_window_peak(loud, 6, 6, 16), Level{32767});
    EXPECT_EQ(recording_window_peak(pcm16({-200, 150}), 4, 16), Level{200});
}

TEST(SampleWindow, RecordingLooksAtTheHundredBytesBeforeTheEstimatedFill) {
    std::vector<BYTE> buffer(1000, 0);
    put16(buffer, 398, 1000);  // the first sample of the window ending at 498
    put16(buffer, 396, 9000);  // just before it
    put16(buffer, 498, 9000);  // just after it
    EXPECT_EQ(recording_window_peak(buffer, 498, 16), Level{1000});
    // Up to 100 bytes: the window is the start of the buffer, e/2 samples.
    std::vector<BYTE> start(1000, 0);
    put16(start, 60, 4000);
    EXPECT_EQ(recording_window_peak(start, 62, 16), Level{4000});
    EXPECT_EQ(recording_window_peak(start, 61, 16), std::nullopt) << "30 whole samples";
    EXPECT_EQ(recording_window_peak(start, 0, 16), std::nullopt);
    EXPECT_EQ(recording_window_peak(start, -5, 16), std::nullopt);
    EXPECT_EQ(recording_window_peak(start, 1, 16), std::nullopt) << "no whole sample";
}

TEST(SampleWindow, AnEstimateBeyondTheBufferReadsItsEndAndNothingPastIt) {
    std::vector<BYTE> buffer(200, 0);
    put16(buffer, 198, -700);
    EXPECT_EQ(recording_window_peak(buffer, 5000, 16), Level{700});
    EXPECT_EQ(recording_window_peak({}, 5000, 16), std::nullopt);
    EXPECT_EQ(playback_window_peak(std::span<const BYTE>(buffer).first(50), 200, 150, 16),
              std::nullopt);
}

TEST(SampleWindow, PlaybackFindsThePositionsOffsetWithinABuffer) {
    // b = 400. The window is the up to 100 bytes ending at d.
    std::vector<BYTE> buffer(800, 0);
    put16(buffer, 298, 1111);  // last sample before offset 300
    put16(buffer, 398, 2222);  // last sample of the buffer
    put16(buffer, 48, 3333);   // before offset 50
    EXPECT_EQ(playback_window_peak(buffer, 400, 300, 16), Level{1111});  // p <= b
    EXPECT_EQ(playback_window_peak(buffer, 400, 700, 16), Level{1111});  // p mod b
    EXPECT_EQ(playback_window_peak(buffer, 400, 800, 16), Level{2222});  // a whole buffer: d = b
    EXPECT_EQ(playback_window_peak(buffer, 400, 0, 16), Level{2222});
    EXPECT_EQ(playback_window_peak(buffer, 400, 450, 16), Level{3333});  // d = 50: 50 bytes
    EXPECT_EQ(playback_window_peak(buffer, 400, 4'000'000'000'050ull, 16), Level{3333});
    EXPECT_EQ(playback_window_peak(buffer, 0, 300, 16), std::nullopt);
}

TEST(SampleWindow, EightBitDataIsMeteredAsEightBitSamples) {
    // Unsigned 8-bit silence is 128: read as 16-bit pairs it would look like full scale.
    std::vector<BYTE> silence(300, 128);
    EXPECT_EQ(playback_window_peak(silence, 300, 300, 8), std::nullopt);
    EXPECT_EQ(recording_window_peak(silence, 300, 8), std::nullopt);
    std::vector<BYTE> loud(300, 128);
    loud[299] = 0;    // -128: full-scale negative
    loud[250] = 255;  // +127, outside the last 100 bytes of the playback window below
    EXPECT_EQ(playback_window_peak(loud, 300, 300, 8), Level{32767});
    EXPECT_EQ(playback_window_peak(loud, 300, 240, 8), std::nullopt);
    EXPECT_EQ(playback_window_peak(loud, 300, 260, 8), Level{127 * 256});
    EXPECT_EQ(recording_window_peak(loud, 10, 8), std::nullopt);
}

// --- the mixer meter ------------------------------------------------------------------------

class MixerMeter : public ::testing::Test {
  protected:
    void SetUp() override { set_wave_backend(nullptr); }
    void TearDown() override {
        set_mixer_backend(nullptr);
        set_wave_backend(nullptr);
    }
    // A virtual mixer with `lines` whose meters read m_output_peak and m_input_peak.
    void use(std::vector<MixerLineDesc> lines = VirtualMixer::standard_lines()) {
        auto mixer = std::make_shared<VirtualMixer>(std::move(lines), [this](WaveDirection d) {
            return d == WaveDirection::output ? m_output_peak : m_input_peak;
        });
        m_virtual = mixer.get();
        set_mixer_backend(std::make_unique<VirtualMixerBackend>(std::move(mixer)));
        m_mixer.find_output_lines("Quillon Virtual Output 1", kVirtualMakerId);
        m_mixer.find_input_lines("Quillon Virtual Input 1", kVirtualMakerId);
    }
    std::vector<LONG> read(LevelMeter& meter) {
        std::vector<LONG> fired;
        meter.read([&](LONG level) { fired.push_back(level); });
        return fired;
    }

    DWORD m_output_peak = 1000;
    DWORD m_input_peak = 32768;
    VirtualMixer* m_virtual = nullptr;
    MixerControl m_mixer;
};

using Fired = std::vector<LONG>;

TEST_F(MixerMeter, EachDirectionReadsItsOwnLinesMeter) {
    use();
    LevelMeter meter(m_mixer);
    meter.open(/*recording=*/false);
    ASSERT_TRUE(meter.is_open());
    EXPECT_EQ(meter.meter_index(), 2);
    EXPECT_EQ(read(meter), Fired{1000});
    m_output_peak = 0;
    EXPECT_EQ(read(meter), Fired{0}) << "silence is a level too";
    meter.open(/*recording=*/true);
    EXPECT_EQ(meter.meter_index(), 1);
    EXPECT_EQ(read(meter), Fired{32768});
    meter.close();
    EXPECT_FALSE(meter.is_open());
    EXPECT_TRUE(read(meter).empty());
}

TEST_F(MixerMeter, AReadFromInsideTheEventOfAReadDoesNothing) {
    use();
    LevelMeter meter(m_mixer);
    meter.open(false);
    Fired fired;
    meter.read([&](LONG level) {
        fired.push_back(level);
        meter.read([&](LONG inner) { fired.push_back(-inner); });
    });
    EXPECT_EQ(fired, Fired{1000});
    EXPECT_EQ(read(meter), Fired{1000}) << "the flag is cleared afterwards";
}

TEST_F(MixerMeter, ALineWithoutAMeterStaysOpenAndSilent) {
    auto lines = VirtualMixer::standard_lines();
    lines[0].sources[0].controls = {VirtualMixer::volume_control(), VirtualMixer::mute_control()};
    use(lines);
    LevelMeter meter(m_mixer);
    meter.open(false);
    EXPECT_TRUE(meter.is_open());
    EXPECT_EQ(meter.meter_index(), -1);
    EXPECT_TRUE(read(meter).empty());
}

TEST_F(MixerMeter, TheLastControlNamedWithMeterIsTheMeter) {
    auto lines = VirtualMixer::standard_lines();
    lines[1].controls = {VirtualMixer::meter_control("Meter A"), VirtualMixer::volume_control(),
                         VirtualMixer::meter_control("Meter B"), VirtualMixer::mute_control()};
    use(lines);
    LevelMeter meter(m_mixer);
    meter.open(true);
    EXPECT_EQ(meter.meter_index(), 2);
}

TEST_F(MixerMeter, FailuresLeaveTheMeterWithoutLevels) {
    // No mixer for the devices: the open fails and the meter stays closed.
    set_mixer_backend(std::make_unique<VirtualMixerBackend>());
    MixerControl unmatched;
    unmatched.find_output_lines("Quillon Virtual Output 1", 0x1234);
    LevelMeter closed(unmatched);
    closed.open(false);
    EXPECT_FALSE(closed.is_open());
    EXPECT_TRUE(read(closed).empty());

    // A read that fails fires nothing; the next one that works does.
    use();
    LevelMeter meter(m_mixer);
    meter.open(false);
    m_virtual->set_failing(true);
    EXPECT_TRUE(read(meter).empty());
    m_virtual->set_failing(false);
    EXPECT_EQ(read(meter), Fired{1000});
}

TEST_F(MixerMeter, TheRecordingMeterFollowsGainToTheMicrophoneLine) {
    auto lines = VirtualMixer::standard_lines();
    lines[1].controls = {VirtualMixer::meter_control()};
    lines[1].sources[0].controls = {VirtualMixer::volume_control(), VirtualMixer::mute_control(),
                                    VirtualMixer::meter_control()};
    use(lines);
    LevelMeter meter(m_mixer);
    meter.open(true);
    EXPECT_EQ(meter.meter_index(), 0);
    LONG gain = 0;
    ASSERT_TRUE(m_mixer.read_gain(gain));
    meter.open(true);
    EXPECT_EQ(meter.meter_index(), 2) << "the microphone line's controls";
    EXPECT_EQ(read(meter), Fired{32768});
}

}  // namespace

// Volume, balance, gain and monitoring as a container sees them, on the virtual card's mixer
// (or a changed copy of it, shaped like the mixers real cards have), and the automatic gain
// control's steps.
#include <cstdint>
#include <limits>

#include "control/mixer_control.h"
#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/virtual_card.h"
#include "tests/control/control_fixture.h"
#include "tests/platform/mixer/mixer_test_util.h"

namespace {

using Values = std::vector<LONG>;
using Events = std::vector<std::string>;

// The virtual mixer under another card's maker id: a mixer the control's devices do not own.
class ForeignMixer final : public MixerDevice {
  public:
    std::string name() const override { return "Other Card"; }
    WORD maker_id() const override { return 0x1234; }
    WORD product_id() const override { return 1; }
    const std::vector<MixerLineDesc>& destinations() const override {
        return m_inner.destinations();
    }
    std::unique_ptr<MixerSession> open() override { return m_inner.open(); }

  private:
    VirtualMixer m_inner;
};

class ForeignBackend final : public MixerBackend {
  public:
    std::vector<std::shared_ptr<MixerDevice>> devices() override { return {m_mixer}; }
    std::shared_ptr<ForeignMixer> m_mixer = std::make_shared<ForeignMixer>();
};

class Mixer : public ControlFixture {
  protected:
    void SetUp() override {
        ControlFixture::SetUp();
        set_mixer_backend(nullptr);
    }
    void TearDown() override {
        ControlFixture::TearDown();
        set_mixer_backend(nullptr);
    }
    static void use(std::vector<MixerLineDesc> lines) {
        set_mixer_backend(std::make_unique<VirtualMixerBackend>(
            std::make_shared<VirtualMixer>(std::move(lines))));
    }
    static void poll_tick() { MessageLoop::instance().run_for(1000); }
    void put_long(std::string_view name, LONG value) {
        ASSERT_EQ(put(name, Variant::i4(value)), S_OK) << name;
    }
    // Values of the lines the control steers, read straight from the mixer.
    static Values wave_volume() { return source_values(0, 0, "Volume"); }
    static Values recording_volume() { return destination_values(1, "Volume"); }
};

TEST_F(Mixer, ANewControlReadsTheCardsVolumeAndGainAndMutesTheMonitor) {
    create();
    EXPECT_EQ(get_long("Volume"), 0xC000);
    EXPECT_EQ(get_long("VolumeBalance"), 50);
    EXPECT_EQ(get_long("Gain"), 0xC000);
    EXPECT_EQ(source_values(0, 1, "Mute"), Values{1}) << "Listen is off";
    EXPECT_TRUE(take_events().empty());
}

TEST_F(Mixer, BalanceSplitsTheVolumeAndThePollReadsTheTruncatedResultBack) {
    create();
    put_long("Volume", 65535);
    put_long("VolumeBalance", 33);
    EXPECT_EQ(wave_volume(), (Values{65535, 43253}));
    EXPECT_TRUE(dirty());
    // Writes fire nothing and the properties keep what was written until the next tick.
    EXPECT_TRUE(take_events().empty());
    EXPECT_EQ(get_long("VolumeBalance"), 33);
    poll_tick();
    EXPECT_EQ(take_events(), (Events{"VolumeChange()", "GainChange()"}));
    EXPECT_EQ(get_long("Volume"), 65535);
    EXPECT_EQ(get_long("VolumeBalance"), 32);

    // A louder right channel reads from the other side of the centre.
    put_long("VolumeBalance", 75);
    EXPECT_EQ(wave_volume(), (Values{32767, 65535}));
    poll_tick();
    EXPECT_EQ(get_long("VolumeBalance"), 75);
}

TEST_F(Mixer, BalanceAndVolumeOutsideTheirRangesAreClampedAtTheMixerOnly) {
    create();
    struct Case {
        LONG volume, balance;
        Values written;
        LONG volume_read, balance_read;
    };
    const Case cases[] = {
        {65535, 0, {65535, 0}, 65535, 0},
        {65535, 100, {0, 65535}, 65535, 100},
        {65535, 150, {0, 65535}, 65535, 100},  // a negative share is 0
        {65535, -50, {65535, 0}, 65535, 0},
        {70000, 50, {65535, 65535}, 65535, 50},
        {-5, 50, {0, 0}, 0, 50},
        {40000, std::numeric_limits<LONG>::max(), {0, 40000}, 40000, 100},
        {40000, std::numeric_limits<LONG>::min(), {40000, 0}, 40000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.volume) + " at " + std::to_string(c.balance));
        put_long("Volume", c.volume);
        put_long("VolumeBalance", c.balance);
        EXPECT_EQ(wave_volume(), c.written);
        EXPECT_EQ(get_long("Volume"), c.volume);
        EXPECT_EQ(get_long("VolumeBalance"), c.balance);
        poll_tick();
        EXPECT_EQ(get_long("Volume"), c.volume_read);
        EXPECT_EQ(get_long("VolumeBalance"), c.balance_read);
    }
}

TEST_F(Mixer, AOneChannelOutputLineTakesTheFirstShareAndReadsAsCentred) {
    auto lines = VirtualMixer::standard_lines();
    lines[0].sources[0].channels = 1;
    use(lines);
    create();
    put_long("Volume", 30000);
    put_long("VolumeBalance", 80);  // left share 0.4
    EXPECT_EQ(wave_volume(), Values{12000});
    poll_tick();
    EXPECT_EQ(get_long("Volume"), 12000);
    EXPECT_EQ(get_long("VolumeBalance"), 50);
    // Silence on the one channel, too, reads without a division by zero.
    put_long("Volume", 0);
    poll_tick();
    EXPECT_EQ(get_long("Volume"), 0);
    EXPECT_EQ(get_long("VolumeBalance"), 50);
}

TEST_F(Mixer, GainIsWrittenClampedWithoutAnEventAndReadBack) {
    create();
    put_long("Gain", 1234);
    EXPECT_TRUE(take_events().empty());
    EXPECT_TRUE(dirty());
    EXPECT_EQ(recording_volume(), (Values{1234, 1234}));
    EXPECT_EQ(get_long("Gain"), 1234);
    put_long("Gain", 70000);
    EXPECT_EQ(get_long("Gain"), 65535);
    put_long("Gain", -3);
    EXPECT_EQ(get_long("Gain"), 0);
    EXPECT_EQ(source_values(1, 0, "Volume"), Values{0xC000}) << "the microphone is left alone";
}

TEST_F(Mixer, WithoutAVolumeOnTheRecordingLineGainMovesToTheMicrophoneForGood) {
    auto lines = VirtualMixer::standard_lines();
    lines[1].controls = {VirtualMixer::meter_control()};
    use(lines);
    create();
    put_long("Gain", 500);  // before any read, the recording line has no volume: nothing
    EXPECT_FALSE(dirty());
    EXPECT_EQ(source_values(1, 0, "Volume"), Values{0xC000});
    EXPECT_EQ(get_long("Gain"), 0xC000);
    put_long("Gain", 777);
    EXPECT_TRUE(dirty());
    EXPECT_EQ(source_values(1, 0, "Volume"), Values{777});
    EXPECT_EQ(get_long("Gain"), 777);
}

TEST_F(Mixer, WithNeitherLineCarryingAVolumeGainReadsZeroAndWritesNothing) {
    auto lines = VirtualMixer::standard_lines();
    lines[1].controls = {VirtualMixer::meter_control()};
    lines[1].sources[0].controls = {VirtualMixer::mute_control()};
    use(lines);
    create();
    EXPECT_EQ(get_long("Gain"), 0);
    EXPECT_EQ(get_long("Gain"), 0);  // and again, once the lines are gone
    put_long("Gain", 900);
    EXPECT_FALSE(dirty());
}

TEST_F(Mixer, ListenUnmutesTheMicrophoneUnderTheSpeakersOnly) {
    create();
    ASSERT_EQ(put("Listen", Variant::boolean(true)), S_OK);
    EXPECT_EQ(source_values(0, 1, "Mute"), Values{0});
    ASSERT_EQ(put("Listen", Variant::boolean(false)), S_OK);
    EXPECT_EQ(source_values(0, 1, "Mute"), Values{1});
    EXPECT_EQ(source_values(1, 0, "Mute"), Values{0}) << "recording from the microphone stays on";
}

TEST_F(Mixer, AMicrophoneWithOnlyAMuteIsNoMonitorLine) {
    auto lines = VirtualMixer::standard_lines();
    lines[0].sources[1].controls = {VirtualMixer::mute_control()};
    use(lines);
    create();
    ASSERT_EQ(put("Listen", Variant::boolean(true)), S_OK);
    EXPECT_EQ(source_values(0, 1, "Mute"), Values{1});
}

TEST_F(Mixer, AnotherCardsMixerIsNeverSteered) {
    auto backend = std::make_unique<ForeignBackend>();
    set_mixer_backend(std::move(backend));
    create();
    put_long("Volume", 1000);
    put_long("Gain", 1000);
    ASSERT_EQ(put("Listen", Variant::boolean(true)), S_OK);
    EXPECT_EQ(wave_volume(), (Values{0xC000, 0xC000}));
    EXPECT_EQ(recording_volume(), (Values{0xC000, 0xC000}));
    EXPECT_EQ(source_values(0, 1, "Mute"), Values{1});
    EXPECT_EQ(get_long("Gain"), 0);
    take_events();
    poll_tick();
    EXPECT_EQ(take_events(), (Events{"VolumeChange()", "GainChange()"}));
    EXPECT_EQ(get_long("Volume"), 1000) << "the property keeps what was written";
}

TEST_F(Mixer, LinesAreFoundByTheFirstHalfOfTheDeviceNameAndTheLastMatchWins) {
    auto lines = VirtualMixer::standard_lines();
    MixerLineDesc named = lines[0].sources[0];
    named.name = "Quillon Virt out";  // "Quillon Virtual Output 1" halved
    MixerLineDesc other = lines[0].sources[0];
    other.name = "Digital";
    lines[0].sources = {lines[0].sources[0], named, other};
    // The recording destination's line for the device is no microphone, only named after it.
    lines[1].controls = {VirtualMixer::meter_control()};
    MixerLineDesc line_in{0x1002 /* line-in source */,
                          "Quillon Vir in",
                          2,
                          MIXERLINE_TARGETTYPE_WAVEIN,
                          {VirtualMixer::volume_control()},
                          {}};
    lines[1].sources = {line_in};
    use(lines);
    create();
    put_long("Volume", 2000);
    EXPECT_EQ(source_values(0, 1, "Volume"), (Values{2000, 2000}));
    EXPECT_EQ(source_values(0, 0, "Volume"), (Values{0xC000, 0xC000}));
    EXPECT_EQ(source_values(0, 2, "Volume"), (Values{0xC000, 0xC000}));
    put_long("Gain", 3000);
    EXPECT_EQ(get_long("Gain"), 0xC000) << "the first write found no volume yet";
    put_long("Gain", 3000);
    EXPECT_EQ(source_values(1, 0, "Volume"), (Values{3000, 3000}));

    // A device without a name has no half name, and matches nothing by it.
    MixerControl mixer;
    mixer.find_input_lines("", kVirtualMakerId);
    LONG gain = -1;
    EXPECT_FALSE(mixer.read_gain(gain));
    EXPECT_EQ(gain, -1);
}

// --- automatic gain control --------------------------------------------------------------

std::vector<BYTE> samples(std::initializer_list<int> values) {
    std::vector<BYTE> bytes;
    for (int v : values) {
        bytes.push_back(static_cast<BYTE>(v & 0xFF));
        bytes.push_back(static_cast<BYTE>((v >> 8) & 0xFF));
    }
    return bytes;
}

class AutoGain : public Mixer {
  protected:
    void SetUp() override {
        Mixer::SetUp();
        m_mixer.find_input_lines("Quillon Virtual Input 1", kVirtualMakerId);
    }
    // One step from `gain`: the new gain value, or -1 when nothing happened.
    LONG step(std::span<const BYTE> buffer, LONG gain) {
        const auto result = m_mixer.auto_gain_step(buffer, gain);
        if (!result) {
            EXPECT_FALSE(result.written);
            return -1;
        }
        EXPECT_TRUE(result.written);
        EXPECT_EQ(recording_volume(), (Values{gain, gain}));
        return gain;
    }
    MixerControl m_mixer;
};

TEST_F(AutoGain, LoudBuffersLowerTheGainByFivePercentAndQuietOnesRaiseIt) {
    const auto loud = samples({-12000, 9000, 15000});
    EXPECT_EQ(step(loud, 40000), 38000);
    EXPECT_EQ(step(loud, 1), 0);
    EXPECT_EQ(step(loud, 0), 0);
    const auto quiet = samples({10, -300, 20});
    EXPECT_EQ(step(quiet, 40000), 42000);
    EXPECT_EQ(step(quiet, 0), 100);
    EXPECT_EQ(step(quiet, 65535), 65535) << "held at the top";
    EXPECT_EQ(step(quiet, 64000), 65535);
    const auto moderate = samples({1000, -1000});
    EXPECT_EQ(step(moderate, 40000), -1);
}

TEST_F(AutoGain, ASmallGainKeepsGrowingInsteadOfStickingBelowTwenty) {
    const auto silence = samples({0, 0, 0, 0});
    LONG gain = 1;
    for (int i = 0; i < 25; ++i) gain = step(silence, gain);
    EXPECT_EQ(gain, 26);  // one step a buffer up to 20, then 5 % truncated
    EXPECT_EQ(step(silence, 19), 20);
    EXPECT_EQ(step(silence, 40), 42);
}

TEST_F(AutoGain, TheLoudnessIsARunningHalfAverageOfTheNonZeroSamples) {
    // 4000 then silence: m = 2000, exactly the threshold, not above it.
    EXPECT_EQ(step(samples({4000, 0, 0, 0}), 1000), -1);
    EXPECT_EQ(step(samples({4002, 0, 0, 0}), 1000), 950);
    // A loud start fades out under quieter samples that follow: the end weighs most.
    EXPECT_EQ(step(samples({30000, 100, 100, 100, 100, 100, 100, 100}), 1000), 1050);
    // -32768 counts with its full magnitude; an odd last byte is no sample.
    auto odd = samples({-32768});
    odd.push_back(0x7F);
    EXPECT_EQ(step(odd, 1000), 950);
    // An empty buffer is quiet.
    EXPECT_EQ(step({}, 1000), 1050);
}

TEST_F(AutoGain, WithoutAnInputLineTheGainValueMovesButStaysInRangeAndNothingIsWritten) {
    MixerControl unmatched;
    unmatched.find_input_lines("Quillon Virtual Input 1", 0x1234);
    LONG gain = 60000;
    for (int i = 0; i < 1000; ++i) {
        const auto result = unmatched.auto_gain_step({}, gain);
        ASSERT_TRUE(result);
        ASSERT_FALSE(result.written);
    }
    EXPECT_EQ(gain, 65535);
    EXPECT_EQ(recording_volume(), (Values{0xC000, 0xC000}));
}

}  // namespace

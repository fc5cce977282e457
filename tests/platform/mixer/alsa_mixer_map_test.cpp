// How the ALSA mixer lays a card's simple elements onto the four lines, and the scaling of
// element values, without needing a sound card.
#include <gtest/gtest.h>

#include "platform/mixer/alsa_mixer.h"

namespace {

using Kind = AlsaBinding::Kind;

AlsaElementInfo element(std::string name, bool pvol, bool psw, bool cvol, bool csw,
                        bool mono = false) {
    AlsaElementInfo e;
    e.name = std::move(name);
    e.playback_volume = pvol;
    e.playback_switch = psw;
    e.capture_volume = cvol;
    e.capture_switch = csw;
    e.playback_mono = mono;
    e.capture_mono = mono;
    return e;
}

const MixerLineDesc* find_source(const MixerLineDesc& destination, DWORD type) {
    for (const MixerLineDesc& source : destination.sources)
        if (source.component_type == type) return &source;
    return nullptr;
}

// "Volume" -> "PCM playback volume", and so on, for the whole line.
std::vector<std::string> bound(const AlsaLinePlan& plan, const MixerLineDesc& line) {
    std::vector<std::string> list;
    for (const MixerControlDesc& control : line.controls) {
        const AlsaBinding& b = plan.bindings.at(static_cast<std::size_t>(control.key));
        const char* kind = b.kind == Kind::playback_volume              ? "playback volume"
                           : b.kind == Kind::playback_mute              ? "playback mute"
                           : b.kind == Kind::capture_volume             ? "capture volume"
                           : b.kind == Kind::capture_mute               ? "capture mute"
                           : b.meter_direction == WaveDirection::output ? "output meter"
                                                                        : "input meter";
        list.push_back(control.name + ": " + (b.element.empty() ? "" : b.element + " ") + kind);
    }
    return list;
}

using Names = std::vector<std::string>;

TEST(AlsaMixerMap, TheSoundServersMasterAndCaptureBecomeTheWaveLineAndTheRecordingGain) {
    const std::vector<AlsaElementInfo> server = {element("Master", true, true, false, false),
                                                 element("Capture", false, false, true, true)};
    const AlsaLinePlan plan = plan_alsa_lines(server);
    ASSERT_EQ(plan.destinations.size(), 2u);
    const MixerLineDesc& speakers = plan.destinations[0];
    EXPECT_EQ(speakers.component_type, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const MixerLineDesc* wave = find_source(speakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->name, "Wave");
    EXPECT_EQ(wave->channels, 2u);
    EXPECT_EQ(bound(plan, *wave),
              (Names{"Volume: Master playback volume", "Mute: Master playback mute",
                     "Peak Meter: output meter"}));
    // No microphone element: no monitor line and no microphone source.
    EXPECT_EQ(find_source(speakers, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE), nullptr);
    const MixerLineDesc& recording = plan.destinations[1];
    EXPECT_EQ(recording.component_type, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(bound(plan, recording),
              (Names{"Volume: Capture capture volume", "Peak Meter: input meter"}));
    EXPECT_TRUE(recording.sources.empty());
}

TEST(AlsaMixerMap, ACardsPcmMicAndCaptureFillAllFourLines) {
    const std::vector<AlsaElementInfo> card = {
        element("Master", true, true, false, false), element("PCM", true, false, false, false),
        element("Mic Boost", false, false, true, false),
        element("Mic", true, true, true, true, true), element("Capture", false, false, true, true)};
    const AlsaLinePlan plan = plan_alsa_lines(card);
    const MixerLineDesc& speakers = plan.destinations[0];
    const MixerLineDesc* wave = find_source(speakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    ASSERT_NE(wave, nullptr);
    // The wave line is PCM, which has no switch of its own.
    EXPECT_EQ(bound(plan, *wave),
              (Names{"Volume: PCM playback volume", "Peak Meter: output meter"}));
    const MixerLineDesc* monitor = find_source(speakers, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->channels, 1u);
    EXPECT_EQ(bound(plan, *monitor),
              (Names{"Volume: Mic playback volume", "Mute: Mic playback mute"}));
    const MixerLineDesc& recording = plan.destinations[1];
    const MixerLineDesc* microphone =
        find_source(recording, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    ASSERT_NE(microphone, nullptr);
    EXPECT_EQ(bound(plan, *microphone),
              (Names{"Volume: Mic capture volume", "Mute: Mic capture mute"}));
    EXPECT_EQ(bound(plan, recording).front(), "Volume: Capture capture volume");
}

TEST(AlsaMixerMap, ACardWithoutElementsStillHasItsMetersAndNoVolumes) {
    const AlsaLinePlan plan = plan_alsa_lines({});
    const MixerLineDesc* wave =
        find_source(plan.destinations[0], MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(bound(plan, *wave), (Names{"Peak Meter: output meter"}));
    EXPECT_EQ(bound(plan, plan.destinations[1]), (Names{"Peak Meter: input meter"}));
}

TEST(AlsaMixerMap, EveryValueSurvivesTheTripThroughAServersFinerRange) {
    // PulseAudio's range is 0..65536 (its normal volume); nothing may be lost on the way.
    for (LONG v = 0; v <= 65535; ++v)
        ASSERT_EQ(alsa_to_mixer_value(mixer_to_alsa_value(v, 0, 65536), 0, 65536), v) << v;
    EXPECT_EQ(mixer_to_alsa_value(65535, 0, 65536), 65536);
}

TEST(AlsaMixerMap, ACoarseRangeMapsItsEndsToTheFullScaleAndStaysMonotonic) {
    EXPECT_EQ(alsa_to_mixer_value(0, 0, 31), 0);
    EXPECT_EQ(alsa_to_mixer_value(31, 0, 31), 65535);
    EXPECT_EQ(alsa_to_mixer_value(-46, -46, 0), 0);  // ranges may be negative
    EXPECT_EQ(alsa_to_mixer_value(0, -46, 0), 65535);
    EXPECT_EQ(mixer_to_alsa_value(0, -46, 0), -46);
    EXPECT_EQ(mixer_to_alsa_value(65535, -46, 0), 0);
    long previous = -46;
    for (LONG v = 0; v <= 65535; v += 7) {
        const long raw = mixer_to_alsa_value(v, -46, 0);
        ASSERT_GE(raw, previous);
        previous = raw;
    }
    // Out-of-range inputs are held at the ends; an empty range reads 0.
    EXPECT_EQ(mixer_to_alsa_value(70000, 0, 31), 31);
    EXPECT_EQ(mixer_to_alsa_value(-5, 0, 31), 0);
    EXPECT_EQ(alsa_to_mixer_value(40, 0, 31), 65535);
    EXPECT_EQ(alsa_to_mixer_value(5, 3, 3), 0);
}

}  // namespace

// The mixer calls on the virtual card's mixer: what a caller walking the lines sees, and the
// argument checks that keep a wrong call from touching memory it does not own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/loop/message_loop.h"
#include "platform/mixer/mixer_backend.h"
#include "platform/mixer/virtual_mixer.h"
#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/virtual_card.h"
#include "tests/platform/mixer/mixer_test_util.h"

namespace {

class MixerCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        set_wave_backend(nullptr);
        set_mixer_backend(nullptr);
    }
    void TearDown() override {
        if (m_mixer) mixerClose(m_mixer);
        set_mixer_backend(nullptr);
        set_wave_backend(nullptr);
    }
    HMIXER open() {
        EXPECT_EQ(mixerOpen(&m_mixer, 0, 0, 0, 0), MMSYSERR_NOERROR);
        return m_mixer;
    }
    // Installs a virtual mixer with the given lines and meter readings.
    static void use(std::vector<MixerLineDesc> lines, VirtualMixer::PeakSource peaks = {}) {
        set_mixer_backend(std::make_unique<VirtualMixerBackend>(
            std::make_shared<VirtualMixer>(std::move(lines), std::move(peaks))));
    }

    HMIXER m_mixer = nullptr;
};

TEST_F(MixerCalls, TheVirtualCardHasOneMixerWithItsDevicesMakerId) {
    ASSERT_EQ(mixerGetNumDevs(), 1u);
    MIXERCAPSA caps{};
    ASSERT_EQ(mixerGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    WAVEINCAPSA in{};
    ASSERT_EQ(waveInGetDevCapsA(0, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wMid, in.wMid);
    EXPECT_EQ(caps.wMid, kVirtualMakerId);
    EXPECT_EQ(caps.cDestinations, 2u);
    EXPECT_STREQ(caps.szPname, "Quillon Virtual Mixer");
    // An open handle answers the same question; a small structure receives only what fits.
    HMIXER mixer = open();
    MIXERCAPSA by_handle{};
    ASSERT_EQ(mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer), &by_handle, sizeof by_handle),
              MMSYSERR_NOERROR);
    EXPECT_EQ(by_handle.cDestinations, 2u);
    WORD mid_only[2] = {0, 0x7777};
    ASSERT_EQ(mixerGetDevCapsA(0, reinterpret_cast<MIXERCAPSA*>(mid_only), sizeof(WORD)),
              MMSYSERR_NOERROR);
    EXPECT_EQ(mid_only[0], kVirtualMakerId);
    EXPECT_EQ(mid_only[1], 0x7777);
    EXPECT_EQ(mixerGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
}

TEST_F(MixerCalls, WalkingTheLinesFindsTheFourLinesAndTheirControls) {
    HMIXER mixer = open();
    const MIXERLINEA speakers = destination_line(mixer, 0);
    EXPECT_EQ(speakers.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(speakers.cConnections, 2u);
    const MIXERLINEA wave = source_line(mixer, 0, 0);
    EXPECT_EQ(wave.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    EXPECT_STREQ(wave.szName, "Wave");
    EXPECT_EQ(wave.cChannels, 2u);
    EXPECT_EQ(wave.cConnections, 0u);
    EXPECT_EQ(wave.dwDestination, 0u);
    const MIXERLINEA monitor = source_line(mixer, 0, 1);
    EXPECT_EQ(monitor.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    const MIXERLINEA recording = destination_line(mixer, 1);
    EXPECT_EQ(recording.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    const MIXERLINEA microphone = source_line(mixer, 1, 0);
    EXPECT_EQ(microphone.dwComponentType, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);

    auto names = [&](const MIXERLINEA& line) {
        std::vector<std::string> list;
        for (const MIXERCONTROLA& c : line_controls(mixer, line)) list.push_back(c.szName);
        return list;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names(wave), (Names{"Volume", "Mute", "Peak Meter"}));
    EXPECT_EQ(names(monitor), (Names{"Volume", "Mute"}));
    EXPECT_EQ(names(recording), (Names{"Volume", "Peak Meter"}));
    EXPECT_EQ(names(microphone), (Names{"Volume", "Mute"}));
    const auto wave_controls = line_controls(mixer, wave);
    EXPECT_EQ(wave_controls[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(wave_controls[0].Bounds.dwMaximum, 65535u);
    EXPECT_EQ(wave_controls[1].dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);
    EXPECT_EQ(wave_controls[2].dwControlType, MIXERCONTROL_CONTROLTYPE_PEAKMETER);

    // Every line id leads back to the same line, and ids are unique across the mixer.
    std::vector<DWORD> ids;
    for (const MIXERLINEA& line : {speakers, wave, monitor, recording, microphone}) {
        MIXERLINEA by_id{};
        by_id.cbStruct = sizeof by_id;
        by_id.dwLineID = line.dwLineID;
        ASSERT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer), &by_id,
                                    MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_LINEID),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(by_id.dwComponentType, line.dwComponentType);
        EXPECT_EQ(by_id.dwDestination, line.dwDestination);
        EXPECT_STREQ(by_id.szName, line.szName);
        ids.push_back(line.dwLineID);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST_F(MixerCalls, ValuesArePerChannelOrOneForAllAndAreKeptWithinTheControlsBounds) {
    HMIXER mixer = open();
    const MIXERLINEA wave = source_line(mixer, 0, 0);
    const DWORD volume = control_id(mixer, wave, "Volume");
    std::vector<LONG> both{1000, 2000};
    ASSERT_EQ(exchange_values(mixer, volume, both, true), MMSYSERR_NOERROR);
    std::vector<LONG> read(2);
    ASSERT_EQ(exchange_values(mixer, volume, read, false), MMSYSERR_NOERROR);
    EXPECT_EQ(read, (std::vector<LONG>{1000, 2000}));
    std::vector<LONG> first(1);
    ASSERT_EQ(exchange_values(mixer, volume, first, false), MMSYSERR_NOERROR);
    EXPECT_EQ(first[0], 1000);

    // One value for a two-channel line sets both; values beyond the bounds are clamped, and an
    // unsigned control reads a "negative" value as a huge one.
    std::vector<LONG> one{70000};
    ASSERT_EQ(exchange_values(mixer, volume, one, true), MMSYSERR_NOERROR);
    ASSERT_EQ(exchange_values(mixer, volume, read, false), MMSYSERR_NOERROR);
    EXPECT_EQ(read, (std::vector<LONG>{65535, 65535}));
    std::vector<LONG> negative{-1, 5};
    ASSERT_EQ(exchange_values(mixer, volume, negative, true), MMSYSERR_NOERROR);
    ASSERT_EQ(exchange_values(mixer, volume, read, false), MMSYSERR_NOERROR);
    EXPECT_EQ(read, (std::vector<LONG>{65535, 5}));

    // A mute takes any non-zero value as 1 and answers all channels alike.
    const DWORD mute = control_id(mixer, wave, "Mute");
    std::vector<LONG> on{7};
    ASSERT_EQ(exchange_values(mixer, mute, on, true), MMSYSERR_NOERROR);
    ASSERT_EQ(exchange_values(mixer, mute, read, false), MMSYSERR_NOERROR);
    EXPECT_EQ(read, (std::vector<LONG>{1, 1}));

    // Nothing stored in the mixer goes away when the handle is closed.
    mixerClose(std::exchange(m_mixer, nullptr));
    EXPECT_EQ(source_values(0, 0, "Volume"), (std::vector<LONG>{65535, 5}));
    // The same card keeps its mixer when asked for again; a new card comes with a fresh mixer:
    // volumes at three quarters, the monitor muted.
    EXPECT_EQ(mixerGetNumDevs(), 1u);
    EXPECT_EQ(source_values(0, 0, "Volume"), (std::vector<LONG>{65535, 5}));
    set_wave_backend(std::make_unique<VirtualSoundCard>(1, 1));
    EXPECT_EQ(source_values(0, 0, "Volume"), (std::vector<LONG>{0xC000, 0xC000}));
    EXPECT_EQ(source_values(0, 1, "Mute"), (std::vector<LONG>{1}));
    EXPECT_EQ(source_values(1, 0, "Mute"), (std::vector<LONG>{0}));
}

TEST_F(MixerCalls, MetersReadTheirDirectionsSignalAndIgnoreWrites) {
    use(VirtualMixer::standard_lines(),
        [](WaveDirection d) { return d == WaveDirection::output ? DWORD{1234} : DWORD{40000}; });
    EXPECT_EQ(source_values(0, 0, "Peak Meter"), (std::vector<LONG>{1234, 1234}));
    // A reading beyond the 16-bit magnitude is held at 32768.
    EXPECT_EQ(destination_values(1, "Peak Meter"), (std::vector<LONG>{32768, 32768}));
    HMIXER mixer = open();
    const MIXERLINEA wave = source_line(mixer, 0, 0);
    std::vector<LONG> value{5};
    EXPECT_EQ(exchange_values(mixer, control_id(mixer, wave, "Peak Meter"), value, true),
              MMSYSERR_NOERROR);
    EXPECT_EQ(source_values(0, 0, "Peak Meter"), (std::vector<LONG>{1234, 1234}));
}

TEST_F(MixerCalls, TheDefaultMetersShowSilenceWhileNoDeviceMoves) {
    EXPECT_EQ(source_values(0, 0, "Peak Meter"), (std::vector<LONG>{0, 0}));
    EXPECT_EQ(destination_values(1, "Peak Meter"), (std::vector<LONG>{0, 0}));
}

TEST_F(MixerCalls, TheRecordingMeterFollowsTheVirtualCardsLiveSignal) {
    MessageLoop::instance().set_clock(ClockKind::manual);
    auto card = std::make_unique<VirtualSoundCard>(2, 1);
    ASSERT_TRUE(card->set_input("sine:250:0.5"));
    set_wave_backend(std::move(card));
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<BYTE> data(16000);
    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = static_cast<DWORD>(data.size());
    ASSERT_EQ(waveInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    MessageLoop::instance().run_for(100);
    // The second input device of the card carries the signal; the card's meter shows it.
    EXPECT_EQ(destination_values(1, "Peak Meter"), (std::vector<LONG>{16384, 16384}));
    EXPECT_EQ(source_values(0, 0, "Peak Meter"), (std::vector<LONG>{0, 0}));
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInUnprepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(destination_values(1, "Peak Meter"), (std::vector<LONG>{0, 0}));
}

TEST_F(MixerCalls, WrongArgumentsAreRefusedWithoutTouchingTheCallersMemory) {
    HMIXER mixer = open();
    const auto object = reinterpret_cast<HMIXEROBJ>(mixer);
    // Handles: unknown, closed, or an id passed as a handle.
    HMIXER other = nullptr;
    ASSERT_EQ(mixerOpen(&other, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(other), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(other), MMSYSERR_INVALHANDLE);
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    EXPECT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(other), &line,
                                MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_INVALHANDLE);
    // Opening: bad ids and callbacks that would never be called.
    HMIXER none = reinterpret_cast<HMIXER>(1);
    EXPECT_EQ(mixerOpen(&none, 5, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(mixerOpen(&none, 0, 0, 0, 0x00030000 /* function callback */), MMSYSERR_INVALFLAG);
    EXPECT_EQ(mixerOpen(nullptr, 0, 0, 0, 0), MMSYSERR_INVALPARAM);

    // Lines out of range, a line id that names no line, a structure too small.
    line.dwDestination = 2;
    EXPECT_EQ(
        mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION),
        MMSYSERR_INVALPARAM);
    line.dwDestination = 1;
    line.dwSource = 1;
    EXPECT_EQ(mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE),
              MMSYSERR_INVALPARAM);
    line.dwLineID = 0xFFFFFFFF;
    EXPECT_EQ(mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_LINEID),
              MIXERR_INVALLINE);
    line.cbStruct = sizeof line - 1;
    EXPECT_EQ(mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALPARAM);

    // Controls: a count that is not the line's, details with the wrong channel count or size.
    const MIXERLINEA wave = source_line(mixer, 0, 0);
    MIXERCONTROLA controls[2]{};
    MIXERLINECONTROLSA request{};
    request.cbStruct = sizeof request;
    request.dwLineID = wave.dwLineID;
    request.cControls = 2;  // the line has 3
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = controls;
    EXPECT_EQ(mixerGetLineControlsA(object, &request, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALPARAM);

    const DWORD volume = control_id(mixer, wave, "Volume");
    std::vector<LONG> three{1, 2, 3};
    EXPECT_EQ(exchange_values(mixer, volume, three, false), MMSYSERR_INVALPARAM);
    EXPECT_EQ(exchange_values(mixer, volume, three, true), MMSYSERR_INVALPARAM);
    std::vector<LONG> one{1};
    EXPECT_EQ(exchange_values(mixer, 999, one, false), MIXERR_INVALCONTROL);
    LONG value = 0;
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = volume;
    details.cChannels = 1;
    details.cbDetails = 2;
    details.paDetails = &value;
    EXPECT_EQ(mixerGetControlDetailsA(object, &details, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALPARAM);
}

TEST_F(MixerCalls, AMixerIdServesWithoutAnOpenHandle) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = 1;
    ASSERT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(UINT_PTR{0}), &line,
                                MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(line.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(UINT_PTR{3}), &line,
                                MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_BADDEVICEID);
}

TEST_F(MixerCalls, AnOpenHandleOutlivesTheBackendThatGaveIt) {
    HMIXER mixer = open();
    const MIXERLINEA wave = source_line(mixer, 0, 0);
    const DWORD volume = control_id(mixer, wave, "Volume");
    set_mixer_backend(std::make_unique<VirtualMixerBackend>());
    std::vector<LONG> values{10, 20};
    EXPECT_EQ(exchange_values(mixer, volume, values, true), MMSYSERR_NOERROR);
    EXPECT_EQ(exchange_values(mixer, volume, values, false), MMSYSERR_NOERROR);
    EXPECT_EQ(values, (std::vector<LONG>{10, 20}));
    // The new backend's mixer is another one.
    EXPECT_EQ(source_values(0, 0, "Volume"), (std::vector<LONG>{0xC000, 0xC000}));
}

TEST_F(MixerCalls, AWaveBackendWithoutMixersOffersNone) {
    class Silent final : public WaveBackend {
      public:
        std::string_view name() const override { return "silent"; }
        std::vector<WaveDeviceInfo> devices(WaveDirection) const override { return {}; }
        MMRESULT open(WaveDirection, UINT, const WAVEFORMATEX&,
                      std::unique_ptr<WaveDevice>*) override {
            return MMSYSERR_BADDEVICEID;
        }
    };
    set_wave_backend(std::make_unique<Silent>());
    EXPECT_EQ(mixerGetNumDevs(), 0u);
    HMIXER mixer = nullptr;
    EXPECT_EQ(mixerOpen(&mixer, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
    // And the virtual card's mixer comes back with the virtual card.
    set_wave_backend(nullptr);
    EXPECT_EQ(mixerGetNumDevs(), 1u);
}

}  // namespace

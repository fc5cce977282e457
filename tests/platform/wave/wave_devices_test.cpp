#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/wave/mmsystem_wave.h"
#include "platform/wave/virtual_card.h"

namespace {

class WaveDevices : public ::testing::Test {
  protected:
    void TearDown() override {
        unsetenv("KELVANE_VIRTUAL_DEVICES");
        set_wave_backend(nullptr);
    }
    static void use_devices(const char* counts) {
        setenv("KELVANE_VIRTUAL_DEVICES", counts, 1);
        set_wave_backend(nullptr);
    }
};

TEST_F(WaveDevices, CountsComeFromTheEnvironmentAndMalformedValuesFallBackToOneEach) {
    use_devices("2,3");
    EXPECT_EQ(waveInGetNumDevs(), 2u);
    EXPECT_EQ(waveOutGetNumDevs(), 3u);
    use_devices("0,0");
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    EXPECT_EQ(waveOutGetNumDevs(), 0u);
    use_devices("-1,2");
    EXPECT_EQ(waveInGetNumDevs(), 1u);
    use_devices("2,2x");
    EXPECT_EQ(waveOutGetNumDevs(), 1u);
}

TEST_F(WaveDevices, EachDeviceAndTheMapperReportANameAndTheCardsMakerId) {
    use_devices("2,1");
    WAVEINCAPSA in{};
    ASSERT_EQ(waveInGetDevCapsA(1, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "Quillon Virtual Input 2");
    EXPECT_EQ(in.wMid, kVirtualMakerId);
    EXPECT_TRUE(in.dwFormats & WAVE_FORMAT_4S16);
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "Quillon Wave Mapper");
    EXPECT_EQ(in.wMid, kVirtualMakerId);
    EXPECT_EQ(waveInGetDevCapsA(2, &in, sizeof in), MMSYSERR_BADDEVICEID);

    WAVEOUTCAPSA out{};
    ASSERT_EQ(waveOutGetDevCapsA(static_cast<UINT_PTR>(-1), &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_STREQ(out.szPname, "Quillon Wave Mapper");
    EXPECT_TRUE(out.dwSupport & WAVECAPS_LRVOLUME);
    EXPECT_EQ(waveOutGetDevCapsA(0, nullptr, sizeof out), MMSYSERR_INVALPARAM);
}

TEST_F(WaveDevices, WithoutDevicesEvenTheMapperIsRefusedAndShortStructuresGetWhatFits) {
    use_devices("0,1");
    WAVEINCAPSA in{};
    EXPECT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &in, sizeof in), MMSYSERR_BADDEVICEID);

    WAVEOUTCAPSA out;
    std::memset(&out, 0x7F, sizeof out);
    ASSERT_EQ(waveOutGetDevCapsA(0, &out, 4), MMSYSERR_NOERROR);
    EXPECT_EQ(out.wMid, kVirtualMakerId);
    EXPECT_EQ(out.szPname[0], 0x7F);  // nothing past the four bytes asked for
}

TEST_F(WaveDevices, TheEnvironmentNamesTheBackendAndAnUnknownNameGetsTheVirtualCardWithAWord) {
    const auto chosen_for = [](const char* name) {
        setenv("KELVANE_AUDIO", name, 1);
        set_wave_backend(nullptr);
        return std::string(wave_backend().name());
    };
    EXPECT_EQ(chosen_for("virtual"), "virtual");
    testing::internal::CaptureStderr();
    EXPECT_EQ(chosen_for("carrier-pigeon"), "virtual");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("KELVANE_AUDIO=carrier-pigeon"),
              std::string::npos);
    setenv("KELVANE_AUDIO", "virtual", 1);
}

}  // namespace

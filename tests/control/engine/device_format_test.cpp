// The device format for a file format, which recording and playback share: PCM runs as it is,
// a coded format runs as the PCM its decoder gives, an unknown tag has none.
#include <gtest/gtest.h>

#include <string>

#include "control/engine/device_format.h"
#include "platform/codec/format_names.h"

namespace kelvane::engine {
namespace {

TEST(DeviceFormat, PcmRunsAsItIsWithoutExtraBytes) {
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 22};
    const auto device = device_format_for(pcm);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->nSamplesPerSec, 44100u);
    EXPECT_EQ(device->nChannels, 2);
    EXPECT_EQ(device->wBitsPerSample, 16);
    EXPECT_EQ(device->cbSize, 0);
}

TEST(DeviceFormat, ACodedFormatRunsAsSixteenBitPcmOfItsRateAndChannels) {
    for (const char* name : {"ima-adpcm:22050:1", "ms-adpcm:11025:2", "gsm610:8000:1",
                             "alaw:8000:1", "mp3:44100:2:128"}) {
        const auto parsed = quillon::codec::parse_format_name(name);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        const auto device = device_format_for(parsed.wfx());
        ASSERT_TRUE(device) << name;
        EXPECT_EQ(device->wFormatTag, WAVE_FORMAT_PCM) << name;
        EXPECT_EQ(device->wBitsPerSample, 16) << name;
        EXPECT_EQ(device->nSamplesPerSec, parsed.wfx().nSamplesPerSec) << name;
        EXPECT_EQ(device->nChannels, parsed.wfx().nChannels) << name;
        EXPECT_EQ(device->nBlockAlign, 2 * device->nChannels) << name;
        EXPECT_EQ(device->cbSize, 0) << name;
    }
}

TEST(DeviceFormat, ATagNoDriverKnowsHasNone) {
    WAVEFORMATEX unknown{0x7777, 1, 8000, 8000, 1, 8, 0};
    EXPECT_FALSE(device_format_for(unknown));
}

}  // namespace
}  // namespace kelvane::engine

// The server backend's parts that need no server: the device list made from what a server
// reports, and the play clock that the position is read from.
#include <gtest/gtest.h>

#include <thread>

#include "platform/wave/pulse_play_clock.h"
#include "platform/wave/pulse_wave.h"

namespace {

using namespace std::chrono_literals;

TEST(PulseDeviceList, HardwareSourcesComeFirstThenMonitorsEachInTheOrderOfTheServersNames) {
    // As a server may list them: in the order the devices appeared.
    const auto list = pulse_device_list(
        WaveDirection::input,
        {{"alsa_output.usb-Headset.monitor", "Monitor of USB Headset", 2, true},
         {"alsa_input.usb-Headset", "USB Headset", 1, false},
         {"alsa_output.pci-builtin.monitor", "Monitor of Built-in Audio Analog Stereo", 2, true},
         {"alsa_input.pci-builtin", "Built-in Audio Analog Stereo", 6, false}});
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].native_name, "alsa_input.pci-builtin");
    EXPECT_EQ(list[1].native_name, "alsa_input.usb-Headset");
    EXPECT_EQ(list[2].native_name, "alsa_output.pci-builtin.monitor");
    EXPECT_EQ(list[3].native_name, "alsa_output.usb-Headset.monitor");
    EXPECT_EQ(list[0].name, "Built-in Audio Analog Stereo");
    EXPECT_EQ(list[2].name, "Monitor of Built-in Audio Analo") << "cut to 31 characters";
    EXPECT_EQ(list[0].channels, 2) << "six channels report as two";
    EXPECT_EQ(list[1].channels, 1);
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].maker_id, 0x5201 + i);
        EXPECT_EQ(list[i].product_id, i + 1);
        EXPECT_EQ(list[i].formats, 0x0FFFu);
    }
}

TEST(PulseDeviceList, NamesThatWouldReadAlikeAreToldApartAndAnEmptyDescriptionGivesTheName) {
    const auto list = pulse_device_list(WaveDirection::output, {{"b", "Headset", 2, false},
                                                                {"a", "Headset", 2, false},
                                                                {"c", "Headset", 2, false},
                                                                {"d", "", 2, false}});
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "Headset");
    EXPECT_EQ(list[0].native_name, "a");
    EXPECT_EQ(list[1].name, "Headset #2");
    EXPECT_EQ(list[2].name, "Headset #3");
    EXPECT_EQ(list[3].name, "d");
    EXPECT_EQ(list[0].maker_id, 0x5301);
}

TEST(PulseDeviceList, MakerIdsNeverMeetTheOtherDirectionsOrTheMappers) {
    EXPECT_EQ(pulse_mapper_maker_id(WaveDirection::input), 0x5200);
    EXPECT_EQ(pulse_mapper_maker_id(WaveDirection::output), 0x5300);
    EXPECT_EQ(pulse_device_maker_id(WaveDirection::input, 0), 0x5201);
    EXPECT_EQ(pulse_device_maker_id(WaveDirection::input, 1000), 0x52FF);
    EXPECT_EQ(pulse_device_maker_id(WaveDirection::output, 1000), 0x53FF);
}

TEST(PulsePlayClock, ExtrapolatesAtTheByteRateWhileMovingAndNeverPastWhatWasHanded) {
    PulsePlayClock clock(176400, 4);
    const auto t0 = PulsePlayClock::Clock::now();
    EXPECT_EQ(clock.at(t0, 1'000'000), 0u);
    clock.set(17640, t0, true);
    EXPECT_EQ(clock.at(t0 + 100ms, 1'000'000), 17640u + 17640u);
    EXPECT_EQ(clock.at(t0 + 10s, 100'000), 100'000u) << "held at what the server has";
    EXPECT_EQ(clock.at(t0 - 1s, 1'000'000), 17640u) << "no time before the anchor";
    // Whole blocks only: 1 ms is 176.4 bytes.
    EXPECT_EQ(clock.at(t0 + 1ms, 1'000'000), 17640u + 176u);
    clock.set(20000, t0, false);
    EXPECT_EQ(clock.at(t0 + 1s, 1'000'000), 20000u) << "held while paused or dry";
}

TEST(PulsePlayClock, AReaderNeverSeesHalfAnAnchor) {
    // The writer moves the anchor and its time together; a reader that mixed an old time with a
    // new count (or the reverse) would see the position jump by a second.
    PulsePlayClock clock(1000, 1);
    const auto t0 = PulsePlayClock::Clock::now();
    clock.set(0, t0, true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // Far fewer anchors than the billion seconds the reader looks ahead.
        for (std::uint64_t i = 0; !done && i < 100'000'000; ++i)
            clock.set(i * 1000, t0 + std::chrono::seconds(i), true);
    });
    bool consistent = true;
    for (int i = 0; i < 200000 && consistent; ++i) {
        // At the anchor's own moment the extrapolation adds nothing; far past it, the same
        // amount for every anchor of the series.
        const std::uint64_t far = clock.at(t0 + std::chrono::seconds(1'000'000'000), ~0ull);
        consistent = far == 1'000'000'000'000ull;
    }
    done = true;
    writer.join();
    EXPECT_TRUE(consistent);
}

}  // namespace

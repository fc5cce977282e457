#include <gtest/gtest.h>

#include <limits>

#include "control/block_time.h"
#include "control/engine/error_codes.h"

namespace {

constexpr LONG kMax = std::numeric_limits<LONG>::max();
constexpr LONG kMin = std::numeric_limits<LONG>::min();

TEST(BlockTime, BlocksToMillisecondsTruncatesTowardZeroAndNeverOverflows) {
    EXPECT_EQ(blocks_to_milliseconds(44100, 44100), 1000);
    EXPECT_EQ(blocks_to_milliseconds(1, 44100), 0);
    EXPECT_EQ(blocks_to_milliseconds(-1, 44100), 0);
    EXPECT_EQ(blocks_to_milliseconds(-44145, 44100), -1001);
    EXPECT_EQ(blocks_to_milliseconds(12345, 0), 0);
    EXPECT_EQ(blocks_to_milliseconds(kMax, 1), kMax);
    EXPECT_EQ(blocks_to_milliseconds(kMin, 1), kMin);
}

TEST(BlockTime, MillisecondsToBlocksComputesWideAndSaturates) {
    EXPECT_EQ(milliseconds_to_blocks(1000, 44100), 44100);
    // A 32-bit product would wrap past 97391 ms at 44100 Hz.
    EXPECT_EQ(milliseconds_to_blocks(97392, 44100), 4294987);
    EXPECT_EQ(milliseconds_to_blocks(3'600'000, 48000), 172'800'000);
    EXPECT_EQ(milliseconds_to_blocks(kMax, 48000), kMax);
    EXPECT_EQ(milliseconds_to_blocks(kMin, 48000), kMin);
    EXPECT_EQ(milliseconds_to_blocks(-1000, 8000), -8000);
    EXPECT_EQ(milliseconds_to_blocks(999, 1), 0);
    EXPECT_EQ(milliseconds_to_blocks(5, 0), 0);
}

TEST(ErrorCodes, EachCodeHasItsExactTextAndEverythingElseIsUnknown) {
    EXPECT_EQ(error_text(-11), "File open error");
    EXPECT_EQ(error_text(-12), "Output device error");
    EXPECT_EQ(error_text(-13), "Input device error");
    EXPECT_EQ(error_text(-14), "Playback error");
    EXPECT_EQ(error_text(-15), "Record error");
    EXPECT_EQ(error_text(-16), "Memory out");
    EXPECT_EQ(error_text(-10), "Unknow error");
    EXPECT_EQ(error_text(-17), "Unknow error");
    EXPECT_EQ(error_text(0), "Unknow error");
    EXPECT_EQ(error_text(-32768), "Unknow error");
}

}  // namespace

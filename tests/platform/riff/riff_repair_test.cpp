// Settling the sizes of RIFF files cut short, as the writers that leave them do.
#include "platform/riff/riff_repair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/riff/mmio.h"
#include "tests/control/engine/byte_builder.h"
#include "tests/support/temp_dir.h"

namespace {

using quillon::riff::repair_riff_sizes;
using quillon::riff::RiffRepair;
using quillon::test::ByteBuilder;
using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

// A WAV file: 16-byte fmt, a data chunk with `data_size` in its header and `audio` bytes after
// it, with `riff_size` in the RIFF header.
Bytes wave(DWORD riff_size, DWORD data_size, std::size_t audio) {
    return ByteBuilder()
        .text("RIFF")
        .u32(riff_size)
        .text("WAVE")
        .pcm_fmt(1, 8000, 16, false)
        .text("data")
        .u32(data_size)
        .bytes(Bytes(audio, 0x41));
}

// A LIST chunk of type INFO with nothing in it.
Bytes empty_list() {
    return ByteBuilder().text("LIST").u32(4).text("INFO");
}

class RiffRepairTest : public ::testing::Test {
  protected:
    RiffRepair repair(const Bytes& bytes, bool write = true) {
        write_bytes(m_path, bytes);
        RiffRepair report;
        EXPECT_EQ(repair_riff_sizes(m_path.c_str(), write, report), 0u);
        return report;
    }
    TempDir m_dir;
    std::string m_path = m_dir.file("cut.wav");
};

TEST_F(RiffRepairTest, TheChunkBeingWrittenRunsToTheEndOfTheFile) {
    // Our own recordings from before they were kept valid: both sizes 0. A writer on a pipe:
    // both 0xFFFFFFFF. A recorder killed with sizes for the longest recording it planned.
    struct Case {
        DWORD riff, data;
    };
    for (const Case c :
         {Case{0, 0}, Case{0xFFFFFFFF, 0xFFFFFFFF}, Case{0x80000024, 0x7FFFFFFF}, Case{0, 1000}}) {
        const RiffRepair report = repair(wave(c.riff, c.data, 301));
        EXPECT_EQ(report.riff_found, c.riff);
        EXPECT_EQ(report.riff_settled, 4u + 24 + 8 + 301);
        ASSERT_EQ(report.chunks.size(), 2u);
        EXPECT_EQ(report.chunks[1].found, c.data);
        EXPECT_EQ(report.chunks[1].settled, 301u);
        EXPECT_FALSE(report.chunks[0].found != report.chunks[0].settled);
        const Bytes after = read_bytes(m_path);
        EXPECT_EQ(after, wave(4 + 24 + 8 + 301, 301, 301)) << "only the two sizes change";
        // Settled once, the file needs nothing more.
        EXPECT_FALSE(repair(after).changed());
    }
}

TEST_F(RiffRepairTest, RightFilesAndChunksThatFollowAreLeftAlone) {
    Bytes good = ByteBuilder().bytes(wave(4 + 24 + 8 + 4 + 12, 4, 4)).bytes(empty_list());
    const RiffRepair report = repair(good);
    EXPECT_FALSE(report.changed());
    EXPECT_EQ(report.chunks.size(), 3u);
    EXPECT_EQ(read_bytes(m_path), good);

    // An empty data chunk that a chunk follows is empty, even in a RIFF of placeholder size.
    const Bytes empty = ByteBuilder().bytes(wave(0, 0, 0)).bytes(empty_list());
    const RiffRepair settled = repair(empty);
    EXPECT_EQ(settled.chunks[1].settled, 0u);
    EXPECT_EQ(settled.riff_settled, empty.size() - 8);
}

TEST_F(RiffRepairTest, OnlyAnEmptyDataChunkTakesTheRestOfTheFile) {
    // An empty LIST before a data chunk whose size reaches past the end: readers take the LIST
    // as empty and the data as what is there, so the repair settles the data, not the LIST.
    const Bytes cut = ByteBuilder()
                          .text("RIFF")
                          .u32(0)
                          .text("WAVE")
                          .pcm_fmt(1, 8000, 16, false)
                          .text("LIST")
                          .u32(0)
                          .text("data")
                          .u32(0x20000007)
                          .bytes(Bytes(10, 0x41));
    const RiffRepair report = repair(cut);
    ASSERT_EQ(report.chunks.size(), 3u);
    EXPECT_EQ(report.chunks[1].settled, 0u);
    EXPECT_EQ(report.chunks[2].settled, 10u);
    EXPECT_EQ(report.riff_settled, cut.size() - 8);
}

TEST_F(RiffRepairTest, FewerBytesThanAChunkHeaderAfterAnEmptyChunkAreItsAudio) {
    const RiffRepair report = repair(wave(0, 0, 5));
    EXPECT_EQ(report.chunks[1].settled, 5u);
    EXPECT_EQ(report.riff_settled, 4u + 24 + 8 + 5);
}

TEST_F(RiffRepairTest, ARiffSizeSmallerThanItsChunksIsTheWrongOne) {
    const RiffRepair report = repair(wave(20, 100, 100));
    EXPECT_EQ(report.riff_settled, 4u + 24 + 8 + 100);
    EXPECT_EQ(report.chunks[1].settled, 100u);
}

TEST_F(RiffRepairTest, ADryRunOnlyTellsAndOtherFilesAreNotTouched) {
    const Bytes cut = wave(0, 0, 10);
    EXPECT_TRUE(repair(cut, false).changed());
    EXPECT_EQ(read_bytes(m_path), cut);

    const Bytes zeros(5000, 0);
    write_bytes(m_path, zeros);
    RiffRepair report;
    EXPECT_EQ(repair_riff_sizes(m_path.c_str(), true, report), MMIOERR_INVALIDFILE);
    EXPECT_EQ(read_bytes(m_path), zeros);
    EXPECT_EQ(repair_riff_sizes(m_dir.file("absent.wav").c_str(), true, report),
              MMIOERR_FILENOTFOUND);
}

}  // namespace

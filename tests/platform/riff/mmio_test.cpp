#include "platform/riff/mmio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"

namespace {

using quillon::test::read_bytes;
using quillon::test::TempDir;
using quillon::test::write_bytes;
using Bytes = std::vector<unsigned char>;

void append_u32(Bytes& out, DWORD v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void append_text(Bytes& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}
Bytes chunk(const char* id, const Bytes& body, DWORD size_field) {
    Bytes out;
    append_text(out, id);
    append_u32(out, size_field);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

UniqueHmmio open_file(const std::string& path, DWORD flags, LONG buffer = 0) {
    MMIOINFO info{};
    info.cchBuffer = buffer;
    return UniqueHmmio(mmioOpen(path.c_str(), &info, flags | MMIO_ALLOCBUF));
}

// A RIFF "WAVE" chunk and a data chunk inside it, both open.
void begin_wave(HMMIO h, MMCKINFO& riff, MMCKINFO& data) {
    riff = MMCKINFO{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0u);
    data = MMCKINFO{mmioFOURCC('d', 'a', 't', 'a'), 0, 0, 0, 0};
    ASSERT_EQ(mmioCreateChunk(h, &data, 0), 0u);
}

TEST(MmioChunks, AscendSettlesSizesAndPadsOddChunks) {
    TempDir dir;
    const std::string path = dir.file("out.riff");
    HMMIO h = mmioOpen(path.c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);

    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), 0u);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    EXPECT_EQ(riff.dwFlags, MMIO_DIRTY);

    // Declared size right: left as it is. Declared wrong: corrected. Odd: padded.
    MMCKINFO even{mmioFOURCC('e', 'v', 'e', 'n'), 2, 0, 0, 0};
    ASSERT_EQ(mmioCreateChunk(h, &even, 0), 0u);
    ASSERT_EQ(mmioWrite(h, "ab", 2), 2);
    ASSERT_EQ(mmioAscend(h, &even, 0), 0u);

    MMCKINFO odd{mmioFOURCC('o', 'd', 'd', ' '), 99, 0, 0, 0};
    ASSERT_EQ(mmioCreateChunk(h, &odd, 0), 0u);
    ASSERT_EQ(mmioWrite(h, "xyz", 3), 3);
    ASSERT_EQ(mmioAscend(h, &odd, 0), 0u);
    EXPECT_EQ(odd.cksize, 3u);
    EXPECT_EQ(odd.dwFlags, 0u);

    MMCKINFO list{};
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioCreateChunk(h, &list, MMIO_CREATELIST), 0u);
    ASSERT_EQ(mmioAscend(h, &list, 0), 0u);
    EXPECT_EQ(list.cksize, 4u);

    ASSERT_EQ(mmioAscend(h, &riff, 0), 0u);
    ASSERT_EQ(mmioClose(h, 0), 0u);

    Bytes expected;
    append_text(expected, "RIFF");
    append_u32(expected, 4 + 10 + 12 + 12);
    append_text(expected, "TEST");
    append_text(expected, "even");
    append_u32(expected, 2);
    append_text(expected, "ab");
    append_text(expected, "odd ");
    append_u32(expected, 3);
    append_text(expected, "xyz");
    expected.push_back(0);
    append_text(expected, "LIST");
    append_u32(expected, 4);
    append_text(expected, "INFO");
    EXPECT_EQ(read_bytes(path), expected);
}

TEST(MmioChunks, SizeIsPatchedWhenTheHeaderLeftTheBuffer) {
    TempDir dir;
    const std::string path = dir.file("big.riff");
    auto h = open_file(path, MMIO_CREATE | MMIO_READWRITE, 4096);
    ASSERT_TRUE(h);
    MMCKINFO riff{}, data{};
    ASSERT_NO_FATAL_FAILURE(begin_wave(h.get(), riff, data));
    Bytes payload(100001);
    std::iota(payload.begin(), payload.end(), 0);
    // Odd pieces straddle every buffer boundary.
    for (std::size_t done = 0; done < payload.size();) {
        LONG n = static_cast<LONG>(std::min<std::size_t>(777, payload.size() - done));
        ASSERT_EQ(mmioWrite(h.get(), reinterpret_cast<const char*>(payload.data() + done), n), n);
        done += static_cast<std::size_t>(n);
    }
    ASSERT_EQ(mmioAscend(h.get(), &data, 0), 0u);
    ASSERT_EQ(mmioAscend(h.get(), &riff, 0), 0u);
    ASSERT_EQ(mmioClose(h.release(), 0), 0u);

    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 12u + 8u + 100001u + 1u);
    EXPECT_EQ(file[4] | file[5] << 8 | file[6] << 16, static_cast<int>(file.size() - 8));
    EXPECT_EQ(file[16] | file[17] << 8 | file[18] << 16, 100001);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), file.begin() + 20));
    EXPECT_EQ(file.back(), 0);
}

TEST(MmioChunks, DescendFindsChunksAndSkipsPaddedOnes) {
    TempDir dir;
    const std::string path = dir.file("in.riff");
    Bytes body;
    append_text(body, "WAVE");
    Bytes odd = chunk("junk", {1, 2, 3}, 3);
    odd.push_back(0);
    body.insert(body.end(), odd.begin(), odd.end());
    Bytes fmt = chunk("fmt ", {9, 8}, 2);
    body.insert(body.end(), fmt.begin(), fmt.end());
    Bytes file;
    append_text(file, "JUNK");  // a leading non-RIFF chunk that the RIFF search steps over
    append_u32(file, 2);
    file.push_back(0);
    file.push_back(0);
    Bytes riff = chunk("RIFF", body, static_cast<DWORD>(body.size()));
    file.insert(file.end(), riff.begin(), riff.end());
    write_bytes(path, file);

    auto h = open_file(path, MMIO_READ);
    ASSERT_TRUE(h);
    MMCKINFO parent{};
    parent.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h.get(), &parent, nullptr, MMIO_FINDRIFF), 0u);
    EXPECT_EQ(parent.dwDataOffset, 18u);
    EXPECT_EQ(mmioSeek(h.get(), 0, SEEK_CUR), 22);

    MMCKINFO child{};
    child.ckid = mmioFOURCC('f', 'm', 't', ' ');
    ASSERT_EQ(mmioDescend(h.get(), &child, &parent, MMIO_FINDCHUNK), 0u);
    EXPECT_EQ(child.cksize, 2u);
    char two[2];
    ASSERT_EQ(mmioRead(h.get(), two, 2), 2);
    EXPECT_EQ(two[0], 9);
    ASSERT_EQ(mmioAscend(h.get(), &child, 0), 0u);
    EXPECT_EQ(mmioDescend(h.get(), &child, &parent, 0), MMIOERR_CHUNKNOTFOUND);

    // A plain descend takes whatever comes next.
    ASSERT_EQ(mmioSeek(h.get(), 22, SEEK_SET), 22);
    ASSERT_EQ(mmioDescend(h.get(), &child, &parent, 0), 0u);
    EXPECT_EQ(child.ckid, mmioFOURCC('j', 'u', 'n', 'k'));

    MMCKINFO missing{};
    missing.fccType = mmioFOURCC('A', 'V', 'I', ' ');
    ASSERT_EQ(mmioSeek(h.get(), 0, SEEK_SET), 0);
    EXPECT_EQ(mmioDescend(h.get(), &missing, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
}

TEST(MmioChunks, LyingSizesEndTheSearchInsteadOfLooping) {
    TempDir dir;
    const std::string path = dir.file("lies.riff");
    Bytes file = chunk("abcd", {1, 2}, 0xFFFFFFF0u);  // claims far more than the file holds
    Bytes after = chunk("efgh", {}, 0);
    file.insert(file.end(), after.begin(), after.end());
    file.push_back('R');  // a truncated header
    write_bytes(path, file);

    auto h = open_file(path, MMIO_READ);
    ASSERT_TRUE(h);
    MMCKINFO ck{};
    ck.ckid = mmioFOURCC('e', 'f', 'g', 'h');
    EXPECT_EQ(mmioDescend(h.get(), &ck, nullptr, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    ASSERT_EQ(mmioSeek(h.get(), 0, SEEK_SET), 0);
    ASSERT_EQ(mmioDescend(h.get(), &ck, nullptr, 0), 0u);
    EXPECT_EQ(ck.cksize, 0xFFFFFFF0u);
    EXPECT_EQ(mmioAscend(h.get(), &ck, 0), 0u);
    EXPECT_EQ(mmioDescend(h.get(), &ck, nullptr, 0), MMIOERR_CHUNKNOTFOUND);

    // A parent of 4 bytes holds no child header at all.
    MMCKINFO parent{FOURCC_RIFF, 4, 0, 0, 0};
    ASSERT_EQ(mmioSeek(h.get(), 0, SEEK_SET), 0);
    EXPECT_EQ(mmioDescend(h.get(), &ck, &parent, 0), MMIOERR_CHUNKNOTFOUND);
}

TEST(MmioIo, ReadsWritesAndSeeksAgreeWithAPlainCopy) {
    TempDir dir;
    const std::string path = dir.file("rw.bin");
    auto h = open_file(path, MMIO_CREATE | MMIO_READWRITE, 4096);
    ASSERT_TRUE(h);
    Bytes model(50000);
    for (std::size_t i = 0; i < model.size(); ++i) model[i] = static_cast<unsigned char>(i * 7);
    ASSERT_EQ(mmioWrite(h.get(), reinterpret_cast<const char*>(model.data()), 50000), 50000);

    // Overwrite inside, behind and past the current buffer, then read back through it.
    const char patch[] = "patched";
    for (LONG at : {10L, 4095L, 30001L, 49995L}) {
        ASSERT_EQ(mmioSeek(h.get(), at, SEEK_SET), at);
        ASSERT_EQ(mmioWrite(h.get(), patch, 7), 7);
        for (std::size_t i = 0; i < 7; ++i) {
            if (at + i >= model.size()) model.push_back(0);
            model[at + i] = static_cast<unsigned char>(patch[i]);
        }
    }
    EXPECT_EQ(mmioSeek(h.get(), 0, SEEK_END), 50002);
    EXPECT_EQ(mmioSeek(h.get(), -1, SEEK_SET), -1);

    ASSERT_EQ(mmioSeek(h.get(), 0, SEEK_SET), 0);
    Bytes back(model.size() + 10);
    std::size_t got = 0;
    for (LONG piece : {1L, 3L, 4093L, 5000L, 20000L, 40000L}) {
        LONG n = mmioRead(h.get(), reinterpret_cast<char*>(back.data() + got), piece);
        ASSERT_GE(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(got, model.size());
    back.resize(got);
    EXPECT_EQ(back, model);
    EXPECT_EQ(mmioRead(h.get(), reinterpret_cast<char*>(back.data()), 1), 0);
    ASSERT_EQ(mmioClose(h.release(), 0), 0u);
    EXPECT_EQ(read_bytes(path), model);
}

TEST(MmioIo, OpenFailuresAndBadArgumentsAreReported) {
    TempDir dir;
    MMIOINFO info{};
    EXPECT_EQ(mmioOpen(dir.file("absent.wav").c_str(), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_FILENOTFOUND);
    EXPECT_EQ(mmioOpen(dir.file("no/such/dir.wav").c_str(), &info, MMIO_CREATE | MMIO_WRITE),
              nullptr);
    EXPECT_NE(info.wErrorRet, 0u);
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_EQ(mmioOpen(dir.file("folder").c_str(), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_CANNOTOPEN);
    EXPECT_EQ(mmioOpen("", &info, MMIO_READ), nullptr);
    EXPECT_EQ(mmioOpen(nullptr, nullptr, MMIO_READ), nullptr);

    EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALHANDLE);
    char byte = 0;
    EXPECT_EQ(mmioRead(nullptr, &byte, 1), -1);
    EXPECT_EQ(mmioWrite(nullptr, &byte, 1), -1);
    EXPECT_EQ(mmioSeek(nullptr, 0, SEEK_SET), -1);
    MMCKINFO ck{};
    EXPECT_EQ(mmioDescend(nullptr, &ck, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioAscend(nullptr, &ck, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioCreateChunk(nullptr, &ck, 0), MMSYSERR_INVALHANDLE);

    write_bytes(dir.file("ro.bin"), {1, 2, 3});
    auto h = open_file(dir.file("ro.bin"), MMIO_READ);
    ASSERT_TRUE(h);
    EXPECT_EQ(mmioWrite(h.get(), &byte, 1), -1);
    EXPECT_EQ(mmioRead(h.get(), &byte, -1), -1);
    EXPECT_EQ(mmioSeek(h.get(), 0, 42), -1);
}

TEST(MmioIo, LostWritesSurfaceAtClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
    HMMIO h = mmioOpen("/dev/full", nullptr, MMIO_WRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    // Small writes stay in the buffer; the device's refusal shows when it is written out.
    EXPECT_EQ(mmioWrite(h, "abcd", 4), 4);
    EXPECT_EQ(mmioClose(h, 0), MMIOERR_CANNOTWRITE);
}

// What another reader of the file sees while a writer still holds it open.
TEST(MmioDurable, SettledChunksAreOnDiskWithTheSizesThatCountThem) {
    TempDir dir;
    const std::string path = dir.file("live.riff");
    auto h = open_file(path, MMIO_CREATE | MMIO_READWRITE, 4096);
    ASSERT_TRUE(h);
    MMCKINFO riff{}, data{};
    ASSERT_NO_FATAL_FAILURE(begin_wave(h.get(), riff, data));
    EXPECT_TRUE(read_bytes(path).empty()) << "small writes wait in the buffer";

    ASSERT_EQ(mmioWrite(h.get(), "abc", 3), 3);
    ASSERT_EQ(mmioSettleChunk(h.get(), &data), 0u);
    ASSERT_EQ(mmioSettleChunk(h.get(), &riff), 0u);
    Bytes expected;
    append_text(expected, "RIFF");
    append_u32(expected, 4 + 8 + 3);
    append_text(expected, "WAVE");
    append_text(expected, "data");
    append_u32(expected, 3);
    append_text(expected, "abc");
    EXPECT_EQ(read_bytes(path), expected);
    EXPECT_EQ(data.cksize, 3u);
    EXPECT_EQ(data.dwFlags, MMIO_DIRTY) << "the chunk stays open";

    // Writing goes on where it was; a flush alone moves the bytes but not the sizes.
    ASSERT_EQ(mmioWrite(h.get(), "de", 2), 2);
    ASSERT_EQ(mmioFlush(h.get(), MMIO_FLUSHSYNC), 0u);
    EXPECT_EQ(read_bytes(path).size(), expected.size() + 2);
    EXPECT_EQ(read_bytes(path)[16], 3);

    // A cut back to the settled end forgets the bytes after it; ascending pads as before.
    ASSERT_EQ(mmioTruncate(h.get(), static_cast<DWORD>(expected.size())), 0u);
    EXPECT_EQ(mmioSeek(h.get(), 0, SEEK_CUR), static_cast<LONG>(expected.size()));
    ASSERT_EQ(mmioAscend(h.get(), &data, 0), 0u);
    ASSERT_EQ(mmioAscend(h.get(), &riff, 0), 0u);
    ASSERT_EQ(mmioClose(h.release(), 0), 0u);
    expected.push_back(0);
    expected[4] = 4 + 8 + 4;
    EXPECT_EQ(read_bytes(path), expected);

    MMCKINFO closed{};
    EXPECT_EQ(mmioSettleChunk(nullptr, &closed), MMSYSERR_INVALHANDLE);
}

TEST(MmioDurable, ACutBeforeALostWriteForgivesIt) {
    TempDir dir;
    const std::string path = dir.file("cut.riff");
    auto h = open_file(path, MMIO_CREATE | MMIO_READWRITE, 4096);
    ASSERT_TRUE(h);
    ASSERT_EQ(mmioWrite(h.get(), "keep", 4), 4);
    ASSERT_EQ(mmioFlush(h.get(), 0), 0u);
    {
        // A write that the file refuses (here: larger than the process may make files).
        const quillon_test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        const Bytes big(8192, 7);
        EXPECT_EQ(mmioWrite(h.get(), reinterpret_cast<const char*>(big.data()), 8192), -1);
    }

    ASSERT_EQ(mmioTruncate(h.get(), 4), 0u);
    ASSERT_EQ(mmioClose(h.release(), 0), 0u) << "what was lost lay after the cut";
    EXPECT_EQ(read_bytes(path), (Bytes{'k', 'e', 'e', 'p'}));

    // A refusal shows at the flush, not only at close.
    HMMIO full = mmioOpen("/dev/full", nullptr, MMIO_WRITE | MMIO_ALLOCBUF);
    if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
    ASSERT_EQ(mmioWrite(full, "x", 1), 1);
    EXPECT_EQ(mmioFlush(full, 0), MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioClose(full, 0), MMIOERR_CANNOTWRITE);
}

TEST(MmioIo, PositionsReachTheEndOfA4GiBFile) {
    TempDir dir;
    const std::string path = dir.file("large.riff");
    { std::ofstream create(path); }
    std::filesystem::resize_file(path, 0xFFFFFFF0ull);  // sparse: no disk taken
    auto h = open_file(path, MMIO_READ);
    ASSERT_TRUE(h);
    const auto bits = [](DWORD position) { return static_cast<LONG>(position); };
    EXPECT_EQ(mmioSeek(h.get(), bits(0xC0000000u), SEEK_SET), bits(0xC0000000u));
    EXPECT_EQ(mmioSeek(h.get(), 16, SEEK_CUR), bits(0xC0000010u));
    EXPECT_EQ(mmioSeek(h.get(), 0, SEEK_END), bits(0xFFFFFFF0u));
    char byte = 1;
    EXPECT_EQ(mmioSeek(h.get(), bits(0xFFFFFFEFu), SEEK_SET), bits(0xFFFFFFEFu));
    EXPECT_EQ(mmioRead(h.get(), &byte, 1), 1);
    EXPECT_EQ(byte, 0);
    // 0xFFFFFFFF would read as the failure: no position reaches it.
    EXPECT_EQ(mmioSeek(h.get(), -1, SEEK_SET), -1);
    EXPECT_EQ(mmioSeek(h.get(), 15, SEEK_END), -1);
}

TEST(MmioStrings, FourccIsPaddedWithBlanksAndOptionallyUpperCase) {
    EXPECT_EQ(mmioStringToFOURCC("fmt", 0), mmioFOURCC('f', 'm', 't', ' '));
    EXPECT_EQ(mmioStringToFOURCC("inam", MMIO_TOUPPER), mmioFOURCC('I', 'N', 'A', 'M'));
    EXPECT_EQ(mmioStringToFOURCC("RIFFS", 0), FOURCC_RIFF);
    EXPECT_EQ(mmioStringToFOURCC("", 0), mmioFOURCC(' ', ' ', ' ', ' '));
}

}  // namespace

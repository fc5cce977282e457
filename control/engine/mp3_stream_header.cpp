#include "control/engine/mp3_stream_header.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "control/engine/little_endian.h"

namespace kelvane::engine {
namespace {

// Version field values (bits 11-12 of the header).
constexpr int kMpeg25 = 0b00;
constexpr int kMpegReserved = 0b01;
constexpr int kMpeg2 = 0b10;
constexpr int kMpeg1 = 0b11;
constexpr int kLayer3 = 0b01;
constexpr int kNone = -1;

// Writing: the version follows from the sample rate's range (exclusive bounds, Hz).
struct VersionRange {
    DWORD above;
    DWORD below;
    int version;
};
constexpr std::array<VersionRange, 3> kVersionRanges = {{
    {31000, 49000, kMpeg1},
    {15000, 25000, kMpeg2},
    {7000, 13000, kMpeg25},
}};

// Writing: bit rate index by byte rate, for MPEG-1 and for MPEG-2/2.5.
struct ByteRateIndex {
    DWORD bytes_per_sec;
    int mpeg1;
    int mpeg2;
};
constexpr std::array<ByteRateIndex, 10> kByteRateIndex = {{
    {1000, kNone, 0b0001},
    {2000, kNone, 0b0010},
    {3000, kNone, 0b0011},
    {4000, 0b0001, 0b0100},
    {6000, 0b0011, 0b0110},
    {7000, 0b0100, 0b0111},
    {8000, 0b0101, 0b1000},
    {12000, 0b0111, 0b1010},
    {14000, 0b1000, 0b1011},
    {16000, 0b1001, 0b1100},
}};

// Writing: sample rate index by sample rate.
struct SampleRateIndex {
    DWORD samples_per_sec;
    int index;
};
constexpr std::array<SampleRateIndex, 9> kSampleRateIndex = {{
    {44100, 0b00},
    {22050, 0b00},
    {11025, 0b00},
    {48000, 0b01},
    {24000, 0b01},
    {12000, 0b01},
    {32000, 0b10},
    {16000, 0b10},
    {8000, 0b10},
}};

// Reading: sample rate by version field and index; 0 is refused.
constexpr std::array<std::array<DWORD, 4>, 4> kSampleRates = {{
    {11025, 12000, 8000, 0},   // MPEG-2.5
    {0, 0, 0, 0},              // reserved
    {22050, 24000, 16000, 0},  // MPEG-2
    {44100, 48000, 32000, 0},  // MPEG-1
}};

// Reading: kbit/s by index, for MPEG-1 and for MPEG-2/2.5; 0 (free, bad) has no block size.
constexpr std::array<std::array<int, 16>, 2> kBitRates = {{
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
}};

// nBlockSize by key (the stereo sample rate, see mp3_block_size) and kbit/s.
struct BlockSize {
    DWORD key;
    int kbit_per_sec;
    WORD block_size;
};
constexpr BlockSize kBlockSizes[] = {
    {16000, 24, 216},  {16000, 48, 216},  {16000, 32, 288},  {16000, 64, 288},  {16000, 56, 252},
    {22050, 24, 156},  {22050, 48, 156},  {22050, 32, 208},  {22050, 64, 208},  {22050, 56, 182},
    {24000, 24, 144},  {24000, 48, 144},  {24000, 32, 192},  {24000, 64, 192},  {24000, 56, 168},
    {32000, 32, 503},  {32000, 40, 503},  {32000, 48, 503},  {32000, 56, 503},  {32000, 64, 503},
    {32000, 80, 503},  {32000, 96, 503},  {32000, 112, 503}, {32000, 128, 576}, {32000, 160, 576},
    {32000, 192, 576}, {32000, 224, 576}, {32000, 256, 576}, {32000, 320, 576}, {44100, 32, 313},
    {44100, 40, 313},  {44100, 48, 313},  {44100, 56, 313},  {44100, 64, 313},  {44100, 80, 313},
    {44100, 96, 313},  {44100, 112, 365}, {44100, 128, 417}, {44100, 160, 417}, {44100, 192, 417},
    {44100, 224, 417}, {44100, 256, 417}, {44100, 320, 417}, {48000, 32, 288},  {48000, 40, 288},
    {48000, 48, 288},  {48000, 56, 288},  {48000, 64, 288},  {48000, 80, 288},  {48000, 96, 288},
    {48000, 112, 336}, {48000, 128, 384}, {48000, 160, 384}, {48000, 192, 384}, {48000, 224, 384},
    {48000, 256, 384}, {48000, 320, 384},
};

constexpr int kChannelModeStereo = 0b00;
constexpr int kChannelModeMono = 0b11;

template <typename Table, typename Match>
auto find_row(const Table& table, Match match) -> decltype(&*std::begin(table)) {
    auto row = std::find_if(std::begin(table), std::end(table), match);
    return row == std::end(table) ? nullptr : &*row;
}

std::int64_t file_length(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

int mp3_block_size(int channels, DWORD samples_per_sec, int kbit_per_sec, WORD& block_size) {
    if (channels != 1 && channels != 2) return -1;
    DWORD key = samples_per_sec / static_cast<DWORD>(3 - channels);
    if (key < 16000) key *= 2;
    const auto* row = find_row(kBlockSizes, [&](const BlockSize& r) {
        return r.key == key && r.kbit_per_sec == kbit_per_sec;
    });
    if (row == nullptr) return -1;
    block_size = row->block_size;
    return 0;
}

int encode_mp3_stream_header(const WAVEFORMATEX& format, Mp3Header& header) {
    if (format.wFormatTag != WAVE_FORMAT_MPEGLAYER3) return -2;
    const DWORD rate = format.nSamplesPerSec;
    const auto* version = find_row(
        kVersionRanges, [&](const VersionRange& r) { return rate > r.above && rate < r.below; });
    const auto* byte_rate = find_row(kByteRateIndex, [&](const ByteRateIndex& r) {
        return r.bytes_per_sec == format.nAvgBytesPerSec;
    });
    const auto* rate_index = find_row(
        kSampleRateIndex, [&](const SampleRateIndex& r) { return r.samples_per_sec == rate; });
    if (version == nullptr || byte_rate == nullptr || rate_index == nullptr) return -1;
    const int bit_rate_index = version->version == kMpeg1 ? byte_rate->mpeg1 : byte_rate->mpeg2;
    if (bit_rate_index == kNone) return -1;
    int channel_mode = 0;
    if (format.nChannels == 2)
        channel_mode = kChannelModeStereo;
    else if (format.nChannels == 1)
        channel_mode = kChannelModeMono;
    else
        return -1;

    // sync | version | layer | no CRC; bit rate | sample rate | no padding | private 0;
    // channel mode | mode extension 0 | copyright 0 | original | emphasis none.
    header[0] = 0xFF;
    header[1] = static_cast<BYTE>(0b111 << 5 | version->version << 3 | kLayer3 << 1 | 1);
    header[2] = static_cast<BYTE>(bit_rate_index << 4 | rate_index->index << 2);
    header[3] = static_cast<BYTE>(channel_mode << 6 | 0b000100);
    return 0;
}

int decode_mp3_stream_header(const Mp3Header& header, FileFormat& format) {
    const int version = (header[1] >> 3) & 0b11;
    const int layer = (header[1] >> 1) & 0b11;
    const int bit_rate_index = header[2] >> 4;
    const int rate_index = (header[2] >> 2) & 0b11;
    const int channel_mode = header[3] >> 6;
    if (version == kMpegReserved || layer != kLayer3) return -2;
    const DWORD rate = kSampleRates[version][rate_index];
    if (rate == 0) return -2;
    const int kbit_per_sec = kBitRates[version == kMpeg1 ? 0 : 1][bit_rate_index];
    const int channels = channel_mode == kChannelModeMono ? 1 : 2;
    WORD block_size = 0;
    if (mp3_block_size(channels, rate, kbit_per_sec, block_size) != 0) return -2;

    format = mp3_file_format(channels, rate, kbit_per_sec, block_size);
    return 0;
}

FileFormat mp3_file_format(int channels, DWORD samples_per_sec, int kbit_per_sec, WORD block_size) {
    FileFormat derived;
    derived.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    derived.wfx.nChannels = static_cast<WORD>(channels);
    derived.wfx.nSamplesPerSec = samples_per_sec;
    // 80 kbit/s is declared as 10050 bytes per second rather than 10000.
    derived.wfx.nAvgBytesPerSec =
        kbit_per_sec == 80 ? 10050 : static_cast<DWORD>(kbit_per_sec) * 125;
    derived.wfx.nBlockAlign = 1;
    derived.wfx.wBitsPerSample = 0;
    derived.wfx.cbSize = sizeof(Mp3FormatExtra);
    BYTE* extra = derived.extra.data();
    put_u16(extra + 0, 1);                // wID
    put_u32(extra + 2, 2);                // fdwFlags
    put_u16(extra + 6, block_size);       // nBlockSize
    put_u16(extra + 8, 1);                // nFramesPerBlock
    put_u16(extra + 10, kMp3CodecDelay);  // nCodecDelay
    return derived;
}

int write_mp3_stream_header(std::string_view path, const FileFormat& format, UniqueHmmio& file) {
    // The header is built before the file is touched, so a refused format leaves any existing
    // file of that name intact.
    Mp3Header header{};
    if (int result = encode_mp3_stream_header(format.wfx, header); result != 0) return result;
    if (path.empty() || path.size() > kMaxPathChars || path.find('\0') != path.npos) return -1;
    const std::string name(path);
    UniqueHmmio created(
        mmioOpen(name.c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF));
    if (!created) return -1;
    if (mmioWrite(created.get(), reinterpret_cast<const char*>(header.data()), 4) != 4) return -1;
    file = std::move(created);
    return 0;
}

int read_mp3_stream_header(std::string_view path, FileFormat& format, DWORD& data_size) {
    if (path.empty() || path.size() > kMaxPathChars || path.find('\0') != path.npos) return -2;
    const std::string name(path);
    UniqueHmmio file(mmioOpen(name.c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF));
    if (!file) return -2;
    Mp3Header header{};
    if (mmioRead(file.get(), reinterpret_cast<char*>(header.data()), 4) != 4) return -2;
    const std::int64_t length = file_length(name);
    if (length < 4) return -2;
    FileFormat derived;
    if (decode_mp3_stream_header(header, derived) != 0) return -2;
    format = derived;
    data_size = static_cast<DWORD>(std::min<std::int64_t>(length - 4, 0xFFFFFFFF));
    return 0;
}

}  // namespace kelvane::engine

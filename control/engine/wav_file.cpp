#include "control/engine/wav_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "control/engine/little_endian.h"
#include "platform/base/out_of_memory.h"

namespace kelvane::engine {
namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kFact = mmioFOURCC('f', 'a', 'c', 't');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC kInfo = mmioFOURCC('I', 'N', 'F', 'O');
constexpr FOURCC kDisp = mmioFOURCC('D', 'I', 'S', 'P');
constexpr DWORD kClipboardText = 1;  // DISP type of a plain text
// A size that a writer which could not go back to settle it leaves in place.
constexpr DWORD kUnknownSize = 0xFFFFFFFF;

// Beyond this a LIST body is not read: INFO texts are short and a huge one is no INFO.
constexpr DWORD kMaxListBody = 16 * 1024 * 1024;

// Paths go to the system as C strings: too long or with a NUL inside they name another file.
std::optional<std::string> usable_path(std::string_view path) {
    if (path.empty() || path.size() > kMaxPathChars || path.find('\0') != path.npos)
        return std::nullopt;
    return std::string(path);
}

std::size_t text_length(const std::string& text) {
    return std::strlen(text.c_str());
}

bool write_all(HMMIO file, const void* bytes, std::size_t count) {
    return mmioWrite(file, static_cast<const char*>(bytes), static_cast<LONG>(count)) ==
           static_cast<LONG>(count);
}

bool read_all(HMMIO file, void* bytes, std::size_t count) {
    return mmioRead(file, static_cast<char*>(bytes), static_cast<LONG>(count)) ==
           static_cast<LONG>(count);
}

bool uses_extra_bytes(const WAVEFORMATEX& wfx) {
    return wfx.cbSize != 0 && wfx.wFormatTag != WAVE_FORMAT_PCM;
}

std::array<BYTE, sizeof(WAVEFORMATEX)> serialize(const WAVEFORMATEX& wfx) {
    std::array<BYTE, sizeof(WAVEFORMATEX)> out{};
    put_u16(&out[0], wfx.wFormatTag);
    put_u16(&out[2], wfx.nChannels);
    put_u32(&out[4], wfx.nSamplesPerSec);
    put_u32(&out[8], wfx.nAvgBytesPerSec);
    put_u16(&out[12], wfx.nBlockAlign);
    put_u16(&out[14], wfx.wBitsPerSample);
    put_u16(&out[16], wfx.cbSize);
    return out;
}

WAVEFORMATEX deserialize(const std::array<BYTE, sizeof(WAVEFORMATEX)>& in) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = get_u16(&in[0]);
    wfx.nChannels = get_u16(&in[2]);
    wfx.nSamplesPerSec = get_u32(&in[4]);
    wfx.nAvgBytesPerSec = get_u32(&in[8]);
    wfx.nBlockAlign = get_u16(&in[12]);
    wfx.wBitsPerSample = get_u16(&in[14]);
    wfx.cbSize = get_u16(&in[16]);
    return wfx;
}

// The fmt chunk: the 18-byte header, then the extra bytes of formats that have them. A PCM
// header goes out with cbSize 0, because PCM has no extra bytes to follow it.
int write_format_chunk(HMMIO file, const FileFormat& format) {
    const bool extra = uses_extra_bytes(format.wfx);
    WAVEFORMATEX header = format.wfx;
    if (header.wFormatTag == WAVE_FORMAT_PCM) header.cbSize = 0;
    const auto bytes = serialize(header);
    MMCKINFO ck{kFmt, static_cast<DWORD>(bytes.size() + (extra ? header.cbSize : 0)), 0, 0, 0};
    if (mmioCreateChunk(file, &ck, 0) != 0 || !write_all(file, bytes.data(), bytes.size()))
        return -1;
    if (extra && !write_all(file, format.extra.data(), header.cbSize)) return -1;
    return mmioAscend(file, &ck, 0) == 0 ? 0 : -1;
}

// What one walk over a file found; committed to the caller only when the whole read succeeds.
struct ReadResult {
    FileFormat format;
    DWORD data_offset = 0;
    DWORD data_size = 0;
    FoundInfoTexts slots;
    std::optional<std::string> display_name;
};

// Reads "fmt ". Short chunks are taken as far as they go rather than borrowing bytes from the
// next chunk; 16 bytes (no cbSize) is the smallest header with a sample size.
bool read_format_chunk(HMMIO file, const MMCKINFO& ck, FileFormat& format) {
    if (ck.cksize < 16) return false;
    std::array<BYTE, sizeof(WAVEFORMATEX)> bytes{};
    const std::size_t head = std::min<std::size_t>(ck.cksize, bytes.size());
    if (!read_all(file, bytes.data(), head)) return false;
    format = FileFormat{};
    format.wfx = deserialize(bytes);
    const WORD tag = format.wfx.wFormatTag;
    if (tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_ALAW || tag == WAVE_FORMAT_MULAW) {
        format.wfx.cbSize = 0;
        return true;
    }
    const std::size_t extra = format.wfx.cbSize;
    if (extra == 0) return true;
    // Extra bytes that do not fit the buffer, or that the chunk does not hold, are refused.
    if (extra > format.extra.size() || sizeof(WAVEFORMATEX) + extra > ck.cksize) return false;
    return read_all(file, format.extra.data(), extra);
}

bool read_list_chunk(HMMIO file, const MMCKINFO& ck, ReadResult& result) {
    if (ck.cksize < 4 || ck.cksize - 4 > kMaxListBody) return true;  // nothing to parse
    std::vector<BYTE> body;
    const bool allocated = or_out_of_memory(false, [&] {
        body.resize(ck.cksize - 4);
        return true;
    });
    if (!allocated) return false;
    if (!read_all(file, body.data(), body.size())) return false;
    FoundInfoTexts found;
    parse_info_chunks(body, found);
    for (std::size_t i = 0; i < kInfoSlotCount; ++i)
        if (found[i]) result.slots[i] = std::move(found[i]);
    return true;
}

bool read_disp_chunk(HMMIO file, const MMCKINFO& ck, ReadResult& result) {
    std::array<char, 4 + kMaxDisplayNameBytes> body{};
    const std::size_t count = std::min<std::size_t>(ck.cksize, body.size());
    if (!read_all(file, body.data(), count)) return false;
    if (count <= 4) {
        result.display_name = std::string();
        return true;
    }
    const char* text = body.data() + 4;
    result.display_name = std::string(text, strnlen(text, count - 4));
    return true;
}

// The chunk at the start of the file, when it is a RIFF chunk of form "WAVE". Only the start is
// looked at: a file that begins otherwise is no WAV file, however long it is.
bool read_riff_wave(HMMIO file, MMCKINFO& riff) {
    return mmioDescend(file, &riff, nullptr, 0) == 0 && riff.ckid == FOURCC_RIFF &&
           riff.fccType == kWave;
}

// Chunk ids are four printable characters; anything else is where the chunks end.
bool is_chunk_id(FOURCC id) {
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// Whether the bytes at `offset` are a chunk header that fits the file: they are not when a
// writer never came back to settle the size of the chunk before them. Leaves the position there.
bool chunk_header_follows(HMMIO file, DWORD offset, std::int64_t length) {
    std::array<BYTE, 8> bytes{};
    if (std::int64_t{offset} + 8 > length || !read_all(file, bytes.data(), bytes.size()))
        return false;
    return is_chunk_id(get_u32(bytes.data())) &&
           std::int64_t{offset} + 8 + get_u32(bytes.data() + 4) <= length;
}

std::int64_t file_length(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(size);
}

}  // namespace

WavWriter& WavWriter::operator=(WavWriter&& other) noexcept {
    if (this != &other) {
        if (is_open()) (void)finalize(InfoTexts{});
        m_file = std::move(other.m_file);
        m_riff = other.m_riff;
        m_data = other.m_data;
        m_trailer = other.m_trailer;
        // The appender holds the chunks by address: start it again on ours.
        if (m_file && !m_append.start(m_file.get(), other.m_append.committed(), {&m_data, &m_riff}))
            m_file.reset();
    }
    return *this;
}

WavWriter::~WavWriter() {
    if (is_open()) (void)finalize(InfoTexts{});
}

int WavWriter::create(std::string_view path, const FileFormat& format,
                      std::uint64_t trailer_bytes) {
    if (is_open()) (void)finalize(InfoTexts{});
    const auto name = usable_path(path);
    if (!name || format.wfx.cbSize > kMaxExtraFormatBytes) return -1;

    UniqueHmmio file(
        mmioOpen(name->c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF));
    if (!file) return -1;
    MMCKINFO riff{};
    riff.fccType = kWave;
    if (mmioCreateChunk(file.get(), &riff, MMIO_CREATERIFF) != 0) return -1;
    if (write_format_chunk(file.get(), format) != 0) return -1;

    MMCKINFO fact{kFact, 4, 0, 0, 0};
    const std::array<BYTE, 4> zero{};
    if (mmioCreateChunk(file.get(), &fact, 0) != 0 || !write_all(file.get(), zero.data(), 4) ||
        mmioAscend(file.get(), &fact, 0) != 0)
        return -1;

    MMCKINFO data{kData, 0, 0, 0, 0};
    if (mmioCreateChunk(file.get(), &data, 0) != 0) return -1;
    m_riff = riff;
    m_data = data;
    // The header goes out now, so that even a recording that never gets a buffer is a file.
    if (!m_append.start(file.get(), data.dwDataOffset, {&m_data, &m_riff})) return -1;
    m_file = std::move(file);
    m_trailer = trailer_bytes;
    return 0;
}

std::uint64_t WavWriter::room() const {
    if (!is_open()) return 0;
    const std::uint64_t used = m_append.committed() + m_trailer;
    return used < kMaxWavFileBytes ? kMaxWavFileBytes - used : 0;
}

LONG WavWriter::write(std::span<const BYTE> audio) {
    if (!is_open() || audio.size() > room() || !m_append.append(audio)) return -1;
    return static_cast<LONG>(audio.size());
}

int WavWriter::finalize(const InfoTexts& texts) {
    if (!is_open()) return -1;
    HMMIO file = m_file.get();
    bool ok = mmioAscend(file, &m_data, 0) == 0;
    if (ok) {
        ok = write_info_chunks(file, texts);
        ok = mmioAscend(file, &m_riff, 0) == 0 && ok;
    }
    if (mmioClose(m_file.release(), 0) != 0) ok = false;
    return ok ? 0 : -1;
}

std::uint64_t info_chunks_size(const InfoTexts& texts) {
    auto padded = [](std::uint64_t size) { return size + (size & 1); };
    std::uint64_t list = 0;
    for (const std::string& text : texts.slots)
        if (const std::size_t length = text_length(text); length > 0)
            list += 8 + padded(length + 1);
    std::uint64_t total = 1;  // the data chunk's pad byte
    if (list > 0) total += 12 + list;
    if (const std::size_t length = text_length(texts.display_name); length > 0)
        total += 8 + padded(4 + std::min(length + 1, kMaxDisplayNameBytes));
    return total;
}

bool write_info_chunks(HMMIO file, const InfoTexts& texts) {
    bool ok = true;
    const bool any = std::any_of(texts.slots.begin(), texts.slots.end(),
                                 [](const std::string& text) { return text_length(text) > 0; });
    if (any) {
        MMCKINFO list{};
        list.fccType = kInfo;
        if (mmioCreateChunk(file, &list, MMIO_CREATELIST) != 0) return false;
        for (std::size_t i = 0; i < kInfoSlotCount; ++i) {
            const std::string& text = texts.slots[i];
            const std::size_t length = text_length(text);
            if (length == 0) continue;
            MMCKINFO ck{mmioStringToFOURCC(kInfoSlots[i].id, MMIO_TOUPPER),
                        static_cast<DWORD>(length + 1), 0, 0, 0};
            if (mmioCreateChunk(file, &ck, 0) != 0) {
                ok = false;
                continue;
            }
            ok = write_all(file, text.c_str(), length + 1) && ok;
            ok = mmioAscend(file, &ck, 0) == 0 && ok;
        }
        if (mmioAscend(file, &list, 0) != 0) return false;
    }

    const std::size_t length = text_length(texts.display_name);
    if (length == 0) return ok;
    // A name of kMaxDisplayNameBytes or more is cut and then carries no NUL.
    const std::size_t bytes = std::min(length + 1, kMaxDisplayNameBytes);
    MMCKINFO disp{kDisp, static_cast<DWORD>(4 + bytes), 0, 0, 0};
    if (mmioCreateChunk(file, &disp, 0) != 0) return false;
    std::array<BYTE, 4> type{};
    put_u32(type.data(), kClipboardText);
    ok = write_all(file, type.data(), type.size()) &&
         write_all(file, texts.display_name.c_str(), bytes) && ok;
    return mmioAscend(file, &disp, 0) == 0 && ok;
}

int test_for_wav(std::string_view path) {
    const auto name = usable_path(path);
    if (!name) return -2;
    UniqueHmmio file(mmioOpen(name->c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF));
    if (!file) return -2;
    MMCKINFO riff{};
    const bool found = read_riff_wave(file.get(), riff);
    if (mmioClose(file.release(), 0) != 0) return -2;
    return found ? 1 : 0;
}

int read_wav_header(std::string_view path, WavHeader& header, InfoTexts& texts) {
    const auto name = usable_path(path);
    if (!name) return -1;
    UniqueHmmio file(mmioOpen(name->c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF));
    if (!file) return -1;
    const std::int64_t length = file_length(*name);

    MMCKINFO riff{};
    if (!read_riff_wave(file.get(), riff)) return -1;
    // Writers that cannot seek back (a pipe) or were cut off leave 0 or 0xFFFFFFFF in the RIFF
    // size; others count less than their chunks hold. The chunks then run to the end of the file.
    const std::int64_t declared_end = static_cast<std::int64_t>(riff.dwDataOffset) + riff.cksize;
    bool size_known = riff.cksize != 0 && riff.cksize != kUnknownSize;
    MMCKINFO whole_file = riff;
    whole_file.cksize = static_cast<DWORD>(
        std::clamp<std::int64_t>(length - riff.dwDataOffset, 0, std::numeric_limits<DWORD>::max()));

    ReadResult result;
    bool ok = true;
    bool have_data = false;
    MMCKINFO ck{};
    while (ok && mmioDescend(file.get(), &ck, &whole_file, 0) == 0) {
        if (!is_chunk_id(ck.ckid)) break;  // not a chunk: junk after the last one
        const std::int64_t start = static_cast<std::int64_t>(ck.dwDataOffset) - 8;
        const std::int64_t end = static_cast<std::int64_t>(ck.dwDataOffset) + ck.cksize;
        if (size_known && start >= declared_end) {
            // The RIFF ends here. Trust it unless it ends before the chunks that make a WAV.
            if (have_data && result.format.wfx.wFormatTag != 0) break;
            size_known = false;
        }
        if (size_known && end > declared_end && end <= length) size_known = false;
        // A chunk cut short by the end of the file is where the walk ends: its bytes are not
        // there to read. A cut data chunk still counts, with the audio bytes that exist.
        const bool whole = end <= length;
        if (ck.ckid == kData) {
            have_data = true;
            result.data_offset = ck.dwDataOffset;
            const bool to_the_end =
                !whole || ck.cksize == kUnknownSize ||
                (ck.cksize == 0 && (riff.cksize == 0 || riff.cksize == kUnknownSize) &&
                 !chunk_header_follows(file.get(), ck.dwDataOffset, length));
            result.data_size =
                to_the_end ? static_cast<DWORD>(std::clamp<std::int64_t>(
                                 length - ck.dwDataOffset, 0, std::numeric_limits<DWORD>::max()))
                           : ck.cksize;
            if (to_the_end) break;  // nothing follows audio that runs to the end
        } else if (!whole) {
            if (ck.ckid == kFmt) ok = false;
            break;
        } else if (ck.ckid == kFmt) {
            ok = read_format_chunk(file.get(), ck, result.format);
        } else if (ck.ckid == FOURCC_LIST) {
            ok = read_list_chunk(file.get(), ck, result);
        } else if (ck.ckid == kDisp) {
            ok = read_disp_chunk(file.get(), ck, result);
        }
        if (mmioAscend(file.get(), &ck, 0) != 0) break;
    }
    if (mmioClose(file.release(), 0) != 0) ok = false;
    if (!ok || result.format.wfx.wFormatTag == 0) return -1;

    header.format = result.format;
    header.data_offset = result.data_offset;
    header.data_size = result.data_size;
    for (std::size_t i = 0; i < kInfoSlotCount; ++i)
        if (result.slots[i]) texts.slots[i] = *result.slots[i];
    if (result.display_name) texts.display_name = *result.display_name;
    return 0;
}

}  // namespace kelvane::engine

#include "platform/riff/riff_repair.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "platform/riff/buffered_file.h"
#include "platform/riff/mmio.h"

namespace quillon::riff {
namespace {

constexpr DWORD kUnknownSize = 0xFFFFFFFF;
constexpr std::uint64_t kMaxRiffFile = std::uint64_t{0xFFFFFFFF} + 8;

DWORD get_u32(const char* in) {
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<DWORD>(static_cast<BYTE>(in[i])) << (8 * i);
    return value;
}

// Chunk ids are four printable characters; anything else is not a chunk header.
bool is_chunk_id(FOURCC id) {
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

struct Header {
    FOURCC id = 0;
    DWORD size = 0;
};

bool read_header(BufferedFile& file, std::uint64_t at, Header& header) {
    std::array<char, 8> bytes{};
    if (!file.seek(static_cast<std::int64_t>(at)) || file.read(bytes) != 8) return false;
    header = {get_u32(bytes.data()), get_u32(bytes.data() + 4)};
    return true;
}

MMRESULT write_size(BufferedFile& file, std::uint64_t size_offset, DWORD size) {
    std::array<char, 4> bytes{};
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    return file.write_at(static_cast<std::int64_t>(size_offset), bytes) ? 0 : MMIOERR_CANNOTWRITE;
}

}  // namespace

bool RiffRepair::changed() const {
    return riff_found != riff_settled ||
           std::any_of(chunks.begin(), chunks.end(),
                       [](const RiffChunkSizes& c) { return c.found != c.settled; });
}

MMRESULT repair_riff_sizes(const char* path, bool write, RiffRepair& report) {
    report = RiffRepair{};
    std::unique_ptr<BufferedFile> file;
    const auto access = write ? BufferedFile::Access::read_write : BufferedFile::Access::read;
    if (const MMRESULT opened = BufferedFile::open(path, access, false, 64 * 1024, file))
        return opened;
    const std::int64_t size = file->size();
    if (size < 0) return MMIOERR_CANNOTREAD;
    const auto length = static_cast<std::uint64_t>(size);
    report.file_length = length;

    std::array<char, 12> head{};
    if (file->read(head) != 12 || get_u32(head.data()) != FOURCC_RIFF) return MMIOERR_INVALIDFILE;
    if (length > kMaxRiffFile) return MMIOERR_CANNOTEXPAND;
    report.riff_found = get_u32(head.data() + 4);
    report.form = get_u32(head.data() + 8);

    // A RIFF size that is neither of the placeholders and holds its chunks bounds the walk;
    // otherwise the chunks run to the end of the file.
    const std::uint64_t declared_end = std::uint64_t{report.riff_found} + 8;
    const bool placeholder_riff = report.riff_found == 0 || report.riff_found == kUnknownSize;
    bool bounded = !placeholder_riff && declared_end > 12 && declared_end <= length;
    std::uint64_t at = 12;
    std::uint64_t end = 12;  // of the last chunk, with its pad byte where the file has it
    Header header;
    while (at + 8 <= (bounded ? declared_end : length) && read_header(*file, at, header) &&
           is_chunk_id(header.id)) {
        RiffChunkSizes chunk{header.id, at + 8, header.size, header.size};
        const std::uint64_t chunk_end = chunk.data_offset + header.size;
        // A placeholder size belongs to the chunk being written when the writer stopped: it
        // holds the rest of the file. In a RIFF of placeholder size so does a data chunk of size
        // 0 that no chunk header follows (audio is what a recorder writes last); any other
        // chunk of size 0 is empty, as readers take it.
        Header next;
        const bool placeholder =
            header.size == kUnknownSize ||
            (header.size == 0 && placeholder_riff && header.id == mmioFOURCC('d', 'a', 't', 'a') &&
             !(chunk_end + 8 <= length && read_header(*file, chunk_end, next) &&
               is_chunk_id(next.id) && chunk_end + 8 + next.size <= length));
        if (placeholder || chunk_end > length) {
            chunk.settled = static_cast<DWORD>(
                std::min<std::uint64_t>(length - chunk.data_offset, kUnknownSize));
            report.chunks.push_back(chunk);
            end = chunk.data_offset + chunk.settled;
            break;
        }
        // A chunk reaching past the RIFF size: the RIFF size is the one that is wrong.
        if (bounded && chunk_end > declared_end) bounded = false;
        report.chunks.push_back(chunk);
        end = std::min(chunk_end + (header.size & 1), length);
        at = chunk_end + (header.size & 1);
    }
    report.riff_settled = static_cast<DWORD>(end - 8);
    if (bounded) report.riff_settled = report.riff_found;  // it already agrees with the chunks

    if (!write || !report.changed()) return 0;
    if (report.riff_settled != report.riff_found)
        if (const MMRESULT r = write_size(*file, 4, report.riff_settled)) return r;
    for (const RiffChunkSizes& chunk : report.chunks)
        if (chunk.found != chunk.settled)
            if (const MMRESULT r = write_size(*file, chunk.data_offset - 4, chunk.settled))
                return r;
    return file->close();
}

}  // namespace quillon::riff

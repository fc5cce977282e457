#include "platform/riff/mmio.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <limits>

#include "platform/riff/buffered_file.h"

using quillon::riff::BufferedFile;

struct MmioFile {
    std::unique_ptr<BufferedFile> file;
};

namespace {

constexpr std::size_t kMinBuffer = 4 * 1024;
constexpr std::size_t kMaxBuffer = 16 * 1024 * 1024;
constexpr std::int64_t kMaxDword = std::numeric_limits<DWORD>::max();

void put_u32(char* out, DWORD value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

DWORD get_u32(const char* in) {
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<DWORD>(static_cast<BYTE>(in[i])) << (8 * i);
    return value;
}

bool has_type(FOURCC id) {
    return id == FOURCC_RIFF || id == FOURCC_LIST;
}

bool read_exact(BufferedFile& file, char* bytes, std::size_t count) {
    return file.read({bytes, count}) == static_cast<std::int64_t>(count);
}

bool write_exact(BufferedFile& file, const char* bytes, std::size_t count) {
    return file.write({bytes, count}) == static_cast<std::int64_t>(count);
}

}  // namespace

HMMIO mmioOpen(LPCSTR pszFileName, LPMMIOINFO pmmioinfo, DWORD fdwOpen) {
    BufferedFile::Access access = BufferedFile::Access::read;
    if (fdwOpen & MMIO_READWRITE)
        access = BufferedFile::Access::read_write;
    else if (fdwOpen & MMIO_WRITE)
        access = BufferedFile::Access::write;
    std::size_t buffer = kMmioDefaultBuffer;
    if ((fdwOpen & MMIO_ALLOCBUF) && pmmioinfo != nullptr && pmmioinfo->cchBuffer > 0)
        buffer = std::clamp<std::size_t>(static_cast<std::size_t>(pmmioinfo->cchBuffer), kMinBuffer,
                                         kMaxBuffer);

    std::unique_ptr<BufferedFile> file;
    MMRESULT result =
        BufferedFile::open(pszFileName, access, (fdwOpen & MMIO_CREATE) != 0, buffer, file);
    if (pmmioinfo != nullptr) pmmioinfo->wErrorRet = result;
    if (result != 0) return nullptr;
    auto handle = std::make_unique<MmioFile>();
    handle->file = std::move(file);
    return handle.release();  // mmioClose takes it back
}

MMRESULT mmioClose(HMMIO hmmio, UINT /*fuClose*/) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    std::unique_ptr<MmioFile> handle(hmmio);
    return handle->file->close();
}

LONG mmioRead(HMMIO hmmio, char* pch, LONG cch) {
    if (hmmio == nullptr || cch < 0 || (pch == nullptr && cch > 0)) return -1;
    return static_cast<LONG>(hmmio->file->read({pch, static_cast<std::size_t>(cch)}));
}

LONG mmioWrite(HMMIO hmmio, const char* pch, LONG cch) {
    if (hmmio == nullptr || cch < 0 || (pch == nullptr && cch > 0)) return -1;
    return static_cast<LONG>(hmmio->file->write({pch, static_cast<std::size_t>(cch)}));
}

LONG mmioSeek(HMMIO hmmio, LONG lOffset, int iOrigin) {
    if (hmmio == nullptr) return -1;
    BufferedFile& file = *hmmio->file;
    std::int64_t base = 0;
    std::int64_t offset = lOffset;
    switch (iOrigin) {
        case SEEK_SET:
            // An absolute position is never negative: its bits are a 32-bit unsigned one.
            offset = static_cast<DWORD>(lOffset);
            break;
        case SEEK_CUR:
            base = file.position();
            break;
        case SEEK_END:
            base = file.size();
            if (base < 0) return -1;
            break;
        default:
            return -1;
    }
    const std::int64_t target = base + offset;
    if (target < 0 || target >= kMaxDword || !file.seek(target)) return -1;
    return static_cast<LONG>(static_cast<DWORD>(target));
}

MMRESULT mmioDescend(HMMIO hmmio, LPMMCKINFO pmmcki, LPCMMCKINFO pmmckiParent, UINT fuDescend) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmmcki == nullptr) return MMSYSERR_INVALPARAM;
    BufferedFile& file = *hmmio->file;
    const std::int64_t parent_end =
        pmmckiParent != nullptr
            ? static_cast<std::int64_t>(pmmckiParent->dwDataOffset) + pmmckiParent->cksize
            : std::numeric_limits<std::int64_t>::max();
    const FOURCC wanted_id = pmmcki->ckid;
    const FOURCC wanted_type = pmmcki->fccType;

    // Every step moves at least one header forward, so the search ends at the end of the file
    // or of the parent whatever sizes the chunks claim.
    for (;;) {
        const std::int64_t start = file.position();
        if (start + 8 > parent_end) return MMIOERR_CHUNKNOTFOUND;
        std::array<char, 12> header{};
        if (!read_exact(file, header.data(), 8)) return MMIOERR_CHUNKNOTFOUND;
        const FOURCC id = get_u32(header.data());
        const DWORD size = get_u32(header.data() + 4);
        FOURCC type = 0;
        if (has_type(id)) {
            if (!read_exact(file, header.data() + 8, 4)) return MMIOERR_CHUNKNOTFOUND;
            type = get_u32(header.data() + 8);
        }
        const std::int64_t data_offset = start + 8;
        if (data_offset > kMaxDword) return MMIOERR_CHUNKNOTFOUND;

        bool found = true;
        if (fuDescend & MMIO_FINDRIFF)
            found = id == FOURCC_RIFF && type == wanted_type;
        else if (fuDescend & MMIO_FINDLIST)
            found = id == FOURCC_LIST && type == wanted_type;
        else if (fuDescend & MMIO_FINDCHUNK)
            found = id == wanted_id;
        if (found) {
            pmmcki->ckid = id;
            pmmcki->cksize = size;
            pmmcki->fccType = type;
            pmmcki->dwDataOffset = static_cast<DWORD>(data_offset);
            pmmcki->dwFlags = 0;
            return 0;
        }
        if (!file.seek(data_offset + size + (size & 1))) return MMIOERR_CANNOTSEEK;
    }
}

MMRESULT mmioAscend(HMMIO hmmio, LPMMCKINFO pmmcki, UINT /*fuAscend*/) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmmcki == nullptr) return MMSYSERR_INVALPARAM;
    BufferedFile& file = *hmmio->file;
    const std::int64_t data_offset = pmmcki->dwDataOffset;
    if (pmmcki->dwFlags & MMIO_DIRTY) {
        const std::int64_t size = file.position() - data_offset;
        if (size < 0) return MMIOERR_CANNOTSEEK;
        if (size > kMaxDword) return MMIOERR_CANNOTEXPAND;
        if (size & 1) {
            const char pad = 0;
            if (!write_exact(file, &pad, 1)) return MMIOERR_CANNOTWRITE;
        }
        if (size != pmmcki->cksize) {
            std::array<char, 4> field{};
            put_u32(field.data(), static_cast<DWORD>(size));
            if (!file.seek(data_offset - 4) || !write_exact(file, field.data(), 4))
                return MMIOERR_CANNOTWRITE;
            pmmcki->cksize = static_cast<DWORD>(size);
        }
        pmmcki->dwFlags &= ~MMIO_DIRTY;
    }
    const std::int64_t end = data_offset + pmmcki->cksize + (pmmcki->cksize & 1);
    return file.seek(end) ? 0 : MMIOERR_CANNOTSEEK;
}

MMRESULT mmioCreateChunk(HMMIO hmmio, LPMMCKINFO pmmcki, UINT fuCreate) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmmcki == nullptr) return MMSYSERR_INVALPARAM;
    BufferedFile& file = *hmmio->file;
    if (fuCreate & MMIO_CREATERIFF)
        pmmcki->ckid = FOURCC_RIFF;
    else if (fuCreate & MMIO_CREATELIST)
        pmmcki->ckid = FOURCC_LIST;
    const std::int64_t start = file.position();
    if (start + 8 > kMaxDword) return MMIOERR_CANNOTEXPAND;

    std::array<char, 12> header{};
    put_u32(header.data(), pmmcki->ckid);
    put_u32(header.data() + 4, pmmcki->cksize);
    std::size_t length = 8;
    if (has_type(pmmcki->ckid)) {
        put_u32(header.data() + 8, pmmcki->fccType);
        length = 12;
    }
    if (!write_exact(file, header.data(), length)) return MMIOERR_CANNOTWRITE;
    pmmcki->dwDataOffset = static_cast<DWORD>(start + 8);
    pmmcki->dwFlags = MMIO_DIRTY;
    return 0;
}

MMRESULT mmioFlush(HMMIO hmmio, UINT fuFlush) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    return hmmio->file->flush((fuFlush & MMIO_FLUSHSYNC) != 0) ? 0 : MMIOERR_CANNOTWRITE;
}

MMRESULT mmioSettleChunk(HMMIO hmmio, LPMMCKINFO pmmcki) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmmcki == nullptr || !(pmmcki->dwFlags & MMIO_DIRTY)) return MMSYSERR_INVALPARAM;
    BufferedFile& file = *hmmio->file;
    const std::int64_t size = file.position() - pmmcki->dwDataOffset;
    if (size < 0) return MMIOERR_CANNOTSEEK;
    if (size > kMaxDword) return MMIOERR_CANNOTEXPAND;
    std::array<char, 4> field{};
    put_u32(field.data(), static_cast<DWORD>(size));
    if (!file.write_at(std::int64_t{pmmcki->dwDataOffset} - 4, field)) return MMIOERR_CANNOTWRITE;
    pmmcki->cksize = static_cast<DWORD>(size);
    return 0;
}

MMRESULT mmioTruncate(HMMIO hmmio, DWORD length) {
    if (hmmio == nullptr) return MMSYSERR_INVALHANDLE;
    return hmmio->file->truncate(length) ? 0 : MMIOERR_CANNOTWRITE;
}

FOURCC mmioStringToFOURCC(LPCSTR sz, UINT uFlags) {
    std::array<char, 4> code{' ', ' ', ' ', ' '};
    for (std::size_t i = 0; sz != nullptr && i < code.size() && sz[i] != '\0'; ++i) {
        char c = sz[i];
        if (uFlags & MMIO_TOUPPER)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        code[i] = c;
    }
    return mmioFOURCC(code[0], code[1], code[2], code[3]);
}

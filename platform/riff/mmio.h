// Buffered multimedia file I/O: the subset of the mmio calls that the WAV and MP3 file code uses.
//
// Contract, as the callers rely on it:
// - Every handle is buffered (MMIO_ALLOCBUF only chooses the buffer size), so small reads and
//   writes cost no system call; data reaches the file at the latest in mmioClose, or when
//   mmioFlush, mmioSettleChunk or mmioTruncate is called.
// - mmioCreateChunk writes the chunk header at the current position and marks the chunk dirty;
//   mmioAscend on a dirty chunk writes its true size (current position - dwDataOffset) back into
//   the header when it differs and appends one pad byte 0 when that size is odd.
// - mmioAscend on a chunk found by mmioDescend moves to the end of the chunk rounded up to even;
//   it never looks at the bytes, so a chunk that claims more than the file holds is harmless.
// - Results are 0 or an MMIOERR_ code (MMSYSERR_INVALHANDLE for a null handle); mmioRead,
//   mmioWrite and mmioSeek return a byte count or position, -1 on failure.
// - A failed write is remembered: mmioClose then reports MMIOERR_CANNOTWRITE.
// - One handle belongs to one thread at a time; different handles are independent.
#pragma once

#include <cstdio>
#include <memory>

#include "platform/base/win_types.h"

struct MmioFile;  // opaque; created by mmioOpen, destroyed by mmioClose
using HMMIO = MmioFile*;

// Chunk descriptor; sizes and offsets in bytes.
struct MMCKINFO {
    FOURCC ckid;         // chunk id
    DWORD cksize;        // size of the data part, without the 8-byte header and the pad byte
    FOURCC fccType;      // form or list type of a RIFF or LIST chunk
    DWORD dwDataOffset;  // file offset of the data part (for RIFF and LIST: of the type)
    DWORD dwFlags;       // MMIO_DIRTY while a created chunk has not been ascended
};
using LPMMCKINFO = MMCKINFO*;
using LPCMMCKINFO = const MMCKINFO*;

// Open parameters and the error of a failed open. Only these members exist here.
struct MMIOINFO {
    DWORD dwFlags;
    LONG cchBuffer;  // I/O buffer size in bytes with MMIO_ALLOCBUF; 0 picks the default
    UINT wErrorRet;  // set by mmioOpen: 0 or the MMIOERR_ code of a failed open
};
using LPMMIOINFO = MMIOINFO*;

inline constexpr DWORD MMIO_READ = 0x00000000;
inline constexpr DWORD MMIO_WRITE = 0x00000001;
inline constexpr DWORD MMIO_READWRITE = 0x00000002;
inline constexpr DWORD MMIO_COMPAT = 0x00000000;
inline constexpr DWORD MMIO_EXCLUSIVE = 0x00000010;
inline constexpr DWORD MMIO_DENYWRITE = 0x00000020;
inline constexpr DWORD MMIO_DENYREAD = 0x00000030;
inline constexpr DWORD MMIO_DENYNONE = 0x00000040;
inline constexpr DWORD MMIO_CREATE = 0x00001000;
inline constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
inline constexpr DWORD MMIO_DIRTY = 0x10000000;

inline constexpr UINT MMIO_TOUPPER = 0x0010;
inline constexpr UINT MMIO_FINDCHUNK = 0x0010;
inline constexpr UINT MMIO_FINDRIFF = 0x0020;
inline constexpr UINT MMIO_FINDLIST = 0x0040;
inline constexpr UINT MMIO_CREATERIFF = 0x0020;
inline constexpr UINT MMIO_CREATELIST = 0x0040;

inline constexpr MMRESULT MMIOERR_BASE = 256;
inline constexpr MMRESULT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
inline constexpr MMRESULT MMIOERR_OUTOFMEMORY = MMIOERR_BASE + 2;
inline constexpr MMRESULT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
inline constexpr MMRESULT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
inline constexpr MMRESULT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
inline constexpr MMRESULT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;
inline constexpr MMRESULT MMIOERR_UNBUFFERED = MMIOERR_BASE + 10;
inline constexpr MMRESULT MMIOERR_PATHNOTFOUND = MMIOERR_BASE + 11;
inline constexpr MMRESULT MMIOERR_ACCESSDENIED = MMIOERR_BASE + 12;
inline constexpr MMRESULT MMIOERR_SHARINGVIOLATION = MMIOERR_BASE + 13;
inline constexpr MMRESULT MMIOERR_NETWORKERROR = MMIOERR_BASE + 14;
inline constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = MMIOERR_BASE + 15;
inline constexpr MMRESULT MMIOERR_INVALIDFILE = MMIOERR_BASE + 16;

inline constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// mmioFlush: also wait until the bytes are on the storage, not only in the system's cache.
inline constexpr UINT MMIO_FLUSHSYNC = 0x0100;

// Default I/O buffer in bytes: large enough that a recording's buffers go out in few writes.
inline constexpr LONG kMmioDefaultBuffer = 64 * 1024;

// Opens `pszFileName` (MMIO_READ, MMIO_WRITE or MMIO_READWRITE, optionally MMIO_CREATE, which
// truncates). Returns null on failure; the reason is in pmmioinfo->wErrorRet when given.
HMMIO mmioOpen(LPCSTR pszFileName, LPMMIOINFO pmmioinfo, DWORD fdwOpen);
// Writes what is buffered and closes; the handle is gone even when the result is an error.
MMRESULT mmioClose(HMMIO hmmio, UINT fuClose);
LONG mmioRead(HMMIO hmmio, char* pch, LONG cch);
LONG mmioWrite(HMMIO hmmio, const char* pch, LONG cch);
// iOrigin is SEEK_SET, SEEK_CUR or SEEK_END; returns the new position, or -1. Files of up to
// 4 GiB - 2 (every RIFF file): with SEEK_SET, lOffset is read as an unsigned 32-bit position,
// and a position of 2 GiB or more comes back as those 32 bits; only -1 means failure.
LONG mmioSeek(HMMIO hmmio, LONG lOffset, int iOrigin);
MMRESULT mmioDescend(HMMIO hmmio, LPMMCKINFO pmmcki, LPCMMCKINFO pmmckiParent, UINT fuDescend);
MMRESULT mmioAscend(HMMIO hmmio, LPMMCKINFO pmmcki, UINT fuAscend);
MMRESULT mmioCreateChunk(HMMIO hmmio, LPMMCKINFO pmmcki, UINT fuCreate);

// What a file that must survive its writer being killed needs beyond the classic calls.
//
// Writes what is buffered to the file (and waits for the storage with MMIO_FLUSHSYNC): 0, or
// MMIOERR_CANNOTWRITE.
MMRESULT mmioFlush(HMMIO hmmio, UINT fuFlush);
// For a created chunk not yet ascended: writes its size so far (current position -
// dwDataOffset, no pad byte) into its header in place, after the bytes written before, and
// sets cksize. The position stays and the chunk stays open (MMIO_DIRTY). 0, or an MMIOERR_ code.
MMRESULT mmioSettleChunk(HMMIO hmmio, LPMMCKINFO pmmcki);
// Cuts the file at `length` bytes; buffered bytes beyond it are dropped and the position moves
// back to it when it was further. A failed write beyond the cut is no longer reported at close.
MMRESULT mmioTruncate(HMMIO hmmio, DWORD length);

// The first four characters of sz, padded with blanks; MMIO_TOUPPER makes them upper case.
FOURCC mmioStringToFOURCC(LPCSTR sz, UINT uFlags);

// Owner of an open handle for C++ callers: closes it (ignoring the result) when dropped.
struct MmioCloser {
    void operator()(HMMIO hmmio) const noexcept { mmioClose(hmmio, 0); }
};
using UniqueHmmio = std::unique_ptr<MmioFile, MmioCloser>;

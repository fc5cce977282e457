// Scalar types, result codes and the wave format structure shared by every platform stand-in.
// Widths and values match the interfaces the control was written against, so its code reads call
// for call like the original algorithms.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using SHORT = std::int16_t;
using BOOL = std::int32_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using LPARAM = std::intptr_t;
using WPARAM = std::uintptr_t;
using LRESULT = std::intptr_t;
using HRESULT = std::int32_t;
using MMRESULT = UINT;
using FOURCC = DWORD;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
    return static_cast<FOURCC>(static_cast<BYTE>(a)) |
           (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) |
           (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}

// Results of the multimedia calls: 0 is success.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;

// Callback kinds of the open calls (wave devices, codec streams); only CALLBACK_NULL is offered.
inline constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
inline constexpr DWORD CALLBACK_NULL = 0x00000000;

inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr WORD WAVE_FORMAT_ADPCM = 2;
inline constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr WORD WAVE_FORMAT_ALAW = 6;
inline constexpr WORD WAVE_FORMAT_MULAW = 7;
inline constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x11;
inline constexpr WORD WAVE_FORMAT_GSM610 = 0x31;
inline constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x55;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
// The wave format header; `cbSize` extra bytes follow it in memory when the tag needs them.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;  // bytes per second
    WORD nBlockAlign;       // bytes per block (one frame for PCM)
    WORD wBitsPerSample;
    WORD cbSize;  // bytes of extra format information after this header
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

using LPWAVEFORMATEX = WAVEFORMATEX*;

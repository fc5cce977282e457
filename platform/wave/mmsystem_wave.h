// Wave devices: the structures and calls of the waveform-audio interface that the control uses.
#pragma once

#include "platform/base/win_types.h"

inline constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
inline constexpr int MAXPNAMELEN = 32;

// The device formats a device reports (the 8/16-bit, mono/stereo grid of the classic rates).
inline constexpr DWORD WAVE_FORMAT_1M08 = 0x00000001;
inline constexpr DWORD WAVE_FORMAT_1S08 = 0x00000002;
inline constexpr DWORD WAVE_FORMAT_1M16 = 0x00000004;
inline constexpr DWORD WAVE_FORMAT_1S16 = 0x00000008;
inline constexpr DWORD WAVE_FORMAT_2M08 = 0x00000010;
inline constexpr DWORD WAVE_FORMAT_2S08 = 0x00000020;
inline constexpr DWORD WAVE_FORMAT_2M16 = 0x00000040;
inline constexpr DWORD WAVE_FORMAT_2S16 = 0x00000080;
inline constexpr DWORD WAVE_FORMAT_4M08 = 0x00000100;
inline constexpr DWORD WAVE_FORMAT_4S08 = 0x00000200;
inline constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400;
inline constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800;

inline constexpr DWORD WAVECAPS_VOLUME = 0x0004;
inline constexpr DWORD WAVECAPS_LRVOLUME = 0x0008;
inline constexpr DWORD WAVECAPS_SAMPLEACCURATE = 0x0020;

struct WAVEINCAPSA {
    WORD wMid;  // maker id; a device and its mixer share it
    WORD wPid;
    DWORD vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};

struct WAVEOUTCAPSA {
    WORD wMid;
    WORD wPid;
    DWORD vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
    DWORD dwSupport;
};

UINT waveInGetNumDevs();
UINT waveOutGetNumDevs();
// Device WAVE_MAPPER (-1) is the wave mapper, which picks a real device for the caller. `size` is
// the size of the structure the caller passes; a smaller one receives only what fits.
MMRESULT waveInGetDevCapsA(UINT_PTR device, WAVEINCAPSA* caps, UINT size);
MMRESULT waveOutGetDevCapsA(UINT_PTR device, WAVEOUTCAPSA* caps, UINT size);

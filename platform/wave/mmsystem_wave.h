// Wave devices: the structures and calls of the waveform-audio interface that the control uses.
//
// Devices are opened without callbacks and driven by polling: queue headers, read their byte
// counts and flags, reset. Only CALLBACK_NULL is accepted.
//
// A device that stops working for good (unplugged, its sound server gone) hands every queued
// buffer back (WHDR_DONE, an input buffer with what it holds) and then answers waveInAddBuffer,
// waveInStart, waveOutWrite, waveOutGetPosition and waveOutRestart with MMSYSERR_NODRIVER;
// stopping, resetting and closing it still succeed.
//
// Threads: with the real clock a driver thread fills or drains the queued buffers and publishes
// a header's dwBytesRecorded and dwFlags with release stores (std::atomic_ref); a caller polling
// them while the device runs reads whole values (aligned 32-bit fields), and everything the
// driver wrote into lpData before a count or WHDR_DONE is visible once that value is. With the
// manual clock buffers move only inside the message loop, on the GUI thread.
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

struct HWAVEIN__;
struct HWAVEOUT__;
using HWAVEIN = HWAVEIN__*;
using HWAVEOUT = HWAVEOUT__*;
using LPHWAVEIN = HWAVEIN*;
using LPHWAVEOUT = HWAVEOUT*;

// Results of the wave calls beside the MMSYSERR_ codes.
inline constexpr MMRESULT WAVERR_BASE = 32;
inline constexpr MMRESULT WAVERR_BADFORMAT = WAVERR_BASE + 0;     // format not supported
inline constexpr MMRESULT WAVERR_STILLPLAYING = WAVERR_BASE + 1;  // buffers still queued
inline constexpr MMRESULT WAVERR_UNPREPARED = WAVERR_BASE + 2;    // header not prepared
inline constexpr MMRESULT WAVERR_SYNC = WAVERR_BASE + 3;

// waveInOpen/waveOutOpen flags. Callbacks of any kind are not offered (MMSYSERR_NOTSUPPORTED).
inline constexpr DWORD CALLBACK_WINDOW = 0x00010000;
inline constexpr DWORD CALLBACK_TASK = 0x00020000;
inline constexpr DWORD CALLBACK_THREAD = CALLBACK_TASK;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
inline constexpr DWORD CALLBACK_EVENT = 0x00050000;
inline constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;  // only asks whether the format would open
inline constexpr DWORD WAVE_ALLOWSYNC = 0x0002;
inline constexpr DWORD WAVE_MAPPED = 0x0004;

// Header flags.
inline constexpr DWORD WHDR_DONE = 0x00000001;       // the device has finished with the buffer
inline constexpr DWORD WHDR_PREPARED = 0x00000002;   // set by the prepare call
inline constexpr DWORD WHDR_BEGINLOOP = 0x00000004;  // not supported: buffers play once
inline constexpr DWORD WHDR_ENDLOOP = 0x00000008;
inline constexpr DWORD WHDR_INQUEUE = 0x00000010;  // queued to the device, not yet done

// One buffer handed to a device. The caller owns the header and the data; between add/write
// and WHDR_DONE (or a reset) the device may write the data (input) and the header's
// dwBytesRecorded and dwFlags.
struct WAVEHDR {
    LPSTR lpData;           // the buffer
    DWORD dwBufferLength;   // its length in bytes
    DWORD dwBytesRecorded;  // input: bytes captured into it so far (whole blocks)
    DWORD_PTR dwUser;       // the caller's
    DWORD dwFlags;          // WHDR_*
    DWORD dwLoops;          // ignored: loops are not supported
    WAVEHDR* lpNext;        // reserved
    DWORD_PTR reserved;     // reserved
};
using PWAVEHDR = WAVEHDR*;
using LPWAVEHDR = WAVEHDR*;

// Time formats of MMTIME::wType.
inline constexpr UINT TIME_MS = 0x0001;
inline constexpr UINT TIME_SAMPLES = 0x0002;
inline constexpr UINT TIME_BYTES = 0x0004;
inline constexpr UINT TIME_SMPTE = 0x0008;
inline constexpr UINT TIME_MIDI = 0x0010;
inline constexpr UINT TIME_TICKS = 0x0020;

struct MMTIME {
    UINT wType;  // asked for; set to the format actually answered when that one is not offered
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;  // TIME_BYTES
        DWORD ticks;
        struct {
            BYTE hour, min, sec, frame, fps, dummy;
            BYTE pad[2];
        } smpte;
        struct {
            DWORD songptrpos;
        } midi;
    } u;
};
using LPMMTIME = MMTIME*;

// Input. The device number is an index below waveInGetNumDevs() or WAVE_MAPPER.
MMRESULT waveInOpen(LPHWAVEIN handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
// WAVERR_STILLPLAYING while buffers are queued; otherwise the handle is gone, whatever the result.
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size);
// Queues an empty buffer; buffers fill in the order they were added.
MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size);
MMRESULT waveInStart(HWAVEIN handle);
// Stops capture; the buffer being filled is marked done when it holds data, empty buffers stay
// queued for the next start.
MMRESULT waveInStop(HWAVEIN handle);
// Stops capture and returns every queued buffer marked done, dwBytesRecorded kept.
MMRESULT waveInReset(HWAVEIN handle);

// Output. A device opens playing (not paused): written buffers play at once, in order.
MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT device, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
// WAVERR_STILLPLAYING while buffers are queued; otherwise the handle is gone, whatever the result.
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size);
// Bytes played since open or the last waveOutReset (TIME_BYTES; TIME_SAMPLES and TIME_MS are
// answered too, anything else is answered in bytes with wType changed to TIME_BYTES).
MMRESULT waveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT size);
MMRESULT waveOutPause(HWAVEOUT handle);
MMRESULT waveOutRestart(HWAVEOUT handle);
// Stops playback, returns every queued buffer marked done and sets the position back to 0. A
// paused device stays paused.
MMRESULT waveOutReset(HWAVEOUT handle);

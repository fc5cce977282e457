// What a host needs to know of the encoder library's two components to create them and call them
// late-bound: the MP3 encoder (a WAV file into an MP3 file) and the WAV converter (a WAV file into
// a WAV file of another format); their identities, ProgIDs, dispatch ids and failure codes.
// Nothing here needs the components' code.
#pragma once

#include "platform/com/typeinfo.h"

namespace mp3enc {

inline constexpr GUID LIBID_MP3ENCLib{
    0xF895ACA0, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};
inline constexpr IID DIID__DMp3Enc{
    0xF895ACA1, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};
inline constexpr IID DIID__DMp3EncEvents{
    0xF895ACA2, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};
inline constexpr CLSID CLSID_Mp3Enc{
    0xF895ACA3, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};

inline constexpr IID DIID__DWavConv{
    0xF895ACA4, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};
inline constexpr IID DIID__DWavConvEvents{
    0xF895ACA5, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};
inline constexpr CLSID CLSID_WavConv{
    0xF895ACA6, 0x796A, 0x4AEC, {0xB7, 0x1B, 0xAC, 0x9A, 0x9D, 0x3B, 0x65, 0x9B}};

inline constexpr const char* kProgId = "MP3ENCLib.Mp3Enc";
inline constexpr const char* kTypeName = "Mp3Enc Control";
inline constexpr const char* kWavConvProgId = "MP3ENCLib.WavConv";
inline constexpr const char* kWavConvTypeName = "WavConv Control";

// DISPIDs of _DMp3Enc and _DWavConv. The numbers between are unused.
enum Dispid : DISPID {
    // _DMp3Enc only.
    dispidBitrate = 1,          // Long, bits per second
    dispidVariableBitrate = 7,  // Boolean
    dispidCopyTags = 8,         // Boolean
    // _DWavConv only.
    dispidFormat = 2,        // String: a format name; "" for 16-bit PCM like the input
    dispidOutputFormat = 3,  // String, read-only: the format of the current or last conversion
    // Both.
    dispidStop = 10,         // Stop()
    dispidStart = 11,        // Start(InputFile, OutputFile)
    dispidTotalFrames = 12,  // Long, read-only: MP3 frames, or sample frames of a WAV file
    dispidSpeed = 13,        // Double, read-only: times real time
    dispidSetInfo = 14,      // SetInfo(Id, Text)
};

// DISPIDs of _DMp3EncEvents and _DWavConvEvents.
enum EventDispid : DISPID {
    eventidProgress = 1,  // Progress(Frames)
    eventidFinished = 2,  // Finished(Stopped)
    eventidFailed = 3,    // Failed(ErrorCode, Description)
};

// The bit rates a write is kept within, bits per second.
inline constexpr LONG kMinBitrate = 8000;
inline constexpr LONG kMaxBitrate = 320000;
inline constexpr LONG kDefaultBitrate = 128000;

// Failures of Start and the Failed event besides the storage codes (STG_E_FILENOTFOUND,
// STG_E_READFAULT, STG_E_WRITEFAULT, STG_E_MEDIUMFULL, STG_E_PATHNOTFOUND, STG_E_ACCESSDENIED).
inline constexpr HRESULT MP3ENC_E_INPUTFORMAT = make_hresult(0x80040310);  // no WAV we can read
inline constexpr HRESULT MP3ENC_E_BUSY = make_hresult(0x80040311);         // already converting
inline constexpr HRESULT MP3ENC_E_SAMEFILE = make_hresult(0x80040312);     // output is the input
inline constexpr HRESULT MP3ENC_E_ENCODER = make_hresult(0x80040313);      // LAME refused or failed
inline constexpr HRESULT MP3ENC_E_FORMAT = make_hresult(0x80040314);       // no WAV format to write
inline constexpr HRESULT STG_E_PATHNOTFOUND = make_hresult(0x80030003);
inline constexpr HRESULT STG_E_ACCESSDENIED = make_hresult(0x80030005);

}  // namespace mp3enc

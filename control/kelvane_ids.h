// The identities of the wave recorder control: what containers bind to (class, interfaces,
// ProgID, DISPIDs). Published: hosts and tools name the control and its members with these.
#pragma once

#include "platform/com/typeinfo.h"

inline constexpr GUID LIBID_KELVANELib{
    0x5E21B7A3, 0x6C4F, 0x4D2A, {0x8B, 0x19, 0x3F, 0x0C, 0x7D, 0x9E, 0x4A, 0x10}};
inline constexpr IID DIID__DKelvane{
    0x5E21B7A4, 0x6C4F, 0x4D2A, {0x8B, 0x19, 0x3F, 0x0C, 0x7D, 0x9E, 0x4A, 0x10}};
inline constexpr IID DIID__DKelvaneEvents{
    0x5E21B7A5, 0x6C4F, 0x4D2A, {0x8B, 0x19, 0x3F, 0x0C, 0x7D, 0x9E, 0x4A, 0x10}};
inline constexpr CLSID CLSID_Kelvane{
    0x5E21B7A6, 0x6C4F, 0x4D2A, {0x8B, 0x19, 0x3F, 0x0C, 0x7D, 0x9E, 0x4A, 0x10}};
inline constexpr CLSID CLSID_KelvanePropPage{
    0x5E21B7A7, 0x6C4F, 0x4D2A, {0x8B, 0x19, 0x3F, 0x0C, 0x7D, 0x9E, 0x4A, 0x10}};

inline constexpr const char* kKelvaneProgId = "KELVANE.KelvaneCtrl.1";
inline constexpr const char* kKelvaneTypeName = "Kelvane Control";

// DISPIDs of _DKelvane.
enum KelvaneDispid : DISPID {
    dispidVolume = 1,
    dispidVolumeBalance,
    dispidDevInput,
    dispidDevOutput,
    dispidAutoGainControl,
    dispidBufferSize,
    dispidTypeRecordLevel,
    dispidTypePlayLevel,
    dispidListen,
    dispidInfoCreationDate,  // 10..25: the 16 info texts in this order
    dispidInfoDisplayName = dispidInfoCreationDate + 15,
    dispidGain,
    dispidDevInputName,
    dispidDevOutputName,
    dispidDevInputMax,
    dispidDevOutputMax,
    dispidFormatString,
    dispidWFormatTag,
    dispidNChannels,
    dispidNSamplesPerSec,
    dispidNAvgBytesPerSec,
    dispidNBlockAlign,
    dispidWBitsPerSample,
    dispidBlocksCount,
    dispidPlay,
    dispidRecord,
    dispidStop,
    dispidPause,
    dispidContinue,
    dispidSeek,
    dispidBlockToSec,
    dispidSecToBlock,
    dispidSetFormatLikeSample,
    dispidSetFormatFromMenu,
};
static_assert(dispidGain == 26 && dispidSetFormatFromMenu == 48);

// DISPIDs of _DKelvaneEvents.
enum KelvaneEventDispid : DISPID {
    eventidLevelRecord = 1,
    eventidLevelPlay,
    eventidGainChange,
    eventidEndPlay,
    eventidEndRecord,
    eventidBlockPlay,
    eventidBlockRecord,
    eventidVolumeChange,
    eventidErrors,
};

// The ErrorCode of the Errors event: -(10 + k) for text k of the error table.
enum class KelvaneError : SHORT {
    file_open = -11,
    output_device = -12,
    input_device = -13,
    playback = -14,
    record = -15,
    memory_out = -16,
};

inline constexpr int kInfoCount = 16;

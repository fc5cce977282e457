// The codec manager: the subset of the audio compression calls that the control uses, with the same
// names, structures and results (0 or an MMSYSERR_/ACMERR_ code). Only the global manager exists:
// every call takes a null driver handle, and drivers are picked by format tag.
//
// All calls are made from one thread at a time; streams may be used from any thread as long as one
// stream is not used by two threads at once.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/base/win_types.h"

// Results beyond the MMSYSERR_ codes.
inline constexpr MMRESULT ACMERR_BASE = 512;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = ACMERR_BASE + 0;
inline constexpr MMRESULT ACMERR_BUSY = ACMERR_BASE + 1;
inline constexpr MMRESULT ACMERR_UNPREPARED = ACMERR_BASE + 2;
inline constexpr MMRESULT ACMERR_CANCELED = ACMERR_BASE + 3;

struct HACMDRIVER__;
struct HACMSTREAM__;
struct HACMOBJ__;
using HACMDRIVER = HACMDRIVER__*;
using HACMSTREAM = HACMSTREAM__*;
using HACMOBJ = HACMOBJ__*;
using LPHACMSTREAM = HACMSTREAM*;

struct WAVEFILTER;  // filters are not supported; the pointer must be null

// acmStreamOpen
inline constexpr DWORD ACM_STREAMOPENF_QUERY = 0x00000001;
inline constexpr DWORD ACM_STREAMOPENF_ASYNC = 0x00000002;
inline constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;

// acmStreamSize: which side the given byte count belongs to.
inline constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;
inline constexpr DWORD ACM_STREAMSIZEF_QUERYMASK = 0x0000000F;

// acmStreamConvert
inline constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
inline constexpr DWORD ACM_STREAMCONVERTF_START = 0x00000010;  // forget history (after a seek)
inline constexpr DWORD ACM_STREAMCONVERTF_END = 0x00000020;    // last call: flush partial blocks

inline constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// acmMetrics
inline constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;

// acmFormatSuggest: which fields of the destination the suggestion must keep.
inline constexpr DWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
inline constexpr DWORD ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
inline constexpr DWORD ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
inline constexpr DWORD ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
inline constexpr DWORD ACM_FORMATSUGGESTF_TYPEMASK = 0x00FF0000;

// acmFormatTagDetailsA / acmFormatDetailsA
inline constexpr DWORD ACM_FORMATTAGDETAILSF_INDEX = 0x00000000;
inline constexpr DWORD ACM_FORMATTAGDETAILSF_FORMATTAG = 0x00000001;
inline constexpr DWORD ACM_FORMATTAGDETAILSF_LARGESTSIZE = 0x00000002;
inline constexpr DWORD ACM_FORMATDETAILSF_INDEX = 0x00000000;
inline constexpr DWORD ACM_FORMATDETAILSF_FORMAT = 0x00000001;
inline constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
inline constexpr DWORD ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;
inline constexpr int ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;
inline constexpr int ACMFORMATDETAILS_FORMAT_CHARS = 128;
inline constexpr WORD WAVE_FORMAT_UNKNOWN = 0;

// acmFormatChooseA: restrictions of the offered formats (fdwEnum, compared with pwfxEnum).
inline constexpr DWORD ACM_FORMATENUMF_WFORMATTAG = 0x00010000;
inline constexpr DWORD ACM_FORMATENUMF_NCHANNELS = 0x00020000;
inline constexpr DWORD ACM_FORMATENUMF_NSAMPLESPERSEC = 0x00040000;
inline constexpr DWORD ACM_FORMATENUMF_WBITSPERSAMPLE = 0x00080000;

#pragma pack(push, 1)
// One conversion request. The caller owns both buffers; the stream fills the *Used fields.
struct ACMSTREAMHEADER {
    DWORD cbStruct;  // sizeof(ACMSTREAMHEADER)
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    BYTE* pbSrc;
    DWORD cbSrcLength;      // bytes offered
    DWORD cbSrcLengthUsed;  // bytes converted (whole source blocks)
    DWORD_PTR dwSrcUser;
    BYTE* pbDst;
    DWORD cbDstLength;      // room in bytes
    DWORD cbDstLengthUsed;  // bytes written
    DWORD_PTR dwDstUser;
    DWORD_PTR dwReservedDriver[10];  // the stream's own bookkeeping; callers leave it alone
};
using LPACMSTREAMHEADER = ACMSTREAMHEADER*;

struct ACMFORMATTAGDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatTagIndex;
    DWORD dwFormatTag;
    DWORD cbFormatSize;  // largest format of this tag, bytes
    DWORD fdwSupport;
    DWORD cStandardFormats;
    CHAR szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};

struct ACMFORMATDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    WAVEFORMATEX* pwfx;
    DWORD cbwfx;  // bytes at pwfx: 16 for a PCM format without cbSize, else 18 + cbSize or more
    CHAR szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

// The owner window and instance are opaque here: the chooser is the host's hook, not a dialog of
// this layer.
struct ACMFORMATCHOOSEA {
    DWORD cbStruct;
    DWORD fdwStyle;
    void* hwndOwner;
    WAVEFORMATEX* pwfx;  // receives the chosen format
    DWORD cbwfx;         // room at pwfx, bytes
    LPCSTR pszTitle;
    CHAR szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
    CHAR szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
    LPSTR pszName;
    DWORD cchName;
    DWORD fdwEnum;
    WAVEFORMATEX* pwfxEnum;
    void* hInstance;
    LPCSTR pszTemplateName;
    LPARAM lCustData;
    void* pfnHook;  // dialog hooks are not supported; see acm_set_format_chooser
};
using LPACMFORMATCHOOSEA = ACMFORMATCHOOSEA*;

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;  // wFormatTag 0x55, cbSize 12
    WORD wID;
    DWORD fdwFlags;
    WORD nBlockSize;  // bytes of a frame at the nominal bit rate
    WORD nFramesPerBlock;
    WORD nCodecDelay;  // samples
};

struct IMAADPCMWAVEFORMAT {
    WAVEFORMATEX wfx;  // cbSize 2
    WORD wSamplesPerBlock;
};

struct ADPCMCOEFSET {
    SHORT iCoef1;
    SHORT iCoef2;
};

struct ADPCMWAVEFORMAT {
    WAVEFORMATEX wfx;  // cbSize 4 + 4 * wNumCoef
    WORD wSamplesPerBlock;
    WORD wNumCoef;
    ADPCMCOEFSET aCoef[7];
};

struct GSM610WAVEFORMAT {
    WAVEFORMATEX wfx;  // cbSize 2
    WORD wSamplesPerBlock;
};

// The sub-format GUID is kept as its 16 stored bytes so this header needs no component layer.
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;  // wFormatTag 0xFFFE, cbSize 22
    union {
        WORD wValidBitsPerSample;
        WORD wSamplesPerBlock;
        WORD wReserved;
    } Samples;
    DWORD dwChannelMask;
    BYTE SubFormat[16];
};
#pragma pack(pop)

static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20);
static_assert(sizeof(ADPCMWAVEFORMAT) == 50);
static_assert(sizeof(GSM610WAVEFORMAT) == 20);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

inline constexpr WORD MPEGLAYER3_WFX_EXTRA_BYTES = 12;
inline constexpr WORD MPEGLAYER3_ID_MPEG = 1;
inline constexpr DWORD MPEGLAYER3_FLAG_PADDING_OFF = 2;

// Sub-format GUIDs (KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT) as stored in a file.
inline constexpr BYTE KSDATAFORMAT_SUBTYPE_PCM_BYTES[16] = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
inline constexpr BYTE KSDATAFORMAT_SUBTYPE_IEEE_FLOAT_BYTES[16] = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric);
MMRESULT acmFormatTagDetailsA(HACMDRIVER had, ACMFORMATTAGDETAILSA* paftd, DWORD fdwDetails);
MMRESULT acmFormatDetailsA(HACMDRIVER had, ACMFORMATDETAILSA* pafd, DWORD fdwDetails);
MMRESULT acmFormatSuggest(HACMDRIVER had, WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest);
MMRESULT acmFormatChooseA(ACMFORMATCHOOSEA* pafmtc);

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, WAVEFORMATEX* pwfxSrc,
                       WAVEFORMATEX* pwfxDst, WAVEFILTER* pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);
MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare);
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare);

// One entry the format chooser offers: a format that PCM can be converted into.
struct AcmFormatChoice {
    std::string name;          // "pcm:44100:2:16", see platform/codec/format_names.h
    std::string tag_name;      // as acmFormatTagDetailsA reports it
    std::string description;   // as acmFormatDetailsA reports it
    std::vector<BYTE> format;  // WAVEFORMATEX and its extra bytes
};

// The host's format chooser: shown the request (title, owner, restrictions) and the offered
// formats, it returns the index of the chosen one, or -1 when the user cancelled.
using AcmFormatChooserHook =
    std::function<int(const ACMFORMATCHOOSEA& request, std::span<const AcmFormatChoice> choices)>;

// Installs the chooser that acmFormatChooseA calls (the program's dialog, the command line's
// name lookup, a test's script); an empty hook removes it, and acmFormatChooseA then fails with
// MMSYSERR_NOTSUPPORTED. Returns the hook that was installed before.
AcmFormatChooserHook acm_set_format_chooser(AcmFormatChooserHook hook);

// Owner of an open stream for C++ callers: closes it (ignoring the result) when dropped.
struct AcmStreamCloser {
    void operator()(HACMSTREAM has) const noexcept { acmStreamClose(has, 0); }
};
using UniqueHacmStream = std::unique_ptr<HACMSTREAM__, AcmStreamCloser>;

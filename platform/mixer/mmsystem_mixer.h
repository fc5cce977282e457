// Mixer devices: the structures and calls of the audio mixer interface that the control uses to
// find the lines of its wave devices and to read and write their volume, mute and meter controls.
//
// A mixer has destinations (where sound ends up: the speakers, the recording input) and each
// destination has source lines (what feeds it: wave output, microphone). Lines and controls have
// 32-bit identifiers that stay valid for as long as the mixer exists.
#pragma once

#include <memory>

#include "platform/base/win_types.h"
#include "platform/wave/mmsystem_wave.h"

struct HMIXER__;
using HMIXER = HMIXER__*;
using LPHMIXER = HMIXER*;
// A mixer handle or a mixer id, told apart by the MIXER_OBJECTF_ flag of the call.
struct HMIXEROBJ__;
using HMIXEROBJ = HMIXEROBJ__*;

inline constexpr int MIXER_SHORT_NAME_CHARS = 16;
inline constexpr int MIXER_LONG_NAME_CHARS = 64;

inline constexpr MMRESULT MIXERR_BASE = 1024;
inline constexpr MMRESULT MIXERR_INVALLINE = MIXERR_BASE + 0;
inline constexpr MMRESULT MIXERR_INVALCONTROL = MIXERR_BASE + 1;
inline constexpr MMRESULT MIXERR_INVALVALUE = MIXERR_BASE + 2;

// How the object argument of a call is to be read.
inline constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000;
inline constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
inline constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;
inline constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;

inline constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
inline constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x00000001;
inline constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x00000002;
inline constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;

inline constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x00000000;
inline constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000F;

inline constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0x0000000F;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0x0000000F;

inline constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_FIRST = 0x00000000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = MIXERLINE_COMPONENTTYPE_DST_FIRST + 4;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = MIXERLINE_COMPONENTTYPE_DST_FIRST + 7;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_FIRST = 0x00001000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE =
    MIXERLINE_COMPONENTTYPE_SRC_FIRST + 3;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 8;

inline constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
inline constexpr DWORD MIXERLINE_TARGETTYPE_WAVEOUT = 1;
inline constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;

inline constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
inline constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
inline constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

inline constexpr DWORD MIXERCONTROL_CT_CLASS_METER = 0x10000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
inline constexpr DWORD MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_BOOLEAN = 0x00010000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_SIGNED = 0x00020000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_UNSIGNED = 0x00030000;
inline constexpr DWORD MIXERCONTROL_CT_UNITS_MASK = 0x00FF0000;

inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_PEAKMETER =
    MIXERCONTROL_CT_CLASS_METER | MIXERCONTROL_CT_UNITS_SIGNED | 1;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE =
    MIXERCONTROL_CT_CLASS_SWITCH | MIXERCONTROL_CT_UNITS_BOOLEAN | 2;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME =
    MIXERCONTROL_CT_CLASS_FADER | MIXERCONTROL_CT_UNITS_UNSIGNED | 1;

struct MIXERCAPSA {
    WORD wMid;  // maker id; a mixer and the wave devices of its card share it
    WORD wPid;
    DWORD vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD fdwSupport;
    DWORD cDestinations;
};

struct MIXERLINEA {
    DWORD cbStruct;       // set by the caller: sizeof(MIXERLINEA)
    DWORD dwDestination;  // in: destination index (DESTINATION, SOURCE queries); out: always
    DWORD dwSource;       // in: source index (SOURCE query); out for source lines
    DWORD dwLineID;       // in: the LINEID query; out: always
    DWORD fdwLine;        // MIXERLINE_LINEF_*
    DWORD_PTR dwUser;
    DWORD dwComponentType;  // MIXERLINE_COMPONENTTYPE_*
    DWORD cChannels;
    DWORD cConnections;  // source lines of a destination; 0 for a source
    DWORD cControls;
    CHAR szShortName[MIXER_SHORT_NAME_CHARS];
    CHAR szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;  // MIXERLINE_TARGETTYPE_*
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        DWORD vDriverVersion;
        CHAR szPname[MAXPNAMELEN];
    } Target;
};

struct MIXERCONTROLA {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;  // MIXERCONTROL_CONTROLTYPE_*
    DWORD fdwControl;     // MIXERCONTROL_CONTROLF_*
    DWORD cMultipleItems;
    CHAR szShortName[MIXER_SHORT_NAME_CHARS];
    CHAR szName[MIXER_LONG_NAME_CHARS];
    union {
        struct {
            LONG lMinimum;
            LONG lMaximum;
        };
        struct {
            DWORD dwMinimum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[6];
    } Bounds;
    union {
        DWORD cSteps;
        DWORD cbCustomData;
        DWORD dwReserved[6];
    } Metrics;
};

struct MIXERLINECONTROLSA {
    DWORD cbStruct;
    DWORD dwLineID;
    union {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls;  // must equal the line's cControls for the ALL query
    DWORD cbmxctrl;   // sizeof(MIXERCONTROLA)
    MIXERCONTROLA* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;  // 1 (all channels alike) or the line's cChannels
    union {
        void* hwndOwner;
        DWORD cMultipleItems;  // 0: none of our controls has items
    };
    DWORD cbDetails;  // bytes per value: 4
    void* paDetails;  // cChannels values
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};
struct MIXERCONTROLDETAILS_SIGNED {
    LONG lValue;
};
struct MIXERCONTROLDETAILS_BOOLEAN {
    LONG fValue;
};

using LPMIXERCAPSA = MIXERCAPSA*;
using LPMIXERLINEA = MIXERLINEA*;
using LPMIXERCONTROLA = MIXERCONTROLA*;
using LPMIXERLINECONTROLSA = MIXERLINECONTROLSA*;
using LPMIXERCONTROLDETAILS = MIXERCONTROLDETAILS*;

UINT mixerGetNumDevs();
// `mixer` is a mixer id or an open handle; a smaller `size` receives only what fits.
MMRESULT mixerGetDevCapsA(UINT_PTR mixer, LPMIXERCAPSA caps, UINT size);
// Notifications are not offered: `open_flags` may ask for none (CALLBACK_NULL) or for a window
// callback, which is then never called.
MMRESULT mixerOpen(LPHMIXER mixer, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                   DWORD open_flags);
MMRESULT mixerClose(HMIXER mixer);
MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, LPMIXERLINEA line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, LPMIXERLINECONTROLSA controls, DWORD flags);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags);

// Owner of an open mixer for C++ callers: closes it (ignoring the result) when dropped.
struct MixerCloser {
    void operator()(HMIXER mixer) const noexcept { mixerClose(mixer); }
};
using UniqueHmixer = std::unique_ptr<HMIXER__, MixerCloser>;

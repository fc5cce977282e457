#include "control/kelvane_type_info.h"

namespace {

MemberDesc property(DISPID id, std::string_view name, VARTYPE type, std::string_view help,
                    bool read_only = false) {
    return {id, name, MemberKind::property, type, read_only, {}, help};
}

MemberDesc method(DISPID id, std::string_view name, VARTYPE result, std::vector<ParamDesc> params,
                  std::string_view help) {
    return {id, name, MemberKind::method, result, false, std::move(params), help};
}

MemberDesc info(int index, std::string_view name) {
    return property(dispidInfoCreationDate + index, name, VT_BSTR, {});
}

MemberDesc event(DISPID id, std::string_view name, std::vector<ParamDesc> params,
                 std::string_view help) {
    return method(id, name, VT_EMPTY, std::move(params), help);
}

}  // namespace

const InterfaceDesc& kelvane_dispatch_desc() {
    static const InterfaceDesc desc{
        DIID__DKelvane,
        "_DKelvane",
        "Dispatch interface for Kelvane Control",
        {
            property(dispidVolume, "Volume", VT_I4,
                     "Returns/sets a magnitude of volume for playback of WAV file."),
            property(dispidVolumeBalance, "VolumeBalance", VT_I4,
                     "Returns/sets the relative  volume between left and right channels in a "
                     "stereo audio system for playback of WAV file."),
            property(
                dispidGain, "Gain", VT_I4,
                "Returns/sets a magnitude of gain for record of WAV file (uniform  channels)."),
            property(dispidDevInput, "devInput", VT_I4,
                     "Returns/sets number of current record device."),
            property(dispidDevOutput, "devOutput", VT_I4,
                     "Returns/sets number of current playback device."),
            property(dispidDevInputName, "devInputName", VT_BSTR,
                     "Returns name of current record device.", true),
            property(dispidDevOutputName, "devOutputName", VT_BSTR,
                     "Returns name of current playback device.", true),
            property(dispidDevInputMax, "devInputMax", VT_I4,
                     "Returns maximal number of record devices in your system.", true),
            property(dispidDevOutputMax, "devOutputMax", VT_I4,
                     "Returns maximal number of playback devices in your system.", true),
            property(dispidFormatString, "FormatString", VT_BSTR,
                     "Returns string with information about format of WAV file.", true),
            property(dispidWFormatTag, "wFormatTag", VT_I4,
                     "Returns a waveform-audio format type of file. Format tags are registered "
                     "with Microsoft Corporation for many compression algorithms.",
                     true),
            property(dispidNChannels, "nChannels", VT_I4,
                     "Returns a number of channels in the WAV file. Monaural data uses one "
                     "channel and stereo data uses two channels.",
                     true),
            property(dispidNSamplesPerSec, "nSamplesPerSec", VT_I4,
                     "Returns a  sample rate, in samples per second (hertz), that each channel "
                     "should be played or recorded. This value must be computed according to the "
                     "manufacturer's specification of the format tag.",
                     true),
            property(dispidNAvgBytesPerSec, "nAvgBytesPerSec", VT_I4,
                     "Returns a required average data-transfer rate, in bytes per second, for the "
                     "format tag.",
                     true),
            property(dispidNBlockAlign, "nBlockAlign", VT_I4,
                     "Returns a block alignment, in bytes. The block alignment is the minimum "
                     "atomic unit of data for the wFormatTag format type.",
                     true),
            property(dispidWBitsPerSample, "wBitsPerSample", VT_I4,
                     "Returns a number of bits per sample for the wFormatTag format type. If "
                     "wFormatTag is WAVE_FORMAT_PCM, then wBitsPerSample should be equal to 8 or "
                     "16.",
                     true),
            property(dispidAutoGainControl, "AutoGainControl", VT_BOOL,
                     "Returns/sets a flag indicating how control gain is executed for record: "
                     "automatic or manual."),
            property(dispidBufferSize, "BufferSize", VT_I4, "Returns/sets buffer size."),
            property(dispidBlocksCount, "BlocksCount", VT_I4,
                     "Returns a number of blocks in current file.", true),
            property(dispidTypeRecordLevel, "TypeRecordLevel", VT_I2,
                     "Returns/sets the type of record level."),
            property(dispidTypePlayLevel, "TypePlayLevel", VT_I2,
                     "Returns/sets the type of play level."),
            property(dispidListen, "Listen", VT_BOOL, {}),
            info(0, "infoCreationDate"),
            info(1, "infoProduct"),
            info(2, "infoMedium"),
            info(3, "infoArtists"),
            info(4, "infoDigitizationSource"),
            info(5, "infoDigitizer"),
            info(6, "infoEngineers"),
            info(7, "infoSourceSuppler"),
            info(8, "infoKeyWords"),
            info(9, "infoComment"),
            info(10, "infoSubject"),
            info(11, "infoGenre"),
            info(12, "infoCopyright"),
            info(13, "infoName"),
            info(14, "infoSoftware"),
            info(15, "infoDisplayName"),
            method(dispidPlay, "Play", VT_EMPTY, {{"fileName", VT_BSTR}}, "Start play of file."),
            method(dispidRecord, "Record", VT_EMPTY, {{"fileName", VT_BSTR}},
                   "Start record of file."),
            method(dispidStop, "Stop", VT_EMPTY, {}, "Stop play or record of file."),
            method(dispidPause, "Pause", VT_EMPTY, {}, "Pause play or record of file."),
            method(dispidContinue, "Continue", VT_EMPTY, {}, "Continue play or record of file."),
            method(dispidSeek, "Seek", VT_EMPTY, {{"BlocksOffset", VT_I4}, {"Origin", VT_I2}},
                   "Seek position of file during play."),
            method(dispidBlockToSec, "BlockToSec", VT_I4, {{"Block", VT_I4}},
                   "Convert blocks to millisecond."),
            method(dispidSecToBlock, "SecToBlock", VT_I4, {{"Millisec", VT_I4}},
                   "Convert millisecond to blocks."),
            method(dispidSetFormatLikeSample, "SetFormatLikeSample", VT_EMPTY,
                   {{"fileName", VT_BSTR}}, "Set current format like sample file."),
            method(dispidSetFormatFromMenu, "SetFormatFromMenu", VT_I4, {}, {}),
        }};
    return desc;
}

const InterfaceDesc& kelvane_events_desc() {
    static const InterfaceDesc desc{
        DIID__DKelvaneEvents,
        "_DKelvaneEvents",
        "Event interface for Kelvane Control",
        {
            event(eventidLevelRecord, "LevelRecord", {{"Level", VT_I4}},
                  "Occurs when current recording level is changed."),
            event(eventidLevelPlay, "LevelPlay", {{"Level", VT_I4}},
                  "Occurs when current playing level is changed."),
            event(eventidGainChange, "GainChange", {}, "Occurs when gain is changed."),
            event(eventidEndPlay, "EndPlay", {}, "Occurs when playback is finished."),
            event(eventidEndRecord, "EndRecord", {}, "Occurs when record is finished."),
            event(eventidBlockPlay, "BlockPlay", {{"Block", VT_I4}}, "Occurs when block to play"),
            event(eventidBlockRecord, "BlockRecord", {{"Block", VT_I4}},
                  "Occurs when block to record"),
            event(eventidVolumeChange, "VolumeChange", {}, "Occurs when volume is changed."),
            event(eventidErrors, "Errors", {{"ErrorCode", VT_I2}, {"ErrorName", VT_BSTR}},
                  "Occurs when error."),
        }};
    return desc;
}

const CoClassDesc& kelvane_class_desc() {
    static const CoClassDesc desc{CLSID_Kelvane, "Kelvane", "Kelvane Control",
                                  &kelvane_dispatch_desc(), &kelvane_events_desc()};
    return desc;
}

const TypeLibDesc& kelvane_typelib_desc() {
    static const TypeLibDesc desc{LIBID_KELVANELib,
                                  "KELVANELib",
                                  1,
                                  0,
                                  "Kelvane.hlp",
                                  "Kelvane ActiveX Control module",
                                  {&kelvane_dispatch_desc(), &kelvane_events_desc()},
                                  {&kelvane_class_desc()}};
    return desc;
}

std::string_view info_property_name(int index) {
    return kelvane_dispatch_desc().find(dispidInfoCreationDate + index)->name;
}

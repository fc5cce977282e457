#include "encoder/mp3enc_type_info.h"

#include "encoder/mp3enc_ids.h"

namespace mp3enc {

namespace {

MemberDesc property(DISPID id, std::string_view name, VARTYPE type, std::string_view help,
                    bool read_only = false) {
    return {id, name, MemberKind::property, type, read_only, {}, help};
}

MemberDesc method(DISPID id, std::string_view name, std::vector<ParamDesc> params,
                  std::string_view help) {
    return {id, name, MemberKind::method, VT_EMPTY, false, std::move(params), help};
}

// What a component's help texts say of its output and the frames it counts.
struct Output {
    std::string_view start;   // the start call's help
    std::string_view stop;    // the stop call's help
    std::string_view frames;  // the total-frames property's help
    std::string_view progress;
};

// The members both components have, at the same dispatch ids, after their own.
std::vector<MemberDesc> with_shared_members(std::vector<MemberDesc> own, const Output& o) {
    own.push_back(method(dispidStop, "Stop", {}, o.stop));
    own.push_back(
        method(dispidStart, "Start", {{"InputFile", VT_BSTR}, {"OutputFile", VT_BSTR}}, o.start));
    own.push_back(property(dispidTotalFrames, "TotalFrames", VT_I4, o.frames, true));
    own.push_back(property(dispidSpeed, "Speed", VT_R8,
                           "Returns how many times faster than real time the current or last "
                           "conversion runs.",
                           true));
    own.push_back(method(dispidSetInfo, "SetInfo", {{"Id", VT_BSTR}, {"Text", VT_BSTR}},
                         "Sets the text of one INFO id (INAM, IART, ICMT, ... or DISP) for the "
                         "next conversions, in place of the WAV file's own; an empty text leaves "
                         "it out."));
    return own;
}

InterfaceDesc conversion_events(const IID& iid, std::string_view name, std::string_view doc,
                                const Output& o) {
    return {iid,
            name,
            doc,
            {
                method(eventidProgress, "Progress", {{"Frames", VT_I4}}, o.progress),
                method(eventidFinished, "Finished", {{"Stopped", VT_BOOL}},
                       "Occurs when the output file is complete: after the whole input, or "
                       "after Stop (Stopped is True)."),
                method(eventidFailed, "Failed", {{"ErrorCode", VT_I4}, {"Description", VT_BSTR}},
                       "Occurs when a conversion fails; a file that was already there is left "
                       "as it was."),
            }};
}

const Output kMp3Output{
    "Starts converting a WAV file into an MP3 file at the current settings and returns at once; "
    "Progress events follow, then Finished or Failed.",
    "Stops a running conversion. The MP3 file keeps what was encoded and says how long it is.",
    "Returns the number of MP3 frames of the whole conversion; exact once it has finished.",
    "Occurs while converting, with the number of MP3 frames encoded so far."};

const Output kWavOutput{
    "Starts converting a WAV file into a WAV file of the current format and returns at once; "
    "Progress events follow, then Finished or Failed.",
    "Stops a running conversion. The WAV file keeps what was converted and is complete.",
    "Returns the number of sample frames of the whole conversion; exact once it has finished.",
    "Occurs while converting, with the number of sample frames written so far."};

}  // namespace

const InterfaceDesc& dispatch_desc() {
    static const InterfaceDesc desc{
        DIID__DMp3Enc, "_DMp3Enc", "Dispatch interface for Mp3Enc Control",
        with_shared_members(
            {
                property(dispidBitrate, "Bitrate", VT_I4,
                         "Returns/sets the bit rate of the MP3 file in bits per second, 8000 to "
                         "320000. A constant bit rate takes the nearest one of the MPEG tables."),
                property(dispidVariableBitrate, "VariableBitrate", VT_BOOL,
                         "Returns/sets whether the frames vary in size: True makes the bit rate "
                         "the average of the whole file, False gives every frame that bit rate."),
                property(dispidCopyTags, "CopyTags", VT_BOOL,
                         "Returns/sets whether the texts of the WAV file (title, artist, "
                         "comment, date, genre, ...) go into an ID3v2 tag of the MP3 file."),
            },
            kMp3Output)};
    return desc;
}

const InterfaceDesc& events_desc() {
    static const InterfaceDesc desc = conversion_events(
        DIID__DMp3EncEvents, "_DMp3EncEvents", "Event interface for Mp3Enc Control", kMp3Output);
    return desc;
}

const CoClassDesc& class_desc() {
    static const CoClassDesc desc{CLSID_Mp3Enc, "Mp3Enc", kTypeName, &dispatch_desc(),
                                  &events_desc()};
    return desc;
}

const InterfaceDesc& wavconv_dispatch_desc() {
    static const InterfaceDesc desc{
        DIID__DWavConv, "_DWavConv", "Dispatch interface for WavConv Control",
        with_shared_members(
            {
                property(dispidFormat, "Format", VT_BSTR,
                         "Returns/sets the format of the WAV file written, as a format name "
                         "such as pcm:44100:2:16 or ima-adpcm:22050:1; empty for 16-bit PCM at "
                         "the listed rate nearest the input's, with the input's channels."),
                property(dispidOutputFormat, "OutputFormat", VT_BSTR,
                         "Returns the name of the format the current or last conversion writes.",
                         true),
            },
            kWavOutput)};
    return desc;
}

const InterfaceDesc& wavconv_events_desc() {
    static const InterfaceDesc desc = conversion_events(
        DIID__DWavConvEvents, "_DWavConvEvents", "Event interface for WavConv Control", kWavOutput);
    return desc;
}

const CoClassDesc& wavconv_class_desc() {
    static const CoClassDesc desc{CLSID_WavConv, "WavConv", kWavConvTypeName,
                                  &wavconv_dispatch_desc(), &wavconv_events_desc()};
    return desc;
}

const TypeLibDesc& typelib_desc() {
    static const TypeLibDesc desc{
        LIBID_MP3ENCLib,
        "MP3ENCLib",
        1,
        0,
        {},
        "Mp3Enc ActiveX Control module",
        {&dispatch_desc(), &events_desc(), &wavconv_dispatch_desc(), &wavconv_events_desc()},
        {&class_desc(), &wavconv_class_desc()}};
    return desc;
}

}  // namespace mp3enc

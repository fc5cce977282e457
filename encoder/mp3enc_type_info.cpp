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

}  // namespace

const InterfaceDesc& dispatch_desc() {
    static const InterfaceDesc desc{
        DIID__DMp3Enc,
        "_DMp3Enc",
        "Dispatch interface for Mp3Enc Control",
        {
            property(dispidBitrate, "Bitrate", VT_I4,
                     "Returns/sets the bit rate of the MP3 file in bits per second, 8000 to "
                     "320000. A constant bit rate takes the nearest one of the MPEG tables."),
            property(dispidVariableBitrate, "VariableBitrate", VT_BOOL,
                     "Returns/sets whether the frames vary in size: True makes the bit rate the "
                     "average of the whole file, False gives every frame that bit rate."),
            property(dispidCopyTags, "CopyTags", VT_BOOL,
                     "Returns/sets whether the texts of the WAV file (title, artist, comment, "
                     "date, genre, ...) go into an ID3v2 tag of the MP3 file."),
            method(dispidStop, "Stop", {},
                   "Stops a running conversion. The MP3 file keeps what was encoded and says "
                   "how long it is."),
            method(dispidStart, "Start", {{"InputFile", VT_BSTR}, {"OutputFile", VT_BSTR}},
                   "Starts converting a WAV file into an MP3 file at the current settings and "
                   "returns at once; Progress events follow, then Finished or Failed."),
            property(dispidTotalFrames, "TotalFrames", VT_I4,
                     "Returns the number of MP3 frames of the whole conversion; exact once it "
                     "has finished.",
                     true),
            property(dispidSpeed, "Speed", VT_R8,
                     "Returns how many times faster than real time the current or last "
                     "conversion runs.",
                     true),
            method(dispidSetInfo, "SetInfo", {{"Id", VT_BSTR}, {"Text", VT_BSTR}},
                   "Sets the text of one INFO id (INAM, IART, ICMT, ... or DISP) for the tags of "
                   "the next conversions, in place of the WAV file's own; an empty text leaves "
                   "it out."),
        }};
    return desc;
}

const InterfaceDesc& events_desc() {
    static const InterfaceDesc desc{
        DIID__DMp3EncEvents,
        "_DMp3EncEvents",
        "Event interface for Mp3Enc Control",
        {
            method(eventidProgress, "Progress", {{"Frames", VT_I4}},
                   "Occurs while converting, with the number of MP3 frames encoded so far."),
            method(eventidFinished, "Finished", {{"Stopped", VT_BOOL}},
                   "Occurs when the MP3 file is complete: after the whole input, or after Stop "
                   "(Stopped is True)."),
            method(eventidFailed, "Failed", {{"ErrorCode", VT_I4}, {"Description", VT_BSTR}},
                   "Occurs when a conversion fails; a file that was already there is left as "
                   "it was."),
        }};
    return desc;
}

const CoClassDesc& class_desc() {
    static const CoClassDesc desc{CLSID_Mp3Enc, "Mp3Enc", kTypeName, &dispatch_desc(),
                                  &events_desc()};
    return desc;
}

const TypeLibDesc& typelib_desc() {
    static const TypeLibDesc desc{LIBID_MP3ENCLib,
                                  "MP3ENCLib",
                                  1,
                                  0,
                                  {},
                                  "Mp3Enc ActiveX Control module",
                                  {&dispatch_desc(), &events_desc()},
                                  {&class_desc()}};
    return desc;
}

}  // namespace mp3enc

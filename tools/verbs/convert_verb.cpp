// kelvane convert: a WAV file into an MP3 file through the MP3 encoder component, or into a WAV
// file of any recording format through the WAV converter component beside it; each created by
// its ProgID and called late-bound by dispatch id, as the conversion window calls the encoder.
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "encoder/mp3enc_ids.h"
#include "platform/codec/format_names.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane convert IN OUT [--bitrate KBPS] [--vbr] [--no-tags] [--format NAME]\n"
    "                              [--info KEY=TEXT ...] [-q]\n"
    "\n"
    "Converts the WAV file IN (PCM of any rate, depth and channel count, float, A-law, mu-law,\n"
    "IMA or MS ADPCM, GSM 6.10 or MP3 inside WAV) into OUT. OUT is written under a temporary\n"
    "name beside it and takes its place only when complete; Ctrl+C ends the conversion early\n"
    "with a shorter, complete file.\n"
    "\n"
    "OUT ending in .mp3: encoded by the MP3 encoder component (MP3ENCLib.Mp3Enc), with an\n"
    "ID3v2 tag of IN's INFO texts and an info frame that tells players its length.\n"
    "  --bitrate KBPS  8 to 320 kbit/s (default 128)\n"
    "  --vbr           KBPS is the average; the frames vary in size\n"
    "  --no-tags       no ID3v2 tag\n"
    "OUT ending in .wav: in the format NAME of `kelvane formats`, e.g. ima-adpcm:22050:1\n"
    "  --format NAME   default: 16-bit PCM at IN's rate (the nearest listed) and channels\n"
    "Both:\n"
    "  --info KEY=TEXT a text in place of IN's own; KEY is title, artist, album, comment, date,\n"
    "                  genre, copyright, software or keywords, an info property such as\n"
    "                  infoName or its INFO chunk id such as INAM (any case); DISP is the\n"
    "                  display name\n"
    "  -q, --quiet     no progress bar and no summary\n"
    "\n"
    "A progress bar goes to standard error when it is a terminal.\n"
    "Exit status: 0 when OUT is complete, 1 on a failure or an interrupted conversion, 2 on bad\n"
    "usage.\n";

struct Request {
    std::string in, out;
    LONG kbps = -1;
    bool vbr = false;
    bool tags = true;
    bool quiet = false;
    std::string format;
    std::vector<std::pair<std::string, std::string>> infos;  // INFO chunk id, text
};

std::string progress_text(std::uint64_t done, std::uint64_t total, const char* unit, double speed) {
    const double part = total ? std::min(1.0, static_cast<double>(done) / total) : 0;
    char text[96];
    std::snprintf(text, sizeof text, "  %3d %%  %llu/%llu %s  %.1fx", static_cast<int>(part * 100),
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                  unit, speed);
    return level_bar(static_cast<LONG>(part * 32767)) + text;
}

int fail(const std::string& message) {
    std::cerr << "kelvane convert: " << message << "\n";
    return 1;
}

// The encoder's Failed description, or the code's text when it said nothing.
std::string failure_text(ControlSession& session, HRESULT hr) {
    for (const auto& e : session.events())
        if (e.name == "Failed" && e.args.size() == 2) return std::string(e.args[1].as_string());
    return hresult_text(hr);
}

// The component of `prog_id`, created through the component layer; false with a message.
bool create(ControlSession& session, const char* prog_id, const char* what) {
    CLSID clsid{};
    if (FAILED(class_from_text(prog_id, &clsid))) {
        fail(std::string("the ") + what + " " + prog_id +
             " is neither registered nor beside kelvane (libmp3enc.so)");
        return false;
    }
    return session.start("convert", clsid, what);
}

struct Outcome {
    bool stopped = false;
    std::uint64_t frames = 0;  // the last progress
};

// The texts in place of IN's own, then the conversion with a progress bar in `unit`, until the
// component has finished (or failed); Ctrl+C stops it. 0, or 1 with the message told.
int run_conversion(ControlSession& session, const Request& r, const char* what, const char* unit,
                   Outcome& outcome) {
    IDispatch* component = session.control();
    for (const auto& [id, text] : r.infos) {
        const Variant args[] = {Variant::string(id), Variant::string(text)};
        if (FAILED(dispatch_invoke_method(component, mp3enc::dispidSetInfo, args)))
            return fail(std::string("the ") + what + " takes no " + id + " text");
    }
    session.events().clear();
    const Variant files[] = {Variant::string(r.in), Variant::string(r.out)};
    if (HRESULT hr = dispatch_invoke_method(component, mp3enc::dispidStart, files); FAILED(hr))
        return fail(failure_text(session, hr));
    Variant total;
    dispatch_get(component, mp3enc::dispidTotalFrames, total);

    // Only on a terminal, and not when asked to be quiet (-1 is no terminal).
    StatusLine bar(std::cerr, r.quiet ? -1 : STDERR_FILENO, true);
    std::uint64_t& frames = outcome.frames;
    bool finished = false, asked_to_stop = false;
    std::string failure;
    while (!finished && failure.empty()) {
        if (ControlSession::interrupted() && !asked_to_stop) {
            asked_to_stop = true;
            dispatch_invoke_method(component, mp3enc::dispidStop, {});
        }
        session.run_for(100);
        for (const auto& e : session.events()) {
            if (e.name == "Progress") frames = static_cast<std::uint64_t>(e.args[0].as_i4());
            if (e.name == "Finished") finished = true, outcome.stopped = e.args[0].as_bool();
            if (e.name == "Failed") failure = std::string(e.args[1].as_string());
        }
        session.events().clear();
        Variant speed;
        dispatch_get(component, mp3enc::dispidSpeed, speed);
        if (finished) dispatch_get(component, mp3enc::dispidTotalFrames, total);
        bar.show(
            progress_text(frames, static_cast<std::uint64_t>(total.as_i4()), unit, speed.as_r8()),
            session.now_ms());
    }
    bar.finish();
    if (!failure.empty()) return fail(failure);
    return 0;
}

const char* verb_of(bool stopped) {
    return stopped ? "Stopped converting" : "Converted";
}

int convert_to_mp3(const Request& r) {
    ControlSession session(false);
    if (!create(session, mp3enc::kProgId, "MP3 encoder")) return 1;
    IDispatch* encoder = session.control();
    const LONG kbps = r.kbps >= 0 ? r.kbps : 128;
    if (FAILED(dispatch_put(encoder, mp3enc::dispidBitrate, Variant::i4(kbps * 1000))) ||
        FAILED(dispatch_put(encoder, mp3enc::dispidVariableBitrate, Variant::boolean(r.vbr))) ||
        FAILED(dispatch_put(encoder, mp3enc::dispidCopyTags, Variant::boolean(r.tags))))
        return fail("the MP3 encoder refused its settings");
    Outcome done;
    if (const int status = run_conversion(session, r, "MP3 encoder", "frames", done)) return status;
    Variant speed;
    dispatch_get(encoder, mp3enc::dispidSpeed, speed);
    if (!r.quiet)
        std::printf("%s %s into %s: %llu frames at %ld kbit/s%s, %.1fx real time\n",
                    verb_of(done.stopped), r.in.c_str(), r.out.c_str(),
                    static_cast<unsigned long long>(done.frames), static_cast<long>(kbps),
                    r.vbr ? " on average" : "", speed.as_r8());
    return done.stopped ? 1 : 0;
}

int convert_to_wav(const Request& r) {
    ControlSession session(false);
    if (!create(session, mp3enc::kWavConvProgId, "WAV converter")) return 1;
    IDispatch* converter = session.control();
    if (FAILED(dispatch_put(converter, mp3enc::dispidFormat, Variant::string(r.format))))
        return fail("the WAV converter refused the format " + r.format);
    Outcome done;
    if (const int status = run_conversion(session, r, "WAV converter", "samples", done))
        return status;
    Variant format;
    dispatch_get(converter, mp3enc::dispidOutputFormat, format);
    if (!r.quiet)
        std::printf("%s %s into %s (%s)\n", verb_of(done.stopped), r.in.c_str(), r.out.c_str(),
                    std::string(format.as_string()).c_str());
    return done.stopped ? 1 : 0;
}

// Which component OUT's name asks for, by the text after its last ".", in any case.
enum class Output { none, wav, mp3 };
Output output_kind(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos) return Output::none;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "mp3" ? Output::mp3 : extension == "wav" ? Output::wav : Output::none;
}

}  // namespace

int convert_verb(std::span<char*> args) {
    Options options(args, kUsage, "convert");
    Request r;
    std::vector<std::string> files;
    while (options.next()) {
        if (options.is("--bitrate")) {
            if (!options.integer(r.kbps, 8, 320)) return 2;
        } else if (options.is("--vbr")) {
            r.vbr = true;
        } else if (options.is("--no-tags")) {
            r.tags = false;
        } else if (options.is("--format")) {
            if (!options.nonempty_text(r.format)) return 2;
        } else if (options.is_quiet()) {
            r.quiet = true;
        } else if (options.is("--info")) {
            std::string id, text;
            if (!options.info_text(id, text)) return 2;
            r.infos.emplace_back(id, text);
        } else {
            std::string file;
            if (!options.positional(file)) return options.status();
            files.push_back(file);
        }
    }
    if (options.done()) return options.status();
    if (files.size() != 2) return options.usage_error("an input file IN and an output file OUT");
    r.in = files[0];
    r.out = files[1];
    if (!r.format.empty()) {
        // Told here, as a usage error, rather than as the converter's refusal.
        if (const auto parsed = quillon::codec::parse_format_name(r.format); !parsed.ok()) {
            std::cerr << "kelvane convert: " << parsed.error << "\n";
            return 2;
        }
    }
    switch (output_kind(r.out)) {
        case Output::mp3:
            if (!r.format.empty())
                return options.usage_error("--format is for .wav outputs; an MP3 takes --bitrate");
            return convert_to_mp3(r);
        case Output::wav:
            if (r.kbps >= 0 || r.vbr || !r.tags)
                return options.usage_error(
                    "--bitrate, --vbr and --no-tags are for .mp3 outputs; a WAV takes --format");
            return convert_to_wav(r);
        case Output::none:
            break;
    }
    return options.usage_error("OUT must end in .mp3 or .wav, not \"" + r.out + "\"");
}

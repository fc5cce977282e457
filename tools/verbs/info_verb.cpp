// kelvane info: what the control reads from a sound file: its format, length and texts.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "control/engine/mp3_stream.h"
#include "control/kelvane_ids.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/file_problems.h"
#include "tools/verbs/options.h"
#include "tools/verbs/standard_streams.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane info FILE\n"
    "\n"
    "Shows the format of a WAV or MP3 file (- reads standard input) as the recorder control\n"
    "reads it, its length in blocks and seconds, and its INFO texts and display name; for an\n"
    "MP3 file also its bit rate (the average when it varies).\n"
    "Exit status: 0 when the file was read, 1 when it cannot be, 2 on bad usage.\n";

void row(const std::string& name, const std::string& value) {
    std::cout << name << ':' << std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') << value
              << '\n';
}

// "128 kbit/s", or "131 kbit/s on average (variable bit rate)".
std::string bit_rate_text(const std::string& path) {
    kelvane::engine::Mp3Stream stream;
    if (kelvane::engine::read_mp3_stream(path, stream) != 0) return {};
    const bool own = stream.layout == kelvane::engine::Mp3Stream::Layout::own;
    const DWORD kbps =
        own ? (stream.format.wfx.nAvgBytesPerSec == 10050 ? 80
                                                          : stream.format.wfx.nAvgBytesPerSec / 125)
            : stream.average_kbps;
    std::string text = std::to_string(kbps) + " kbit/s";
    if (stream.variable) text += " on average (variable bit rate)";
    return text;
}

}  // namespace

int info_verb(std::span<char*> args) {
    Options options(args, kUsage, "info");
    std::string file;
    while (options.next())
        if (!options.positional(file)) return options.status();
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE (or -) is required");
    const std::string shown = shown_name(file, false);
    TemporaryFile input;
    const std::string path = readable_path(file, input, "info");
    if (path.empty()) return 1;

    // The file is opened for playback to learn its length and texts: on the virtual card, so
    // nothing is heard.
    setenv("KELVANE_AUDIO", "virtual", 1);
    setenv("KELVANE_VIRTUAL_DEVICES", "1,1", 1);
    setenv("KELVANE_VIRTUAL_OUTPUT", "", 1);
    ControlSession session(true);
    if (!session.start("info")) return 1;
    session.call("SetFormatLikeSample", {Variant::string(path)});
    if (!session.errors().empty()) {
        std::cerr << "kelvane info: cannot read " << shown << ": " << why_not_playable(path) << " ("
                  << session.errors().front() << ")\n";
        return 1;
    }
    session.call("Play", {Variant::string(path)});
    const LONG blocks = session.get_long("BlocksCount");
    const auto ms = session.call("BlockToSec", {Variant::i4(blocks)});

    row("File", shown);
    row("Format", session.get_string("FormatString"));
    for (const char* field : {"wFormatTag", "nChannels", "nSamplesPerSec", "nAvgBytesPerSec",
                              "nBlockAlign", "wBitsPerSample"})
        row(field, std::to_string(session.get_long(field)));
    if (session.get_long("wFormatTag") == WAVE_FORMAT_MPEGLAYER3)
        if (const std::string rate = bit_rate_text(path); !rate.empty()) row("Bit rate", rate);
    row("Blocks", std::to_string(blocks));
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f s", (ms ? ms->as_i4() : 0) / 1000.0);
    row("Duration", duration);
    for (const std::string& name : session.info_property_names()) {
        const std::string text = session.get_string(name);
        if (!text.empty()) row(name, text);
    }
    session.call("Stop");
    return 0;
}

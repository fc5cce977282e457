// kelvane info: what the control reads from a sound file: its format, length and texts.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "control/kelvane_ids.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane info FILE\n"
    "\n"
    "Shows the format of a WAV or MP3 file as the recorder control reads it, its length in\n"
    "blocks and seconds, and its INFO texts and display name.\n";

void row(const std::string& name, const std::string& value) {
    std::cout << name << ':' << std::string(name.size() < 22 ? 22 - name.size() : 1, ' ') << value
              << '\n';
}

}  // namespace

int info_verb(std::span<char*> args) {
    Options options(args, kUsage, "info");
    std::string file;
    while (options.next())
        if (!options.positional(file)) return options.status();
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE is required");

    // The file is opened for playback to learn its length and texts: on the virtual card, so
    // nothing is heard.
    setenv("KELVANE_AUDIO", "virtual", 1);
    setenv("KELVANE_VIRTUAL_DEVICES", "1,1", 1);
    setenv("KELVANE_VIRTUAL_OUTPUT", "", 1);
    ControlSession session(true);
    if (!session.start("info")) return 1;
    session.call("SetFormatLikeSample", {Variant::string(file)});
    if (!session.errors().empty()) {
        std::cerr << "kelvane info: cannot read " << file << ": " << session.errors().front()
                  << "\n";
        return 1;
    }
    session.call("Play", {Variant::string(file)});
    const LONG blocks = session.get_long("BlocksCount");
    const auto ms = session.call("BlockToSec", {Variant::i4(blocks)});

    row("File", file);
    row("Format", session.get_string("FormatString"));
    for (const char* field : {"wFormatTag", "nChannels", "nSamplesPerSec", "nAvgBytesPerSec",
                              "nBlockAlign", "wBitsPerSample"})
        row(field, std::to_string(session.get_long(field)));
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

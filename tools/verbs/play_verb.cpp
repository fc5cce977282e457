// kelvane play: plays a WAV or MP3 file with its position and time shown; Ctrl+C stops.
#include <iostream>
#include <string>

#include "tools/verbs/control_session.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane play FILE [--device N] [--start SECONDS] [--clock real|manual]\n"
    "\n"
    "Plays FILE (WAV or MP3) on an output device, showing the position; Ctrl+C stops.\n"
    "  --device N       0 = the wave mapper, N = output device N (see `kelvane devices`)\n"
    "  --start SECONDS  start this far into the file\n"
    "  --clock manual   run in virtual time (the virtual sound card only), for tests\n";

}  // namespace

int play_verb(std::span<char*> args) {
    Options options(args, kUsage, "play");
    std::string file;
    LONG device = -1;
    double start = 0;
    bool manual = false;
    while (options.next()) {
        if (options.is("--device")) {
            if (!options.integer(device, 0, 1000)) return 2;
        } else if (options.is("--start")) {
            if (!options.number(start, 0, 2e6)) return 2;
        } else if (options.is("--clock")) {
            if (!options.manual_clock(manual)) return 2;
        } else if (!options.positional(file)) {
            return options.status();
        }
    }
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE to play is required");

    ControlSession session(manual);
    if (!session.start("play")) return 1;
    if (session.get_long("devOutputMax") < 1) {
        std::cerr << "kelvane play: there is no output device\n";
        return 1;
    }
    if (device >= 0 && !session.put("devOutput", Variant::i4(device))) return 1;
    session.put("TypePlayLevel", Variant::i2(2));
    session.events().clear();
    session.call("Play", {Variant::string(file)});
    for (const auto& error : session.errors()) std::cerr << "kelvane play: " << error << "\n";
    if (!session.errors().empty()) return 1;

    const LONG total_blocks = session.get_long("BlocksCount");
    const auto total_ms = session.call("BlockToSec", {Variant::i4(total_blocks)});
    const std::string total = seconds_text(total_ms ? total_ms->as_i4() : 0);
    std::cout << "Playing " << file << " (" << session.get_string("FormatString") << ", " << total
              << ") on " << session.get_string("devOutputName") << "\n";
    if (start > 0) {
        const auto blocks =
            session.call("SecToBlock", {Variant::i4(static_cast<LONG>(start * 1000))});
        if (blocks) session.call("Seek", {*blocks, Variant::i2(3)});
    }

    StatusLine status;
    LONG position = 0, level = 0;
    bool ended = false;
    while (!ended && !ControlSession::interrupted() && session.errors().empty()) {
        session.run_for(manual ? 100 : 50);
        for (const auto& e : session.events()) {
            if (e.name == "BlockPlay") position = e.args[0].as_i4();
            if (e.name == "LevelPlay") level = e.args[0].as_i4();
            if (e.name == "EndPlay") ended = true;
        }
        session.events().clear();
        const auto ms = session.call("BlockToSec", {Variant::i4(position)});
        status.show(
            "  " + seconds_text(ms ? ms->as_i4() : 0) + " / " + total + "  " + level_bar(level),
            session.now_ms());
    }
    if (!ended) session.call("Stop");
    status.finish();
    for (const auto& error : session.errors()) std::cerr << "kelvane play: " << error << "\n";
    return session.errors().empty() ? 0 : 1;
}

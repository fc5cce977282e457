// kelvane play: plays a WAV or MP3 file (or standard input) with its position and time shown;
// Ctrl+C stops.
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <string>

#include "control/kelvane_ids.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/devices.h"
#include "tools/verbs/file_problems.h"
#include "tools/verbs/options.h"
#include "tools/verbs/standard_streams.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane play FILE [--device DEVICE] [--start SECONDS] [-q] [--clock real|manual]\n"
    "\n"
    "Plays FILE (WAV or MP3; - reads standard input to its end first) on an output device,\n"
    "showing the position and a level meter on standard error; Ctrl+C stops.\n"
    "  --device DEVICE  a number or a part of a name from `kelvane devices` (0 is the wave\n"
    "                   mapper, which follows the system's default); default: output device 1\n"
    "  --start SECONDS  start this far into the file\n"
    "  -q, --quiet      show only warnings and errors\n"
    "  --clock manual   run in virtual time (the virtual sound card only), for tests\n"
    "Exit status: 0 when the file was played, 1 on a failure, 2 on bad usage.\n";

}  // namespace

int play_verb(std::span<char*> args) {
    Options options(args, kUsage, "play");
    std::string file, device;
    double start = 0;
    bool manual = false, quiet = false;
    while (options.next()) {
        if (options.is("--device")) {
            if (!options.nonempty_text(device)) return 2;
        } else if (options.is("--start")) {
            if (!options.number(start, 0, 2e6)) return 2;
        } else if (options.is("--clock")) {
            if (!options.manual_clock(manual)) return 2;
        } else if (options.is_quiet()) {
            quiet = true;
        } else if (!options.positional(file)) {
            return options.status();
        }
    }
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE to play (or -) is required");
    const std::string shown = shown_name(file, false);
    TemporaryFile input;
    const std::string path = readable_path(file, input, "play");
    if (path.empty()) return 1;

    ControlSession session(manual);
    if (!session.start("play")) return 1;
    if (session.get_long("devOutputMax") < 1) {
        std::cerr << "kelvane play: there is no output device\n";
        return 1;
    }
    if (!device.empty()) {
        std::string error;
        const auto found = find_device(device_names(session, DeviceDirection::output, 1), device,
                                       DeviceDirection::output, error);
        if (!found) {
            std::cerr << "kelvane play: " << error << "\n";
            return 1;
        }
        if (!session.put("devOutput", Variant::i4(*found))) return 1;
    }
    warn_about_fallback("play", DeviceDirection::output);
    session.put("TypePlayLevel", Variant::i2(2));
    session.events().clear();
    session.call("Play", {Variant::string(path)});
    if (!session.errors().empty()) {
        for (const auto& e : session.errors()) {
            if (e == "File open error")
                std::cerr << "kelvane play: cannot play " << shown << ": " << why_not_playable(path)
                          << " (" << e << ")\n";
            else
                std::cerr << "kelvane play: " << e << "\n";
        }
        return 1;
    }

    const LONG total_blocks = session.get_long("BlocksCount");
    const auto total_ms = session.call("BlockToSec", {Variant::i4(total_blocks)});
    const std::string total = seconds_text(total_ms ? total_ms->as_i4() : 0);
    if (!quiet)
        std::cerr << "Playing " << shown << " (" << session.get_string("FormatString") << ", "
                  << total << ") on " << session.get_string("devOutputName") << "\n";
    if (start > 0) {
        // Blocks are sample frames at the file's rate. (SecToBlock's 32-bit product wraps past
        // 97 s at 44.1 kHz, so it is not asked.)
        double blocks = start * session.get_long("nSamplesPerSec");
        if (blocks > total_blocks) {
            std::cerr << "kelvane play: --start " << start << " is past the end (" << total
                      << "); playing from the end\n";
            blocks = total_blocks;
        }
        session.call("Seek", {Variant::i4(static_cast<LONG>(blocks)), Variant::i2(3)});
    }

    StatusLine status(std::cerr, STDERR_FILENO, false);
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
        if (!quiet)
            status.show(
                "  " + seconds_text(ms ? ms->as_i4() : 0) + " / " + total + "  " + level_bar(level),
                session.now_ms());
    }
    if (!ended) session.call("Stop");
    status.finish();
    for (std::size_t i = 0; i < session.errors().size(); ++i) {
        std::cerr << "kelvane play: " << session.errors()[i];
        const auto code = static_cast<KelvaneError>(session.error_codes()[i]);
        const auto ms = session.call("BlockToSec", {Variant::i4(position)});
        if (code == KelvaneError::output_device)
            std::cerr << ": the output device stopped working at "
                      << seconds_text(ms ? ms->as_i4() : 0) << " of " << total;
        std::cerr << "\n";
    }
    return session.errors().empty() ? 0 : 1;
}

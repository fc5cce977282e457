// kelvane script: the control test container.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string_view>

#include "control/kelvane_ids.h"
#include "tools/script/script_runner.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kScriptUsage =
    "usage: kelvane script [--clock manual|real] [--design] [FILE]\n"
    "\n"
    "Creates one control by its class identifier, sites it (run time, or design time with\n"
    "--design), prints every event it fires and runs the commands of FILE (default: standard\n"
    "input), one per line:\n"
    "  set NAME VALUE      write a property\n"
    "  get NAME            print NAME = VALUE\n"
    "  call NAME [ARG...]  call a method; prints NAME -> VALUE when it returns one\n"
    "  wait MS             run the message loop for MS milliseconds\n"
    "  echo TEXT           print TEXT\n"
    "  new                 destroy the control and create a fresh one\n"
    "  save FILE           write the control's saved state to FILE\n"
    "  load FILE           a fresh control loaded from FILE\n"
    "  choose FORMAT       the next format chooser's answer (a format name, or cancel)\n"
    "  draw FILE           the control's design-time face as a PNG\n"
    "Arguments: integers, true/false, \"strings\" (\\\" and \\\\ escaped). Lines starting with #\n"
    "are comments. The clock is manual by default: time moves only in `wait`.\n"
    "Exit status: 1 when any command failed or FILE cannot be read, 2 on bad usage, else 0.\n";

}  // namespace

int script_verb(std::span<char*> args) {
    ScriptOptions options;
    const char* file = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kScriptUsage;
            return 0;
        }
        if (arg == "--design") {
            options.design_mode = true;
        } else if (arg == "--clock" && i + 1 < args.size()) {
            const std::string_view clock = args[++i];
            if (clock != "manual" && clock != "real") {
                std::cerr << "kelvane script: --clock takes manual or real, not \"" << clock
                          << "\"\n";
                return 2;
            }
            options.manual_clock = clock == "manual";
        } else if (!arg.empty() && arg.front() == '-' && arg != "-") {
            std::cerr << "kelvane script: unknown option " << arg << "\n" << kScriptUsage;
            return 2;
        } else if (!file) {
            file = args[i];
        } else {
            std::cerr << "kelvane script: only one FILE may be given\n";
            return 2;
        }
    }
    if (!file || std::string_view(file) == "-")
        return run_script(std::cin, std::cout, CLSID_Kelvane, options);
    std::ifstream in(file);
    if (!in) {
        std::cerr << "kelvane script: cannot open " << file << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    return run_script(in, std::cout, CLSID_Kelvane, options);
}

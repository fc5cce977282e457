// The client side of the remote: `zarvo --record`, `--pause`, `--stop` and `--status` sent to a
// running copy over the session bus. The program's main() asks first, before it builds its
// application object:
//
//     if (const auto code = run_remote_option(argc, argv)) return *code;
#pragma once

#include <optional>

// Nothing when the command line is not one of those options (the program then starts as usual);
// otherwise the exit status after the request: 0 when the running copy took it, 1 when there is
// no running copy or no session bus (both said on standard error). --status prints the activity,
// the file and the seconds on one line, separated by tabs.
std::optional<int> run_remote_option(int argc, char** argv);

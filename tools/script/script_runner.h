// `kelvane script`: a control test container driven by commands, one per line.
#pragma once

#include <iosfwd>
#include <string>

#include "platform/com/guid.h"

struct ScriptOptions {
    bool manual_clock = true;
    bool design_mode = false;
};

// Runs every line of `in` against a control of class `clsid`, printing results, events and
// errors to `out`. Returns the exit status: 1 when any command failed, else 0.
int run_script(std::istream& in, std::ostream& out, REFCLSID clsid, const ScriptOptions& options);

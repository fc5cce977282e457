// kelvane formats and kelvane devices: what the codec manager and the wave devices offer.
#include <iostream>
#include <string>

#include "platform/codec/format_names.h"
#include "platform/wave/wave_backend_choice.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/devices.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kFormatsUsage =
    "usage: kelvane formats\n"
    "\n"
    "Lists every format a recording can be made in, one per line: the name that\n"
    "`kelvane record --format` and the script's `choose` take, the tag name and a description.\n";

constexpr std::string_view kDevicesUsage =
    "usage: kelvane devices\n"
    "\n"
    "Lists the input and output devices by the numbers that --device, devInput and devOutput\n"
    "take (0 is the wave mapper, which stands for the system's default device). `kelvane\n"
    "record` and `kelvane play` also take a part of a name shown here, in any case.\n"
    "KELVANE_AUDIO chooses where the devices come from (auto, alsa or virtual).\n";

bool no_arguments(std::span<char*> args, std::string_view usage, std::string_view verb,
                  int& status) {
    Options options(args, usage, verb);
    if (options.next()) options.usage_error("takes no arguments");
    status = options.status();
    return !options.done();
}

void list_devices(ControlSession& session, const char* title, DeviceDirection direction) {
    std::cout << title << ":\n";
    const std::vector<std::string> names = device_names(session, direction, 1);
    if (names.empty()) std::cout << "  (none)\n";
    for (std::size_t n = 0; n < names.size(); ++n)
        std::cout << "  " << n << "  " << names[n] << '\n';
}

}  // namespace

int formats_verb(std::span<char*> args) {
    int status = 0;
    if (!no_arguments(args, kFormatsUsage, "formats", status)) return status;
    std::cout << quillon::codec::format_list_text();
    return 0;
}

int devices_verb(std::span<char*> args) {
    int status = 0;
    if (!no_arguments(args, kDevicesUsage, "devices", status)) return status;
    ControlSession session(true);
    if (!session.start("devices")) return 1;
    list_devices(session, "Input devices", DeviceDirection::input);
    list_devices(session, "Output devices", DeviceDirection::output);
    if (wave_backend_choice().fallback)
        std::cerr << "kelvane devices: no sound server or sound card found; these are the "
                     "virtual card's\n";
    return 0;
}

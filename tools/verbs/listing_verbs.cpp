// kelvane formats and kelvane devices: what the codec manager and the wave devices offer.
#include <iostream>
#include <string>

#include "platform/codec/format_names.h"
#include "tools/verbs/control_session.h"
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
    "take (0 is the wave mapper, which picks a device for you).\n";

bool no_arguments(std::span<char*> args, std::string_view usage, std::string_view verb,
                  int& status) {
    Options options(args, usage, verb);
    if (options.next()) options.usage_error("takes no arguments");
    status = options.status();
    return !options.done();
}

void list_devices(ControlSession& session, const char* title, const char* number, const char* count,
                  const char* name) {
    const LONG devices = session.get_long(count);
    std::cout << title << ":\n";
    if (devices == 0) {
        std::cout << "  (none)\n";
        return;
    }
    for (LONG n = 0; n <= devices; ++n) {
        session.put(number, Variant::i4(n));
        std::cout << "  " << n << "  " << session.get_string(name) << '\n';
    }
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
    list_devices(session, "Input devices", "devInput", "devInputMax", "devInputName");
    list_devices(session, "Output devices", "devOutput", "devOutputMax", "devOutputName");
    return 0;
}

// kelvane: the command-line face of the wave recorder control.
#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "tools/verbs/registration_verbs.h"
#include "tools/verbs/verbs.h"

namespace {

struct Verb {
    std::string_view name;
    std::string_view summary;
    int (*run)(std::span<char*> args);
};

constexpr Verb kVerbs[] = {
    {"record", "record the input device into a WAV or MP3 file", record_verb},
    {"play", "play a WAV or MP3 file", play_verb},
    {"info", "show the format, length and texts of a sound file", info_verb},
    {"convert", "convert a WAV file into an MP3 file or another WAV format", convert_verb},
    {"formats", "list the formats a recording can be made in", formats_verb},
    {"devices", "list the input and output devices", devices_verb},
    {"script", "drive a control with automation commands and print its events", script_verb},
    {"register", "register the control library for hosts in any folder", register_verb},
    {"unregister", "remove the control library's registration", unregister_verb},
};

void print_usage(std::ostream& out) {
    out << "usage: kelvane VERB [OPTIONS]\n\nVerbs:\n";
    for (const auto& verb : kVerbs) {
        out << "  " << verb.name;
        for (std::size_t pad = verb.name.size(); pad < 10; ++pad) out << ' ';
        out << verb.summary << '\n';
    }
    out << "\n`kelvane VERB --help` describes a verb.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(std::cerr);
        return 2;
    }
    const std::string_view verb = argv[1];
    if (verb == "--help" || verb == "-h" || verb == "help") {
        print_usage(std::cout);
        return 0;
    }
    for (const auto& v : kVerbs)
        if (v.name == verb) return v.run(std::span<char*>(argv + 2, argc - 2));
    std::cerr << "kelvane: unknown verb \"" << verb << "\"\n";
    print_usage(std::cerr);
    return 2;
}

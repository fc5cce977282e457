// kelvane: the command-line face of the wave recorder control.
#include <algorithm>
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
    {"repair", "settle the sizes of a WAV file that was cut short", repair_verb},
    {"formats", "list the formats a recording can be made in", formats_verb},
    {"devices", "list the input and output devices", devices_verb},
    {"script", "drive a control with automation commands and print its events", script_verb},
    {"register", "register the control library for hosts in any folder", register_verb},
    {"unregister", "remove the control library's registration", unregister_verb},
};

void print_usage(std::ostream& out) {
    out << "usage: kelvane VERB [OPTIONS]\n"
           "       kelvane help VERB | --help | --version\n\nVerbs:\n";
    std::size_t width = 0;
    for (const auto& verb : kVerbs) width = std::max(width, verb.name.size());
    for (const auto& verb : kVerbs)
        out << "  " << verb.name << std::string(width + 2 - verb.name.size(), ' ') << verb.summary
            << '\n';
    out << "\n`kelvane help VERB` (or `kelvane VERB --help`) describes a verb; `man kelvane` "
           "describes them all.\n"
           "Exit status: 0 on success, 1 when something failed (a message says what), 2 on bad "
           "usage.\n";
}

const Verb* find_verb(std::string_view name) {
    for (const auto& v : kVerbs)
        if (v.name == name) return &v;
    return nullptr;
}

int unknown_verb(std::string_view name) {
    std::cerr << "kelvane: unknown verb \"" << name << "\"\n";
    print_usage(std::cerr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(std::cerr);
        return 2;
    }
    const std::string_view verb = argv[1];
    if (verb == "--version" || verb == "-V") {
        std::cout << "kelvane " << QUILLON_VERSION << "\n";
        return 0;
    }
    if (verb == "--help" || verb == "-h") {
        print_usage(std::cout);
        return 0;
    }
    if (verb == "help") {
        if (argc == 2) {
            print_usage(std::cout);
            return 0;
        }
        const Verb* v = find_verb(argv[2]);
        if (!v || argc > 3) return unknown_verb(argc > 3 ? argv[3] : argv[2]);
        char help[] = "--help";
        char* args[] = {help};
        return v->run(std::span<char*>(args));
    }
    if (const Verb* v = find_verb(verb)) return v->run(std::span<char*>(argv + 2, argc - 2));
    return unknown_verb(verb);
}

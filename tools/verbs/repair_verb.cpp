// kelvane repair: settles the sizes of a WAV file that was cut short (a recorder killed or out of
// disk, a writer on a pipe), in place, and says what it found.
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/riff/mmio.h"
#include "platform/riff/riff_repair.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane repair FILE [--dry-run]\n"
    "\n"
    "Settles the RIFF and chunk sizes of a WAV file cut short (by a recorder that was killed or\n"
    "ran out of disk, or one that wrote to a pipe) so that every player reads all the audio it\n"
    "holds. Only size fields are written, in place; nothing is written when they are right.\n"
    "  --dry-run   only say what would change\n";

std::string fourcc_text(FOURCC id) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += static_cast<char>((id >> (8 * i)) & 0xFF);
    return text;
}

std::string size_text(DWORD size) {
    return size == 0xFFFFFFFF ? "0xFFFFFFFF" : std::to_string(size);
}

}  // namespace

int repair_verb(std::span<char*> args) {
    Options options(args, kUsage, "repair");
    std::string file;
    bool dry_run = false;
    while (options.next()) {
        if (options.is("--dry-run"))
            dry_run = true;
        else if (!options.positional(file))
            return options.status();
    }
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE to repair is required");

    quillon::riff::RiffRepair report;
    const MMRESULT result = quillon::riff::repair_riff_sizes(file.c_str(), !dry_run, report);
    if (result == MMIOERR_INVALIDFILE) {
        std::cerr << "kelvane repair: " << file
                  << " does not begin with a RIFF header; nothing was changed\n";
        return 1;
    }
    if (result == MMIOERR_CANNOTEXPAND) {
        std::cerr << "kelvane repair: " << file
                  << " is longer than RIFF sizes can count; nothing was changed\n";
        return 1;
    }
    if (result != 0) {
        std::cerr << "kelvane repair: cannot " << (dry_run ? "read " : "repair ") << file
                  << " (error " << result << ")\n";
        return 1;
    }
    if (report.form != mmioFOURCC('W', 'A', 'V', 'E'))
        std::cout << file << ": a RIFF \"" << fourcc_text(report.form) << "\" file, not WAVE\n";
    if (!report.changed()) {
        std::cout << file << ": the sizes agree with the file (" << report.file_length
                  << " bytes); nothing to repair\n";
        return 0;
    }
    const char* verb = dry_run ? " would become " : " -> ";
    std::cout << file << " (" << report.file_length << " bytes):\n";
    if (report.riff_found != report.riff_settled)
        std::cout << "  RIFF size " << size_text(report.riff_found) << verb
                  << size_text(report.riff_settled) << "\n";
    for (const auto& chunk : report.chunks)
        if (chunk.found != chunk.settled)
            std::cout << "  \"" << fourcc_text(chunk.id) << "\" size " << size_text(chunk.found)
                      << verb << size_text(chunk.settled) << " (the chunk runs to the end of the "
                      << "file)\n";
    std::cout << (dry_run ? "nothing written (--dry-run)\n" : "repaired\n");
    return 0;
}

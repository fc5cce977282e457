// kelvane record: records from an input device into a WAV or MP3 file until a time has passed
// or the user interrupts; the file is always finalized.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "control/kelvane_ids.h"
#include "control/kelvane_info_slots.h"
#include "platform/codec/format_names.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane record FILE [--seconds N] [--format NAME] [--device N] [--buffer MS]\n"
    "                           [--info KEY=TEXT ...] [--clock real|manual]\n"
    "\n"
    "Records the input device into FILE (.wav or .mp3) until N seconds have passed, or until\n"
    "Ctrl+C. The file is finalized in every case.\n"
    "  --format NAME   a format from `kelvane formats`, e.g. pcm:44100:2:16 or mp3:44100:2:128\n"
    "                  (default: PCM 8000 Hz 16-bit mono)\n"
    "  --device N      0 = the wave mapper, N = input device N (see `kelvane devices`)\n"
    "  --buffer MS     capture buffer length, 500..100000 ms (default 2000)\n"
    "  --info KEY=TEXT a text for the file's INFO list; KEY is an info property such as\n"
    "                  infoName or its chunk id such as INAM (any case); DISP is the display name\n"
    "  --clock manual  run in virtual time (the virtual sound card only), for tests\n";

// The info property that fills INFO chunk `id` ("DISP": the display name); empty for the
// slots that only a file fills.
std::string info_property_for_id(const std::string& id) {
    if (id == "DISP") return std::string(kelvane::kDisplayNameProperty);
    for (const auto& slot : kelvane::kInfoSlots)
        if (id == slot.id && slot.property) return slot.property;
    return {};
}

// Makes the control's format chooser answer with `name`.
bool choose_format(ControlSession& session, const std::string& name) {
    const auto parsed = quillon::codec::parse_format_name(name);
    if (!parsed.ok()) {
        std::cerr << "kelvane record: " << parsed.error << "\n";
        return false;
    }
    const std::string wanted = quillon::codec::format_name(parsed.wfx());
    const auto previous = acm_set_format_chooser(
        [&](const ACMFORMATCHOOSEA&, std::span<const AcmFormatChoice> choices) {
            for (std::size_t i = 0; i < choices.size(); ++i)
                if (choices[i].name == wanted) return static_cast<int>(i);
            return -1;
        });
    const auto result = session.call("SetFormatFromMenu");
    acm_set_format_chooser(previous);
    const bool same =
        session.get_long("wFormatTag") == parsed.wfx().wFormatTag &&
        session.get_long("nSamplesPerSec") == static_cast<LONG>(parsed.wfx().nSamplesPerSec) &&
        session.get_long("nChannels") == parsed.wfx().nChannels &&
        session.get_long("nAvgBytesPerSec") == static_cast<LONG>(parsed.wfx().nAvgBytesPerSec);
    if (!result || result->as_i4() != 0 || !same) {
        std::cerr << "kelvane record: format " << name << " cannot be recorded here\n";
        return false;
    }
    return true;
}

}  // namespace

int record_verb(std::span<char*> args) {
    Options options(args, kUsage, "record");
    std::string file;
    double seconds = -1;
    std::string format;
    LONG device = -1, buffer = -1;
    std::vector<std::pair<std::string, std::string>> infos;  // INFO chunk id, text
    bool manual = false;
    while (options.next()) {
        if (options.is("--seconds")) {
            if (!options.number(seconds, 0, 1e7)) return 2;
        } else if (options.is("--format")) {
            if (!options.text(format)) return 2;
        } else if (options.is("--device")) {
            if (!options.integer(device, 0, 1000)) return 2;
        } else if (options.is("--buffer")) {
            if (!options.integer(buffer, 1, 100000000)) return 2;
        } else if (options.is("--info")) {
            std::string id, text;
            if (!options.info_text(id, text)) return 2;
            infos.emplace_back(id, text);
        } else if (options.is("--clock")) {
            if (!options.manual_clock(manual)) return 2;
        } else if (!options.positional(file)) {
            return options.status();
        }
    }
    if (options.done()) return options.status();
    if (file.empty()) return options.usage_error("a FILE to record into is required");
    if (manual && seconds < 0)
        return options.usage_error("--clock manual needs --seconds (nothing else ends it)");

    ControlSession session(manual);
    if (!session.start("record")) return 1;
    if (session.get_long("devInputMax") < 1) {
        std::cerr << "kelvane record: there is no input device\n";
        return 1;
    }
    if (device >= 0 && !session.put("devInput", Variant::i4(device))) return 1;
    if (buffer >= 0 && !session.put("BufferSize", Variant::i4(buffer))) return 1;
    for (const auto& [id, text] : infos) {
        const std::string property = info_property_for_id(id);
        if (property.empty()) {
            std::cerr << "kelvane record: " << id << " has no info property; only a file read "
                      << "back fills it\n";
            return 2;
        }
        if (!session.put(property, Variant::string(text))) return 1;
    }
    session.put("TypeRecordLevel", Variant::i2(2));
    if (!format.empty() && !choose_format(session, format)) return 1;

    const std::string format_text = session.get_string("FormatString");
    const std::string device_name = session.get_string("devInputName");
    std::cout << "Recording " << file << " (" << format_text << ") from " << device_name << "\n";
    session.events().clear();
    session.call("Record", {Variant::string(file)});
    for (const auto& error : session.errors()) std::cerr << "kelvane record: " << error << "\n";
    if (!session.errors().empty()) return 1;

    StatusLine status;
    const std::uint64_t start = session.now_ms();
    LONG level = 0;
    bool ended = false;
    for (;;) {
        const std::uint64_t elapsed = session.now_ms() - start;
        if (seconds >= 0 && elapsed >= static_cast<std::uint64_t>(seconds * 1000)) break;
        if (ControlSession::interrupted()) break;
        const std::uint64_t slice =
            seconds >= 0
                ? std::min<std::uint64_t>(100, static_cast<std::uint64_t>(seconds * 1000) - elapsed)
                : 100;
        session.run_for(manual ? slice : std::min<std::uint64_t>(slice, 50));
        for (const auto& e : session.events()) {
            if (e.name == "LevelRecord") level = e.args[0].as_i4();
            if (e.name == "EndRecord") ended = true;
        }
        session.events().clear();
        if (ended || !session.errors().empty()) break;
        status.show("  " + seconds_text(static_cast<LONG>(session.now_ms() - start)) + "  " +
                        level_bar(level),
                    session.now_ms());
    }
    if (!ended) session.call("Stop");
    status.finish();
    for (const auto& e : session.events()) ended |= e.name == "EndRecord";
    for (const auto& error : session.errors()) std::cerr << "kelvane record: " << error << "\n";
    const LONG blocks = session.get_long("BlocksCount");
    const auto ms = session.call("BlockToSec", {Variant::i4(blocks)});
    std::cout << "Recorded " << blocks << " blocks (" << seconds_text(ms ? ms->as_i4() : 0)
              << ") into " << file << "\n";
    return ended && session.errors().empty() ? 0 : 1;
}

// kelvane record: records from an input device into a WAV or MP3 file (or a WAV stream on
// standard output) until a length of audio is in the file or the user interrupts; the file is
// always finalized.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "control/kelvane_ids.h"
#include "control/kelvane_info_slots.h"
#include "platform/codec/format_names.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/devices.h"
#include "tools/verbs/failure_text.h"
#include "tools/verbs/file_problems.h"
#include "tools/verbs/options.h"
#include "tools/verbs/standard_streams.h"
#include "tools/verbs/verbs.h"
#include "tools/verbs/wav_trim.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane record FILE [--seconds N] [--format NAME] [--device DEVICE] [--buffer MS]\n"
    "                           [--info KEY=TEXT ...] [-q] [--clock real|manual]\n"
    "\n"
    "Records the input device into FILE (.wav or .mp3), or as a WAV stream to standard output\n"
    "when FILE is -, until N seconds of audio are recorded or until Ctrl+C. The file is\n"
    "finalized in every case. The format, the device and then the time and a level meter are\n"
    "shown on standard error.\n"
    "  --seconds N     stop when the file holds N seconds of audio, whenever the device starts\n"
    "                  delivering; at least 0.5; 0 (the default) records until Ctrl+C\n"
    "  --format NAME   a format from `kelvane formats`, e.g. pcm:44100:2:16 or mp3:44100:2:128;\n"
    "                  default: 16-bit PCM at the device's preferred rate, stereo when it has\n"
    "                  two channels (for an .mp3 FILE: MP3 at 128 kbit/s)\n"
    "  --device DEVICE a number or a part of a name from `kelvane devices` (0 is the wave\n"
    "                  mapper, which follows the system's default); default: input device 1\n"
    "  --buffer MS     capture buffer length, 500..100000 ms (default 2000); the file grows by\n"
    "                  one buffer at a time. With --seconds the buffers are shortened to add up\n"
    "                  to the length\n"
    "  --info KEY=TEXT a text for the file's INFO list; KEY is title, artist, album, comment,\n"
    "                  date, genre, copyright, software or keywords, an info property such as\n"
    "                  infoName or its chunk id such as INAM (any case); DISP is the display name\n"
    "  -q, --quiet     show only warnings and errors\n"
    "  --clock manual  run in virtual time (the virtual sound card only), for tests\n"
    "Exit status: 0 when the recording is complete, 1 on a failure, 2 on bad usage.\n";

constexpr double kShortestBufferMs = 500;
constexpr double kShortestSeconds = kShortestBufferMs / 1000;

struct Request {
    std::string file;
    double seconds = 0;  // 0: until interrupted
    std::string format;
    std::string device;
    LONG buffer = -1;
    std::vector<std::pair<std::string, std::string>> infos;  // INFO chunk id, text
    bool quiet = false;
    bool manual = false;
};

bool has_extension(const std::string& path, std::string_view extension) {
    return path.size() > extension.size() &&
           names_equal(std::string_view(path).substr(path.size() - extension.size()), extension);
}

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

// The format of a recording without --format.
std::string default_format(LONG device, bool mp3) {
    const PreferredPcm pcm = preferred_pcm(device);
    const std::string rate_and_channels =
        std::to_string(pcm.rate) + ":" + std::to_string(pcm.channels);
    if (mp3) {
        const std::string name = "mp3:" + rate_and_channels + ":128";
        return quillon::codec::parse_format_name(name).ok() ? name : "mp3:44100:2:128";
    }
    return "pcm:" + rate_and_channels + ":16";
}

// Says what went wrong and, once recording had begun, what the file holds (`kept`, "" before).
// `file` is where the recording went, `shown` its name for the user.
void report_errors(const ControlSession& session, const std::string& file, const std::string& shown,
                   const std::string& kept) {
    for (std::size_t i = 0; i < session.errors().size(); ++i) {
        std::string what;
        switch (static_cast<KelvaneError>(session.error_codes()[i])) {
            case KelvaneError::file_open: {
                const std::string reason = write_failure_reason(file);
                what = "cannot create " + shown + (reason.empty() ? "" : ": " + reason);
                break;
            }
            case KelvaneError::record: {
                if (kept.empty()) break;  // refused before it began: the text says it all
                const std::string reason = write_failure_reason(file);
                what = at_wav_size_limit(file) ? shown + " reached the 4 GiB a WAV file can hold"
                       : reason.empty()        ? "writing " + shown + " failed"
                                               : "writing " + shown + " failed: " + reason;
                break;
            }
            case KelvaneError::input_device:
                if (!kept.empty()) what = "the input device stopped working";
                break;
            default:
                break;
        }
        std::cerr << "kelvane record: " << session.errors()[i] << (what.empty() ? "" : ": ") << what
                  << "\n";
    }
    if (!kept.empty())
        std::cerr << "kelvane record: " << shown << " holds the " << kept
                  << " recorded until then\n";
}

int parse(Options& options, Request& r) {
    while (options.next()) {
        if (options.is("--seconds")) {
            if (!options.number(r.seconds, 0, 1e7)) return 2;
            if (r.seconds > 0 && r.seconds < kShortestSeconds)
                return options.usage_error("--seconds takes 0 (no limit) or at least 0.5");
        } else if (options.is("--format")) {
            if (!options.nonempty_text(r.format)) return 2;
        } else if (options.is("--device")) {
            if (!options.nonempty_text(r.device)) return 2;
        } else if (options.is("--buffer")) {
            if (!options.integer(r.buffer, 1, 100000000)) return 2;
        } else if (options.is("--info")) {
            std::string id, text;
            if (!options.info_text(id, text)) return 2;
            if (info_property_for_id(id).empty())
                return options.usage_error(id +
                                           " has no info property; only a file read back "
                                           "fills it");
            r.infos.emplace_back(id, text);
        } else if (options.is("--clock")) {
            if (!options.manual_clock(r.manual)) return 2;
        } else if (options.is_quiet()) {
            r.quiet = true;
        } else if (!options.positional(r.file)) {
            return options.status();
        }
    }
    if (options.done()) return options.status();
    if (r.file.empty()) return options.usage_error("a FILE to record into (or -) is required");
    if (r.manual && r.seconds == 0)
        return options.usage_error("--clock manual needs --seconds (nothing else ends it)");
    if (r.file == "-" && !r.format.empty() && quillon::codec::parse_format_name(r.format).ok() &&
        quillon::codec::parse_format_name(r.format).wfx().wFormatTag == WAVE_FORMAT_MPEGLAYER3)
        return options.usage_error("standard output takes a WAV stream; record MP3 into a file");
    return -1;
}

// Sets the control up as the request says: device, buffer, texts, format. False after a message.
bool prepare(ControlSession& session, const Request& r, const std::string& target) {
    LONG device = 1;
    if (!r.device.empty()) {
        std::string error;
        const auto found = find_device(device_names(session, DeviceDirection::input, 1), r.device,
                                       DeviceDirection::input, error);
        if (!found) {
            std::cerr << "kelvane record: " << error << "\n";
            return false;
        }
        device = *found;
        if (!session.put("devInput", Variant::i4(device))) return false;
    }
    warn_about_fallback("record", DeviceDirection::input);

    if (r.buffer > 0) {
        if (!session.put("BufferSize", Variant::i4(r.buffer))) return false;
        const LONG taken = session.get_long("BufferSize");
        if (taken != r.buffer)
            std::cerr << "kelvane record: --buffer " << r.buffer << " is outside 500..100000; "
                      << "using " << taken << " ms\n";
    }
    if (r.seconds > 0) {
        // The recording ends with the full buffer that reaches the length (only full buffers
        // tell how far the device has delivered, whatever its delay or the bursts a sound
        // server sends at first), so the buffers are made to add up to it: the fewest that are
        // no longer than asked.
        const double asked = session.get_long("BufferSize");
        const double length = r.seconds * 1000;
        const double count = std::ceil(length / asked);
        const auto buffer =
            static_cast<LONG>(std::max(std::ceil(length / count), kShortestBufferMs));
        if (!session.put("BufferSize", Variant::i4(buffer))) return false;
    }
    for (const auto& [id, text] : r.infos)
        if (!session.put(info_property_for_id(id), Variant::string(text))) return false;
    session.put("TypeRecordLevel", Variant::i2(2));

    const bool mp3 = has_extension(target, ".mp3");
    const std::string format = r.format.empty() ? default_format(device, mp3) : r.format;
    return choose_format(session, format);
}

// The audio bytes of `seconds` in the control's file format, whole blocks.
std::uint64_t bytes_of(ControlSession& session, double seconds) {
    const auto per_second = static_cast<std::uint64_t>(session.get_long("nAvgBytesPerSec"));
    const auto block =
        static_cast<std::uint64_t>(std::max<LONG>(session.get_long("nBlockAlign"), 1));
    return static_cast<std::uint64_t>(seconds * static_cast<double>(per_second)) / block * block;
}

}  // namespace

int record_verb(std::span<char*> args) {
    Options options(args, kUsage, "record");
    Request r;
    if (int status = parse(options, r); status >= 0) return status;
    const bool to_stdout = r.file == "-";
    const std::string shown = shown_name(r.file, true);

    ControlSession session(r.manual);
    if (!session.start("record")) return 1;
    if (session.get_long("devInputMax") < 1) {
        std::cerr << "kelvane record: there is no input device\n";
        return 1;
    }
    WavPipe pipe;
    std::string error;
    if (to_stdout && !pipe.create(error)) {
        std::cerr << "kelvane record: " << error << "\n";
        return 1;
    }
    const std::string target = to_stdout ? pipe.path() : r.file;
    if (!prepare(session, r, target)) return 1;
    if (to_stdout) {
        std::signal(SIGPIPE, SIG_IGN);
        const bool pcm8 = session.get_long("wFormatTag") == WAVE_FORMAT_PCM &&
                          session.get_long("wBitsPerSample") == 8;
        pipe.expect(r.seconds > 0 ? std::optional(bytes_of(session, r.seconds)) : std::nullopt,
                    r.seconds > 0 ? info_chunk_bytes(r.infos) : 0, pcm8 ? 0x80 : 0);
    }

    const std::string format_text = session.get_string("FormatString");
    if (!r.quiet)
        std::cerr << "Recording " << shown << " (" << format_text << ") from "
                  << session.get_string("devInputName") << "\n";
    session.events().clear();
    session.call("Record", {Variant::string(target)});
    if (!session.errors().empty()) {
        for (const auto& e : session.errors()) {
            if (e == "File open error" && !to_stdout)
                std::cerr << "kelvane record: cannot record into " << shown << ": "
                          << why_not_recordable(r.file,
                                                static_cast<WORD>(session.get_long("wFormatTag")),
                                                format_text)
                          << " (" << e << ")\n";
            else
                std::cerr << "kelvane record: " << e << "\n";
        }
        return 1;
    }

    StatusLine status(std::cerr, STDERR_FILENO, false);
    const double target_ms = r.seconds * 1000;
    // Only a full buffer tells how far the device has delivered: its start-up delay and the
    // bursts a sound server sends at first are not seen by the clock. So the recording stops at
    // the full buffer that reaches the length, and the file is then cut to it.
    double recorded_ms = 0;                  // as the last full buffer says
    std::optional<std::uint64_t> buffer_ms;  // when it came
    const std::uint64_t started_ms = session.now_ms();
    LONG level = 0;
    bool ended = false, pipe_failed = false;
    while (!ControlSession::interrupted() && !(target_ms > 0 && recorded_ms >= target_ms)) {
        // The engine's tick wakes the loop ten times a second, and the time shown changes no
        // more often: the status follows the tick instead of waking on a clock of its own.
        if (r.manual)
            session.run_for(100);
        else
            session.run_next(100);
        for (const auto& e : session.events()) {
            if (e.name == "LevelRecord") level = e.args[0].as_i4();
            if (e.name == "EndRecord") ended = true;
            if (e.name == "BlockRecord") {
                const auto ms = session.call("BlockToSec", {e.args[0]});
                recorded_ms = ms ? ms->as_i4() : 0;
                buffer_ms = e.when_ms;
            }
        }
        session.events().clear();
        if (to_stdout && !pipe.pump()) {
            pipe_failed = true;
            break;
        }
        if (ended || !session.errors().empty()) break;
        if (!r.quiet) {
            // Between full buffers the time runs on from the last one.
            double shown_ms = buffer_ms
                                  ? recorded_ms + static_cast<double>(session.now_ms() - *buffer_ms)
                                  : static_cast<double>(session.now_ms() - started_ms);
            if (target_ms > 0) shown_ms = std::min(shown_ms, target_ms);
            status.show("  " + seconds_text(static_cast<LONG>(shown_ms)) + "  " + level_bar(level),
                        session.now_ms());
        }
    }
    if (!ended) session.call("Stop");
    status.finish();
    for (const auto& e : session.events()) ended |= e.name == "EndRecord";
    if (to_stdout && !pipe_failed && !pipe.finish()) pipe_failed = true;
    if (pipe_failed)
        std::cerr << "kelvane record: cannot write to standard output: " << std::strerror(errno)
                  << "\n";
    LONG blocks = session.get_long("BlocksCount");
    if (r.seconds > 0 && ended && (to_stdout || has_extension(r.file, ".wav"))) {
        WavTrim trim;
        if (to_stdout) {
            trim.before = pipe.recorded_bytes();
            trim.after = std::min(trim.before, bytes_of(session, r.seconds));
        } else if (!trim_wav_data(r.file, bytes_of(session, r.seconds), trim, error)) {
            std::cerr << "kelvane record: " << error << "\n";
            return 1;
        }
        if (trim.before > 0)
            blocks =
                static_cast<LONG>(static_cast<std::uint64_t>(blocks) * trim.after / trim.before);
    }
    const auto ms = session.call("BlockToSec", {Variant::i4(blocks)});
    const std::string kept = seconds_text(ms ? ms->as_i4() : 0);
    if (!r.quiet)
        std::cerr << "Recorded " << kept << " (" << blocks << " blocks) into " << shown << "\n";
    if (!session.errors().empty()) {
        report_errors(session, target, shown, kept);
        return 1;
    }
    return ended && !pipe_failed ? 0 : 1;
}

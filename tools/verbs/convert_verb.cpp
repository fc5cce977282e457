// kelvane convert: a WAV file into an MP3 file through the MP3 encoder component, created by its
// ProgID and called late-bound by dispatch id as the conversion window calls it; or into a WAV
// file of any recording format through the codec manager and the sound file object.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "control/engine/container.h"
#include "control/engine/sound_file.h"
#include "control/engine/wav_source.h"
#include "encoder/mp3enc_ids.h"
#include "platform/codec/format_names.h"
#include "platform/riff/replacing_file.h"
#include "tools/verbs/control_session.h"
#include "tools/verbs/options.h"
#include "tools/verbs/verbs.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kelvane convert IN OUT [--bitrate KBPS] [--vbr] [--no-tags] [--format NAME]\n"
    "                              [--info KEY=TEXT ...] [-q]\n"
    "\n"
    "Converts the WAV file IN (PCM of any rate, depth and channel count, float, A-law, mu-law,\n"
    "IMA or MS ADPCM, GSM 6.10 or MP3 inside WAV) into OUT. OUT is written under a temporary\n"
    "name beside it and takes its place only when complete; Ctrl+C ends the conversion early\n"
    "with a shorter, complete file.\n"
    "\n"
    "OUT ending in .mp3: encoded by the MP3 encoder component (MP3ENCLib.Mp3Enc), with an\n"
    "ID3v2 tag of IN's INFO texts and an info frame that tells players its length.\n"
    "  --bitrate KBPS  8 to 320 kbit/s (default 128)\n"
    "  --vbr           KBPS is the average; the frames vary in size\n"
    "  --no-tags       no ID3v2 tag\n"
    "OUT ending in .wav: in the format NAME of `kelvane formats`, e.g. ima-adpcm:22050:1\n"
    "  --format NAME   default: 16-bit PCM at IN's rate (the nearest listed) and channels\n"
    "Both:\n"
    "  --info KEY=TEXT a text in place of IN's own; KEY is title, artist, album, comment, date,\n"
    "                  genre, copyright, software or keywords, an info property such as\n"
    "                  infoName or its INFO chunk id such as INAM (any case); DISP is the\n"
    "                  display name\n"
    "  -q, --quiet     no progress bar and no summary\n"
    "\n"
    "A progress bar goes to standard error when it is a terminal.\n"
    "Exit status: 0 when OUT is complete, 1 on a failure or an interrupted conversion, 2 on bad\n"
    "usage.\n";

struct Request {
    std::string in, out;
    LONG kbps = -1;
    bool vbr = false;
    bool tags = true;
    bool quiet = false;
    std::string format;
    std::vector<std::pair<std::string, std::string>> infos;  // INFO chunk id, text
};

std::string progress_text(std::uint64_t done, std::uint64_t total, const char* unit, double speed) {
    const double part = total ? std::min(1.0, static_cast<double>(done) / total) : 0;
    char text[96];
    std::snprintf(text, sizeof text, "  %3d %%  %llu/%llu %s  %.1fx", static_cast<int>(part * 100),
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                  unit, speed);
    return level_bar(static_cast<LONG>(part * 32767)) + text;
}

int fail(const std::string& message) {
    std::cerr << "kelvane convert: " << message << "\n";
    return 1;
}

// The encoder's Failed description, or the code's text when it said nothing.
std::string failure_text(ControlSession& session, HRESULT hr) {
    for (const auto& e : session.events())
        if (e.name == "Failed" && e.args.size() == 2) return std::string(e.args[1].as_string());
    return hresult_text(hr);
}

int convert_to_mp3(const Request& r) {
    CLSID clsid{};
    if (FAILED(class_from_text(mp3enc::kProgId, &clsid)))
        return fail(std::string("the MP3 encoder ") + mp3enc::kProgId +
                    " is neither registered nor beside kelvane (libmp3enc.so)");
    ControlSession session(false);
    if (!session.start("convert", clsid, "MP3 encoder")) return 1;
    IDispatch* encoder = session.control();
    const LONG kbps = r.kbps >= 0 ? r.kbps : 128;
    if (FAILED(dispatch_put(encoder, mp3enc::dispidBitrate, Variant::i4(kbps * 1000))) ||
        FAILED(dispatch_put(encoder, mp3enc::dispidVariableBitrate, Variant::boolean(r.vbr))) ||
        FAILED(dispatch_put(encoder, mp3enc::dispidCopyTags, Variant::boolean(r.tags))))
        return fail("the MP3 encoder refused its settings");
    for (const auto& [id, text] : r.infos) {
        const Variant args[] = {Variant::string(id), Variant::string(text)};
        if (FAILED(dispatch_invoke_method(encoder, mp3enc::dispidSetInfo, args)))
            return fail("the MP3 encoder takes no " + id + " text");
    }

    session.events().clear();
    const Variant files[] = {Variant::string(r.in), Variant::string(r.out)};
    if (HRESULT hr = dispatch_invoke_method(encoder, mp3enc::dispidStart, files); FAILED(hr))
        return fail(failure_text(session, hr));
    Variant total;
    dispatch_get(encoder, mp3enc::dispidTotalFrames, total);

    // Only on a terminal, and not when asked to be quiet (-1 is no terminal).
    StatusLine bar(std::cerr, r.quiet ? -1 : STDERR_FILENO, true);
    std::uint64_t frames = 0;
    bool finished = false, stopped = false, asked_to_stop = false;
    std::string failure;
    while (!finished && failure.empty()) {
        if (ControlSession::interrupted() && !asked_to_stop) {
            asked_to_stop = true;
            dispatch_invoke_method(encoder, mp3enc::dispidStop, {});
        }
        session.run_for(100);
        for (const auto& e : session.events()) {
            if (e.name == "Progress") frames = static_cast<std::uint64_t>(e.args[0].as_i4());
            if (e.name == "Finished") finished = true, stopped = e.args[0].as_bool();
            if (e.name == "Failed") failure = std::string(e.args[1].as_string());
        }
        session.events().clear();
        Variant speed;
        dispatch_get(encoder, mp3enc::dispidSpeed, speed);
        if (finished) dispatch_get(encoder, mp3enc::dispidTotalFrames, total);
        bar.show(progress_text(frames, static_cast<std::uint64_t>(total.as_i4()), "frames",
                               speed.as_r8()),
                 session.now_ms());
    }
    bar.finish();
    if (!failure.empty()) return fail(failure);
    Variant speed;
    dispatch_get(encoder, mp3enc::dispidSpeed, speed);
    if (!r.quiet)
        std::printf("%s %s into %s: %llu frames at %ld kbit/s%s, %.1fx real time\n",
                    stopped ? "Stopped converting" : "Converted", r.in.c_str(), r.out.c_str(),
                    static_cast<unsigned long long>(frames), static_cast<long>(kbps),
                    r.vbr ? " on average" : "", speed.as_r8());
    return stopped ? 1 : 0;
}

// The recording format that NAME gives, or 16-bit PCM at the listed rate nearest the input's.
bool target_format(const std::string& name, const kelvane::engine::WavSource& source,
                   std::vector<BYTE>& format, std::string& error) {
    if (!name.empty()) {
        auto parsed = quillon::codec::parse_format_name(name);
        error = parsed.error;
        format = std::move(parsed.format);
        return parsed.ok();
    }
    const AcmFormatChoice* best = nullptr;
    const auto distance = [&](const AcmFormatChoice& choice) {
        const auto& f = *reinterpret_cast<const WAVEFORMATEX*>(choice.format.data());
        return std::labs(static_cast<long>(f.nSamplesPerSec) - static_cast<long>(source.rate()));
    };
    const auto choices = quillon::codec::format_choices();
    for (const auto& c : choices) {
        const auto& wfx = *reinterpret_cast<const WAVEFORMATEX*>(c.format.data());
        if (wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.wBitsPerSample == 16 &&
            wfx.nChannels == source.channels() && (!best || distance(c) < distance(*best)))
            best = &c;
    }
    if (!best) {
        error = "no 16-bit PCM format fits " + std::to_string(source.rate()) + " Hz";
        return false;
    }
    format = best->format;
    return true;
}

// A finalized WAV file: its RIFF chunk spans the whole file and holds a data chunk. Finalizing
// reports no failure of its own, so this is how a file cut short by a full disk is told.
bool wav_complete(const std::string& path) {
    MMIOINFO info{};
    UniqueHmmio file(mmioOpen(path.c_str(), &info, MMIO_READ));
    if (!file) return false;
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const LONG end = mmioSeek(file.get(), 0, SEEK_END);
    if (end < 0 || mmioSeek(file.get(), 0, SEEK_SET) != 0) return false;
    return mmioDescend(file.get(), &riff, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR &&
           static_cast<LONG>(riff.cksize + 8) == end &&
           mmioDescend(file.get(), &data, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR;
}

std::string write_reason(const std::string& out) {
    return "cannot write " + out + (errno ? std::string(": ") + std::strerror(errno) : "");
}

int convert_to_wav(const Request& r) {
    using kelvane::engine::SoundFile;
    kelvane::engine::WavSource source;
    if (!source.open(r.in)) return fail(source.error());
    std::vector<BYTE> format;
    std::string error;
    if (!target_format(r.format, source, format, error)) {
        std::cerr << "kelvane convert: " << error << "\n";
        return 2;
    }
    const auto& target = *reinterpret_cast<const WAVEFORMATEX*>(format.data());
    if (!source.start(target.nSamplesPerSec, target.nChannels)) return fail(source.error());

    quillon::riff::ReplacingFile file;
    if (!file.create(r.out)) return fail(file.error());
    SoundFile sound;
    if (format.size() > sizeof sound.file_format()) return fail("the format is too large");
    std::memcpy(&sound.file_format(), format.data(), format.size());
    WAVEFORMATEX& device = sound.device_format();
    device = WAVEFORMATEX{WAVE_FORMAT_PCM,
                          target.nChannels,
                          target.nSamplesPerSec,
                          target.nSamplesPerSec * 2u * target.nChannels,
                          static_cast<WORD>(2 * target.nChannels),
                          16,
                          0};
    sound.info() = source.info();
    for (const auto& [id, text] : r.infos) {
        if (id == "DISP") {
            sound.info().display_name = text;
            continue;
        }
        const int slot = kelvane::engine::info_slot_index(mmioFOURCC(id[0], id[1], id[2], id[3]));
        sound.info().slots[static_cast<std::size_t>(slot)] = text;
    }
    errno = 0;
    if (sound.open_for_recording(file.path().string()) < 0)
        return fail("cannot write " + r.out + " as " + quillon::codec::format_name(target));

    // Only on a terminal, and not when asked to be quiet (-1 is no terminal).
    StatusLine bar(std::cerr, r.quiet ? -1 : STDERR_FILENO, true);
    std::vector<BYTE> pcm;  // decoded and not yet written: less than one block after each write
    constexpr DWORD kWork = 1 << 20;
    if (!sound.allocate_work_buffer(kWork)) return fail("out of memory");
    // PCM bytes of one block of the file format: the stream converts whole blocks only.
    const DWORD block = std::max<DWORD>(sound.recording_size_rounding(1), device.nBlockAlign);
    auto write = [&](bool last) {
        if (last && pcm.size() % block != 0)  // the last partial block, padded with silence
            pcm.resize((pcm.size() / block + 1) * block, 0);
        std::size_t at = 0;
        while (pcm.size() - at >= block) {
            const std::size_t n = std::min<std::size_t>(pcm.size() - at, kWork / block * block);
            const LONG used = sound.convert_and_write({pcm.data() + at, n / block * block});
            if (used <= 0) return false;
            at += static_cast<std::size_t>(used);
        }
        pcm.erase(pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    };
    bool stopped = false;
    while (!source.done()) {
        if (ControlSession::interrupted()) {
            stopped = true;
            break;
        }
        errno = 0;
        if (!source.read(pcm)) return fail(source.error());
        if (!write(false)) return fail(write_reason(r.out));
        bar.show(progress_text(source.data_read(), source.data_size(), "bytes", 0), 0);
    }
    if (!write(true)) return fail(write_reason(r.out));
    errno = 0;
    sound.close();
    if (!wav_complete(file.path().string())) return fail(write_reason(r.out));
    if (!file.commit()) return fail(file.error());
    bar.finish();
    if (!r.quiet)
        std::printf("%s %s into %s (%s)\n", stopped ? "Stopped converting" : "Converted",
                    r.in.c_str(), r.out.c_str(), quillon::codec::format_name(target).c_str());
    return stopped ? 1 : 0;
}

}  // namespace

int convert_verb(std::span<char*> args) {
    Options options(args, kUsage, "convert");
    Request r;
    std::vector<std::string> files;
    while (options.next()) {
        if (options.is("--bitrate")) {
            if (!options.integer(r.kbps, 8, 320)) return 2;
        } else if (options.is("--vbr")) {
            r.vbr = true;
        } else if (options.is("--no-tags")) {
            r.tags = false;
        } else if (options.is("--format")) {
            if (!options.nonempty_text(r.format)) return 2;
        } else if (options.is_quiet()) {
            r.quiet = true;
        } else if (options.is("--info")) {
            std::string id, text;
            if (!options.info_text(id, text)) return 2;
            r.infos.emplace_back(id, text);
        } else {
            std::string file;
            if (!options.positional(file)) return options.status();
            files.push_back(file);
        }
    }
    if (options.done()) return options.status();
    if (files.size() != 2) return options.usage_error("an input file IN and an output file OUT");
    r.in = files[0];
    r.out = files[1];
    switch (kelvane::engine::container_for_path(r.out)) {
        case kelvane::engine::Container::mp3:
            if (!r.format.empty())
                return options.usage_error("--format is for .wav outputs; an MP3 takes --bitrate");
            return convert_to_mp3(r);
        case kelvane::engine::Container::wav:
            if (r.kbps >= 0 || r.vbr || !r.tags)
                return options.usage_error(
                    "--bitrate, --vbr and --no-tags are for .mp3 outputs; a WAV takes --format");
            return convert_to_wav(r);
        case kelvane::engine::Container::none:
            break;
    }
    return options.usage_error("OUT must end in .mp3 or .wav, not \"" + r.out + "\"");
}

// Opening an hour-long VBR MP3 file: the length and the first decoded audio, beside mpg123 and
// ffprobe in the same run. Two files of the same frames: one with LAME's Xing frame (the length
// is read from it) and one without (the frame headers are walked). Ours is timed in this process
// (the sound file object's open and first read, best of ten) and as `kelvane info`, a whole
// program that creates the control; the peers as programs: `mpg123 -t -n 1` decodes the first
// frame, `mpg123 -t` decodes everything (how it learns the exact length of a file without an info
// frame), ffprobe reports a duration. Each length is printed beside its time.
//
//   mp3_open_bench [--minutes N]      (default 60)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "control/engine/sound_file.h"
#include "platform/codec/mpeg_frame.h"

namespace {

using Bytes = std::vector<char>;

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

void put_be32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// From a minute of lame's VBR output: `minutes` copies of its audio frames, with and without its
// Xing frame (counts set for the whole).
bool make_files(const std::string& minute, int minutes, const std::string& with_info,
                const std::string& without_info) {
    const Bytes one = read_file(minute);
    const auto first = quillon::codec::parse_mpeg_frame_header(
        {reinterpret_cast<const BYTE*>(one.data()), std::min<std::size_t>(one.size(), 4)});
    if (!first) return false;
    Bytes audio(one.begin() + first->bytes, one.end());
    if (audio.size() > 128 && std::memcmp(&audio[audio.size() - 128], "TAG", 3) == 0)
        audio.resize(audio.size() - 128);
    std::uint32_t frames = 0;
    for (std::size_t at = 0; at + 4 <= audio.size();) {
        const auto h =
            quillon::codec::parse_mpeg_frame_header({reinterpret_cast<const BYTE*>(&audio[at]), 4});
        if (!h) return false;
        at += h->bytes;
        ++frames;
    }
    Bytes whole;
    whole.reserve(audio.size() * minutes + first->bytes);
    for (int i = 0; i < minutes; ++i) whole.insert(whole.end(), audio.begin(), audio.end());
    write_file(without_info, whole);
    Bytes info(one.begin(), one.begin() + first->bytes);
    const std::size_t tag = first->side_info_end();
    if (std::memcmp(&info[tag], "Xing", 4) != 0) return false;
    put_be32(info, tag + 8, frames * static_cast<std::uint32_t>(minutes));
    put_be32(info, tag + 12, static_cast<std::uint32_t>(whole.size() + info.size()));
    whole.insert(whole.begin(), info.begin(), info.end());
    write_file(with_info, whole);
    return true;
}

struct Result {
    double seconds = 1e300;  // best of the runs
    std::string length;      // as the tool says it
};

// Our sound file object: open, then the first buffer of decoded audio.
Result ours_in_process(const std::string& path) {
    Result r;
    for (int i = 0; i < 10; ++i) {
        const auto start = std::chrono::steady_clock::now();
        kelvane::engine::SoundFile f;
        if (f.open_for_playback(path) != 0 || !f.allocate_work_buffer(1 << 16)) return r;
        std::vector<BYTE> pcm(1 << 15);
        if (f.read_and_convert(pcm) <= 0) return r;
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.seconds = std::min(r.seconds, s);
        char text[64];
        std::snprintf(text, sizeof text, "%.3f s",
                      f.total_pcm_bytes() / double(f.device_format().nAvgBytesPerSec));
        r.length = text;
    }
    return r;
}

// A program, best of `runs`; `pick` takes the length out of its output.
template <typename Pick>
Result program(const std::vector<std::string>& argv, int runs, Pick pick) {
    Measured best;
    std::string output;
    if (!run_best_of(argv, runs, best, output)) return Result{};
    return Result{best.seconds, pick(output)};
}

std::string after(const std::string& text, const std::string& key) {
    const auto at = text.find(key);
    if (at == std::string::npos) return "-";
    const auto end = text.find('\n', at);
    std::string value = text.substr(at + key.size(), end - at - key.size());
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

void row(const char* name, const Result& r, double reference) {
    std::printf("  %-34s %10.2f ms %8.1fx   %s\n", name, r.seconds * 1000, r.seconds / reference,
                r.length.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 60;
    if (argc == 3 && std::strcmp(argv[1], "--minutes") == 0) minutes = std::atoi(argv[2]);
    const std::string work = "/tmp/quillon-mp3-open-bench-" + std::to_string(getpid());
    const std::string minute = work + "/minute.mp3";
    const std::string make = "mkdir -p " + work + " && sox -n -r 44100 -c 2 -b 16 " + work +
                             "/minute.wav synth 60 sine 440 sine 660 pinknoise vol 0.3 " +
                             "2>/dev/null && lame --quiet -V 4 " + work + "/minute.wav " + minute;
    const std::string with_info = work + "/xing.mp3", without_info = work + "/no-info.mp3";
    if (std::system(make.c_str()) != 0 || !make_files(minute, minutes, with_info, without_info)) {
        std::fprintf(stderr, "sox and lame could not make the input\n");
        std::system(("rm -rf " + work).c_str());
        return 1;
    }
    const std::string kelvane = program_folder() + "/kelvane";
    std::printf("Opening %d min of 44.1 kHz stereo VBR MP3 (lame -V 4): length and first audio\n",
                minutes);
    std::printf("  %-34s %13s %9s   %s\n", "", "best time", "x ours", "length it gives");
    for (const std::string& file : {with_info, without_info}) {
        std::printf("%s (%.1f MB)\n",
                    file == with_info ? "with a Xing frame" : "without an info frame",
                    read_file(file).size() / 1e6);
        const Result ours = ours_in_process(file);
        row("ours: sound file open + first read", ours, ours.seconds);
        row("ours: kelvane info",
            program({kelvane, "info", file}, 5,
                    [](const std::string& o) { return after(o, "Duration:"); }),
            ours.seconds);
        row("mpg123 -t -n 1 (first frame)",
            program({"mpg123", "-q", "-t", "-n", "1", file}, 5,
                    [](const std::string&) { return std::string("-"); }),
            ours.seconds);
        row("ffprobe format=duration",
            program({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                     "default=nw=1:nk=1", file},
                    5, [](const std::string& o) { return o.substr(0, o.find('\n')) + " s"; }),
            ours.seconds);
        row("mpg123 -t (decodes it all)",
            program({"mpg123", "-q", "-t", file}, 1,
                    [](const std::string&) { return std::string("(exact, by decoding)"); }),
            ours.seconds);
    }
    std::system(("rm -rf " + work).c_str());
    return 0;
}

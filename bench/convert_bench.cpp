// WAV to MP3 conversion beside lame: ten minutes of 44.1 kHz stereo to 128 kbit/s at a constant
// bit rate, kelvane convert (the encoder component) against `lame -b 128` at the same LAME
// quality (3, LAME's default, which the component uses), in one run, as a speed ratio. Each runs
// as a child process measured alike; the best of three runs counts.
//
//   convert_bench [--minutes N]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_process.h"

namespace {

// The best (shortest) wall time of three runs, with its CPU time.
bool best_of_three(const std::vector<std::string>& argv, Measured& best) {
    std::string output;
    return run_best_of(argv, 3, best, output);
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10;
    if (argc == 3 && std::strcmp(argv[1], "--minutes") == 0) minutes = std::atoi(argv[2]);
    const std::string work = "/tmp/quillon-convert-bench-" + std::to_string(getpid());
    const std::string in = work + "/in.wav";
    // Music-like input: two tones and some noise, so the encoder has real work.
    const std::string make = "mkdir -p " + work + " && sox -n -r 44100 -c 2 -b 16 " + in +
                             " synth " + std::to_string(minutes * 60) +
                             " sine 440 sine 660 pinknoise vol 0.3 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "sox could not make the input\n");
        return 1;
    }
    Measured ours, theirs;
    const bool ok =
        best_of_three({program_folder() + "/kelvane", "convert", in, work + "/ours.mp3",
                       "--bitrate", "128", "--no-tags"},
                      ours) &&
        best_of_three({"lame", "--quiet", "-b", "128", "-q", "3", in, work + "/theirs.mp3"},
                      theirs);
    std::system(("rm -rf " + work).c_str());
    if (!ok) return 1;
    const double audio = minutes * 60.0;
    std::printf("%d min of 44.1 kHz stereo to MP3 128 kbit/s CBR, LAME quality 3 (best of 3)\n",
                minutes);
    std::printf("  %-28s %8s %8s %12s\n", "", "wall s", "CPU s", "x real time");
    std::printf("  %-28s %8.2f %8.2f %12.1f\n", "kelvane convert", ours.seconds, ours.cpu,
                audio / ours.seconds);
    std::printf("  %-28s %8.2f %8.2f %12.1f\n", "lame -b 128 -q 3", theirs.seconds, theirs.cpu,
                audio / theirs.seconds);
    std::printf("  speed ratio (lame time / ours): %.2fx\n", theirs.seconds / ours.seconds);
    return 0;
}

// WAV to MP3 conversion beside lame: ten minutes of 44.1 kHz stereo to 128 kbit/s at a constant
// bit rate, kelvane convert (the encoder component) against `lame -b 128` at the same LAME
// quality (3, LAME's default, which the component uses), in one run, as speed ratios of wall
// and CPU time. Each runs as a child process measured alike, in turn (ours, lame, ours, lame,
// ...) so that a machine whose speed drifts slows both alike; the ratio is taken pair by pair
// and its median quoted. lame also runs without its ReplayGain analysis (which the component
// does not do), to show how much of the difference that is.
//
//   convert_bench [--minutes N] [--runs N]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_process.h"

namespace {

struct Contender {
    const char* name;
    std::vector<std::string> argv;
    std::vector<Measured> runs;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Figure>
std::vector<double> figures(const Contender& c, Figure figure) {
    std::vector<double> values;
    for (const Measured& m : c.runs) values.push_back(figure(m));
    return values;
}

// The peer's time over ours, pair by pair: above 1 we are faster.
template <typename Figure>
double median_ratio(const Contender& ours, const Contender& peer, Figure figure) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.runs.size(); ++i)
        ratios.push_back(figure(peer.runs[i]) / figure(ours.runs[i]));
    return median(ratios);
}

}  // namespace

int main(int argc, char** argv) {
    int minutes = 10, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--minutes") == 0) minutes = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    }
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
    std::vector<Contender> contenders = {
        {"kelvane convert",
         {program_folder() + "/kelvane", "convert", in, work + "/ours.mp3", "--bitrate", "128",
          "--no-tags"},
         {}},
        {"lame -b 128 -q 3",
         {"lame", "--quiet", "-b", "128", "-q", "3", in, work + "/lame.mp3"},
         {}},
        {"lame ... --noreplaygain",
         {"lame", "--quiet", "-b", "128", "-q", "3", "--noreplaygain", in, work + "/lame.mp3"},
         {}},
    };
    bool ok = true;
    // One round unmeasured first, so that the input sits in the page cache for everyone.
    for (int round = -1; round < runs && ok; ++round) {
        for (Contender& c : contenders) {
            Measured m;
            std::string output;
            if (!run_measured(c.argv, 0, m, output)) {
                std::fprintf(stderr, "%s failed:\n%s\n", c.argv[0].c_str(), output.c_str());
                ok = false;
                break;
            }
            if (round >= 0) c.runs.push_back(m);
        }
    }
    std::system(("rm -rf " + work).c_str());
    if (!ok) return 1;

    const auto wall = [](const Measured& m) { return m.seconds; };
    const auto cpu = [](const Measured& m) { return m.cpu; };
    const double audio = minutes * 60.0;
    std::printf(
        "%d min of 44.1 kHz stereo to MP3 128 kbit/s CBR, LAME quality 3, %d runs each "
        "in turn\n",
        minutes, runs);
    std::printf("  %-24s %10s %10s %10s %10s %12s\n", "", "wall min", "wall med", "CPU min",
                "CPU med", "x real time");
    for (const Contender& c : contenders) {
        const auto walls = figures(c, wall), cpus = figures(c, cpu);
        std::printf("  %-24s %10.2f %10.2f %10.2f %10.2f %12.1f\n", c.name,
                    *std::min_element(walls.begin(), walls.end()), median(walls),
                    *std::min_element(cpus.begin(), cpus.end()), median(cpus),
                    audio / median(walls));
    }
    const Contender& ours = contenders[0];
    for (std::size_t i = 1; i < contenders.size(); ++i)
        std::printf("  speed ratio against %-26s wall %.2fx  CPU %.2fx (median of pairs)\n",
                    (std::string(contenders[i].name) + ":").c_str(),
                    median_ratio(ours, contenders[i], wall),
                    median_ratio(ours, contenders[i], cpu));
    return 0;
}

// Capture cost of the ALSA wave backend beside arecord, on the same PulseAudio source in the same
// run: bytes per wake-up and CPU seconds per minute of capture, for the client and for the sound
// server. Each capture runs in a child process of its own so that its whole CPU time (every
// thread) and its voluntary context switches (one per sleep, so one per wake-up) are measured
// alike. Needs the PulseAudio test server (started here when none answers).
//
//   wave_capture_bench [--seconds N]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "bench/engine_capture.h"
#include "platform/loop/message_loop.h"
#include "platform/wave/alsa_wave.h"
#include "platform/wave/mmsystem_wave.h"

namespace {

constexpr DWORD kRate = 44100;
constexpr WORD kChannels = 2;
constexpr WORD kBits = 16;
// What the capture reads: the null sink's monitor runs at the sink's real-time pace (the sine
// source hands out blocks of seconds at once, which says nothing about a client's wake-ups).
constexpr const char* kSource = "quillon_sink.monitor";

struct Result : Measured {
    std::uint64_t bytes = 0;
    std::uint64_t driver_wakeups = 0;  // ours only: the driver thread's own count
};

// Child: captures like the engine does (two 2-second buffers, a 100 ms poll) for `seconds`.
int capture_child(double seconds) {
    setenv("KELVANE_AUDIO", "alsa", 1);
    const UINT device = input_named("PulseAudio");
    if (device == ~0u) {
        std::fprintf(stderr, "no PulseAudio device: %s\n", alsa_last_error().c_str());
        return 1;
    }
    const std::int64_t bytes = capture_like_the_engine(device, seconds);
    if (bytes < 0) return 1;
    const AlsaWaveStats stats = alsa_wave_stats();
    std::printf("%llu %llu %llu\n", static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(stats.wakeups),
                static_cast<unsigned long long>(stats.xruns));
    return 0;
}

void print_row(const char* name, const Result& r, double wakeups) {
    const double minutes = r.seconds / 60;
    std::printf("%-26s %10.0f %14.0f %14.4f %14.4f\n", name, r.bytes / 1.0, r.bytes / wakeups,
                r.cpu / minutes, r.server_cpu / minutes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child-capture") == 0)
        return capture_child(std::atof(argv[2]));
    double seconds = 20;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atof(argv[2]);

    bool started = false;
    if (!ensure_pulse_server(QUILLON_SOURCE_DIR, started)) {
        std::fprintf(stderr, "the PulseAudio test server cannot start; nothing measured\n");
        return 1;
    }
    setenv("PULSE_SOURCE", kSource, 1);
    const pid_t server = pulse_server_pid();

    Result ours, theirs;
    std::string output;
    const bool ours_ok = run_measured({self_path(), "--child-capture", std::to_string(seconds)},
                                      server, ours, output);
    unsigned long long bytes = 0, wakeups = 0, xruns = 0;
    std::sscanf(output.c_str(), "%llu %llu %llu", &bytes, &wakeups, &xruns);
    ours.bytes = bytes;
    ours.driver_wakeups = wakeups;

    output.clear();
    const std::string frames_seconds = std::to_string(static_cast<int>(seconds));
    const bool theirs_ok =
        run_measured({"arecord", "-q", "-D", "pulse", "-f", "S16_LE", "-c", "2", "-r", "44100",
                      "-t", "raw", "-d", frames_seconds, "/dev/null"},
                     server, theirs, output);
    theirs.bytes = static_cast<std::uint64_t>(seconds) * kRate * kChannels * kBits / 8;

    stop_pulse_server(QUILLON_SOURCE_DIR, started);
    if (!ours_ok || !theirs_ok) {
        std::fprintf(stderr, "a capture failed (ours %s, arecord %s)\n", ours_ok ? "ok" : "failed",
                     theirs_ok ? "ok" : "failed");
        return 1;
    }

    std::printf("capture of %s, 44100 Hz 16-bit stereo, %.0f s each, through ALSA's pulse device\n",
                kSource, seconds);
    std::printf("%-26s %10s %14s %14s %14s\n", "", "bytes", "bytes/wake-up", "cpu s/min",
                "server cpu s/min");
    print_row("ALSA backend (driver)", ours, static_cast<double>(ours.driver_wakeups));
    print_row("ALSA backend (process)", ours, static_cast<double>(ours.switches));
    print_row("arecord (process)", theirs, static_cast<double>(theirs.switches));
    const double our_bpw = ours.bytes / static_cast<double>(ours.switches);
    const double their_bpw = theirs.bytes / static_cast<double>(theirs.switches);
    std::printf(
        "ratio ours/arecord: bytes per wake-up %.2f, cpu per minute %.2f, server cpu per "
        "minute %.2f; %llu over-runs recovered\n",
        our_bpw / their_bpw, (ours.cpu / ours.seconds) / (theirs.cpu / theirs.seconds),
        (ours.server_cpu / ours.seconds) / (theirs.server_cpu / theirs.seconds), xruns);
    return 0;
}

// Recording cost of the whole recorder (kelvane record through the control) beside the tools a
// user would otherwise record with, in one run:
//   1. real time on ALSA's pulse device: CPU seconds per minute of PCM 44.1 kHz stereo against
//      arecord, and of MP3 128 kbit/s against arecord piped into lame, with the sound server's
//      CPU measured alike;
//   2. virtual time on the virtual card: how many times faster than real time a recording is
//      made, against sox writing the same signal.
//
//   record_bench [--seconds N]   (N seconds per real-time recording, default 20)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_process.h"

namespace {

struct Row {
    const char* name;
    Measured m;
    bool ok = false;
};

Row measure(const char* name, const std::string& command, pid_t server) {
    Row row{name, {}, false};
    std::string output;
    row.ok = run_measured({"sh", "-c", command}, server, row.m, output);
    if (!row.ok) std::fprintf(stderr, "%s failed: %s\n%s\n", name, command.c_str(), output.c_str());
    return row;
}

void print_cpu_row(const Row& r) {
    const double minutes = r.m.seconds / 60;
    std::printf("  %-38s %10.3f %18.3f\n", r.name, r.m.cpu / minutes, r.m.server_cpu / minutes);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atoi(argv[2]);
    const std::string bin = program_folder() + "/../bin";
    const std::string kelvane = bin + "/kelvane";
    const std::string work = "/tmp/quillon-record-bench-" + std::to_string(getpid());
    if (std::system(("mkdir -p " + work).c_str()) != 0) return 1;
    const std::string s = std::to_string(seconds);

    bool started = false;
    if (!ensure_pulse_server(QUILLON_SOURCE_DIR, started)) {
        std::fprintf(stderr, "the PulseAudio test server cannot start; nothing measured\n");
        return 1;
    }
    // The sink's monitor runs at the sink's real-time pace, like a sound card.
    setenv("PULSE_SOURCE", "quillon_sink.monitor", 1);
    const pid_t server = pulse_server_pid();
    const std::string ours = "KELVANE_AUDIO=alsa " + kelvane + " record ";
    const Row pcm_ours = measure(
        "kelvane record, PCM 44.1 kHz stereo",
        ours + work + "/a.wav --seconds " + s + " --format pcm:44100:2:16 > /dev/null", server);
    const Row pcm_theirs = measure(
        "arecord -f cd", "arecord -q -D pulse -f cd -d " + s + " " + work + "/b.wav", server);
    const Row mp3_ours = measure(
        "kelvane record, MP3 128 kbit/s",
        ours + work + "/c.mp3 --seconds " + s + " --format mp3:44100:2:128 > /dev/null", server);
    const Row mp3_theirs =
        measure("arecord -f cd | lame -b 128 -q 5",
                "arecord -q -D pulse -f cd -t raw -d " + s +
                    " | lame --silent -r -s 44.1 --bitwidth 16 -b 128 -q 5 - " + work + "/d.mp3",
                server);
    stop_pulse_server(QUILLON_SOURCE_DIR, started);

    const int virtual_seconds = 600;
    const std::string v = std::to_string(virtual_seconds);
    const Row virtual_ours = measure("kelvane record --clock manual",
                                     "KELVANE_AUDIO=virtual KELVANE_VIRTUAL_INPUT=sine:440:0.5 " +
                                         kelvane + " record " + work + "/e.wav --seconds " + v +
                                         " --clock manual --format pcm:44100:2:16 > /dev/null",
                                     0);
    const Row virtual_theirs = measure(
        "sox synth",
        "sox -n -r 44100 -c 2 -b 16 " + work + "/f.wav synth " + v + " sine 440 vol 0.5", 0);
    if (std::system(("rm -rf " + work).c_str()) != 0) return 1;

    if (!pcm_ours.ok || !pcm_theirs.ok || !mp3_ours.ok || !mp3_theirs.ok || !virtual_ours.ok ||
        !virtual_theirs.ok)
        return 1;
    std::printf("real-time recording through ALSA's pulse device, %d s each\n", seconds);
    std::printf("  %-38s %10s %18s\n", "", "cpu s/min", "server cpu s/min");
    print_cpu_row(pcm_ours);
    print_cpu_row(pcm_theirs);
    print_cpu_row(mp3_ours);
    print_cpu_row(mp3_theirs);
    std::printf("  ratio ours/peer: PCM %.2f, MP3 %.2f\n",
                (pcm_ours.m.cpu / pcm_ours.m.seconds) / (pcm_theirs.m.cpu / pcm_theirs.m.seconds),
                (mp3_ours.m.cpu / mp3_ours.m.seconds) / (mp3_theirs.m.cpu / mp3_theirs.m.seconds));
    std::printf("\nrecording %d s of 44.1 kHz stereo in virtual time\n", virtual_seconds);
    const double our_rtf = virtual_seconds / virtual_ours.m.seconds;
    const double their_rtf = virtual_seconds / virtual_theirs.m.seconds;
    std::printf("  %-38s %8.0fx real time\n", "kelvane record --clock manual", our_rtf);
    std::printf("  %-38s %8.0fx real time\n", "sox synth", their_rtf);
    std::printf("  ratio ours/sox: %.2f\n", our_rtf / their_rtf);
    return 0;
}

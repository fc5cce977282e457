// Recording on the sound server, on both servers it may be (the private PulseAudio and PipeWire
// test servers), each in one run beside the tools a user would otherwise record with:
//   1. CPU seconds per minute of 44.1 kHz 16-bit stereo, the client's and the server's, for
//      kelvane record on the server backend, kelvane record on the ALSA backend through ALSA's
//      pulse plugin, arecord through the same plugin, and parecord;
//   2. start-up delay: from starting the program to the first captured data, the server
//      backend's against parecord's (the median of several starts).
// Every capture records the null sink's monitor, which runs at the sink's real-time pace.
// kelvane records with -q: off a terminal its status costs one line a second, which the tool's
// loop builds on the engine's tick either way.
//
//   pulse_capture_bench [--seconds N]   (N seconds per recording, default 20)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_process.h"
#include "bench/engine_capture.h"
#include "platform/loop/message_loop.h"
#include "platform/wave/mmsystem_wave.h"

namespace {

constexpr const char* kMonitor = "quillon_sink.monitor";
constexpr const char* kMonitorName = "Monitor of QuillonNullSink";
constexpr int kStarts = 7;

std::string folder() {
    const std::string self = self_path();
    return self.substr(0, self.rfind('/'));
}

std::string run(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) output += line;
        pclose(pipe);
    }
    return output;
}

// Child: opens the server backend's input named `name`, starts it and writes one byte as soon as
// the first data is there.
int first_data_child(const char* name) {
    setenv("KELVANE_AUDIO", "pulse", 1);
    const UINT device = input_named(name);
    const WAVEFORMATEX f = cd_format();
    HWAVEIN in = nullptr;
    if (device == ~0u || waveInOpen(&in, device, &f, 0, 0, CALLBACK_NULL) != 0) return 1;
    std::vector<char> data(f.nAvgBytesPerSec);
    WAVEHDR header{};
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
    waveInPrepareHeader(in, &header, sizeof header);
    waveInAddBuffer(in, &header, sizeof header);
    waveInStart(in);
    while (header.dwBytesRecorded == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (write(1, "x", 1) != 1) return 1;
    waveInReset(in);
    waveInUnprepareHeader(in, &header, sizeof header);
    waveInClose(in);
    return 0;
}

// Child: the server backend alone, capturing from the input named `name` as the engine does.
int capture_child(const char* name, double seconds) {
    setenv("KELVANE_AUDIO", "pulse", 1);
    return capture_like_the_engine(input_named(name), seconds) < 0 ? 1 : 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The device number `kelvane devices` gives the input called `name`; -1 when none.
int input_number(const std::string& kelvane, const std::string& audio, const std::string& name) {
    const std::string listing = run("KELVANE_AUDIO=" + audio + " " + kelvane + " devices");
    std::istringstream lines(listing);
    std::string line;
    bool inputs = false;
    while (std::getline(lines, line)) {
        if (line == "Input devices:") inputs = true;
        if (line == "Output devices:") inputs = false;
        int number = 0;
        char text[256] = {};
        if (inputs && std::sscanf(line.c_str(), " %d %255[^\n]", &number, text) == 2 &&
            name == text)
            return number;
    }
    return -1;
}

struct Row {
    std::string name;
    Measured m;
    bool ok = false;
};

struct Server {
    const char* label;
    std::string script;
    std::string address_key;
    std::string started_key;
};

std::vector<pid_t> pids_of(const std::string& text) {
    std::vector<pid_t> pids;
    std::istringstream in(text);
    pid_t pid = 0;
    while (in >> pid) pids.push_back(pid);
    return pids;
}

bool bench_server(const Server& server, int seconds) {
    const std::string output = run(server.script + " start");
    std::string address;
    bool started = false;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(server.address_key)) address = line.substr(server.address_key.size());
        if (line == server.started_key) started = true;
    }
    if (address.empty()) {
        std::fprintf(stderr, "the %s test server cannot start; not measured\n", server.label);
        return false;
    }
    setenv("PULSE_SERVER", address.c_str(), 1);
    // The server's processes: PulseAudio's one, or PipeWire's three.
    const std::string folder_of_socket = address.substr(5, address.find("/runtime/") - 5);
    std::vector<pid_t> pids = std::string(server.label) == "PulseAudio"
                                  ? pids_of(run("cat " + folder_of_socket + "/runtime/pulse/pid"))
                                  : pids_of(run(server.script + " pids"));

    const std::string kelvane = folder() + "/kelvane";
    const std::string work = "/tmp/quillon-pulse-bench-" + std::to_string(getpid());
    if (std::system(("mkdir -p " + work).c_str()) != 0) return false;
    const std::string s = std::to_string(seconds);
    const int ours = input_number(kelvane, "pulse", kMonitorName);
    const int through_alsa = input_number(kelvane, "alsa", "PulseAudio");

    std::vector<Row> rows;
    auto measure = [&](std::string name, const std::string& command) {
        Row row{std::move(name), {}, false};
        std::string out;
        row.ok = run_measured({"sh", "-c", command}, pids, row.m, out);
        if (!row.ok) std::fprintf(stderr, "%s failed: %s\n", row.name.c_str(), command.c_str());
        rows.push_back(row);
    };
    {
        Row row{"server backend alone (engine's polling)", {}, false};
        std::string out;
        row.ok = run_measured({self_path(), "--capture", kMonitorName, s}, pids, row.m, out);
        rows.push_back(row);
    }
    measure("kelvane record (server backend)",
            "KELVANE_AUDIO=pulse " + kelvane + " record " + work + "/a.wav --device " +
                std::to_string(ours) + " --seconds " + s + " --format pcm:44100:2:16 -q");
    measure("kelvane record (ALSA pulse plugin)",
            "KELVANE_AUDIO=alsa PULSE_SOURCE=" + std::string(kMonitor) + " " + kelvane +
                " record " + work + "/b.wav --device " + std::to_string(through_alsa) +
                " --seconds " + s + " --format pcm:44100:2:16 -q");
    measure("arecord -D pulse -f cd", "PULSE_SOURCE=" + std::string(kMonitor) +
                                          " arecord -q -D pulse -f cd -d " + s + " " + work +
                                          "/c.wav");
    measure("parecord", "timeout -s INT " + s + " parecord -d " + kMonitor +
                            " --rate=44100 --channels=2 --format=s16le --file-format=wav " + work +
                            "/d.wav; true");

    std::vector<double> ours_start, parecord_start;
    // Each start finds the sink idle for a while, and the two take turns at going first: a
    // server answers a capture that follows another one sooner. The idle times vary, since a
    // null sink renders in blocks of up to 2 s and a start's delay depends on where in a block
    // it falls.
    int turn = 0;
    auto idle = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500 + 370 * (turn++ % 7)));
    };
    auto ours_once = [&] {
        idle();
        ours_start.push_back(seconds_to_first_output({self_path(), "--first-data", kMonitorName}));
    };
    auto parecord_once = [&] {
        idle();
        parecord_start.push_back(
            seconds_to_first_output({"parecord", "--raw", "-d", kMonitor, "--rate=44100",
                                     "--channels=2", "--format=s16le"}));
    };
    for (int i = 0; i < kStarts; ++i) {
        if (i % 2) {
            ours_once();
            parecord_once();
        } else {
            parecord_once();
            ours_once();
        }
    }

    if (std::system(("rm -rf " + work).c_str()) != 0) return false;
    if (started) run(server.script + " stop");

    std::printf("\n%s (%s), %d s of 44.1 kHz 16-bit stereo from %s\n", server.label,
                address.c_str(), seconds, kMonitor);
    std::printf("  %-36s %12s %18s\n", "", "cpu s/min", "server cpu s/min");
    for (const Row& r : rows) {
        const double minutes = r.m.seconds / 60;
        std::printf("  %-36s %12.4f %18.4f%s\n", r.name.c_str(), r.m.cpu / minutes,
                    r.m.server_cpu / minutes, r.ok ? "" : "  (failed)");
    }
    const auto per_second = [](const Row& r) { return r.m.cpu / r.m.seconds; };
    const auto server_per_second = [](const Row& r) { return r.m.server_cpu / r.m.seconds; };
    std::printf(
        "  kelvane record, ours/arecord: cpu %.2f, server cpu %.2f; ours/parecord: cpu %.2f, "
        "server cpu %.2f\n",
        per_second(rows[1]) / per_second(rows[3]),
        server_per_second(rows[1]) / server_per_second(rows[3]),
        per_second(rows[1]) / per_second(rows[4]),
        server_per_second(rows[1]) / server_per_second(rows[4]));
    std::printf("  the backend alone: cpu %.2f of arecord's, %.2f of parecord's\n",
                per_second(rows[0]) / per_second(rows[3]),
                per_second(rows[0]) / per_second(rows[4]));
    std::printf(
        "  start-up to first data (median of %d): ours %.3f s, parecord %.3f s, ratio "
        "%.2f\n",
        kStarts, median(ours_start), median(parecord_start),
        median(ours_start) / median(parecord_start));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--first-data") == 0) return first_data_child(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--capture") == 0)
        return capture_child(argv[2], std::atof(argv[3]));
    int seconds = 20;
    if (argc == 3 && std::strcmp(argv[1], "--seconds") == 0) seconds = std::atoi(argv[2]);
    const std::string scripts = std::string(QUILLON_SOURCE_DIR) + "/scripts/";
    const Server servers[] = {
        {"PulseAudio", scripts + "pulse-test-server.sh",
         "PULSE_SERVER=", "QUILLON_PULSE_STARTED=1"},
        {"PipeWire", scripts + "pipewire-test-server.sh",
         "QUILLON_PIPEWIRE_SERVER=", "QUILLON_PIPEWIRE_STARTED=1"},
    };
    bool any = false;
    for (const Server& server : servers) any = bench_server(server, seconds) || any;
    return any ? 0 : 1;
}

// Measuring a peer tool and our own program alike: each runs as a child process whose whole CPU
// time (every thread, every waited-for descendant) and wake-ups are taken from the kernel, beside
// the CPU the sound server spent meanwhile.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct Measured {
    double seconds = 0;     // wall time
    double cpu = 0;         // user + system seconds of the child and its descendants
    double server_cpu = 0;  // user + system seconds of the sound server meanwhile
    long switches = 0;      // voluntary context switches of the child: one per sleep
};

// Runs `argv` (found on PATH), its standard output into `output`; false when it failed. The
// server's CPU is that of every process in `servers` (PipeWire's is three).
bool run_measured(std::vector<std::string> argv, const std::vector<pid_t>& servers,
                  Measured& result, std::string& output);
inline bool run_measured(std::vector<std::string> argv, pid_t server, Measured& result,
                         std::string& output) {
    return run_measured(std::move(argv), std::vector<pid_t>{server}, result, output);
}

// Seconds from starting `argv` until it writes its first byte to standard output (it is killed
// then); a negative number when it never does.
double seconds_to_first_output(std::vector<std::string> argv);

// Runs `argv` `runs` times and keeps the shortest (wall time) with its output; false, after a
// message on standard error, when a run failed.
bool run_best_of(const std::vector<std::string>& argv, int runs, Measured& best,
                 std::string& output);

// The folder of the running benchmark, where the programs of the build sit beside it.
std::string program_folder();

// This program's own path, for running itself as a measured child.
std::string self_path();

// CPU seconds a process has used so far; 0 for no process.
double process_cpu(pid_t pid);

// Starts the PulseAudio test server unless one answers and sets PULSE_SERVER; `started` tells
// whether this run started it (and so must stop it).
bool ensure_pulse_server(const std::string& source_dir, bool& started);
void stop_pulse_server(const std::string& source_dir, bool started);
// The test server's process, for its CPU time; 0 when unknown.
pid_t pulse_server_pid();

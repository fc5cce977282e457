#include "bench/bench_process.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

std::string self_path() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = '\0';
    return path;
}

double process_cpu(pid_t pid) {
    if (pid <= 0) return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    unsigned long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

namespace {

double servers_cpu(const std::vector<pid_t>& servers) {
    double total = 0;
    for (pid_t pid : servers) total += process_cpu(pid);
    return total;
}

// Starts `argv` with its standard output into a pipe; the child's pid, the pipe in `read_end`.
pid_t spawn(std::vector<std::string>& argv, int& read_end) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], 1);
        close(pipe_fds[0]);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    read_end = pipe_fds[0];
    return child;
}

}  // namespace

double seconds_to_first_output(std::vector<std::string> argv) {
    const auto start = std::chrono::steady_clock::now();
    int out = -1;
    const pid_t child = spawn(argv, out);
    if (child < 0) return -1;
    char byte;
    const bool got = read(out, &byte, 1) == 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(child, SIGKILL);
    close(out);
    waitpid(child, nullptr, 0);
    return got ? seconds : -1;
}

bool run_measured(std::vector<std::string> argv, const std::vector<pid_t>& servers,
                  Measured& result, std::string& output) {
    const double server_before = servers_cpu(servers);
    const auto start = std::chrono::steady_clock::now();
    int out = -1;
    const pid_t child = spawn(argv, out);
    if (child < 0) return false;
    char buffer[256];
    ssize_t n;
    while ((n = read(out, buffer, sizeof buffer)) > 0) output.append(buffer, n);
    close(out);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.server_cpu = servers_cpu(servers) - server_before;
    result.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                 usage.ru_stime.tv_usec / 1e6;
    result.switches = usage.ru_nvcsw;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ensure_pulse_server(const std::string& source_dir, bool& started) {
    const std::string script = source_dir + "/scripts/pulse-test-server.sh";
    std::FILE* pipe = popen((script + " start").c_str(), "r");
    if (!pipe) return false;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.starts_with("PULSE_SERVER=")) setenv("PULSE_SERVER", text.c_str() + 13, 1);
        if (text == "QUILLON_PULSE_STARTED=1") started = true;
    }
    return pclose(pipe) == 0;
}

void stop_pulse_server(const std::string& source_dir, bool started) {
    if (!started) return;
    const std::string command = source_dir + "/scripts/pulse-test-server.sh stop";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "the PulseAudio test server did not stop cleanly\n");
}

pid_t pulse_server_pid() {
    const char* dir = std::getenv("QUILLON_PULSE_DIR");
    const std::string base = dir ? dir : "/tmp/quillon-pulse-" + std::to_string(getuid());
    std::ifstream in(base + "/runtime/pulse/pid");
    pid_t pid = 0;
    in >> pid;
    return pid;
}

bool run_best_of(const std::vector<std::string>& argv, int runs, Measured& best,
                 std::string& output) {
    best.seconds = 1e300;
    for (int i = 0; i < runs; ++i) {
        Measured m;
        std::string out;
        if (!run_measured(argv, 0, m, out)) {
            std::fprintf(stderr, "%s failed:\n%s\n", argv[0].c_str(), out.c_str());
            return false;
        }
        if (m.seconds < best.seconds) best = m, output = out;
    }
    return true;
}

std::string program_folder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string text(path);
    return text.substr(0, text.rfind('/'));
}

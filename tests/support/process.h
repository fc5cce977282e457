// Running a command line from a test: its combined output and exit status.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace quillon_test {

struct ProcessResult {
    std::string output;  // standard output and standard error together
    int status;          // the exit status, or -1 when the command did not exit normally
};

inline ProcessResult run_command(const std::string& command) {
    ProcessResult result{{}, -1};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

// The kelvane program of this build, with `arguments` and an optional environment prefix.
inline ProcessResult run_kelvane(const std::string& arguments,
                                 const std::string& environment = {}) {
    return run_command(environment + " " + std::string(QUILLON_BIN_DIR) + "/kelvane " + arguments);
}

}  // namespace quillon_test

// A program a test keeps running beside itself (an X server, a window manager, a fake desktop
// service): started with its standard output on a pipe the test reads line by line, ended with
// SIGTERM and waited for when the test is done with it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quillon_test {

class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        stop();
        if (m_out >= 0) ::close(m_out);
    }

    bool started() const { return m_pid > 0; }

    // The next line of its output, or nothing when it ends, closes its output or stays silent
    // for `patience` (a guard against a hung test, not a measure of anything).
    std::optional<std::string> read_line(std::chrono::milliseconds patience) {
        for (;;) {
            if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            pollfd fd{m_out, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(patience.count())) <= 0) return std::nullopt;
            char chunk[512];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Ends it (SIGTERM) and returns how it ended: its exit status, or -1 for a signal.
    int stop() {
        if (m_pid <= 0) return m_status;
        ::kill(m_pid, SIGTERM);
        return wait();
    }

    // Waits for it to end by itself.
    int wait() {
        if (m_pid <= 0) return m_status;
        int raw = 0;
        while (::waitpid(m_pid, &raw, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        m_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return m_status;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_status = -1;
    std::string m_buffer;
};

}  // namespace quillon_test

#include "platform/hotkey/fd_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

std::unique_ptr<FdWorker> FdWorker::start(int fd, std::function<void()> service) {
    const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0) return nullptr;
    return std::make_unique<FdWorker>(fd, event, std::move(service));
}

FdWorker::FdWorker(int fd, int event, std::function<void()> service)
    : m_fd(fd), m_event(event), m_service(std::move(service)) {
    m_thread = std::thread([this] { run(); });
}

FdWorker::~FdWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    const std::uint64_t one = 1;
    // A full counter still leaves the descriptor readable: the thread wakes either way.
    [[maybe_unused]] const ssize_t written = ::write(m_event, &one, sizeof one);
    m_thread.join();
    ::close(m_event);
}

void FdWorker::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_event, &one, sizeof one);
}

void FdWorker::run() {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_event, POLLIN, 0}};
    m_service();
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t got = ::read(m_event, &count, sizeof count);
            for (;;) {
                std::function<void()> job;
                {
                    std::lock_guard lock(m_mutex);
                    if (m_quit) return;
                    if (m_jobs.empty()) break;
                    job = std::move(m_jobs.front());
                    m_jobs.pop_front();
                }
                job();
            }
        }
        // A connection that hung up is serviced once more (its library notices), then no longer
        // watched, so the thread keeps serving jobs without spinning.
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) fds[0].fd = -1;
        m_service();
    }
}

// A thread that owns a connection which is not safe to share (an X display, a D-Bus connection):
// it waits on the connection's descriptor, services what arrives, and runs the jobs other threads
// hand it, one at a time, so the connection is only ever touched from this thread.
#pragma once

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

class FdWorker {
  public:
    // `service` runs on the worker each time `fd` is readable and after every batch of jobs (a
    // job may have left input buffered inside the connection's library). It must not block.
    // Null when the thread's wake-up descriptor cannot be made.
    static std::unique_ptr<FdWorker> start(int fd, std::function<void()> service);
    FdWorker(int fd, int event, std::function<void()> service);
    FdWorker(const FdWorker&) = delete;
    FdWorker& operator=(const FdWorker&) = delete;
    // Stops and joins the thread; jobs not yet run are dropped.
    ~FdWorker();

    // Runs `job` on the worker and waits for its result.
    template <class Job>
    auto call(Job job) -> decltype(job()) {
        std::packaged_task<decltype(job())()> task(std::move(job));
        auto result = task.get_future();
        post([&task] { task(); });
        return result.get();
    }

  private:
    void post(std::function<void()> job);
    void run();

    int m_fd;
    int m_event;  // eventfd that wakes the thread for jobs and for stopping
    std::function<void()> m_service;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_jobs;
    bool m_quit = false;
    std::thread m_thread;
};

// A backend whose connection (an X display, a D-Bus connection) lives on a worker thread: grabs
// and releases run there, between the moments the connection is serviced. Subclasses start the
// worker once their connection is ready and stop it first thing in their destructor, as the
// servicing uses their members.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/hotkey/fd_worker.h"
#include "platform/hotkey/hotkey_backend.h"

class WorkerHotkeyBackend : public HotkeyBackend {
  public:
    bool grab(int token, HotkeyCombination combination, std::string& error) final {
        return m_worker->call([&] { return grab_on_worker(token, combination, error); });
    }
    void release(int token) final {
        m_worker->call([&] { release_on_worker(token); });
    }

  protected:
    virtual bool grab_on_worker(int token, HotkeyCombination combination, std::string& error) = 0;
    virtual void release_on_worker(int token) = 0;

    // False when the thread cannot be started.
    bool start_worker(int fd, std::function<void()> service) {
        m_worker = FdWorker::start(fd, std::move(service));
        return m_worker != nullptr;
    }
    void stop_worker() { m_worker.reset(); }

  private:
    std::unique_ptr<FdWorker> m_worker;
};

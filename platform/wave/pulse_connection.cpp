#include "platform/wave/pulse_connection.h"

#include <cstdlib>
#include <mutex>

namespace {

std::string server_from_environment() {
    const char* server = std::getenv("PULSE_SERVER");
    return server ? server : "";
}

struct Deadline {
    bool passed = false;
    static void expire(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* deadline) {
        static_cast<Deadline*>(deadline)->passed = true;
    }
};

}  // namespace

std::shared_ptr<PulseConnection> PulseConnection::shared() {
    static std::mutex mutex;
    static std::shared_ptr<PulseConnection> current;
    std::lock_guard lock(mutex);
    const std::string server = server_from_environment();
    if (current && !current->m_failed && current->m_server == server) return current;
    std::shared_ptr<PulseConnection> made(new PulseConnection(server));
    current = made->connect() ? std::move(made) : nullptr;
    return current;
}

PulseConnection::PulseConnection(std::string server) : m_server(std::move(server)) {}

PulseConnection::~PulseConnection() {
    if (!m_loop) return;
    if (m_context) {
        Lock lock(*this);
        pa_context_set_state_callback(m_context.get(), nullptr, nullptr);
        pa_context_disconnect(m_context.get());
    }
    // Joins the loop's thread; the context goes only after it, the loop last.
    pa_threaded_mainloop_stop(m_loop.get());
    m_context.reset();
    m_loop.reset();
}

bool PulseConnection::connect() {
    m_loop.reset(pa_threaded_mainloop_new());
    if (!m_loop) return false;
    PulseProplistPtr properties(pa_proplist_new());
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, "Quillon");
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "quillon");
    m_context.reset(pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop.get()),
                                                 "Quillon", properties.get()));
    if (!m_context) return false;
    pa_context_set_state_callback(m_context.get(), &PulseConnection::on_state, this);
    // Never spawn a server: where none runs, the next backend is tried.
    if (pa_context_connect(m_context.get(), m_server.empty() ? nullptr : m_server.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    if (pa_threaded_mainloop_start(m_loop.get()) < 0) return false;
    Lock lock(*this);
    return wait_until([this] { return alive(); }, kAnswerLimit);
}

void PulseConnection::on_state(pa_context* context, void* self) {
    auto& connection = *static_cast<PulseConnection*>(self);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            connection.m_alive.store(true, std::memory_order_release);
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            connection.m_alive.store(false, std::memory_order_release);
            connection.m_failed.store(true, std::memory_order_release);
            break;
        default:
            break;
    }
    connection.signal();
}

bool PulseConnection::wait_until(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit) {
    if (done()) return true;
    Deadline deadline;
    const auto usec = static_cast<pa_usec_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(limit).count());
    pa_time_event* timer = pa_context_rttime_new(m_context.get(), pa_rtclock_now() + usec,
                                                 &Deadline::expire, &deadline);
    while (!done() && !deadline.passed && !m_failed.load(std::memory_order_acquire)) {
        pa_threaded_mainloop_wait(m_loop.get());
    }
    if (timer) pa_threaded_mainloop_get_api(m_loop.get())->time_free(timer);
    return done();
}

bool PulseConnection::finish(pa_operation* operation, std::chrono::milliseconds limit) {
    if (!operation) return false;
    pa_operation_set_state_callback(
        operation, [](pa_operation*, void* self) { static_cast<PulseConnection*>(self)->signal(); },
        this);
    const bool done = wait_until(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, limit);
    const bool finished = done && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done) pa_operation_cancel(operation);
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    return finished;
}

std::string PulseConnection::last_error() const {
    return pa_strerror(pa_context_errno(m_context.get()));
}

PulseProplistPtr pulse_media_name(const char* name) {
    PulseProplistPtr list(pa_proplist_new());
    pa_proplist_sets(list.get(), PA_PROP_MEDIA_NAME, name);
    return list;
}

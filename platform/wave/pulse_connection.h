// One connection to the sound server (PulseAudio, or PipeWire's pulse server) for the process: a
// libpulse context on a threaded main loop. The loop's thread is the driver of every stream that
// the pulse wave devices and mixers open on it.
//
// Locking: every libpulse call, and everything a callback touches, is made under the loop's lock.
// The loop's thread holds it only while it dispatches an event (a callback copies at most one
// fragment of audio), and never waits on anything else. A caller that needs the server's answer
// waits for it under the lock with a bound (wait_until, finish), so a server that hangs or goes
// away holds no caller longer than that.
//
// A connection belongs to the server that PULSE_SERVER names when it is made (the default server
// when unset); no server is ever spawned for it. Once it fails (the server went away) it stays
// failed, and the next shared() makes a new one.
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

struct PulseLoopFree {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct PulseContextUnref {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};
struct PulseProplistFree {
    void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};
using PulseProplistPtr = std::unique_ptr<pa_proplist, PulseProplistFree>;

class PulseConnection {
  public:
    // The process's live connection, made now when there is none yet, the last one failed or
    // PULSE_SERVER names another server; null when no server answers within a few seconds.
    static std::shared_ptr<PulseConnection> shared();

    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_context* context() const { return m_context.get(); }
    // True while the server answers; false for good once the connection failed. Any thread.
    bool alive() const { return m_alive.load(std::memory_order_acquire); }

    // The loop's lock for a scope. Callbacks already run with it; they never take it.
    class Lock {
      public:
        explicit Lock(const PulseConnection& connection) : m_loop(connection.m_loop.get()) {
            pa_threaded_mainloop_lock(m_loop);
        }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* m_loop;
    };

    // With the lock held, on a thread other than the loop's: waits until `done()` holds, the
    // connection fails or `limit` passes, and answers done(). Whatever can make done() true
    // calls signal().
    bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // With the lock held: waits as wait_until for `operation` (taken over) to finish, and
    // answers whether it did. One that did not is cancelled: its callback never runs.
    bool finish(pa_operation* operation, std::chrono::milliseconds limit);
    // Wakes the waiters; from callbacks (with the lock held).
    void signal() { pa_threaded_mainloop_signal(m_loop.get(), 0); }

    // The server's last error on this connection, for logs.
    std::string last_error() const;

    // How long callers wait for the server's answer before they give up.
    static constexpr std::chrono::milliseconds kAnswerLimit{3000};

  private:
    explicit PulseConnection(std::string server);
    bool connect();
    static void on_state(pa_context* context, void* self);

    std::string m_server;  // PULSE_SERVER when made ("" for the default)
    std::unique_ptr<pa_threaded_mainloop, PulseLoopFree> m_loop;
    std::unique_ptr<pa_context, PulseContextUnref> m_context;
    std::atomic<bool> m_alive{false};
    std::atomic<bool> m_failed{false};
};

// The outcome of an operation whose callback reports success (setting a volume, a mute).
struct PulseOutcome {
    bool ok = false;
    static void record(pa_context*, int success, void* outcome) {
        static_cast<PulseOutcome*>(outcome)->ok = success != 0;
    }
};

// A property list with one entry: what a stream is called in the desktop's mixer.
PulseProplistPtr pulse_media_name(const char* name);

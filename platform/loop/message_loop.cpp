#include "platform/loop/message_loop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();

struct Timer {
    HWND window;
    UINT_PTR id;
    std::uint64_t period_ms;
    std::uint64_t due_ms;
    std::uint64_t order;  // when it was set: breaks ties between equal deadlines
    TIMERPROC callback;
};

struct Window {
    WNDPROC procedure;
    // Held shared so that a window that destroys itself while handling keeps its handler alive
    // until the handler returns.
    std::shared_ptr<WindowHandler> handler;
};

std::uintptr_t key_of(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

}  // namespace

struct MessageLoop::State {
    // GUI-thread state.
    std::map<std::uintptr_t, Window> windows;
    std::uintptr_t next_window = 1;
    std::vector<Timer> timers;
    std::uint64_t next_order = 0;
    ClockKind kind = ClockKind::real;
    std::uint64_t manual_now = 0;
    std::uint64_t real_offset = 0;
    Clock::time_point started = Clock::now();
    std::map<int, ClockObserver> observers;
    int next_observer = 1;

    // Shared with other threads.
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool quit = false;
    LoopDriver* driver = nullptr;

    // Caller holds `mutex`.
    void wake_locked() {
        wake.notify_all();
        if (driver) driver->wake();
    }
    void wake_driver() {
        std::lock_guard lock(mutex);
        if (driver) driver->wake();
    }

    std::uint64_t real_now() const {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        return real_offset + static_cast<std::uint64_t>(elapsed.count());
    }
    std::uint64_t now() const { return kind == ClockKind::manual ? manual_now : real_now(); }

    void move_manual_time(std::uint64_t to) {
        if (to <= manual_now) return;
        manual_now = to;
        // Copies: an observer may add or remove observers.
        auto current = observers;
        for (auto& [id, observer] : current) observer(manual_now);
    }

    Timer* next_due(std::uint64_t limit) {
        Timer* best = nullptr;
        for (auto& t : timers)
            if (t.due_ms <= limit && (!best || t.due_ms < best->due_ms ||
                                      (t.due_ms == best->due_ms && t.order < best->order)))
                best = &t;
        return best;
    }

    std::uint64_t earliest_due() const {
        std::uint64_t earliest = kForever;
        for (const auto& t : timers) earliest = std::min(earliest, t.due_ms);
        return earliest;
    }

    // Fires one timer due at or before `limit`; false when none is due.
    bool fire_one(std::uint64_t limit) {
        Timer* timer = next_due(limit);
        if (!timer) return false;
        if (kind == ClockKind::manual) move_manual_time(timer->due_ms);
        // The observers may have killed it.
        timer = next_due(limit);
        if (!timer) return true;
        const Timer fired = *timer;
        timer->due_ms += timer->period_ms;
        // A real clock that fell behind skips the missed ticks instead of bursting them.
        if (kind == ClockKind::real && timer->due_ms <= real_now())
            timer->due_ms = real_now() + timer->period_ms;
        deliver(fired);
        return true;
    }

    void deliver(const Timer& timer) {
        if (!windows.contains(key_of(timer.window))) return;
        if (timer.callback) {
            timer.callback(timer.window, WM_TIMER, timer.id, static_cast<DWORD>(now()));
            return;
        }
        send(timer.window, WM_TIMER, timer.id, 0);
    }

    LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        const auto it = windows.find(key_of(window));
        if (it == windows.end()) return 0;
        return it->second.procedure(window, message, wparam, lparam);
    }

    // True when there was any.
    bool run_tasks() {
        for (bool ran = false;; ran = true) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex);
                if (tasks.empty()) return ran;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }

    bool quit_requested() {
        std::lock_guard lock(mutex);
        return quit;
    }

    void wait_until(std::uint64_t when) {
        std::unique_lock lock(mutex);
        if (!tasks.empty() || quit) return;
        const std::uint64_t now_ms = real_now();
        if (when <= now_ms) return;
        if (when == kForever)
            wake.wait(lock);
        else
            wake.wait_for(lock, std::chrono::milliseconds(when - now_ms));
    }

    // Fires what is due now on the real clock, with the tasks those timers post.
    void fire_due() {
        while (fire_one(real_now())) run_tasks();
    }

    // Waits for the next deadline, at most until `end`, and delivers what is due then.
    // Tasks that ran are a wake-up of their own: then only what is due already is delivered.
    void run_next(std::uint64_t end) {
        const bool ran = run_tasks();
        if (kind == ClockKind::manual) {
            const std::uint64_t due = ran ? manual_now : std::min(end, earliest_due());
            move_manual_time(due);
            while (fire_one(due)) run_tasks();
            return;
        }
        if (!ran) wait_until(std::min(end, earliest_due()));
        run_tasks();
        fire_due();
    }

    // Runs until `end` (or quit, when `until_quit`).
    void run_until(std::uint64_t end, bool until_quit) {
        if (kind == ClockKind::manual) {
            for (;;) {
                run_tasks();
                if (until_quit && quit_requested()) break;
                if (!fire_one(end)) break;
            }
            if (end != kForever) move_manual_time(end);
            return;
        }
        for (;;) {
            run_tasks();
            fire_due();
            if (until_quit && quit_requested()) break;
            if (real_now() >= end) break;
            wait_until(std::min(end, earliest_due()));
        }
    }
};

MessageLoop::MessageLoop() = default;

namespace {
MessageLoop::State& state() {
    static MessageLoop::State s;
    return s;
}
}  // namespace

MessageLoop& MessageLoop::instance() {
    static MessageLoop loop;
    return loop;
}

ClockKind MessageLoop::clock() const {
    return state().kind;
}

void MessageLoop::set_clock(ClockKind kind) {
    auto& s = state();
    if (kind == s.kind) return;
    const std::uint64_t now = s.now();
    if (kind == ClockKind::manual) {
        s.manual_now = now;
    } else {
        s.real_offset = 0;
        s.started = Clock::now() - std::chrono::milliseconds(now);
    }
    s.kind = kind;
    s.wake_driver();
}

std::uint64_t MessageLoop::now_ms() const {
    return state().now();
}

void MessageLoop::run_for(std::uint64_t ms) {
    auto& s = state();
    const std::uint64_t now = s.now();
    s.run_until(ms > kForever - now ? kForever - 1 : now + ms, false);
}

void MessageLoop::run_next(std::uint64_t ms) {
    auto& s = state();
    const std::uint64_t now = s.now();
    s.run_next(ms > kForever - now ? kForever - 1 : now + ms);
}

void MessageLoop::run() {
    auto& s = state();
    s.run_until(kForever, true);
    std::lock_guard lock(s.mutex);
    s.quit = false;
}

void MessageLoop::quit() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.quit = true;
    s.wake_locked();
}

void MessageLoop::post(std::function<void()> task) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.tasks.push_back(std::move(task));
    s.wake_locked();
}

void MessageLoop::set_driver(LoopDriver* driver) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.driver = driver;
    if (driver) driver->wake();
}

std::optional<std::uint64_t> MessageLoop::dispatch() {
    auto& s = state();
    s.run_tasks();
    if (s.kind == ClockKind::manual) {
        // Only what a clock switch left overdue; waiting makes nothing else due.
        while (s.fire_one(s.manual_now)) s.run_tasks();
        return std::nullopt;
    }
    s.fire_due();
    const std::uint64_t next = s.earliest_due();
    if (next == kForever) return std::nullopt;
    const std::uint64_t now = s.real_now();
    return next > now ? next - now : 0;
}

int MessageLoop::add_clock_observer(ClockObserver observer) {
    auto& s = state();
    const int id = s.next_observer++;
    s.observers[id] = std::move(observer);
    return id;
}

void MessageLoop::remove_clock_observer(int id) {
    state().observers.erase(id);
}

std::size_t MessageLoop::timer_count() const {
    return state().timers.size();
}

namespace {

LRESULT message_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto& windows = state().windows;
    const auto it = windows.find(key_of(window));
    if (it == windows.end()) return 0;
    const auto handler = it->second.handler;
    return (*handler)(window, message, wparam, lparam);
}

}  // namespace

HWND CreateMessageWindow(WindowHandler handler) {
    auto& s = state();
    const std::uintptr_t key = s.next_window++;
    auto* window = reinterpret_cast<HWND>(key);
    s.windows[key] = {message_window_procedure,
                      std::make_shared<WindowHandler>(std::move(handler))};
    if (s.send(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    return window;
}

BOOL DestroyWindow(HWND window) {
    auto& s = state();
    if (!s.windows.contains(key_of(window))) return FALSE;
    s.send(window, WM_DESTROY, 0, 0);
    const bool had_timers =
        std::erase_if(s.timers, [&](const Timer& t) { return t.window == window; }) > 0;
    s.windows.erase(key_of(window));
    if (had_timers) s.wake_driver();
    return TRUE;
}

LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) {
    auto& windows = state().windows;
    const auto it = windows.find(key_of(window));
    if (it == windows.end() || index != GWL_WNDPROC || value == 0) return 0;
    const WNDPROC previous = it->second.procedure;
    it->second.procedure = reinterpret_cast<WNDPROC>(value);
    return reinterpret_cast<LONG_PTR>(previous);
}

LRESULT CallWindowProcA(WNDPROC previous, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return previous ? previous(window, message, wparam, lparam) : 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return state().send(window, message, wparam, lparam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!window) return FALSE;
    MessageLoop::instance().post([=] { state().send(window, message, wparam, lparam); });
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return state().windows.contains(key_of(window)) ? TRUE : FALSE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse_ms, TIMERPROC callback) {
    auto& s = state();
    if (!s.windows.contains(key_of(window))) return 0;
    const std::uint64_t period = std::max<UINT>(elapse_ms, 1);
    std::erase_if(s.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
    s.timers.push_back({window, id, period, s.now() + period, s.next_order++, callback});
    s.wake_driver();
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    auto& s = state();
    if (std::erase_if(s.timers, [&](const Timer& t) { return t.window == window && t.id == id; }) ==
        0)
        return FALSE;
    s.wake_driver();
    return TRUE;
}

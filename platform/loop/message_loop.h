// Windows that own timers, and the one message loop of the GUI thread that delivers their timer
// and posted messages. Two clocks drive it: the real clock (the loop sleeps until the next timer is
// due) and the manual clock (time moves only when the loop is told to run for a while, and then
// every due timer fires in deadline order, equal deadlines in the order they were set), so tests
// are deterministic and take no wall time. Another event loop may run it instead (LoopDriver).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/base/win_types.h"

struct HWND__;
using HWND = HWND__*;

inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_TIMER = 0x0113;

// A window's handler of the messages sent or delivered to it.
using WindowHandler =
    std::function<LRESULT(HWND window, UINT message, WPARAM wparam, LPARAM lparam)>;
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
// A window procedure: every message of a window goes through the one in place.
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr int GWL_WNDPROC = -4;

// Creates a window with no surface of its own, sends it WM_CREATE, and returns it; null (with the
// window destroyed again) when the handler answers WM_CREATE with -1. The window's procedure
// starts as one that hands every message to `handler`.
HWND CreateMessageWindow(WindowHandler handler);
// Sends WM_DESTROY, kills the window's timers and forgets the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// With GWL_WNDPROC: makes `value` (a WNDPROC) the window's procedure and returns the previous one,
// or 0 when the window does not exist or the index is another. The value is pointer-wide here so
// that a procedure fits on every platform.
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value);
// Calls `previous` (a procedure returned by SetWindowLongA) with the message; 0 when it is null.
LRESULT CallWindowProcA(WNDPROC previous, HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Sends a message through the window's procedure now; 0 when the window does not exist.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Queues a message for the window's procedure at the next turn of the loop; callable from any
// thread. A message for a window that is gone by then is dropped. FALSE only for a null window.
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Starts or restarts timer `id` of `window`; a timer with the same id is replaced. Returns `id`,
// or 0 when the window does not exist. Periods are in milliseconds; 0 counts as 1.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse_ms, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

enum class ClockKind { real, manual };

// Another event loop (the program's toolkit loop) that runs this one in place of run() and
// run_for(). The host keeps one rule: whenever it has been woken, and whenever the delay that
// dispatch() last answered has passed, it calls MessageLoop::dispatch() on the GUI thread.
class LoopDriver {
  public:
    virtual ~LoopDriver() = default;
    // Something the host must look at changed: a task or message was posted (from any thread), a
    // timer was set or killed, the clock was switched, or quit() was called. Called with the
    // loop's lock held: schedule a dispatch and return, never call into the loop from here.
    virtual void wake() = 0;
};

class MessageLoop {
  public:
    // The loop of this process; the first thread that uses it is its GUI thread.
    static MessageLoop& instance();

    ClockKind clock() const;
    // Switches the clock; timers keep their remaining time.
    void set_clock(ClockKind kind);
    // Milliseconds since the loop started, on the current clock.
    std::uint64_t now_ms() const;

    // Delivers timer messages and posted tasks for `ms` milliseconds of the current clock.
    void run_for(std::uint64_t ms);
    // One wake-up: runs the posted tasks or, when there are none, waits until the next timer is
    // due (at most `ms`, and no longer once a task is posted); then delivers what is due. A
    // caller that looks at the results after each turn wakes no more often than the timers and
    // tasks do. On the manual clock time moves to the next deadline within `ms` (by `ms` when
    // there is none) instead of being waited for.
    void run_next(std::uint64_t ms);
    // Runs until quit() is called (from a handler, a task or another thread).
    void run();
    void quit();

    // Queues `task` to run on the GUI thread at the next turn of the loop; callable from any
    // thread.
    void post(std::function<void()> task);

    // Installs the host loop that drives this one (null removes it; the previous driver is never
    // woken again once this returns). run() and run_for() still work with a driver in place.
    void set_driver(LoopDriver* driver);
    // One turn for a driver, on the GUI thread: runs the posted tasks and fires the timers that
    // are due, then answers the milliseconds until the next timer is due, or nothing when no
    // timer is set or the clock is manual (manual time never moves by waiting). A handler may
    // turn the host loop again (a modal dialog does), and so reach dispatch() from inside itself.
    std::optional<std::uint64_t> dispatch();

    // Called on the GUI thread each time manual time moves, with the new time, before the timers
    // due at that time fire: devices of the virtual sound card move their buffers here.
    using ClockObserver = std::function<void(std::uint64_t now_ms)>;
    int add_clock_observer(ClockObserver observer);
    void remove_clock_observer(int id);

    // Number of live timers (for tests and diagnostics).
    std::size_t timer_count() const;

    struct State;

  private:
    MessageLoop();
};

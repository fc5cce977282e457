// Windows that own timers, and the one message loop of the GUI thread that delivers their timer
// messages. Two clocks drive it: the real clock (the loop sleeps until the next timer is due) and
// the manual clock (time moves only when the loop is told to run for a while, and then every due
// timer fires in deadline order, equal deadlines in the order they were set), so tests are
// deterministic and take no wall time.
#pragma once

#include <cstdint>
#include <functional>

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

// Creates a window with no surface of its own, sends it WM_CREATE, and returns it; null (with the
// window destroyed again) when the handler answers WM_CREATE with -1.
HWND CreateMessageWindow(WindowHandler handler);
// Sends WM_DESTROY, kills the window's timers and forgets the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Starts or restarts timer `id` of `window`; a timer with the same id is replaced. Returns `id`,
// or 0 when the window does not exist. Periods are in milliseconds; 0 counts as 1.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse_ms, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

enum class ClockKind { real, manual };

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
    // Runs until quit() is called (from a handler, a task or another thread).
    void run();
    void quit();

    // Queues `task` to run on the GUI thread at the next turn of the loop; callable from any
    // thread.
    void post(std::function<void()> task);

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

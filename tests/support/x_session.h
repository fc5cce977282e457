// A private X display with a window manager for a test: Xvfb on a display number it picks
// itself (so parallel tests never collide), openbox on it, and DISPLAY pointing there for the
// test and the programs it starts. Xlib is needed to see when the window manager is ready; include
// this header after gtest's and the project's, as Xlib's macros (None, Bool) break them.
#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/process.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quillon_test {

class XSession {
  public:
    XSession() {
        if (run_command("command -v Xvfb openbox xdotool").status != 0) {
            m_missing = "Xvfb, openbox or xdotool is not installed";
            return;
        }
        m_server = std::make_unique<ChildProcess>(std::vector<std::string>{
            "Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        const auto number = m_server->read_line(std::chrono::seconds(20));
        if (!number) {
            m_missing = "Xvfb did not start";
            return;
        }
        m_display = ":" + *number;
        ::setenv("DISPLAY", m_display.c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("XDG_SESSION_TYPE", "x11", 1);
        m_manager = std::make_unique<ChildProcess>(std::vector<std::string>{"openbox"});
        if (!wait_for_window_manager()) m_missing = "openbox did not start";
    }
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;
    ~XSession() { end(); }

    // Ends the window manager and the server, as when the desktop goes away.
    void end() {
        m_manager.reset();
        m_server.reset();
    }

    // Empty when the session is up; otherwise why not, for GTEST_SKIP.
    const std::string& missing() const { return m_missing; }
    const std::string& display() const { return m_display; }

  private:
    // The manager announces itself on the root window once it manages the screen. Bounded, so a
    // broken manager fails the test instead of hanging it.
    bool wait_for_window_manager() {
        Display* x = XOpenDisplay(m_display.c_str());
        if (!x) return false;
        const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", False);
        bool ready = false;
        for (int attempt = 0; attempt < 500 && !ready; ++attempt) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type,
                                   &format, &count, &after, &data) == Success &&
                count == 1)
                ready = true;
            if (data) XFree(data);
            if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        XCloseDisplay(x);
        return ready;
    }

    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<ChildProcess> m_manager;
    std::string m_display;
    std::string m_missing;
};

}  // namespace quillon_test

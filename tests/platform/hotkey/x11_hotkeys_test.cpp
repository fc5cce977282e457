#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/platform/hotkey/hotkey_window.h"
#include "tests/support/child_process.h"
#include "tests/support/process.h"
#include "tests/support/x_session.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace quillon_test {
namespace {

class X11Hotkeys : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!m_session.missing().empty()) GTEST_SKIP() << m_session.missing();
        MessageLoop::instance().set_clock(ClockKind::real);
        ASSERT_TRUE(hotkey_use_facility("x11")) << hotkey_last_error();
    }
    void TearDown() override {
        // Closed before the display goes away.
        hotkey_use_facility("application");
    }

    // What a second program gets when it asks for Ctrl with each letter.
    static std::string probe(const std::string& letters) {
        return run_command(std::string(QUILLON_BIN_DIR) + "/hotkey_probe " + letters).output;
    }

    quillon_test::XSession m_session;
};

TEST_F(X11Hotkeys, AGrabbedKeyReachesTheWindowWhileAnotherHasTheFocusWithTheLocksOn) {
    Display* x = XOpenDisplay(m_session.display().c_str());
    ASSERT_NE(x, nullptr);
    const Window other = XCreateSimpleWindow(x, DefaultRootWindow(x), 10, 10, 200, 100, 0, 0, 0);
    XStoreName(x, other, "focused-elsewhere");
    XSelectInput(x, other, KeyPressMask);
    XMapWindow(x, other);
    XSync(x, False);
    ASSERT_EQ(run_command("xdotool search --sync --name '^focused-elsewhere$' windowactivate "
                          "--sync")
                  .status,
              0);
    ASSERT_EQ(run_command("xdotool key Num_Lock Caps_Lock").status, 0);
    XkbStateRec keyboard;
    XkbGetState(x, XkbUseCoreKbd, &keyboard);
    ASSERT_TRUE(keyboard.locked_mods & LockMask);
    ASSERT_TRUE(keyboard.locked_mods & ~LockMask) << "NumLock is not on";

    HotkeyWindow window;
    ASSERT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R')) << hotkey_last_error();
    ASSERT_TRUE(RegisterHotKey(window.handle(), 2, MOD_CONTROL, 'S')) << hotkey_last_error();
    ASSERT_EQ(run_command("xdotool key ctrl+r ctrl+s r").status, 0);
    EXPECT_EQ(window.wait_for(2), (std::vector<HotkeyMessage>{{0, keys_of(MOD_CONTROL, 'R')},
                                                              {2, keys_of(MOD_CONTROL, 'S')}}));

    // The focus stayed where it was, and that window saw the plain r but not the grabbed keys.
    Window focus;
    int revert;
    XGetInputFocus(x, &focus, &revert);
    EXPECT_EQ(focus, other);
    XSync(x, False);
    const KeyCode r = XKeysymToKeycode(x, XK_r);
    int plain_r = 0;
    int grabbed = 0;
    XEvent event;
    while (XCheckTypedWindowEvent(x, other, KeyPress, &event))
        if (event.xkey.keycode == r || event.xkey.keycode == XKeysymToKeycode(x, XK_s))
            ++((event.xkey.state & ControlMask) ? grabbed : plain_r);
    EXPECT_EQ(plain_r, 1);
    EXPECT_EQ(grabbed, 0);
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 2));
    XCloseDisplay(x);
}

TEST_F(X11Hotkeys, AnotherProgramFindsTheCombinationsTakenUntilTheyAreGivenBack) {
    HotkeyWindow window;
    {
        // Another program holds Ctrl+P: only that registration fails here.
        ChildProcess holder({std::string(QUILLON_BIN_DIR) + "/hotkey_probe", "P", "hold"});
        ASSERT_EQ(holder.read_line(std::chrono::seconds(10)), "0 ok");
        ASSERT_EQ(holder.read_line(std::chrono::seconds(10)), "holding");
        EXPECT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
        EXPECT_FALSE(RegisterHotKey(window.handle(), 1, MOD_CONTROL, 'P'));
        EXPECT_NE(hotkey_last_error().find("Ctrl+P is held by another program"), std::string::npos)
            << hotkey_last_error();
        EXPECT_TRUE(RegisterHotKey(window.handle(), 2, MOD_CONTROL, 'S'));
    }
    // Its grabs went with it.
    EXPECT_TRUE(RegisterHotKey(window.handle(), 1, MOD_CONTROL, 'P')) << hotkey_last_error();

    EXPECT_EQ(probe("RPS"), "0 taken\n1 taken\n2 taken\n");
    for (int id = 0; id < 3; ++id) EXPECT_TRUE(UnregisterHotKey(window.handle(), id));
    EXPECT_EQ(probe("RPS"), "0 ok\n1 ok\n2 ok\n");

    // Another client holding only the CapsLock variant is enough to fail, and the variants
    // that were ours are given back at once.
    Display* x = XOpenDisplay(m_session.display().c_str());
    ASSERT_NE(x, nullptr);
    XGrabKey(x, XKeysymToKeycode(x, XK_r), ControlMask | LockMask, DefaultRootWindow(x), False,
             GrabModeAsync, GrabModeAsync);
    XSync(x, False);
    EXPECT_FALSE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
    XUngrabKey(x, XKeysymToKeycode(x, XK_r), ControlMask | LockMask, DefaultRootWindow(x));
    XSync(x, False);
    EXPECT_EQ(probe("R"), "0 ok\n");
    XCloseDisplay(x);
}

TEST_F(X11Hotkeys, LosingTheDisplayEndsTheHotkeysButNotTheProgram) {
    HotkeyWindow window;
    ASSERT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
    m_session.end();
    EXPECT_FALSE(RegisterHotKey(window.handle(), 1, MOD_CONTROL, 'P'));
    EXPECT_NE(hotkey_last_error().find("lost"), std::string::npos) << hotkey_last_error();
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
}

}  // namespace
}  // namespace quillon_test

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/platform/hotkey/hotkey_window.h"
#include "tests/support/child_process.h"
#include "tests/support/process.h"

namespace quillon_test {
namespace {

// Each case runs on a private session bus (the test runs under dbus-run-session), in a Wayland
// session as the environment tells it, with a fake portal that refuses the triggers it is told to.
class PortalHotkeys : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("WAYLAND_DISPLAY", "wayland-quillon-test", 1);
        ::setenv("XDG_SESSION_TYPE", "wayland", 1);
        MessageLoop::instance().set_clock(ClockKind::real);
    }
    void TearDown() override { hotkey_use_facility("application"); }

    void start_portal(std::vector<std::string> arguments = {}) {
        // Debian's interpreter: python3-dbus is installed for it, whatever else is on PATH.
        arguments.insert(arguments.begin(),
                         {"/usr/bin/python3", QUILLON_HOTKEY_TEST_DIR "/fake_portal.py"});
        m_portal = std::make_unique<ChildProcess>(arguments);
        ASSERT_EQ(m_portal->read_line(std::chrono::seconds(20)), "ready");
    }

    // Calls a test hook of the fake portal; its printed reply.
    static std::string hook(const std::string& call) {
        return run_command(
                   "dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop "
                   "/org/freedesktop/portal/desktop org.quillon.FakePortal." +
                   call)
            .output;
    }

    std::unique_ptr<ChildProcess> m_portal;
};

TEST_F(PortalHotkeys, BoundShortcutsDeliverTheirActivationsAndARefusedOneFails) {
    start_portal({"--refuse", "CTRL+p"});
    ASSERT_TRUE(hotkey_use_facility("auto")) << hotkey_last_error();
    EXPECT_EQ(hotkey_facility(), "portal");

    HotkeyWindow window;
    EXPECT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R')) << hotkey_last_error();
    EXPECT_FALSE(RegisterHotKey(window.handle(), 1, MOD_CONTROL, 'P'));
    EXPECT_NE(hotkey_last_error().find("did not bind CTRL+p"), std::string::npos)
        << hotkey_last_error();
    EXPECT_TRUE(RegisterHotKey(window.handle(), 2, MOD_CONTROL, 'S')) << hotkey_last_error();
    // The refused one left no session behind.
    EXPECT_NE(hook("Bound").find("\"CTRL+r\""), std::string::npos);
    EXPECT_EQ(hook("Bound").find("\"CTRL+p\""), std::string::npos);

    hook("Activate string:CTRL+s");
    hook("Activate string:CTRL+r");
    EXPECT_EQ(window.wait_for(2), (std::vector<HotkeyMessage>{{2, keys_of(MOD_CONTROL, 'S')},
                                                              {0, keys_of(MOD_CONTROL, 'R')}}));

    // Giving one back closes its session and leaves the other.
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 2));
    const std::string bound = hook("Bound");
    EXPECT_EQ(bound.find("\"CTRL+s\""), std::string::npos) << bound;
    EXPECT_NE(bound.find("\"CTRL+r\""), std::string::npos) << bound;
    EXPECT_NE(hook("Activate string:CTRL+s").find("uint32 0"), std::string::npos);
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
}

TEST_F(PortalHotkeys, AWaylandSessionWithoutThePortalFallsBackToApplicationShortcuts) {
    EXPECT_FALSE(hotkey_use_facility("portal"));
    EXPECT_NE(hotkey_last_error().find("portal"), std::string::npos) << hotkey_last_error();
    // The X server of a Wayland session is not asked, even with a display name set.
    ::setenv("DISPLAY", ":0", 1);
    EXPECT_FALSE(hotkey_use_facility("x11"));
    ASSERT_TRUE(hotkey_use_facility("auto"));
    EXPECT_EQ(hotkey_facility(), "application");
    HotkeyWindow window;
    EXPECT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
    EXPECT_TRUE(hotkey_key_pressed(MOD_CONTROL, 'R'));
    EXPECT_EQ(window.wait_for(1).size(), 1u);
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
}

}  // namespace
}  // namespace quillon_test

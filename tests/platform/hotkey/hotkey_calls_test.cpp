#include <gtest/gtest.h>

#include "tests/platform/hotkey/hotkey_window.h"

namespace {

using quillon_test::HotkeyMessage;
using quillon_test::HotkeyWindow;
using quillon_test::keys_of;

// Application-wide shortcuts: no other program is involved, so the front end's own rules and
// the dispatch through the window procedure are what is tested here.
class ApplicationHotkeys : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageLoop::instance().set_clock(ClockKind::manual);
        ASSERT_TRUE(hotkey_use_facility("application"));
    }
};

TEST_F(ApplicationHotkeys, FedKeysReachTheWindowAtTheNextTurnOfTheLoopAndOnlyWhileRegistered) {
    HotkeyWindow window;
    ASSERT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
    ASSERT_TRUE(RegisterHotKey(window.handle(), 2, MOD_CONTROL, 'S'));
    EXPECT_EQ(hotkey_facility(), "application");

    EXPECT_TRUE(hotkey_key_pressed(MOD_CONTROL, 'S'));
    EXPECT_TRUE(hotkey_key_pressed(MOD_CONTROL, 'R'));
    EXPECT_FALSE(hotkey_key_pressed(MOD_CONTROL, 'P'));
    EXPECT_FALSE(hotkey_key_pressed(MOD_CONTROL | MOD_SHIFT, 'R'));
    EXPECT_TRUE(window.received().empty());  // posted, like any message
    MessageLoop::instance().run_for(0);
    EXPECT_EQ(window.received(), (std::vector<HotkeyMessage>{{2, keys_of(MOD_CONTROL, 'S')},
                                                             {0, keys_of(MOD_CONTROL, 'R')}}));

    // A press already queued when the hotkey goes is not delivered.
    EXPECT_TRUE(hotkey_key_pressed(MOD_CONTROL, 'S'));
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 2));
    EXPECT_FALSE(UnregisterHotKey(window.handle(), 2));
    MessageLoop::instance().run_for(0);
    EXPECT_FALSE(hotkey_key_pressed(MOD_CONTROL, 'S'));
    EXPECT_EQ(window.received().size(), 2u);
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
}

TEST_F(ApplicationHotkeys, RefusesBadArgumentsAndWhatThisProcessHoldsAlready) {
    HotkeyWindow window;
    HotkeyWindow other;
    EXPECT_FALSE(RegisterHotKey(nullptr, 0, MOD_CONTROL, 'R'));
    EXPECT_FALSE(RegisterHotKey(window.handle(), 0, 0x4000, 'R'));
    EXPECT_FALSE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 0x70));  // F1: not offered
    EXPECT_FALSE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'r'));  // key codes are upper case
    ASSERT_TRUE(RegisterHotKey(window.handle(), 0, MOD_CONTROL, 'R'));
    EXPECT_FALSE(RegisterHotKey(window.handle(), 0, MOD_ALT, '1'));  // the id is taken
    EXPECT_FALSE(RegisterHotKey(other.handle(), 5, MOD_CONTROL, 'R'));
    EXPECT_NE(hotkey_last_error().find("holds the combination"), std::string::npos);
    EXPECT_TRUE(RegisterHotKey(other.handle(), 0, MOD_ALT | MOD_WIN, '1'));  // ids are per window

    // The facility stays while hotkeys are held.
    EXPECT_FALSE(hotkey_use_facility("application"));
    EXPECT_TRUE(UnregisterHotKey(window.handle(), 0));
    EXPECT_TRUE(UnregisterHotKey(other.handle(), 0));
    EXPECT_FALSE(hotkey_use_facility("nonesuch"));
    EXPECT_NE(hotkey_last_error().find("nonesuch"), std::string::npos);
    EXPECT_TRUE(hotkey_use_facility("application"));
}

}  // namespace

#include "app/application_shortcuts.h"

#include <gtest/gtest.h>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <vector>

#include "app/qt_loop_driver.h"
#include "platform/hotkey/hotkey.h"
#include "tests/app/qt_wait.h"

namespace {

// A widget that keeps the keys that reach it, less the modifier keys themselves.
class KeyWidget final : public QWidget {
  public:
    std::vector<int> keys;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() < Qt::Key_Escape) keys.push_back(event->key());
    }
};

// Where no global facility exists, a registered combination typed into any of the program's
// windows arrives as WM_HOTKEY through the platform loop, and the window never sees the key.
TEST(ApplicationShortcuts, RegisteredCombinationsBecomeHotkeyMessagesAndOtherKeysPass) {
    MessageLoop::instance().set_clock(ClockKind::real);
    ASSERT_TRUE(hotkey_use_facility("application"));
    QtLoopDriver driver;
    ApplicationShortcuts shortcuts;
    qApp->installEventFilter(&shortcuts);

    std::vector<WPARAM> hotkeys;
    HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM id, LPARAM) -> LRESULT {
        if (message == WM_HOTKEY) hotkeys.push_back(id);
        return 0;
    });
    ASSERT_TRUE(RegisterHotKey(window, 0, MOD_CONTROL, 'R'));
    ASSERT_TRUE(RegisterHotKey(window, 2, MOD_CONTROL | MOD_SHIFT, '7'));

    KeyWidget widget;
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QTest::keyClick(&widget, Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(&widget, Qt::Key_R);
    QTest::keyClick(&widget, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(&widget, Qt::Key_7, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(quillon_test::wait_until([&] { return hotkeys.size() >= 2; }));
    EXPECT_EQ(hotkeys, (std::vector<WPARAM>{0, 2}));
    EXPECT_EQ(widget.keys, (std::vector<int>{Qt::Key_R, Qt::Key_P}));

    UnregisterHotKey(window, 0);
    UnregisterHotKey(window, 2);
    DestroyWindow(window);
    qApp->removeEventFilter(&shortcuts);
    MessageLoop::instance().set_clock(ClockKind::manual);
}

}  // namespace

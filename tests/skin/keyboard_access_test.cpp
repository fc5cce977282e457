// Keyboard and screen-reader use: the tab order, Space and Enter, access keys, and what the
// widgets tell assistive technology (role, name, state, default action).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>

#include "skin/xp_canvas.h"
#include "skin/xpcheckbox.h"
#include "skin/xpcmdbutton.h"
#include "skin/xpgroupbox.h"
#include "skin/xphelp.h"
#include "skin/xpradiobutton.h"
#include "skin/xptopbuttons.h"
#include "tests/skin/skin_test_support.h"

using namespace quillon::skin;

namespace {

class Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setGeometry(100, 100, 400, 300);
        canvas = new xp_canvas(&window, QStringLiteral("xp_canvas1"));
        record = new xpcmdbutton(&window, QStringLiteral("xpcmdbutton1"));
        record->set_Caption(QStringLiteral("&Record"));
        record->setGeometry(10, 40, 90, 23);
        group = new xpgroupbox(&window, QStringLiteral("Frame1"));
        group->setGeometry(10, 80, 200, 120);
        loop = new xpcheckbox(group, QStringLiteral("Check1"));
        loop->set_Caption(QStringLiteral("&Loop"));
        loop->setGeometry(10, 30, 120, 20);
        option = new xpradiobutton(group, QStringLiteral("Option1"));
        option->set_Caption(QStringLiteral("128 Kbps"));
        option->setGeometry(10, 60, 120, 20);
        close = new xptopbuttons(&window, QStringLiteral("xpclose"));
        close->move(370, 4);
        skin_test::show_active(window);
    }
    QWidget window;
    xp_canvas* canvas = nullptr;
    xpcmdbutton* record = nullptr;
    xpgroupbox* group = nullptr;
    xpcheckbox* loop = nullptr;
    xpradiobutton* option = nullptr;
    xptopbuttons* close = nullptr;
};

TEST_F(Keyboard, TabVisitsTheButtonsAndTogglesButNotTheFrames) {
    record->setFocus(Qt::OtherFocusReason);
    QList<QWidget*> visited;
    for (int i = 0; i < 4; ++i) {
        visited << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, (QList<QWidget*>{record, loop, option, close}));
    EXPECT_EQ(QApplication::focusWidget(), record);  // round again
    EXPECT_EQ(canvas->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(group->focusPolicy(), Qt::NoFocus);
}

TEST_F(Keyboard, SpaceAndEnterClickTheFocusedWidget) {
    QSignalSpy clicks(record, &SkinWidget::Click);
    record->setFocus();
    QTest::keyClick(record, Qt::Key_Space);
    QTest::keyClick(record, Qt::Key_Return);
    EXPECT_EQ(clicks.size(), 2);
    loop->setFocus();
    QTest::keyClick(loop, Qt::Key_Space);
    EXPECT_EQ(loop->Value(), xpcheckbox::checked);
    QTest::keyClick(loop, Qt::Key_Enter);
    EXPECT_EQ(loop->Value(), xpcheckbox::unchecked);
    option->setFocus();
    QTest::keyClick(option, Qt::Key_Space);
    EXPECT_TRUE(option->Value());
}

TEST_F(Keyboard, KeyEventsPassThroughWithTheirCodes) {
    QSignalSpy down(record, &SkinWidget::KeyDown);
    QSignalSpy press(record, &SkinWidget::KeyPress);
    QSignalSpy up(record, &SkinWidget::KeyUp);
    record->setFocus();
    QTest::keyClick(record, Qt::Key_A, Qt::ShiftModifier);
    ASSERT_EQ(down.size(), 2);  // Shift, then A with Shift held
    EXPECT_EQ(down[0][0].toInt(), 16);
    EXPECT_EQ(down[1][0].toInt(), 65);
    EXPECT_EQ(down[1][1].toInt(), 1);
    ASSERT_EQ(press.size(), 1);  // only A types a character
    EXPECT_EQ(press[0][0].toInt(), int(QTest::keyToAscii(Qt::Key_A)));
    EXPECT_EQ(up.size(), 2);
    QTest::keyClick(record, Qt::Key_F1);
    EXPECT_EQ(down.last()[0].toInt(), 112);
}

TEST_F(Keyboard, AccessKeysClickWhereverTheFocusIs) {
    QSignalSpy clicks(record, &SkinWidget::Click);
    option->setFocus();
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.size(), 1);
    QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(loop->Value(), xpcheckbox::checked);
    record->set_Caption(QStringLiteral("Record Ctrl+R"));  // no access key any more
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.size(), 1);
}

TEST_F(Keyboard, DisabledWidgetsIgnoreKeysAndAccessKeys) {
    QSignalSpy clicks(record, &SkinWidget::Click);
    record->set_Enabled(false);
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    record->click();
    EXPECT_EQ(clicks.size(), 0);
}

QAccessibleInterface* accessible(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}

TEST_F(Keyboard, AssistiveTechnologyLearnsRolesNamesAndStates) {
    EXPECT_EQ(accessible(record)->role(), QAccessible::Button);
    EXPECT_EQ(accessible(record)->text(QAccessible::Name), QStringLiteral("Record"));
    EXPECT_EQ(accessible(loop)->role(), QAccessible::CheckBox);
    EXPECT_EQ(accessible(loop)->text(QAccessible::Name), QStringLiteral("Loop"));
    EXPECT_FALSE(accessible(loop)->state().checked);
    loop->set_Value(xpcheckbox::grayed);
    EXPECT_TRUE(accessible(loop)->state().checked);
    EXPECT_TRUE(accessible(loop)->state().checkStateMixed);
    EXPECT_EQ(accessible(option)->role(), QAccessible::RadioButton);
    EXPECT_EQ(accessible(group)->role(), QAccessible::Grouping);
    EXPECT_EQ(accessible(group)->text(QAccessible::Name), QStringLiteral("Frame1"));

    const struct {
        int value;
        const char* name;
    } names[] = {{0, "Close"}, {1, "Maximise"}, {2, "Minimise"}, {3, "Restore"}};
    for (const auto& n : names) {
        close->set_Value(n.value);
        EXPECT_EQ(accessible(close)->text(QAccessible::Name), QLatin1String(n.name));
        EXPECT_EQ(accessible(close)->role(), QAccessible::Button);
    }
    xphelp help(&window, QStringLiteral("xphelp1"));
    EXPECT_EQ(accessible(&help)->text(QAccessible::Name), QStringLiteral("Help"));
    record->set_Enabled(false);
    EXPECT_TRUE(accessible(record)->state().disabled);
}

TEST_F(Keyboard, TheDefaultActionClicks) {
    QSignalSpy clicks(record, &SkinWidget::Click);
    QAccessibleActionInterface* actions = accessible(record)->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.size(), 1);

    QAccessibleActionInterface* toggle = accessible(loop)->actionInterface();
    toggle->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(loop->Value(), xpcheckbox::checked);

    record->set_Enabled(false);
    EXPECT_FALSE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

}  // namespace

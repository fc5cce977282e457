// The check box and the radio button under the pointer: the value a click leaves, what the
// click handler sees, the looks, and the one group of radio buttons per window.
#include <gtest/gtest.h>

#include <QFrame>
#include <QSignalSpy>

#include "skin/xpcheckbox.h"
#include "skin/xpradiobutton.h"
#include "tests/skin/skin_test_support.h"

using namespace quillon::skin;
using skin_test::point_at;
using skin_test::tick;
using skin_test::timer_running;

namespace {

constexpr QPoint away(380, 180);

class Toggles : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setGeometry(100, 100, 400, 200);
        box = new xpcheckbox(&window, QStringLiteral("Check1"));
        box->setGeometry(10, 10, 150, 22);
        skin_test::show_active(window);
        point_at(window, away);
    }
    void click(QWidget& w, QPoint at = QPoint(8, 11)) {
        point_at(w, at);
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, at);
    }
    QWidget window;
    xpcheckbox* box = nullptr;
};

TEST_F(Toggles, ClickMovesTheValueOnAndTheHandlerSeesTheOldOne) {
    QList<int> seen;
    QObject::connect(box, &SkinWidget::Click, [&] { seen << box->Value(); });
    box->set_Value(xpcheckbox::grayed);
    click(*box);
    EXPECT_EQ(box->Value(), xpcheckbox::unchecked);  // grayed becomes unchecked, not checked
    click(*box);
    EXPECT_EQ(box->Value(), xpcheckbox::checked);
    click(*box);
    EXPECT_EQ(box->Value(), xpcheckbox::unchecked);
    EXPECT_EQ(seen, (QList<int>{2, 0, 1}));
}

TEST_F(Toggles, ClickOnTheCaptionIsAClick) {
    box->set_Caption(QStringLiteral("Loop"));
    click(*box, box->caption_rect().center());
    EXPECT_EQ(box->Value(), xpcheckbox::checked);
}

TEST_F(Toggles, ValueOnADisabledBoxShowsItsDisabledPicture) {
    box->set_Enabled(false);
    box->set_Value(xpcheckbox::checked);
    EXPECT_EQ(box->look(), ToggleWidget::disabled);
    EXPECT_EQ(box->Value(), xpcheckbox::checked);
    box->set_Enabled(true);
    EXPECT_EQ(box->look(), ToggleWidget::normal);
}

TEST_F(Toggles, ValueWithoutAPictureIsUnchecked) {
    box->set_Value(9);
    EXPECT_EQ(box->Value(), xpcheckbox::unchecked);
}

TEST_F(Toggles, LooksFollowThePointerAndReleasingOutsideChangesNothing) {
    QSignalSpy out(box, &PushWidget::MouseOut);
    point_at(*box, QPoint(8, 11));
    EXPECT_EQ(box->look(), ToggleWidget::hover);
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 11));
    EXPECT_EQ(box->look(), ToggleWidget::pressed);
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(300, 100));
    EXPECT_EQ(box->Value(), xpcheckbox::unchecked);
    EXPECT_EQ(box->look(), ToggleWidget::pressed);
    point_at(window, away);
    tick(*box, "Timer1");
    EXPECT_EQ(box->look(), ToggleWidget::normal);
    EXPECT_EQ(out.size(), 1);
    EXPECT_FALSE(timer_running(*box, "Timer1"));
}

TEST_F(Toggles, WatchRunsFromCreation) {
    xpcheckbox fresh(&window, QStringLiteral("Check2"));
    QSignalSpy out(&fresh, &PushWidget::MouseOut);
    EXPECT_TRUE(timer_running(fresh, "Timer1"));
    tick(fresh, "Timer1");
    EXPECT_EQ(out.size(), 1);
    EXPECT_FALSE(timer_running(fresh, "Timer1"));
}

TEST_F(Toggles, RadioButtonsInDifferentFramesOfOneWindowFormOneGroup) {
    QFrame left(&window), right(&window);
    left.setGeometry(10, 40, 180, 100);
    right.setGeometry(200, 40, 180, 100);
    xpradiobutton a(&left, QStringLiteral("Option1")), b(&right, QStringLiteral("Option2"));
    a.setGeometry(5, 5, 150, 20);
    b.setGeometry(5, 5, 150, 20);
    QWidget other_window;
    xpradiobutton elsewhere(&other_window, QStringLiteral("Option3"));
    elsewhere.set_Value(true);
    left.show();
    right.show();
    a.show();
    b.show();

    QList<bool> seen;
    QObject::connect(&b, &SkinWidget::Click, [&] { seen << b.Value() << a.Value(); });
    click(a, QPoint(6, 10));
    EXPECT_TRUE(a.Value());
    click(b, QPoint(6, 10));
    EXPECT_TRUE(b.Value());
    EXPECT_FALSE(a.Value());
    EXPECT_EQ(seen, (QList<bool>{false, true}));  // the handler runs before the change
    click(b, QPoint(6, 10));                      // a selected button stays selected
    EXPECT_TRUE(b.Value());
    EXPECT_TRUE(elsewhere.Value());  // another window's group is its own
}

TEST_F(Toggles, RadioRaisesMouseOutBeforeRepainting) {
    xpradiobutton r(&window, QStringLiteral("Option1"));
    r.setGeometry(10, 60, 150, 20);
    r.show();
    point_at(r, QPoint(6, 10));
    EXPECT_EQ(r.look(), ToggleWidget::hover);
    int look_at_out = -1;
    QObject::connect(&r, &PushWidget::MouseOut, [&] { look_at_out = r.look(); });
    point_at(window, away);
    tick(r, "Timer1");
    EXPECT_EQ(look_at_out, ToggleWidget::hover);
    EXPECT_EQ(r.look(), ToggleWidget::normal);
}

TEST_F(Toggles, CaptionSitsAt32PixelsCentredVertically) {
    box->setGeometry(10, 10, 150, 41);
    box->set_Caption(QStringLiteral("Loop"));
    const QRect caption = box->caption_rect();
    EXPECT_EQ(caption.left(), 32);
    EXPECT_LE(std::abs(caption.top() - (41 - caption.height()) / 2), 1);
    EXPECT_EQ(box->picture_rect(), QRect(0, 12, 16, 16));  // (615 - 240) \ 2 = 187 twips
}

}  // namespace

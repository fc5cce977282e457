// The command button and the title-bar and help buttons driven as a user drives them: the
// faces they show, the events they raise, and the hover watch that runs only while the pointer
// is over them or has just left.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "skin/xpcmdbutton.h"
#include "skin/xphelp.h"
#include "skin/xptopbuttons.h"
#include "tests/skin/skin_test_support.h"

using namespace quillon::skin;
using skin_test::point_at;
using skin_test::tick;
using skin_test::timer_running;

namespace {

constexpr QPoint inside(20, 10);
constexpr QPoint outside(300, 150);

class CommandButton : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setGeometry(100, 100, 400, 200);
        button = new xpcmdbutton(&window, QStringLiteral("xpcmdbutton1"));
        button->setGeometry(10, 10, 75, 23);
        skin_test::show_active(window);
        point_at(window, outside);
    }
    QWidget window;
    xpcmdbutton* button = nullptr;
};

TEST_F(CommandButton, NewButtonHasItsNameForCaptionAndNoTimerRunning) {
    EXPECT_EQ(button->Caption(), QStringLiteral("xpcmdbutton1"));
    EXPECT_EQ(button->face(), xpcmdbutton::normal);
    EXPECT_FALSE(timer_running(*button, "Timer1"));
}

TEST_F(CommandButton, HoverPressReleaseAndLeave) {
    QSignalSpy click(button, &SkinWidget::Click);
    QSignalSpy down(button, &SkinWidget::MouseDown);
    QSignalSpy up(button, &SkinWidget::MouseUp);
    QSignalSpy out(button, &PushWidget::MouseOut);

    point_at(*button, inside);
    EXPECT_EQ(button->face(), xpcmdbutton::hover);
    EXPECT_TRUE(timer_running(*button, "Timer1"));

    QTest::mousePress(button, Qt::LeftButton, Qt::ShiftModifier, inside);
    EXPECT_EQ(button->face(), xpcmdbutton::pressed);
    ASSERT_EQ(down.size(), 1);
    EXPECT_EQ(down[0][0].toInt(), 1);  // Button: left
    EXPECT_EQ(down[0][1].toInt(), 1);  // Shift
    EXPECT_EQ(down[0][2].toFloat(), 20.f);

    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(up.size(), 1);
    EXPECT_EQ(click.size(), 1);
    EXPECT_EQ(button->face(), xpcmdbutton::normal);  // resting until the pointer moves again

    tick(*button, "Timer1");  // still inside: nothing
    EXPECT_EQ(out.size(), 0);
    EXPECT_TRUE(timer_running(*button, "Timer1"));

    point_at(window, outside);
    tick(*button, "Timer1");
    EXPECT_EQ(out.size(), 1);
    EXPECT_FALSE(timer_running(*button, "Timer1"));
    EXPECT_EQ(button->face(), xpcmdbutton::normal);
}

TEST_F(CommandButton, MouseOutOncePerExit) {
    QSignalSpy out(button, &PushWidget::MouseOut);
    for (int exit = 1; exit <= 2; ++exit) {
        point_at(*button, inside);
        point_at(*button, inside + QPoint(3, 1));
        point_at(window, outside);
        tick(*button, "Timer1");
        EXPECT_EQ(out.size(), exit);
        EXPECT_FALSE(timer_running(*button, "Timer1"));  // no second MouseOut can follow
    }
}

TEST_F(CommandButton, LeavingWithTheButtonHeldShowsTheRestingFaceAndClicksNothing) {
    QSignalSpy click(button, &SkinWidget::Click);
    QSignalSpy out(button, &PushWidget::MouseOut);
    point_at(*button, inside);
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, inside);
    QTest::mouseMove(button, QPoint(40, 12));  // moved with the left button held
    EXPECT_EQ(button->face(), xpcmdbutton::pressed);
    QTest::mouseMove(button, QPoint(200, 80));
    QCursor::setPos(button->mapToGlobal(QPoint(200, 80)));
    tick(*button, "Timer1");
    EXPECT_EQ(out.size(), 1);
    EXPECT_EQ(button->face(), xpcmdbutton::normal);
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(200, 80));
    EXPECT_EQ(click.size(), 0);
}

TEST_F(CommandButton, DefaultStateKeepsItsOwnFacesApart) {
    button->set_State(1);
    EXPECT_EQ(button->face(), xpcmdbutton::default_face);
    point_at(*button, inside);
    EXPECT_EQ(button->face(), xpcmdbutton::hover);
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(button->face(), xpcmdbutton::pressed);
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(button->face(), xpcmdbutton::default_face);
    button->set_Enabled(false);
    EXPECT_EQ(button->face(), xpcmdbutton::disabled);
    button->set_Enabled(true);
    EXPECT_EQ(button->face(), xpcmdbutton::default_face);
    button->set_State(5);  // no such state: the resting face stays
    EXPECT_EQ(button->face(), xpcmdbutton::default_face);
    button->set_State(0);
    EXPECT_EQ(button->face(), xpcmdbutton::normal);
}

TEST_F(CommandButton, EnabledMarksChangedAndRestoresTheRestingFace) {
    QSignalSpy changed(button, &SkinWidget::PropertyChanged);
    button->set_Enabled(false);
    EXPECT_EQ(button->face(), xpcmdbutton::disabled);
    EXPECT_FALSE(button->isEnabled());
    button->set_Enabled(true);
    EXPECT_EQ(button->face(), xpcmdbutton::normal);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[0][0].toString(), QStringLiteral("Enabled"));
}

TEST_F(CommandButton, CaptionIsCentredAndAMoveOverItCountsAtItsCorner) {
    button->set_Caption(QStringLiteral("Record Ctrl+R"));
    const QRect caption = button->caption_rect();
    EXPECT_EQ(caption.left(), (75 - caption.width()) / 2);
    EXPECT_EQ(caption.top(), (23 - caption.height()) / 2);
    QSignalSpy move(button, &SkinWidget::MouseMove);
    point_at(*button, caption.center());
    ASSERT_GE(move.size(), 1);
    EXPECT_EQ(move.last()[2].toFloat(), float(caption.left()));
    EXPECT_EQ(move.last()[3].toFloat(), float(caption.top()));
}

TEST_F(CommandButton, ADoubleClickIsOneClick) {
    QSignalSpy click(button, &SkinWidget::Click);
    point_at(*button, inside);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, inside);
    QTest::mouseDClick(button, Qt::LeftButton, Qt::NoModifier, inside);
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, inside);
    EXPECT_EQ(click.size(), 1);
}

class TitleButtons : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setGeometry(100, 100, 300, 100);
        skin_test::show_active(window);
        point_at(window, QPoint(250, 80));
    }
    QWidget window;
};

TEST_F(TitleButtons, HeldAt21By21) {
    xptopbuttons close(&window, QStringLiteral("xpclose"));
    xphelp help(&window, QStringLiteral("xphelp1"));
    for (QWidget* w : {static_cast<QWidget*>(&close), static_cast<QWidget*>(&help)}) {
        w->resize(40, 30);
        EXPECT_EQ(w->size(), QSize(21, 21));
        w->setGeometry(5, 5, 3, 3);
        EXPECT_EQ(w->size(), QSize(21, 21));
    }
}

TEST_F(TitleButtons, ValueOutsideTheStripsKeepsTheStripInUse) {
    xptopbuttons b(&window, QStringLiteral("xptopbuttons1"));
    b.set_Value(7);
    EXPECT_EQ(b.strip(), xptopbuttons::close);
    b.set_Value(xptopbuttons::minimise);
    b.set_Value(-1);
    EXPECT_EQ(b.strip(), xptopbuttons::minimise);
    EXPECT_EQ(b.Value(), -1);
}

TEST_F(TitleButtons, DisablingShowsTheDisabledCellAtOnce) {
    xptopbuttons b(&window, QStringLiteral("xpmin"));
    b.set_Value(xptopbuttons::minimise);
    b.show();
    b.set_Enabled(false);
    EXPECT_EQ(b.cell(), CaptionButton::disabled);
    b.set_Enabled(true);
    EXPECT_EQ(b.cell(), CaptionButton::normal);
}

TEST_F(TitleButtons, WatchRunsFromCreationUntilItFindsThePointerOutside) {
    xptopbuttons b(&window, QStringLiteral("xpclose"));
    b.move(10, 10);
    b.show();
    QSignalSpy out(&b, &PushWidget::MouseOut);
    EXPECT_TRUE(timer_running(b, "Timer1"));
    tick(b, "Timer1");
    EXPECT_EQ(out.size(), 1);
    EXPECT_FALSE(timer_running(b, "Timer1"));
}

TEST_F(TitleButtons, PressShowsPressedAndReleaseShowsNormal) {
    xptopbuttons b(&window, QStringLiteral("xpclose"));
    b.move(10, 10);
    b.show();
    QSignalSpy click(&b, &SkinWidget::Click);
    point_at(b, QPoint(10, 10));
    EXPECT_EQ(b.cell(), CaptionButton::hover);
    QTest::mousePress(&b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(b.cell(), CaptionButton::pressed);
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(b.cell(), CaptionButton::normal);
    EXPECT_EQ(click.size(), 1);
    // A double-click raises nothing beyond the first click.
    QTest::mouseDClick(&b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(&b, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(click.size(), 1);
}

TEST_F(TitleButtons, HelpReleasedOutsideClicksNothingAndLetsGoWithinATick) {
    xphelp help(&window, QStringLiteral("xphelp1"));
    help.move(10, 10);
    help.show();
    QSignalSpy click(&help, &SkinWidget::Click);
    QSignalSpy out(&help, &PushWidget::MouseOut);
    point_at(help, QPoint(10, 10));
    QTest::mousePress(&help, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(&help, Qt::LeftButton, Qt::NoModifier, QPoint(120, 60));
    EXPECT_EQ(click.size(), 0);
    EXPECT_EQ(help.cell(), CaptionButton::pressed);  // stays until the pointer is found outside
    point_at(window, QPoint(250, 80));
    tick(help, "Timer1");
    EXPECT_EQ(help.cell(), CaptionButton::normal);
    EXPECT_EQ(out.size(), 1);
}

TEST_F(TitleButtons, HelpClickShowsNormalThenClicks) {
    xphelp help(&window, QStringLiteral("xphelp1"));
    help.move(10, 10);
    help.show();
    int cell_at_click = -1;
    QObject::connect(&help, &SkinWidget::Click, [&] { cell_at_click = help.cell(); });
    point_at(help, QPoint(10, 10));
    QTest::mouseClick(&help, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(cell_at_click, CaptionButton::normal);
}

}  // namespace

// The window frame's behaviour: resizing by every edge code, Fixed_Single, maximise and
// restore, dragging, the cursors, the active and inactive looks, and the window region cut
// from the key colour.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>

#include "skin/trans_colour.h"
#include "skin/xp_canvas.h"
#include "tests/skin/skin_test_support.h"

using namespace quillon::skin;
using Area = xp_canvas::Area;

namespace {

constexpr QRect start(200, 150, 400, 300);

class Frame : public ::testing::Test {
  protected:
    void SetUp() override {
        host.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        host.setGeometry(start);
        canvas = new xp_canvas(&host, QStringLiteral("xp_canvas1"));
        canvas->set_Caption(QStringLiteral("Quillon"));
        skin_test::show_active(host);
    }
    ActivationWatch& watch(const char* name) {
        return *canvas->findChild<ActivationWatch*>(QString::fromLatin1(name));
    }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, to);
    }
    QWidget host;
    xp_canvas* canvas = nullptr;
};

TEST_F(Frame, FillsItsWindowAndNamesIt) {
    EXPECT_EQ(canvas->geometry(), QRect(0, 0, 400, 300));
    EXPECT_EQ(host.windowTitle(), QStringLiteral("Quillon"));
    host.resize(500, 320);
    EXPECT_EQ(canvas->size(), QSize(500, 320));
}

TEST_F(Frame, LiesUnderWidgetsMadeBeforeIt) {
    QWidget host2;
    QWidget button(&host2);
    xp_canvas frame(&host2, QStringLiteral("xp_canvas1"));
    EXPECT_EQ(host2.children().indexOf(&frame), 0);  // first child: painted first, hit last
}

TEST_F(Frame, AreasLieWhereTheFrameDrawsThem) {
    EXPECT_EQ(canvas->area_at({2, 150}), Area::left);
    EXPECT_EQ(canvas->area_at({397, 150}), Area::right);
    EXPECT_EQ(canvas->area_at({200, 297}), Area::bottom);
    EXPECT_EQ(canvas->area_at({200, 3}), Area::grip2);
    EXPECT_EQ(canvas->area_at({3, 3}), Area::grip7);
    EXPECT_EQ(canvas->area_at({396, 3}), Area::grip6);
    EXPECT_EQ(canvas->area_at({3, 297}), Area::grip5);
    EXPECT_EQ(canvas->area_at({396, 297}), Area::grip4);
    EXPECT_EQ(canvas->area_at({200, 20}), Area::title);
    EXPECT_EQ(canvas->area_at({200, 150}), Area::client);
    // The caption lies over the top grip.
    EXPECT_EQ(canvas->area_at(canvas->caption_rect().topLeft() + QPoint(2, 1)), Area::caption);
}

struct EdgeCase {
    QPoint press;
    QRect expected;  // after a travel of (+30, +20)
};

TEST_F(Frame, ResizesOnReleaseByEveryEdgeCode) {
    const int l = start.x(), t = start.y(), w = start.width(), h = start.height();
    const EdgeCase cases[] = {
        {{2, 150}, {l + 30, t, w - 30, h}},          // 0 left
        {{397, 150}, {l, t, w + 30, h}},             // 1 right
        {{200, 3}, {l, t + 20, w, h - 20}},          // 2 top
        {{200, 297}, {l, t, w, h + 20}},             // 3 bottom
        {{396, 297}, {l, t, w + 30, h + 20}},        // 4 bottom-right
        {{3, 297}, {l + 30, t, w - 30, h + 20}},     // 5 bottom-left
        {{396, 3}, {l, t + 20, w + 30, h - 20}},     // 6 top-right
        {{3, 3}, {l + 30, t + 20, w - 30, h - 20}},  // 7 top-left
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(xp_canvas::edge_code(canvas->area_at(c.press)));
        host.setGeometry(start);
        drag(c.press, c.press + QPoint(30, 20));
        EXPECT_EQ(host.geometry(), c.expected);
    }
}

TEST_F(Frame, ReleaseFarOutsideTheWindowResizesByTheFullTravel) {
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {397, 150});
    QTest::mouseMove(canvas, {600, 400});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {1097, 550});
    EXPECT_EQ(host.geometry(), QRect(start.topLeft(), start.size() + QSize(700, 0)));
    host.setGeometry(start);
    drag({396, 297}, {396 + 700, 297 + 500});
    EXPECT_EQ(host.geometry(), QRect(start.topLeft(), start.size() + QSize(700, 500)));
}

TEST_F(Frame, NoTravelLeavesTheWindowAsItWas) {
    drag({2, 150}, {2, 150});
    drag({396, 297}, {396, 297});
    EXPECT_EQ(host.geometry(), start);
}

TEST_F(Frame, LeftStripTenPixelsRightKeepsTheRightEdge) {
    drag({2, 150}, {12, 150});
    EXPECT_EQ(host.geometry().left(), start.left() + 10);
    EXPECT_EQ(host.geometry().right(), start.right());
}

TEST_F(Frame, AnImpossibleSizeIsRefusedWhole) {
    drag({2, 150}, {500, 150});  // narrower than nothing
    EXPECT_EQ(host.geometry(), start);
}

TEST_F(Frame, CodesOutsideTheTableDoNothing) {
    canvas->resize_form(8, QPointF(0, 0), QPointF(40, 40));
    canvas->resize_form(-1, QPointF(0, 0), QPointF(40, 40));
    EXPECT_EQ(host.geometry(), start);
}

TEST_F(Frame, CursorsShowWhichWayEachPartResizes) {
    EXPECT_EQ(canvas->cursor_for(Area::left), Qt::SizeHorCursor);
    EXPECT_EQ(canvas->cursor_for(Area::right), Qt::SizeHorCursor);
    EXPECT_EQ(canvas->cursor_for(Area::bottom), Qt::SizeVerCursor);
    EXPECT_EQ(canvas->cursor_for(Area::grip2), Qt::SizeVerCursor);
    EXPECT_EQ(canvas->cursor_for(Area::grip6), Qt::SizeBDiagCursor);
    EXPECT_EQ(canvas->cursor_for(Area::grip5), Qt::SizeBDiagCursor);
    EXPECT_EQ(canvas->cursor_for(Area::grip4), Qt::SizeFDiagCursor);
    EXPECT_EQ(canvas->cursor_for(Area::grip7), Qt::SizeFDiagCursor);
    EXPECT_EQ(canvas->cursor_for(Area::title), Qt::ArrowCursor);
    skin_test::point_at(*canvas, {2, 150});
    EXPECT_EQ(canvas->cursor().shape(), Qt::SizeHorCursor);
}

TEST_F(Frame, FixedSingleNeitherResizesNorMaximisesButStillDrags) {
    canvas->set_Fixed_Single(true);
    for (Area a : {Area::left, Area::bottom, Area::grip4, Area::grip7})
        EXPECT_EQ(canvas->cursor_for(a), Qt::ArrowCursor);
    drag({397, 150}, {450, 150});
    drag({3, 3}, {40, 40});  // a grip takes the press: no resize and no drag
    EXPECT_EQ(host.geometry(), start);
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    EXPECT_FALSE(host.isMaximized());
    // Offscreen there is no system move: the frame moves the window itself.
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    QTest::mouseMove(canvas, {250, 45});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {250, 45});
    EXPECT_EQ(host.pos(), start.topLeft() + QPoint(50, 25));
    EXPECT_EQ(host.size(), start.size());
}

TEST_F(Frame, DoubleClickOnTheTitleMaximisesAndRestores) {
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    EXPECT_TRUE(host.isMaximized());
    // Maximised: default cursors, no drag by the title, no resize by the borders.
    EXPECT_EQ(canvas->cursor_for(Area::left), Qt::ArrowCursor);
    const QRect maximised = host.geometry();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    QTest::mouseMove(canvas, {260, 60});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {260, 60});
    drag({maximised.width() - 2, 150}, {maximised.width() + 40, 150});
    EXPECT_EQ(host.geometry(), maximised);
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    EXPECT_FALSE(host.isMaximized());
}

// Where the window system's move has the pointer between two clicks, the second press comes
// as a plain press: two quick presses on the title are a double-click all the same.
TEST_F(Frame, TwoQuickPressesOnTheTitleMaximise) {
    const auto press = [&](quint64 ms) {
        const QPointF at(200, 20);
        QMouseEvent e(QEvent::MouseButtonPress, at, canvas->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
        e.setTimestamp(ms);
        QCoreApplication::sendEvent(canvas, &e);
        QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});
    };
    press(100000);
    EXPECT_FALSE(host.isMaximized());
    press(100000 + QApplication::doubleClickInterval() + 1);  // too slow: another single press
    EXPECT_FALSE(host.isMaximized());
    press(100000 + QApplication::doubleClickInterval() + 50);
    EXPECT_TRUE(host.isMaximized());
}

TEST_F(Frame, EveryLayoutPassEndsWithResize) {
    QSignalSpy resized(canvas, &xp_canvas::Resize);
    host.resize(420, 310);
    EXPECT_GE(resized.size(), 1);
    const qsizetype before = resized.size();
    canvas->set_Caption(QStringLiteral("Other"));
    EXPECT_EQ(resized.size(), before + 1);
    EXPECT_EQ(host.windowTitle(), QStringLiteral("Other"));
}

TEST_F(Frame, ClientSurfacePassesItsEventsOn) {
    QSignalSpy click(canvas, &SkinWidget::Click);
    QSignalSpy dbl(canvas, &xp_canvas::DblClick);
    QSignalSpy down(canvas, &SkinWidget::MouseDown);
    QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 150});
    QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 20});  // the title: none
    EXPECT_EQ(click.size(), 1);
    EXPECT_EQ(down.size(), 1);
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 150});
    EXPECT_EQ(dbl.size(), 1);
}

TEST_F(Frame, InactiveWhileAnotherWindowIsActiveAndBackAgain) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watch("Timer2").isActive(); }));
    EXPECT_TRUE(canvas->active_look());
    EXPECT_TRUE(watch("Timer1").isActive());  // waiting for the window to stop being active

    QWidget other;
    other.setGeometry(700, 100, 100, 100);
    skin_test::show_active(other);
    EXPECT_FALSE(canvas->active_look());
    EXPECT_FALSE(watch("Timer1").isActive());
    EXPECT_TRUE(watch("Timer2").isActive());

    skin_test::show_active(host);
    EXPECT_TRUE(canvas->active_look());
    EXPECT_FALSE(watch("Timer2").isActive());
}

TEST_F(Frame, NoActiveWindowGivesOneSteadyLook) {
    QApplication::setActiveWindow(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(canvas->active_look());
    QSignalSpy passes(canvas, &xp_canvas::Resize);
    for (int i = 0; i < 5; ++i) {
        watch("Timer1").activation_changed();
        watch("Timer2").activation_changed();
    }
    EXPECT_EQ(passes.size(), 0);  // no flicker between looks
    EXPECT_FALSE(canvas->active_look());
}

TEST_F(Frame, SetFocusStopsBothWatchesAndShowsTheActiveLook) {
    canvas->set_inactive_skin();
    canvas->SetFocus();
    EXPECT_TRUE(canvas->active_look());
    EXPECT_FALSE(watch("Timer1").isActive());
    EXPECT_FALSE(watch("Timer2").isActive());
}

TEST_F(Frame, FocusLeavingTheFrameStartsBothWatches) {
    QWidget field(&host);
    field.setFocusPolicy(Qt::StrongFocus);
    field.show();
    canvas->setFocus();
    ASSERT_TRUE(canvas->hasFocus());
    EXPECT_FALSE(watch("Timer1").isActive());  // the frame itself took the focus
    field.setFocus();
    EXPECT_TRUE(watch("Timer1").isActive());
    EXPECT_TRUE(watch("Timer2").isActive());
}

// Key colour in the top rows as the frame's title picture has it.
QImage surface_with_corners(QSize size) {
    QImage surface(size, QImage::Format_ARGB32);
    surface.fill(QColor(0, 88, 235));
    const int keys[] = {5, 3, 2, 1, 1};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < keys[y]; ++x) {
            surface.setPixel(x, y, 0xFFFF00FF);
            surface.setPixel(size.width() - 1 - x, y, 0xFFFF00FF);
        }
    return surface;
}

QRegion expected_corners(QSize size) {
    QRegion r(QRect(QPoint(0, 0), size));
    const int keys[] = {5, 3, 2, 1, 1};
    for (int y = 0; y < 5; ++y) {
        r -= QRect(0, y, keys[y], 1);
        r -= QRect(size.width() - keys[y], y, keys[y], 1);
    }
    return r;
}

TEST(ColourRegion, CutsExactlyTheKeyPixelsOfTheTopSixRows) {
    QImage surface = surface_with_corners(QSize(100, 40));
    surface.setPixel(50, 5, 0xFFFF00FF);  // row 5: still looked at
    surface.setPixel(50, 6, 0xFFFF00FF);  // row 6: stays part of the window
    surface.setPixel(60, 2, 0xFFFE00FF);  // nearly the key: stays
    QRegion want = expected_corners(QSize(100, 40)) - QRect(50, 5, 1, 1);
    EXPECT_EQ(key_colour_region(surface, QSize(100, 40), 0xFF00FF), want);
}

TEST(ColourRegion, NoKeyPixelsGiveThePlainRectangle) {
    QImage surface(QSize(80, 30), QImage::Format_ARGB32);
    surface.fill(Qt::white);
    EXPECT_EQ(key_colour_region(surface, QSize(80, 30), 0xFF00FF), QRegion(0, 0, 80, 30));
    // A surface smaller than the window: pixels beyond it are never the key.
    EXPECT_EQ(key_colour_region(QImage(), QSize(80, 30), 0xFF00FF), QRegion(0, 0, 80, 30));
}

TEST(ColourRegion, TwiceGivesTheSameRegion) {
    QWidget form;
    form.resize(120, 50);
    const QImage surface = surface_with_corners(QSize(120, 50));
    colour_region(form, surface, 0xFF00FF);
    const QRegion first = form.mask();
    colour_region(form, surface, 0xFF00FF);
    EXPECT_EQ(form.mask(), first);
    EXPECT_EQ(first, expected_corners(QSize(120, 50)));
}

TEST(ColourRegion, ReadsWhatTheFormPaintsIgnoringItsMask) {
    class Painted : public QWidget {
      protected:
        void paintEvent(QPaintEvent*) override {
            QPainter p(this);
            p.fillRect(rect(), Qt::white);
            p.fillRect(QRect(0, 0, 1, 1), QColor(255, 0, 255));
        }
    } form;
    form.resize(50, 20);
    colour_region(form, 0xFF00FF);
    EXPECT_FALSE(form.mask().contains(QPoint(0, 0)));
    colour_region(form, 0xFF00FF);  // the first cut does not hide the key from the second
    EXPECT_EQ(form.mask(), QRegion(0, 0, 50, 20) - QRect(0, 0, 1, 1));
}

TEST_F(Frame, MakeTransRoundsTheTopCorners) {
    canvas->make_trans(host);
    EXPECT_EQ(host.mask(), expected_corners(host.size()));
    host.setWindowState(Qt::WindowMaximized);
    canvas->make_trans(host);
    EXPECT_EQ(host.mask(), QRegion(QRect(QPoint(0, 0), host.size())));
}

}  // namespace

// Shared by the skin tests: pictures of widgets read in logical pixels, a pointer moved as a
// user moves it, and a hover watch ticked on demand.
#pragma once

#include <gtest/gtest.h>

#include <QCursor>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <QWidget>

namespace skin_test {

// What a widget shows, read back by logical pixel.
class Picture {
  public:
    explicit Picture(QWidget& widget) : m_image(widget.grab().toImage()) {
        m_scale = m_image.devicePixelRatio();
    }
    // The top-left device pixel of logical pixel (x, y).
    QColor at(int x, int y) const { return m_image.pixelColor(int(x * m_scale), int(y * m_scale)); }
    // Every device pixel of logical pixel (x, y) has one colour: drawn at this scale, not
    // blown up and blurred.
    bool sharp_at(int x, int y) const {
        const QColor first = at(x, y);
        for (int dy = 0; dy < int(m_scale); ++dy)
            for (int dx = 0; dx < int(m_scale); ++dx)
                if (m_image.pixelColor(int(x * m_scale) + dx, int(y * m_scale) + dy) != first)
                    return false;
        return true;
    }
    qreal scale() const { return m_scale; }

  private:
    QImage m_image;
    qreal m_scale = 1;
};

inline bool near(const QColor& a, const QColor& b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

#define EXPECT_COLOUR(actual, r, g, b)                        \
    EXPECT_TRUE(skin_test::near((actual), QColor(r, g, b)))   \
        << "got " << qPrintable((actual).name()) << ", want " \
        << qPrintable(QColor(r, g, b).name())
#define EXPECT_COLOUR_NEAR(actual, r, g, b, tolerance)                 \
    EXPECT_TRUE(skin_test::near((actual), QColor(r, g, b), tolerance)) \
        << "got " << qPrintable((actual).name()) << ", want "          \
        << qPrintable(QColor(r, g, b).name())

// One tick of a widget's timer `name`, delivered now instead of in 10 ms.
inline void tick(QObject& owner, const char* name) {
    auto* timer = owner.findChild<QTimer*>(QString::fromLatin1(name));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->isActive());
    QTimerEvent event(timer->timerId());
    QCoreApplication::sendEvent(timer, &event);
}

inline bool timer_running(QObject& owner, const char* name) {
    auto* timer = owner.findChild<QTimer*>(QString::fromLatin1(name));
    return timer && timer->isActive();
}

// The pointer placed where a user would put it, with the enter and leave that follow.
inline void point_at(QWidget& widget, QPoint at) {
    QCursor::setPos(widget.mapToGlobal(at));
    QCoreApplication::processEvents();
}

// A top-level window for the widgets under test, shown and active.
inline void show_active(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

}  // namespace skin_test

#include "app/qt_loop_driver.h"

#include <algorithm>
#include <climits>

QtLoopDriver::QtLoopDriver(QObject* parent) : QObject(parent) {
    m_next_timer.setSingleShot(true);
    // The control's engine timer runs at 50 to 100 ms; a coarse timer would drift it by 5%.
    m_next_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_next_timer, &QTimer::timeout, this, &QtLoopDriver::turn);
    MessageLoop::instance().set_driver(this);
}

QtLoopDriver::~QtLoopDriver() {
    // No wake() runs once this returns; a turn already queued dies with this object.
    MessageLoop::instance().set_driver(nullptr);
}

void QtLoopDriver::wake() {
    // Many wake-ups before the turn runs need only the one turn.
    if (m_turn_queued.exchange(true)) return;
    QMetaObject::invokeMethod(this, &QtLoopDriver::turn, Qt::QueuedConnection);
}

void QtLoopDriver::turn() {
    // Cleared first: what the turn itself sets or posts asks for the next one.
    m_turn_queued = false;
    const auto next = MessageLoop::instance().dispatch();
    if (!next) {
        m_next_timer.stop();
        return;
    }
    m_next_timer.start(static_cast<int>(std::min<std::uint64_t>(*next, INT_MAX)));
}

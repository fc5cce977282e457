// Turning Qt's event loop until something has happened; bounded so that a case whose event never
// comes fails instead of hanging (a guard, not a measure of time).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace quillon_test {

template <class Done>
bool wait_until(Done done) {
    QDeadlineTimer guard(20'000);
    while (!done()) {
        if (guard.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

}  // namespace quillon_test

// Runs the platform's message loop from Qt's event loop, so that the control's window timers,
// the tasks that device threads post and the hotkey messages are delivered on Qt's GUI thread,
// exactly as the loop's own run() would deliver them. Create it on the GUI thread once the
// application object exists; it installs itself and removes itself when destroyed.
//
// Tests of the program may still switch the loop to the manual clock and move time with
// MessageLoop::run_for(); the driver then only runs posted tasks.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>

#include "platform/loop/message_loop.h"

class QtLoopDriver final : public QObject, public LoopDriver {
  public:
    explicit QtLoopDriver(QObject* parent = nullptr);
    ~QtLoopDriver() override;

    // Any thread: schedules one turn of the platform loop in Qt's loop.
    void wake() override;

  private:
    void turn();

    QTimer m_next_timer;  // fires when the platform's next timer is due
    std::atomic<bool> m_turn_queued{false};
};

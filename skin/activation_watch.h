// A watch on whether a window is the active one. It stands in for a 10 ms poll of the active
// window: started, it looks 10 ms later and then at every activation change of the window it
// is told about, until its owner stops it. The answer can change only at such a change, so it
// sees what the poll would, without waking up at rest.
#pragma once

#include <QObject>
#include <QTimer>

namespace quillon::skin {

class ActivationWatch final : public QObject {
    Q_OBJECT
  public:
    ActivationWatch(QObject* parent, const QString& name);

    void start();
    void stop();
    bool isActive() const { return m_running; }

    // The owner's window changed activation: a running watch looks now.
    void activation_changed();

  signals:
    // A look: the owner checks the active window and may stop the watch.
    void timeout();

  private:
    QTimer m_first_look;
    bool m_running = false;
};

}  // namespace quillon::skin

// The running copy's side of the remote: owns the program's name on the session bus and answers
// Record, PauseOrContinue, Stop and Status for its RemoteTarget. The first three are answered at
// once and run at the next turn of the event loop, so that a caller never waits on a message box.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "app/remote_target.h"

class RemoteService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quillon.Zarvo")

  public:
    explicit RemoteService(RemoteTarget& target, QObject* parent = nullptr);
    ~RemoteService() override;

    // Takes the name and exports the object; false, with the reason, when the bus cannot be
    // reached or another copy holds the name (the program then runs without the remote).
    bool start(QString& error, QDBusConnection connection = QDBusConnection::sessionBus());

  public slots:
    void Record();
    void PauseOrContinue();
    void Stop();
    // The activity ("idle", "recording", "paused" or "playing"), with the file and the seconds.
    QString Status(QString& file, double& seconds);

  private:
    RemoteTarget& m_target;
    QDBusConnection m_connection;
    bool m_started = false;
};

#include "app/remote_service.h"

#include <QDBusConnectionInterface>
#include <QTimer>

#include "app/remote_names.h"

namespace {

QString activity_name(RemoteTarget::Activity activity) {
    switch (activity) {
        case RemoteTarget::Activity::recording:
            return QStringLiteral("recording");
        case RemoteTarget::Activity::paused:
            return QStringLiteral("paused");
        case RemoteTarget::Activity::playing:
            return QStringLiteral("playing");
        case RemoteTarget::Activity::idle:
            break;
    }
    return QStringLiteral("idle");
}

}  // namespace

RemoteService::RemoteService(RemoteTarget& target, QObject* parent)
    : QObject(parent), m_target(target), m_connection(QString()) {}

RemoteService::~RemoteService() {
    if (!m_started) return;
    m_connection.unregisterObject(QString::fromLatin1(kRemotePath));
    m_connection.unregisterService(QString::fromLatin1(kRemoteService));
}

bool RemoteService::start(QString& error, QDBusConnection connection) {
    if (!connection.isConnected()) {
        error = QStringLiteral("no session bus: ") + connection.lastError().message();
        return false;
    }
    const auto taken = connection.interface()->registerService(
        QString::fromLatin1(kRemoteService), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!taken.isValid() || taken.value() != QDBusConnectionInterface::ServiceRegistered) {
        error =
            taken.isValid() ? QStringLiteral("another copy is running") : taken.error().message();
        return false;
    }
    if (!connection.registerObject(QString::fromLatin1(kRemotePath), this,
                                   QDBusConnection::ExportAllSlots)) {
        error = connection.lastError().message();
        connection.unregisterService(QString::fromLatin1(kRemoteService));
        return false;
    }
    m_connection = connection;
    m_started = true;
    return true;
}

void RemoteService::Record() {
    QTimer::singleShot(0, this, [this] { m_target.record(); });
}

void RemoteService::PauseOrContinue() {
    QTimer::singleShot(0, this, [this] { m_target.pause_or_continue(); });
}

void RemoteService::Stop() {
    QTimer::singleShot(0, this, [this] { m_target.stop(); });
}

QString RemoteService::Status(QString& file, double& seconds) {
    const RemoteTarget::Status status = m_target.status();
    file = status.file;
    seconds = status.seconds;
    return activity_name(status.activity);
}

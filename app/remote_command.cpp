#include "app/remote_command.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QString>
#include <cstdio>
#include <cstring>

#include "app/remote_names.h"

namespace {

struct Option {
    const char* flag;
    const char* method;
};

constexpr Option kOptions[] = {
    {"--record", "Record"},
    {"--pause", "PauseOrContinue"},
    {"--stop", "Stop"},
    {"--status", "Status"},
};

int fail(const char* flag, const QString& why) {
    std::fprintf(stderr, "zarvo %s: %s\n", flag, why.toLocal8Bit().constData());
    return 1;
}

int send(const Option& option) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(option.flag, QStringLiteral("no session bus, so no running zarvo to reach (") +
                                     bus.lastError().message() + QStringLiteral(")"));
    const QString service = QString::fromLatin1(kRemoteService);
    if (!bus.interface()->isServiceRegistered(service).value())
        return fail(option.flag, QStringLiteral("zarvo is not running"));
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        service, QString::fromLatin1(kRemotePath), QString::fromLatin1(kRemoteInterface),
        QString::fromLatin1(option.method)));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // It may have ended between the two calls.
        return fail(option.flag, reply.errorName() == "org.freedesktop.DBus.Error.ServiceUnknown"
                                     ? QStringLiteral("zarvo is not running")
                                     : reply.errorMessage());
    }
    if (std::strcmp(option.method, "Status") == 0) {
        const QList<QVariant> values = reply.arguments();
        if (values.size() != 3) return fail(option.flag, QStringLiteral("unexpected answer"));
        std::printf("%s\t%s\t%s\n", values[0].toString().toLocal8Bit().constData(),
                    values[1].toString().toLocal8Bit().constData(),
                    QString::number(values[2].toDouble()).toLocal8Bit().constData());
    }
    return 0;
}

}  // namespace

std::optional<int> run_remote_option(int argc, char** argv) {
    if (argc != 2) return std::nullopt;
    for (const Option& option : kOptions) {
        if (std::strcmp(argv[1], option.flag) != 0) continue;
        // The bus connection wants an application object; the program has none yet.
        QCoreApplication application(argc, argv);
        return send(option);
    }
    return std::nullopt;
}

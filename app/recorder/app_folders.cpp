#include "app/recorder/app_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace quillon::recorder {

namespace {

QString without_trailing_separator(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

}  // namespace

QString program_folder() {
    return without_trailing_separator(QCoreApplication::applicationDirPath());
}

QString data_folder(const QString& program_folder) {
    return QDir::cleanPath(program_folder + QStringLiteral("/../share/quillon"));
}

QString shipped_file(const QString& program_folder, const QString& name) {
    const QString beside = program_folder + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside)) return beside;
    return data_folder(program_folder) + QLatin1Char('/') + name;
}

bool folder_writable(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.quillon-XXXXXX"));
    return probe.open();
}

QString user_music_folder() {
    QProcess ask;
    ask.start(QStringLiteral("xdg-user-dir"), {QStringLiteral("MUSIC")});
    if (ask.waitForFinished(3000) && ask.exitStatus() == QProcess::NormalExit &&
        ask.exitCode() == 0) {
        const QString folder = QString::fromLocal8Bit(ask.readAllStandardOutput()).trimmed();
        if (!folder.isEmpty()) return without_trailing_separator(folder);
    }
    return without_trailing_separator(QDir::homePath()) + QStringLiteral("/Music");
}

QString recordings_folder(const QString& program_folder,
                          const std::function<bool(const QString&)>& writable,
                          const std::function<QString()>& music_folder) {
    if (writable(program_folder)) return without_trailing_separator(program_folder);
    const QString folder = without_trailing_separator(music_folder()) + QStringLiteral("/Quillon");
    QDir().mkpath(folder);
    return folder;
}

}  // namespace quillon::recorder

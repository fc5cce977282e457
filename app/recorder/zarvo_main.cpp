// zarvo: the recorder's desktop program. It shows the main window built from its stored layout;
// with --record, --pause, --stop or --status it only asks a running copy over the session bus.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/application_shortcuts.h"
#include "app/qt_loop_driver.h"
#include "app/recorder/app_folders.h"
#include "app/recorder/form1.h"
#include "app/recorder/format_chooser.h"
#include "app/remote_command.h"
#include "app/remote_service.h"
#include "platform/hotkey/hotkey.h"

using namespace quillon::recorder;

int main(int argc, char** argv) {
    if (const auto code = run_remote_option(argc, argv)) return *code;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zarvo"));
    QApplication::setDesktopFileName(QStringLiteral("org.quillon.Zarvo"));
    QtLoopDriver driver;
    // Windows on no display cannot take keys from the desktop: the keys work inside ours.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        hotkey_use_facility("application");
    ApplicationShortcuts shortcuts;
    application.installEventFilter(&shortcuts);

    const QString program = program_folder();
    Form1 form({.layout_file = shipped_file(program, QStringLiteral("Form1.layout")),
                .application_folder = recordings_folder(program),
                .sample_file = shipped_file(program, QStringLiteral("sample.wav")),
                .guide_file = shipped_file(program, QStringLiteral("guide/index.html")),
                .services = {}});
    FormatChooserHook chooser([&form]() -> QWidget* {
        QWidget* active = QApplication::activeWindow();
        return active ? active : &form;
    });

    QString error;
    if (!form.build(error)) {
        std::fprintf(stderr, "zarvo: %s\n", error.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QStringLiteral("Quillon"), error);
        return 1;
    }
    // No hotkey at all: another copy runs, and this one ends before its window shows.
    if (!form.Load()) return 1;

    RemoteService remote(form);
    if (QString why; !remote.start(why))
        std::fprintf(stderr, "zarvo: no remote control over the session bus: %s\n",
                     why.toLocal8Bit().constData());
    form.show();
    return QApplication::exec();
}

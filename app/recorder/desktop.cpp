#include "app/recorder/desktop.h"

#include <QProcess>

namespace quillon::recorder {

bool start_detached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

void open_user_guide(const QString& guide_file, const StartProgram& start) {
    start(QStringLiteral("xdg-open"), {guide_file});
}

void open_recording_mixer(const StartProgram& start) {
    struct Mixer {
        const char* program;
        QStringList arguments;
    };
    const Mixer mixers[] = {
        {"pavucontrol", {QStringLiteral("--tab=4")}},
        {"pavucontrol-qt", {QStringLiteral("--tab=4")}},
        {"pwvucontrol", {}},
        {"gnome-control-center", {QStringLiteral("sound")}},
        {"kcmshell6", {QStringLiteral("kcm_pulseaudio")}},
        {"kcmshell5", {QStringLiteral("kcm_pulseaudio")}},
        {"xfce4-mixer", {}},
        {"x-terminal-emulator",
         {QStringLiteral("-e"), QStringLiteral("alsamixer"), QStringLiteral("--view=capture")}},
    };
    for (const Mixer& m : mixers)
        if (start(QString::fromLatin1(m.program), m.arguments)) return;
}

}  // namespace quillon::recorder

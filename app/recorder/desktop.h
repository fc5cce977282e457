// What the main window asks of the desktop: the user guide in the browser, the recording mixer.
// Nothing here is waited for, and a program that cannot be started is passed over silently.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace quillon::recorder {

// Starts a program without waiting for it; false when it could not be started.
using StartProgram = std::function<bool(const QString& program, const QStringList& arguments)>;
bool start_detached(const QString& program, const QStringList& arguments);

// The guide (an HTML file) in the desktop's browser.
void open_user_guide(const QString& guide_file, const StartProgram& start);
// The first recording mixer that starts: pavucontrol on its input devices tab, then the other
// mixers desktops ship.
void open_recording_mixer(const StartProgram& start);

}  // namespace quillon::recorder

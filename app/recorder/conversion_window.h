// The conversion window "WAV to MP3" that the main window's "Wav to Mp3" button shows.
#pragma once

#include <QWidget>

#include "app/recorder/form2.h"

namespace quillon::recorder {

// A new conversion window (built from its stored layout) belonging to `main_window`, or null
// when its layout could not be built (the error is then shown). It is shown normally, not
// modally, and deletes itself when closed, so the next click makes a fresh one.
QWidget* make_conversion_window(QWidget* main_window);
// The same from the layout and with the message boxes that `setup` names.
Form2* open_conversion_window(QWidget* main_window, Form2::Setup setup);

}  // namespace quillon::recorder

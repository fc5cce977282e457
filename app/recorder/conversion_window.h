// The seam to the conversion window "WAV to MP3" that the main window's "Wav to Mp3" button
// shows. Whoever builds that window fills make_conversion_window(); until then there is none and
// the button shows nothing.
#pragma once

#include <QWidget>

namespace quillon::recorder {

// A new conversion window (built from its stored layout) belonging to `main_window`, or null
// when there is none or its layout could not be built. It is shown normally, not modally, and
// deletes itself when closed, so the next click makes a fresh one.
QWidget* make_conversion_window(QWidget* main_window);

}  // namespace quillon::recorder

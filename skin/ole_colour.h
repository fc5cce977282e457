// Colours as the widgets persist them: 0x00BBGGRR for an RGB colour, or 0x800000nn for system
// colour nn (15 is the button face), which follows the application's palette.
#pragma once

#include <QColor>
#include <QPalette>

namespace quillon::skin {

inline constexpr quint32 system_colour_flag = 0x80000000u;
inline constexpr quint32 button_face_colour = system_colour_flag | 15u;

constexpr quint32 ole_rgb(int r, int g, int b) {
    return quint32(r & 0xFF) | quint32(g & 0xFF) << 8 | quint32(b & 0xFF) << 16;
}

// Whether `value` names a colour: an RGB value or a known system colour index (0..24).
bool is_ole_colour(quint32 value);

// The colour to paint with; an unknown system colour paints as the button face.
QColor ole_colour(quint32 value, const QPalette& palette);

}  // namespace quillon::skin

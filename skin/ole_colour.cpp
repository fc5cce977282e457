#include "skin/ole_colour.h"

namespace quillon::skin {

namespace {

constexpr quint32 last_system_colour = 24;

QPalette::ColorRole system_role(quint32 index) {
    switch (index) {
        case 1:   // desktop
        case 4:   // menu
        case 12:  // application workspace
            return QPalette::Window;
        case 5:  // window background
            return QPalette::Base;
        case 6:   // window frame
        case 21:  // 3D dark shadow
            return QPalette::Shadow;
        case 7:   // menu text
        case 8:   // window text
        case 9:   // caption text
        case 19:  // inactive caption text
            return QPalette::WindowText;
        case 2:  // active caption
        case 13:
            return QPalette::Highlight;
        case 14:
            return QPalette::HighlightedText;
        case 16:
            return QPalette::Dark;  // button shadow
        case 17:
            return QPalette::PlaceholderText;
        case 18:
            return QPalette::ButtonText;
        case 20:
            return QPalette::Light;
        case 22:
            return QPalette::Midlight;
        case 23:
            return QPalette::ToolTipText;
        case 24:
            return QPalette::ToolTipBase;
        default:
            return QPalette::Button;  // 0, 3, 10, 11, 15
    }
}

}  // namespace

bool is_ole_colour(quint32 value) {
    if (value & system_colour_flag) return (value & ~system_colour_flag) <= last_system_colour;
    return value <= 0xFFFFFFu;
}

QColor ole_colour(quint32 value, const QPalette& palette) {
    if (value & system_colour_flag) {
        const quint32 index = value & ~system_colour_flag;
        return palette.color(QPalette::Active,
                             index <= last_system_colour ? system_role(index) : QPalette::Button);
    }
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}

}  // namespace quillon::skin

#include "control/kelvane_resources.h"

#include <cstddef>

namespace kelvane_art {
extern const unsigned char face[];
extern const std::size_t face_size;
extern const unsigned char toolbox[];
extern const std::size_t toolbox_size;
}  // namespace kelvane_art

HINSTANCE kelvane_instance() {
    static const ResourceBitmap bitmaps[] = {
        {IDB_KELVANE, {kelvane_art::toolbox, kelvane_art::toolbox_size}},
        {IDB_KELVANE_FACE, {kelvane_art::face, kelvane_art::face_size}},
    };
    static const ResourceString strings[] = {
        {IDS_KELVANE, "Kelvane Control"},
        {IDS_KELVANE_PPG, "Kelvane Property Page"},
        {IDS_KELVANE_PPG_CAPTION, "General"},
    };
    static const ResourceDialog dialogs[] = {
        {IDD_PROPPAGE_KELVANE, 250, 62, "MS Sans Serif", 8, true},
    };
    static const ResourceTable table{bitmaps, strings, dialogs};
    return &table;
}

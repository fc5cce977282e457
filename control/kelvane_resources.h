// The resources built into the control's library: the face bitmaps (drawn by
// control/art/draw_face.py), the strings and the property page's dialog template.
#pragma once

#include "platform/com/gdi.h"

inline constexpr WORD IDB_KELVANE = 1;             // 16 x 16 toolbox picture
inline constexpr WORD IDB_KELVANE_FACE = 201;      // 32 x 32 design-time face
inline constexpr UINT IDS_KELVANE = 1;             // the control's type name
inline constexpr UINT IDS_KELVANE_PPG = 2;         // the property page's type name
inline constexpr WORD IDD_PROPPAGE_KELVANE = 200;  // the property page's dialog
inline constexpr UINT IDS_KELVANE_PPG_CAPTION = 200;

HINSTANCE kelvane_instance();

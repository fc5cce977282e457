// Twips: 1440 to the inch at the screen's logical resolution, 15 to the pixel at 96 DPI. Some
// layouts of the library are given in twips; the widgets themselves work in pixels.
#pragma once

#include <QWidget>

namespace quillon::skin {

double twips_per_pixel_x(const QWidget& widget);
double twips_per_pixel_y(const QWidget& widget);

// Vertical position of an item of `item_twips` height centred in `widget`, as such layouts
// compute it: (widget height - item height) integer-divided by 2 after rounding, in pixels.
int centred_top(const QWidget& widget, double item_twips);

}  // namespace quillon::skin

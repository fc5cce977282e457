#include "skin/twips.h"

#include <cmath>

namespace quillon::skin {

double twips_per_pixel_x(const QWidget& widget) {
    return 1440.0 / qMax(1, widget.logicalDpiX());
}

double twips_per_pixel_y(const QWidget& widget) {
    return 1440.0 / qMax(1, widget.logicalDpiY());
}

int centred_top(const QWidget& widget, double item_twips) {
    const double per_pixel = twips_per_pixel_y(widget);
    const long long space = std::llround(widget.height() * per_pixel - item_twips);
    const long long top = space / 2;  // truncates towards zero, as integer division does
    return int(std::lround(double(top) / per_pixel));
}

}  // namespace quillon::skin

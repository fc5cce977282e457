#include "skin/trans_colour.h"

#include <QPainter>

namespace quillon::skin {

namespace {
constexpr int rows_examined = 6;
}

QRegion key_colour_region(const QImage& surface, QSize form_size, QRgb key_colour) {
    QRegion region(QRect(QPoint(0, 0), form_size));
    const QRgb key = qRgb(qRed(key_colour), qGreen(key_colour), qBlue(key_colour));
    for (int y = 0; y < rows_examined; ++y) {
        for (int x = 0; x <= form_size.width(); ++x) {
            if (x >= surface.width() || y >= surface.height()) continue;
            if (surface.pixel(x, y) == key) region -= QRect(x, y, 1, 1);
        }
    }
    return region;
}

void colour_region(QWidget& form, const QImage& surface, QRgb key_colour) {
    form.setMask(key_colour_region(surface, form.size(), key_colour));
}

void colour_region(QWidget& form, QRgb key_colour) {
    QImage surface(form.size(), QImage::Format_ARGB32);
    surface.fill(Qt::transparent);
    {
        QPainter painter(&surface);
        form.render(&painter, QPoint(), QRegion(),
                    QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    }
    colour_region(form, surface, key_colour);
}

}  // namespace quillon::skin

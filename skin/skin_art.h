// The skin bitmaps (drawn by art/draw_skin.py, built into the library as resources) and the
// piecewise painting that stretches them over a widget.
//
// Every picture exists twice: at 1 pixel per logical pixel and at 2. Painting picks the one made
// for the device it paints on, so a face on a 2x screen is drawn, not blown up. Geometry below
// is always in logical pixels of the 1x picture.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <span>

namespace quillon::skin {

// `name` is the file name without extension ("xpbutton", "imgtop1", ...).
const QPixmap& skin_picture(const QString& name, qreal device_pixel_ratio);
const QPixmap& skin_picture(const QString& name, const QPainter& painter);

// The same picture with every pixel of `key_colour` (0xRRGGBB) made transparent, for painting
// pictures whose key colour marks what lies outside their shape.
const QPixmap& skin_picture_without_key(const QString& name, const QPainter& painter,
                                        QRgb key_colour);

// Logical rectangle of cell `index` in a strip of equal cells, laid left to right or top to
// bottom.
QRect cell_rect(QSize cell, int index, Qt::Orientation orientation = Qt::Horizontal);

// One piece of a piecewise painting: `source` (in the cell) scaled onto `target`.
struct Piece {
    QRect target;
    QRect source;
};

// Paints the pieces in order from `picture`, with `origin` the top-left of the cell the sources
// are counted in. A piece whose target or source has no width or height draws nothing.
void paint_pieces(QPainter& painter, const QPixmap& picture, QPoint origin,
                  std::span<const Piece> pieces);

// The whole of `source` (logical, in `picture`) stretched onto `target`.
void paint_stretched(QPainter& painter, const QPixmap& picture, const QRect& source,
                     const QRect& target);

}  // namespace quillon::skin

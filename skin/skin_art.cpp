#include "skin/skin_art.h"

#include <QHash>
#include <QtGlobal>

// Resources of a static library are registered by hand, once, outside any namespace.
static void register_skin_resources() {
    Q_INIT_RESOURCE(skin_art);
}

namespace quillon::skin {

namespace {

int art_scale(qreal device_pixel_ratio) {
    return device_pixel_ratio >= 1.5 ? 2 : 1;
}

QRectF device_rect(const QRect& logical, const QPixmap& picture) {
    const qreal s = picture.devicePixelRatio();
    return QRectF(logical.x() * s, logical.y() * s, logical.width() * s, logical.height() * s);
}

}  // namespace

const QPixmap& skin_picture(const QString& name, qreal device_pixel_ratio) {
    static QHash<QString, QPixmap> cache;
    static const bool registered = (register_skin_resources(), true);
    Q_UNUSED(registered);
    const int scale = art_scale(device_pixel_ratio);
    const QString key = name + QLatin1Char('@') + QString::number(scale);
    auto it = cache.find(key);
    if (it == cache.end()) {
        const QString path = scale == 2 ? QStringLiteral(":/skin/%1@2x.png").arg(name)
                                        : QStringLiteral(":/skin/%1.png").arg(name);
        QPixmap picture(path);
        Q_ASSERT_X(!picture.isNull(), "skin_picture", qPrintable(path));
        picture.setDevicePixelRatio(scale);
        it = cache.insert(key, picture);
    }
    return *it;
}

const QPixmap& skin_picture(const QString& name, const QPainter& painter) {
    return skin_picture(name, painter.device()->devicePixelRatioF());
}

const QPixmap& skin_picture_without_key(const QString& name, const QPainter& painter,
                                        QRgb key_colour) {
    static QHash<QString, QPixmap> cache;
    const QPixmap& keyed = skin_picture(name, painter);
    const QString key = name + QLatin1Char('@') + QString::number(keyed.devicePixelRatio()) +
                        QLatin1Char('~') + QString::number(key_colour & 0xFFFFFF, 16);
    auto it = cache.find(key);
    if (it == cache.end()) {
        QImage image = keyed.toImage().convertToFormat(QImage::Format_ARGB32);
        const QRgb opaque_key = 0xFF000000u | (key_colour & 0xFFFFFFu);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (line[x] == opaque_key) line[x] = 0;
        }
        QPixmap picture = QPixmap::fromImage(image);
        picture.setDevicePixelRatio(keyed.devicePixelRatio());
        it = cache.insert(key, picture);
    }
    return *it;
}

QRect cell_rect(QSize cell, int index, Qt::Orientation orientation) {
    return orientation == Qt::Horizontal ? QRect(QPoint(index * cell.width(), 0), cell)
                                         : QRect(QPoint(0, index * cell.height()), cell);
}

void paint_pieces(QPainter& painter, const QPixmap& picture, QPoint origin,
                  std::span<const Piece> pieces) {
    for (const Piece& piece : pieces) {
        if (piece.target.width() <= 0 || piece.target.height() <= 0) continue;
        if (piece.source.width() <= 0 || piece.source.height() <= 0) continue;
        painter.drawPixmap(QRectF(piece.target), picture,
                           device_rect(piece.source.translated(origin), picture));
    }
}

void paint_stretched(QPainter& painter, const QPixmap& picture, const QRect& source,
                     const QRect& target) {
    const Piece piece{target, source};
    paint_pieces(painter, picture, QPoint(0, 0), std::span(&piece, 1));
}

}  // namespace quillon::skin

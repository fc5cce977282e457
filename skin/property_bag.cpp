#include "skin/property_bag.h"

#include <QBuffer>
#include <QImage>
#include <limits>

#include "skin/ole_colour.h"

namespace quillon::skin {

namespace {

bool is_integer(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            return true;
        default:
            return false;
    }
}

// Font sizes beyond this are a damaged layout, not a choice.
constexpr double max_point_size = 512;

bool usable_font(const QFont& font) {
    const double points = font.pointSizeF();
    const int pixels = font.pixelSize();
    const bool sized = (points > 0 && points <= max_point_size) ||
                       (points <= 0 && pixels > 0 && pixels <= max_point_size * 2);
    return sized && font.family().size() <= 256;
}

}  // namespace

QString read_text(PropertyBag& bag, const QString& key, const QString& default_value) {
    const QVariant v = bag.read(key, default_value);
    if (v.typeId() != QMetaType::QString) return default_value;
    QString text = v.toString();
    return text.size() <= max_text_length ? text : default_value;
}

bool read_bool(PropertyBag& bag, const QString& key, bool default_value) {
    const QVariant v = bag.read(key, default_value);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (is_integer(v)) return v.toLongLong() != 0;  // -1 and 1 are both True
    return default_value;
}

qint32 read_int32(PropertyBag& bag, const QString& key, qint32 default_value) {
    const QVariant v = bag.read(key, default_value);
    if (!is_integer(v)) return default_value;
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return default_value;
    return qint32(n);
}

quint32 read_colour(PropertyBag& bag, const QString& key, quint32 default_value) {
    const QVariant v = bag.read(key, default_value);
    if (!is_integer(v)) return default_value;
    // Stored colours come signed as often as not: system colours then read as negative.
    const qlonglong n = v.toLongLong();
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<quint32>::max())
        return default_value;
    const quint32 colour = quint32(n);
    return is_ole_colour(colour) ? colour : default_value;
}

QFont read_font(PropertyBag& bag, const QString& key, const QFont& default_value) {
    const QVariant v = bag.read(key, default_value);
    QFont font;
    if (v.typeId() == QMetaType::QFont) {
        font = v.value<QFont>();
    } else if (v.typeId() == QMetaType::QString) {
        const QString text = v.toString();
        if (text.size() > max_text_length || !font.fromString(text)) return default_value;
    } else {
        return default_value;
    }
    return usable_font(font) ? font : default_value;
}

QPixmap read_picture(PropertyBag& bag, const QString& key, const QPixmap& default_value) {
    const QVariant v = bag.read(key, default_value);
    QPixmap picture;
    if (v.typeId() == QMetaType::QPixmap) {
        picture = v.value<QPixmap>();
    } else if (v.typeId() == QMetaType::QImage) {
        picture = QPixmap::fromImage(v.value<QImage>());
    } else if (v.typeId() == QMetaType::QByteArray) {
        if (!picture.loadFromData(v.toByteArray(), "PNG")) return default_value;
    } else {
        return default_value;
    }
    return picture.isNull() ? default_value : picture;
}

qsizetype MemoryPropertyBag::find(const QString& key) const {
    for (qsizetype i = 0; i < qsizetype(m_entries.size()); ++i)
        if (m_entries[size_t(i)].first.compare(key, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QVariant MemoryPropertyBag::read(const QString& key, const QVariant& default_value) {
    const qsizetype i = find(key);
    QVariant v = i < 0 ? default_value : m_entries[size_t(i)].second;
    m_journal.push_back({Access::read, key, v, default_value});
    return v;
}

void MemoryPropertyBag::write(const QString& key, const QVariant& value,
                              const QVariant& default_value) {
    m_journal.push_back({Access::write, key, value, default_value});
    set(key, value);
}

void MemoryPropertyBag::set(const QString& key, const QVariant& value) {
    const qsizetype i = find(key);
    if (i < 0)
        m_entries.emplace_back(key, value);
    else
        m_entries[size_t(i)].second = value;
}

bool MemoryPropertyBag::contains(const QString& key) const {
    return find(key) >= 0;
}

QVariant MemoryPropertyBag::value(const QString& key) const {
    const qsizetype i = find(key);
    return i < 0 ? QVariant() : m_entries[size_t(i)].second;
}

QStringList MemoryPropertyBag::keys() const {
    QStringList names;
    for (const auto& [key, value] : m_entries) names << key;
    return names;
}

}  // namespace quillon::skin

// How the skinned widgets persist their properties: a bag of named values that a stored layout
// (or anything else) implements, and the widget side that reads and writes through it.
//
// The bag contract:
//   - read(key, default_value) returns the stored value of `key`, or `default_value` when the
//     bag holds none. Keys are the widgets' fixed keys ("Caption", "Enabled", "Font", "State",
//     "Value", "Icon", "Fixed_Single", "BackColor", "ForeColor") and compare without regard to
//     case. The bag need not convert: a widget checks the type of what it gets.
//   - write(key, value, default_value) stores `value` under `key`. A bag may leave out a value
//     equal to `default_value`, since reading gives that default back.
//   - Values cross as QVariant: strings as QString, booleans as bool, 32-bit integers as int,
//     colours as an OLE colour in a uint (0x00BBGGRR; top bit set: a system colour index), fonts
//     as QFont (a QString in QFont::toString() form is read as well), pictures as QPixmap or
//     QImage (a QByteArray of PNG bytes is read as well).
//
// The widget side (`Persisted`): read_properties applies each key through its property, in the
// widget's own fixed order, and write_properties stores them in the widget's own fixed order;
// both orders are part of the stored format. A value of the wrong type or an absurd one (a
// caption longer than max_text_length, a font of no size) is taken as the default: a damaged
// layout never stops a window from coming up.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QString>
#include <QVariant>
#include <vector>

namespace quillon::skin {

class PropertyBag {
  public:
    virtual ~PropertyBag() = default;
    virtual QVariant read(const QString& key, const QVariant& default_value) = 0;
    virtual void write(const QString& key, const QVariant& value,
                       const QVariant& default_value) = 0;
};

class Persisted {
  public:
    virtual void read_properties(PropertyBag& bag) = 0;
    virtual void write_properties(PropertyBag& bag) const = 0;

  protected:
    ~Persisted() = default;
};

// Longest caption a widget takes from a bag, in UTF-16 code units.
inline constexpr qsizetype max_text_length = 4096;

// Typed reads: the stored value when it has the type (and a sensible value), else the default.
QString read_text(PropertyBag& bag, const QString& key, const QString& default_value);
bool read_bool(PropertyBag& bag, const QString& key, bool default_value);
qint32 read_int32(PropertyBag& bag, const QString& key, qint32 default_value);
quint32 read_colour(PropertyBag& bag, const QString& key, quint32 default_value);
QFont read_font(PropertyBag& bag, const QString& key, const QFont& default_value);
QPixmap read_picture(PropertyBag& bag, const QString& key, const QPixmap& default_value);

// A bag held in memory, keys in the order first written. It also keeps a journal of every read
// and write, for callers that check the order in which a widget persists.
class MemoryPropertyBag final : public PropertyBag {
  public:
    struct Access {
        enum Kind { read, write } kind;
        QString key;
        QVariant value;          // what was written, or what the read returned
        QVariant default_value;  // as the widget passed it
    };

    QVariant read(const QString& key, const QVariant& default_value) override;
    void write(const QString& key, const QVariant& value, const QVariant& default_value) override;

    void set(const QString& key, const QVariant& value);
    bool contains(const QString& key) const;
    QVariant value(const QString& key) const;
    QStringList keys() const;
    const std::vector<Access>& journal() const { return m_journal; }
    void clear_journal() { m_journal.clear(); }

  private:
    qsizetype find(const QString& key) const;
    std::vector<std::pair<QString, QVariant>> m_entries;
    std::vector<Access> m_journal;
};

}  // namespace quillon::skin

#include "app/layout/layout_reader.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <cmath>
#include <limits>
#include <variant>

namespace quillon::forms {

namespace {

constexpr qsizetype max_name_length = 64;
constexpr int max_array_index = 32767;
const QString format_word = QStringLiteral("quillon-layout");

struct Failure {
    QString message;
};

// Reads one line's pieces from left to right.
class Cursor {
  public:
    explicit Cursor(QStringView text) : m_text(text) {}

    void skip_blanks() {
        while (m_at < m_text.size() && (m_text[m_at] == u' ' || m_text[m_at] == u'\t')) ++m_at;
    }
    bool at_end() {
        skip_blanks();
        return m_at >= m_text.size();
    }
    QChar peek() const { return m_at < m_text.size() ? m_text[m_at] : QChar(); }
    bool take(QChar c) {
        skip_blanks();
        if (peek() != c) return false;
        ++m_at;
        return true;
    }
    // A name: letters, digits and '_', not first a digit.
    std::optional<QString> name() {
        skip_blanks();
        const qsizetype start = m_at;
        while (m_at < m_text.size() && (m_text[m_at].isLetterOrNumber() || m_text[m_at] == u'_') &&
               m_text[m_at].unicode() < 128)
            ++m_at;
        if (m_at == start || m_text[start].isDigit()) return std::nullopt;
        return m_text.mid(start, m_at - start).toString();
    }
    // Everything up to the next blank.
    QString word() {
        skip_blanks();
        const qsizetype start = m_at;
        while (m_at < m_text.size() && m_text[m_at] != u' ' && m_text[m_at] != u'\t') ++m_at;
        return m_text.mid(start, m_at - start).toString();
    }
    std::optional<qint64> integer() {
        skip_blanks();
        const qsizetype start = m_at;
        if (peek() == u'-' || peek() == u'+') ++m_at;
        while (m_at < m_text.size() && m_text[m_at].isDigit()) ++m_at;
        bool ok = false;
        const qint64 n = m_text.mid(start, m_at - start).toLongLong(&ok);
        if (!ok) {
            m_at = start;
            return std::nullopt;
        }
        return n;
    }
    // A quoted text with its escapes.
    std::variant<QString, Failure> quoted() {
        skip_blanks();
        if (peek() != u'"') return Failure{QStringLiteral("expected a text in double quotes")};
        ++m_at;
        QString text;
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at++];
            if (c == u'"') {
                if (text.size() > max_layout_text)
                    return Failure{
                        QStringLiteral("text longer than %1 characters").arg(max_layout_text)};
                return text;
            }
            if (c != u'\\') {
                text += c;
                continue;
            }
            if (m_at >= m_text.size()) break;
            const QChar e = m_text[m_at++];
            if (e == u'"' || e == u'\\')
                text += e;
            else if (e == u'n')
                text += u'\n';
            else if (e == u't')
                text += u'\t';
            else
                return Failure{QStringLiteral("unknown escape \\%1 in a text").arg(e)};
        }
        return Failure{QStringLiteral("text without its closing double quote")};
    }
    QStringView rest() const { return m_text.mid(std::min(m_at, m_text.size())); }

  private:
    QStringView m_text;
    qsizetype m_at = 0;
};

std::variant<LayoutValue, Failure> hex_bytes(const QString& digits) {
    LayoutValue v;
    v.kind = LayoutValue::Kind::bytes;
    int half = -1;
    for (const QChar c : digits) {
        if (c == u' ' || c == u'\t') continue;
        const int nibble = c.isDigit()                ? c.unicode() - '0'
                           : (c >= u'a' && c <= u'f') ? c.unicode() - 'a' + 10
                           : (c >= u'A' && c <= u'F') ? c.unicode() - 'A' + 10
                                                      : -1;
        if (nibble < 0) return Failure{QStringLiteral("'%1' is not a hexadecimal digit").arg(c)};
        if (half < 0) {
            half = nibble;
            continue;
        }
        v.bytes.append(char(half << 4 | nibble));
        half = -1;
    }
    if (half >= 0) return Failure{QStringLiteral("an odd number of hexadecimal digits")};
    return v;
}

std::variant<LayoutValue, Failure> font_value(Cursor& in) {
    LayoutValue v;
    v.kind = LayoutValue::Kind::font;
    auto family = in.quoted();
    if (auto* f = std::get_if<Failure>(&family)) return *f;
    v.text = std::get<QString>(family);
    bool ok = false;
    v.number = in.word().toDouble(&ok);
    if (!ok || !(v.number > 0 && v.number <= 512))
        return Failure{QStringLiteral("a font needs a size from 1 to 512 points after its family")};
    while (!in.at_end()) {
        const QString style = in.word();
        if (style == QLatin1String("bold"))
            v.bold = true;
        else if (style == QLatin1String("italic"))
            v.italic = true;
        else
            return Failure{
                QStringLiteral("unknown font style '%1' (bold or italic)").arg(style.left(40))};
    }
    return v;
}

std::variant<LayoutValue, Failure> plain_value(const QString& word) {
    LayoutValue v;
    if (word == QLatin1String("True") || word == QLatin1String("False")) {
        v.kind = LayoutValue::Kind::boolean;
        v.boolean = word == QLatin1String("True");
        return v;
    }
    bool ok = false;
    if (word.startsWith(QLatin1String("0x")) || word.startsWith(QLatin1String("0X"))) {
        const quint64 n = word.mid(2).toULongLong(&ok, 16);
        if (!ok || n > std::numeric_limits<quint32>::max())
            return Failure{
                QStringLiteral("'%1' is no 32-bit hexadecimal number").arg(word.left(40))};
        v.kind = LayoutValue::Kind::integer;
        v.integer = qint64(n);
        return v;
    }
    const qint64 n = word.toLongLong(&ok);
    if (ok) {
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<quint32>::max())
            return Failure{QStringLiteral("%1 is outside the 32-bit range").arg(word.left(40))};
        v.kind = LayoutValue::Kind::integer;
        v.integer = n;
        return v;
    }
    const double d = word.toDouble(&ok);
    if (ok && std::isfinite(d)) {
        v.kind = LayoutValue::Kind::number;
        v.number = d;
        return v;
    }
    return Failure{QStringLiteral("'%1' is not a value (a text in double quotes, a number, True, "
                                  "False, font, picture or hex)")
                       .arg(word.left(40))};
}

std::variant<LayoutValue, Failure> value(Cursor& in) {
    in.skip_blanks();
    if (in.peek() == u'"') {
        auto text = in.quoted();
        if (auto* f = std::get_if<Failure>(&text)) return *f;
        LayoutValue v;
        v.text = std::get<QString>(text);
        if (!in.at_end()) return Failure{QStringLiteral("more after the text")};
        return v;
    }
    const QString word = in.word();
    if (word == QLatin1String("font")) return font_value(in);
    if (word == QLatin1String("picture") || word == QLatin1String("hex")) {
        auto text = in.quoted();
        if (auto* f = std::get_if<Failure>(&text)) return *f;
        if (!in.at_end()) return Failure{QStringLiteral("more after the %1 value").arg(word)};
        if (word == QLatin1String("hex")) {
            auto bytes = hex_bytes(std::get<QString>(text));
            if (auto* v = std::get_if<LayoutValue>(&bytes);
                v && v->bytes.size() > max_layout_state_bytes)
                return Failure{
                    QStringLiteral("more than %1 bytes of state").arg(max_layout_state_bytes)};
            return bytes;
        }
        LayoutValue v;
        v.kind = LayoutValue::Kind::picture;
        v.text = std::get<QString>(text);
        if (v.text.isEmpty()) return Failure{QStringLiteral("a picture needs a file name")};
        return v;
    }
    if (word.isEmpty()) return Failure{QStringLiteral("a value is missing after '='")};
    if (!in.at_end())
        return Failure{QStringLiteral("more after the value '%1'").arg(word.left(40))};
    return plain_value(word);
}

std::variant<QRect, Failure> geometry(Cursor& in) {
    qint64 n[4];
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && !in.take(u','))
            return Failure{QStringLiteral("geometry is left, top, width, height")};
        const auto v = in.integer();
        if (!v) return Failure{QStringLiteral("geometry is left, top, width, height")};
        n[i] = *v;
    }
    if (!in.at_end()) return Failure{QStringLiteral("more after the geometry")};
    for (int i = 0; i < 4; ++i)
        if (n[i] < (i < 2 ? -max_layout_coordinate : 0) || n[i] > max_layout_coordinate)
            return Failure{QStringLiteral("geometry outside -%1..%1 (sizes 0..%1)")
                               .arg(max_layout_coordinate)};
    return QRect(int(n[0]), int(n[1]), int(n[2]), int(n[3]));
}

class Reader {
  public:
    explicit Reader(const QString& file) : m_file(file) {}

    std::optional<LayoutDocument> read(const QByteArray& bytes, LayoutError& error) {
        error = LayoutError{m_file, 0, {}};
        if (bytes.size() > max_layout_bytes) {
            error.message = QStringLiteral("larger than %1 bytes").arg(max_layout_bytes);
            return std::nullopt;
        }
        QStringDecoder decode(QStringDecoder::Utf8);
        const QString text = decode(bytes);
        if (decode.hasError()) {
            error.message = QStringLiteral("not UTF-8 text");
            return std::nullopt;
        }
        const QList<QStringView> lines = QStringView(text).split(u'\n');
        bool versioned = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringView line = lines[i];
            if (line.endsWith(u'\r')) line.chop(1);
            error.line = int(i + 1);
            const QStringView visible = line.trimmed();
            if (visible.isEmpty() || visible.startsWith(u'#')) continue;
            std::optional<Failure> failure;
            if (!versioned) {
                failure = version(visible);
                versioned = true;
            } else if (line.front() == u' ' || line.front() == u'\t') {
                failure = property(visible, error.line);
            } else {
                failure = header(visible, error.line);
            }
            if (failure) {
                error.message = failure->message;
                return std::nullopt;
            }
        }
        error.line = 0;
        if (!versioned) {
            error.message = QStringLiteral("empty: no '%1 %2' line").arg(format_word).arg(1);
            return std::nullopt;
        }
        if (m_document.records.empty()) {
            error.message = QStringLiteral("no form record");
            return std::nullopt;
        }
        return std::move(m_document);
    }

  private:
    std::optional<Failure> version(QStringView line) {
        Cursor in(line);
        const QString word = in.word();
        const auto number = in.integer();
        if (word != format_word || !number || !in.at_end())
            return Failure{QStringLiteral("not a stored layout: the first line must be '%1 %2'")
                               .arg(format_word)
                               .arg(layout_format_version)};
        if (*number != layout_format_version)
            return Failure{QStringLiteral("layout format %1, but this program reads format %2")
                               .arg(*number)
                               .arg(layout_format_version)};
        return std::nullopt;
    }

    std::optional<Failure> header(QStringView line, int line_number) {
        Cursor in(line);
        const QString kind = in.word();
        LayoutRecord record;
        record.line = line_number;
        if (kind == QLatin1String("form"))
            record.kind = LayoutRecord::Kind::form;
        else if (kind == QLatin1String("widget"))
            record.kind = LayoutRecord::Kind::widget;
        else if (kind == QLatin1String("control"))
            record.kind = LayoutRecord::Kind::control;
        else
            return Failure{QStringLiteral("'%1' opens no record (form, widget or control); "
                                          "property lines are indented")
                               .arg(kind.left(40))};
        const bool is_form = record.kind == LayoutRecord::Kind::form;
        if (is_form != m_document.records.empty())
            return Failure{is_form ? QStringLiteral("a second form record")
                                   : QStringLiteral("the form record must come first")};
        if (m_document.records.size() >= max_layout_records)
            return Failure{QStringLiteral("more than %1 records").arg(max_layout_records)};

        const auto name = in.name();
        if (!name || name->size() > max_name_length)
            return Failure{QStringLiteral("a %1 needs a name of letters, digits and '_' "
                                          "(at most %2, not first a digit)")
                               .arg(kind)
                               .arg(max_name_length)};
        record.name = *name;
        if (in.take(u'(')) {
            const auto index = in.integer();
            if (record.kind != LayoutRecord::Kind::widget || !index || *index < 0 ||
                *index > max_array_index || !in.take(u')'))
                return Failure{QStringLiteral("an array index is (0..%1), on widgets only")
                                   .arg(max_array_index)};
            record.index = int(*index);
        }
        if (!is_form) {
            if (!in.take(u':'))
                return Failure{QStringLiteral("expected ': CLASS' after the name %1").arg(*name)};
            record.class_id = in.word();
            if (record.class_id.isEmpty() || record.class_id.size() > 128)
                return Failure{QStringLiteral("%1 has no class").arg(*name)};
        }
        if (!in.at_end()) {
            if (in.word() != QLatin1String("in") || record.kind != LayoutRecord::Kind::widget)
                return Failure{
                    QStringLiteral("more after the record's header; only a widget "
                                   "takes 'in PARENT'")};
            if (auto f = parent_of(in, record)) return f;
        }
        if (auto f = unique(record)) return f;
        m_document.records.push_back(std::move(record));
        return std::nullopt;
    }

    std::optional<Failure> parent_of(Cursor& in, LayoutRecord& record) {
        const QString parent = in.word();
        if (!in.at_end()) return Failure{QStringLiteral("more after the parent %1").arg(parent)};
        if (!m_widgets.contains(parent))
            return Failure{QStringLiteral("the parent %1 is no widget named above").arg(parent)};
        record.parent = parent;
        return std::nullopt;
    }

    std::optional<Failure> unique(const LayoutRecord& record) {
        const QString full = record.full_name();
        if (m_names.contains(full))
            return Failure{QStringLiteral("a second record named %1").arg(full)};
        // A name is an array or a single object, not both.
        const QString shape = record.name + (record.index >= 0 ? QStringLiteral("()") : QString());
        const QString other = record.name + (record.index >= 0 ? QString() : QStringLiteral("()"));
        if (m_shapes.contains(other))
            return Failure{QStringLiteral("%1 is used both as an array and as a single name")
                               .arg(record.name)};
        m_names.insert(full);
        m_shapes.insert(shape);
        if (record.kind == LayoutRecord::Kind::widget) m_widgets.insert(full);
        return std::nullopt;
    }

    std::optional<Failure> property(QStringView line, int line_number) {
        if (m_document.records.empty())
            return Failure{QStringLiteral("a property before any record")};
        LayoutRecord& record = m_document.records.back();
        Cursor in(line);
        const auto key = in.name();
        if (!key || key->size() > max_name_length)
            return Failure{QStringLiteral("expected KEY = VALUE")};
        if (!in.take(u'=')) return Failure{QStringLiteral("expected '=' after %1").arg(*key)};
        if (*key == QLatin1String("geometry")) {
            if (record.geometry) return Failure{QStringLiteral("a second geometry")};
            auto place = geometry(in);
            if (auto* f = std::get_if<Failure>(&place)) return *f;
            record.geometry = std::get<QRect>(place);
            record.geometry_line = line_number;
            return std::nullopt;
        }
        if (record.find(*key))
            return Failure{
                QStringLiteral("%1 is given twice for %2").arg(*key, record.full_name())};
        if (record.properties.size() >= max_record_properties)
            return Failure{QStringLiteral("more than %1 properties").arg(max_record_properties)};
        auto parsed = value(in);
        if (auto* f = std::get_if<Failure>(&parsed)) return *f;
        record.properties.push_back({*key, std::get<LayoutValue>(std::move(parsed)), line_number});
        return std::nullopt;
    }

    QString m_file;
    LayoutDocument m_document;
    QSet<QString> m_names;
    QSet<QString> m_shapes;
    QSet<QString> m_widgets;
};

}  // namespace

QString LayoutRecord::full_name() const {
    return index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index);
}

const LayoutProperty* LayoutRecord::find(const QString& key) const {
    for (const LayoutProperty& p : properties)
        if (p.key.compare(key, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}

QString LayoutError::text() const {
    return line > 0 ? QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(message)
                    : QStringLiteral("%1: %2").arg(file, message);
}

std::optional<LayoutDocument> read_layout(const QByteArray& bytes, const QString& file,
                                          LayoutError& error) {
    return Reader(file).read(bytes, error);
}

std::optional<LayoutDocument> read_layout_file(const QString& path, LayoutError& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = LayoutError{path, 0, QStringLiteral("cannot be read: ") + file.errorString()};
        return std::nullopt;
    }
    const QByteArray bytes = file.read(max_layout_bytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = LayoutError{path, 0, QStringLiteral("cannot be read: ") + file.errorString()};
        return std::nullopt;
    }
    return read_layout(bytes, path, error);
}

}  // namespace quillon::forms

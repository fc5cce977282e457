#include "app/layout/layout_loader.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <limits>

#include "app/widgets/form_classes.h"
#include "platform/com/stream.h"
#include "skin/property_bag.h"

namespace quillon::forms {

namespace {

const QString visible_key = QStringLiteral("Visible");

// The properties of one record as a bag, keeping which of them the object read.
class RecordBag final : public skin::PropertyBag {
  public:
    void add(const QString& key, QVariant value, int line) {
        m_entries.push_back({key, std::move(value), line, false});
    }
    QVariant read(const QString& key, const QVariant& default_value) override {
        for (Entry& e : m_entries)
            if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
                e.read = true;
                return e.value;
            }
        return default_value;
    }
    // Loading only reads.
    void write(const QString&, const QVariant&, const QVariant&) override {}

    // The first property the object did not read, with its line.
    std::optional<std::pair<QString, int>> unread() const {
        for (const Entry& e : m_entries)
            if (!e.read) return std::make_pair(e.key, e.line);
        return std::nullopt;
    }

  private:
    struct Entry {
        QString key;
        QVariant value;
        int line;
        bool read;
    };
    std::vector<Entry> m_entries;
};

}  // namespace

class FormBuilder {
  public:
    FormBuilder(const QString& path, QWidget& form, const ControlEvents& events)
        : m_path(path), m_folder(QFileInfo(path).absoluteDir()), m_form(form), m_events(events) {
        m_loaded.m_file = path;
    }

    std::optional<LoadedForm> build(const LayoutDocument& layout, LayoutError& error) {
        for (const LayoutRecord& record : layout.records) {
            std::optional<LayoutError> failure;
            switch (record.kind) {
                case LayoutRecord::Kind::form:
                    failure = form(record);
                    break;
                case LayoutRecord::Kind::widget:
                    failure = widget(record);
                    break;
                case LayoutRecord::Kind::control:
                    failure = control(record);
                    break;
            }
            if (failure) {
                error = *failure;
                undo();
                return std::nullopt;
            }
        }
        return std::move(m_loaded);
    }

  private:
    LayoutError at(int line, const QString& message) const { return {m_path, line, message}; }

    std::variant<QVariant, LayoutError> variant_of(const LayoutProperty& p) const {
        const LayoutValue& v = p.value;
        switch (v.kind) {
            case LayoutValue::Kind::text:
                return QVariant(v.text);
            case LayoutValue::Kind::integer:
                if (v.integer > std::numeric_limits<qint32>::max())
                    return QVariant(quint32(v.integer));
                return QVariant(qint32(v.integer));
            case LayoutValue::Kind::number:
                return QVariant(v.number);
            case LayoutValue::Kind::boolean:
                return QVariant(v.boolean);
            case LayoutValue::Kind::bytes:
                return QVariant(v.bytes);
            case LayoutValue::Kind::font: {
                QFont font(v.text);
                font.setPointSizeF(v.number);
                font.setBold(v.bold);
                font.setItalic(v.italic);
                return QVariant(font);
            }
            case LayoutValue::Kind::picture: {
                const QString file = m_folder.filePath(v.text);
                QImage image;
                if (!image.load(file, "PNG"))
                    return at(p.line, QStringLiteral("the picture %1 cannot be read as PNG")
                                          .arg(QDir::toNativeSeparators(file)));
                return QVariant(QPixmap::fromImage(image));
            }
        }
        return QVariant();
    }

    // Applies a record's properties (less those the builder took) through the object's bag.
    std::optional<LayoutError> apply(const LayoutRecord& record, skin::Persisted& persisted,
                                     const QSet<QString>& taken) {
        RecordBag bag;
        for (const LayoutProperty& p : record.properties) {
            if (taken.contains(p.key)) continue;
            auto value = variant_of(p);
            if (auto* e = std::get_if<LayoutError>(&value)) return *e;
            bag.add(p.key, std::get<QVariant>(value), p.line);
        }
        persisted.read_properties(bag);
        if (const auto unread = bag.unread())
            return at(unread->second, QStringLiteral("%1 is no property of %2 (%3)")
                                          .arg(unread->first, record.full_name(), record.class_id));
        return std::nullopt;
    }

    std::optional<LayoutError> form(const LayoutRecord& record) {
        for (const LayoutProperty& p : record.properties) {
            auto value = variant_of(p);
            if (auto* e = std::get_if<LayoutError>(&value)) return *e;
            const QVariant& v = std::get<QVariant>(value);
            if (p.key == QLatin1String("Caption") && v.typeId() == QMetaType::QString)
                m_form.setWindowTitle(v.toString());
            else if (p.key == QLatin1String("Icon") && v.typeId() == QMetaType::QPixmap)
                m_form.setWindowIcon(QIcon(v.value<QPixmap>()));
            else
                return at(p.line, QStringLiteral("the form takes geometry, a Caption text and an "
                                                 "Icon picture, not %1 as given")
                                      .arg(p.key));
        }
        if (record.geometry) m_form.resize(record.geometry->size());
        m_form.setObjectName(record.name);
        return std::nullopt;
    }

    std::optional<LayoutError> widget(const LayoutRecord& record) {
        QWidget* parent = &m_form;
        if (!record.parent.isEmpty()) {
            parent = qobject_cast<QWidget*>(m_loaded.object(record.parent));
            const QString parent_class = m_classes.value(record.parent);
            if (!parent || !holds_widgets(parent_class))
                return at(
                    record.line,
                    QStringLiteral("%1 (%2) cannot hold widgets").arg(record.parent, parent_class));
        }
        QObject* object = create_form_object(record.class_id, parent, record.full_name());
        if (!object)
            return at(record.line,
                      QStringLiteral("unknown widget class %1 for %2; known classes: %3")
                          .arg(record.class_id, record.full_name(),
                               form_class_ids().join(QStringLiteral(", "))));
        m_loaded.m_objects.emplace_back(record.full_name(), object);
        m_classes.insert(record.full_name(), record.class_id);
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget && record.geometry) widget->setGeometry(*record.geometry);

        QSet<QString> taken;
        if (const LayoutProperty* p = record.find(visible_key)) {
            if (!widget || p->value.kind != LayoutValue::Kind::boolean)
                return at(p->line, QStringLiteral("Visible takes True or False, on widgets only"));
            widget->setHidden(!p->value.boolean);
            taken.insert(p->key);
        }
        skin::Persisted* persisted = persisted_object(object);
        if (!persisted)
            return at(record.line, QStringLiteral("%1 keeps no properties").arg(record.class_id));
        return apply(record, *persisted, taken);
    }

    std::optional<LayoutError> control(const LayoutRecord& record) {
        CLSID clsid{};
        if (FAILED(class_from_text(record.class_id.toStdString(), &clsid)))
            return at(record.line, QStringLiteral("no component of class %1 is registered or "
                                                  "beside the program, for %2")
                                       .arg(record.class_id, record.name));
        const LayoutProperty* state = nullptr;
        for (const LayoutProperty& p : record.properties) {
            if (p.key != QLatin1String("state") || p.value.kind != LayoutValue::Kind::bytes)
                return at(p.line, QStringLiteral("a control takes geometry and its saved state "
                                                 "(state = hex \"...\"), not %1 as given")
                                      .arg(p.key));
            state = &p;
        }
        auto host = std::make_unique<ControlHost>(
            true, m_events ? m_events(record.name) : ControlHost::EventHandler());
        ComPtr<MemoryStream> stream;
        if (state) {
            const auto* data = reinterpret_cast<const BYTE*>(state->value.bytes.constData());
            stream = make_com<MemoryStream>(
                std::span<const BYTE>(data, std::size_t(state->value.bytes.size())));
        }
        const HRESULT hr = host->create(clsid, stream.get());
        const QString code = QStringLiteral("0x%1").arg(quint32(hr), 8, 16, QLatin1Char('0'));
        if (FAILED(hr) && !host->control())
            return at(record.line, QStringLiteral("%1 (%2) cannot be created: %3 (%4)")
                                       .arg(record.name, record.class_id,
                                            QString::fromLatin1(hresult_text(hr)), code));
        if (FAILED(hr))
            return at(state->line, QStringLiteral("the saved state of %1 does not load (%2): it "
                                                  "ends early or is damaged")
                                       .arg(record.name, code));
        m_loaded.m_controls.emplace_back(record.name, std::move(host));
        return std::nullopt;
    }

    void undo() {
        m_loaded.m_controls.clear();
        for (auto it = m_loaded.m_objects.rbegin(); it != m_loaded.m_objects.rend(); ++it)
            delete it->second.data();
        m_loaded.m_objects.clear();
    }

    QString m_path;
    QDir m_folder;
    QWidget& m_form;
    const ControlEvents& m_events;
    LoadedForm m_loaded;
    QHash<QString, QString> m_classes;
};

LoadedForm::~LoadedForm() {
    // Controls go first: their last events may still reach the window's widgets.
    m_controls.clear();
}

QObject* LoadedForm::object(const QString& full_name) const {
    for (const auto& [name, object] : m_objects)
        if (name == full_name) return object.data();
    return nullptr;
}

ControlHost* LoadedForm::control(const QString& name) const {
    for (const auto& [control_name, host] : m_controls)
        if (control_name == name) return host.get();
    return nullptr;
}

std::optional<LoadedForm> build_form(const LayoutDocument& layout, const QString& path,
                                     QWidget& form, const ControlEvents& events,
                                     LayoutError& error) {
    return FormBuilder(path, form, events).build(layout, error);
}

std::optional<LoadedForm> load_form(const QString& path, QWidget& form, const ControlEvents& events,
                                    LayoutError& error) {
    const auto layout = read_layout_file(path, error);
    if (!layout) return std::nullopt;
    return build_form(*layout, path, form, events, error);
}

}  // namespace quillon::forms

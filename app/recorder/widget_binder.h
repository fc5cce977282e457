// Building a window from its stored layout: the layout loaded with the event sink of the one
// control the window listens to, then the widgets the window needs taken by name and class,
// collecting the ones the layout lacks so that the window can refuse it with one message.
#pragma once

#include <QStringList>

#include "app/layout/layout_loader.h"

namespace quillon::recorder {

// The layout `path` built on `form`, the events of the control named `control` going to
// `on_event`; nothing, with the error (file and line), when it cannot be built.
inline std::optional<forms::LoadedForm> load_window(const QString& path, QWidget& form,
                                                    const QString& control,
                                                    ControlHost::EventHandler on_event,
                                                    QString& error) {
    forms::LayoutError failure;
    auto loaded = forms::load_form(
        path, form,
        [&](const QString& name) {
            return name == control ? on_event : ControlHost::EventHandler();
        },
        failure);
    if (!loaded) error = failure.text();
    return loaded;
}

class WidgetBinder {
  public:
    explicit WidgetBinder(const forms::LoadedForm& form) : m_form(form) {}

    template <typename T>
    void take(T*& into, const QString& name, int index = -1) {
        into = m_form.find<T>(name, index);
        if (!into)
            m_missing << QStringLiteral("%1 (%2)").arg(
                index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index),
                QLatin1String(T::class_identifier));
    }
    // The control named `name`, or null (and it is missing) when the layout has none.
    ControlHost* control(const QString& name, const QString& what) {
        ControlHost* host = m_form.control(name);
        if (!host) m_missing << QStringLiteral("%1 (%2)").arg(name, what);
        return host;
    }
    // False, with the error naming the layout file and what it lacks, when something is missing.
    bool complete(const QString& window, QString& error) const {
        if (m_missing.isEmpty()) return true;
        error = QStringLiteral("%1: %2 needs %3")
                    .arg(m_form.file(), window, m_missing.join(QStringLiteral(", ")));
        return false;
    }

  private:
    const forms::LoadedForm& m_form;
    QStringList m_missing;
};

// Cuts what the window's widgets send to `form`: called first in a window's destructor, since
// the widgets outlive its handlers there (deactivating the window on its way out still makes
// the frame signal).
inline void disconnect_widgets(QWidget& form) {
    for (QObject* child : form.findChildren<QObject*>())
        QObject::disconnect(child, nullptr, &form, nullptr);
}

}  // namespace quillon::recorder

// Builds a window from its stored layout (layout_reader.h): every widget created by its class
// through the form classes (app/widgets/form_classes.h), placed, and given its persisted
// properties through a property bag; every control created by its class identifier through the
// component layer, sited in user mode with the event sink the window names, and loaded from its
// saved state. A key that the object does not persist, a class nobody knows, a picture that
// cannot be read or a state that does not load is an error naming the file and the line, and
// then nothing of the layout remains on the window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/layout/layout_reader.h"
#include "host/control_host.h"

namespace quillon::forms {

class LoadedForm {
  public:
    LoadedForm() = default;
    LoadedForm(LoadedForm&&) noexcept = default;
    LoadedForm& operator=(LoadedForm&&) noexcept = default;
    ~LoadedForm();

    // The object named NAME or NAME(INDEX); null when there is none.
    QObject* object(const QString& full_name) const;
    template <typename T>
    T* find(const QString& name, int index = -1) const {
        return qobject_cast<T*>(
            object(index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index)));
    }
    // The host of the control named NAME; null when there is none.
    ControlHost* control(const QString& name) const;
    // The layout file it was built from.
    const QString& file() const { return m_file; }

  private:
    friend class FormBuilder;
    QString m_file;
    std::vector<std::pair<QString, QPointer<QObject>>> m_objects;
    std::vector<std::pair<QString, std::unique_ptr<ControlHost>>> m_controls;
};

// The event sink of each control, by the control's name.
using ControlEvents = std::function<ControlHost::EventHandler(const QString& control_name)>;

std::optional<LoadedForm> load_form(const QString& path, QWidget& form, const ControlEvents& events,
                                    LayoutError& error);
// The same from a layout already read; `path` names it and locates its pictures.
std::optional<LoadedForm> build_form(const LayoutDocument& layout, const QString& path,
                                     QWidget& form, const ControlEvents& events,
                                     LayoutError& error);

}  // namespace quillon::forms

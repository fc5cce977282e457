// Every class a stored layout may name for a widget or a form's component: the skinned widgets
// (skin/widget_registry.h), the common widgets (MSComctlLib.Slider, .ProgressBar, .StatusBar,
// MSComDlg.CommonDialog) and the plain ones of this folder (Quillon.Frame, .ListBox, .Label,
// .Image, .Shape, .TextBox, .OptionButton, .Timer). Class identifiers compare without regard to
// case.
#pragma once

#include <QObject>
#include <QStringList>
#include <QWidget>

#include "skin/property_bag.h"

namespace quillon::forms {

QStringList form_class_ids();

// A new object of the class, owned by `parent` and named `instance_name`: a widget on `parent`,
// or for the components that show nothing (the timer, the file dialog) a plain object. Null for
// a class that is not known.
QObject* create_form_object(const QString& class_id, QWidget* parent, const QString& instance_name);

// Whether objects of the class are widgets that can hold other widgets (the frame).
bool holds_widgets(const QString& class_id);

// How an object made above persists its properties.
skin::Persisted* persisted_object(QObject* object);

}  // namespace quillon::forms

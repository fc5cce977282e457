// The widget classes of the skin library by class identifier, for stored layouts that name the
// class of each widget they create.
//
//   QWidget* w = create_widget("Windows_XP_Controls.xpcmdbutton", form, "xpcmdbutton3");
//   if (Persisted* p = persisted(w)) p->read_properties(bag);
//
// create_widget makes a widget of the class on `parent` (which owns it; a null parent leaves
// ownership with the caller), sets its objectName to `instance_name` and gives it the defaults
// of a new instance (a caption is the instance name until the bag says otherwise, the font is
// the parent's). Class identifiers compare without regard to case; an unknown one gives null.
// The widgets' events are Qt signals named as the events are (Click, MouseDown, MouseOut, ...)
// and their properties are Qt properties under the persisted names (Caption, Enabled, ...).
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include "skin/property_bag.h"

namespace quillon::skin {

// Every class identifier the library offers, in a fixed order.
QStringList widget_class_ids();

QWidget* create_widget(const QString& class_id, QWidget* parent, const QString& instance_name);

// The class identifier of a library widget; empty for other widgets.
QString widget_class_id(const QWidget* widget);

// The persistence of a library widget; null for other widgets.
Persisted* persisted(QWidget* widget);
const Persisted* persisted(const QWidget* widget);

}  // namespace quillon::skin

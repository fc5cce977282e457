#include "skin/widget_registry.h"

#include <array>

#include "skin/xp_canvas.h"
#include "skin/xpcheckbox.h"
#include "skin/xpcmdbutton.h"
#include "skin/xpgroupbox.h"
#include "skin/xphelp.h"
#include "skin/xpradiobutton.h"
#include "skin/xptopbuttons.h"

namespace quillon::skin {

namespace {

struct WidgetClass {
    const char* id;
    QWidget* (*create)(QWidget* parent, const QString& instance_name);
};

template <typename W>
QWidget* make(QWidget* parent, const QString& instance_name) {
    // The parent owns the widget (a null parent hands it to the caller).
    return new W(parent, instance_name);
}

constexpr std::array<WidgetClass, 7> widget_classes{{
    {xp_canvas::class_identifier, make<xp_canvas>},
    {xpcmdbutton::class_identifier, make<xpcmdbutton>},
    {xptopbuttons::class_identifier, make<xptopbuttons>},
    {xphelp::class_identifier, make<xphelp>},
    {xpcheckbox::class_identifier, make<xpcheckbox>},
    {xpradiobutton::class_identifier, make<xpradiobutton>},
    {xpgroupbox::class_identifier, make<xpgroupbox>},
}};

}  // namespace

QStringList widget_class_ids() {
    QStringList ids;
    for (const WidgetClass& c : widget_classes) ids << QString::fromLatin1(c.id);
    return ids;
}

QWidget* create_widget(const QString& class_id, QWidget* parent, const QString& instance_name) {
    for (const WidgetClass& c : widget_classes)
        if (class_id.compare(QLatin1String(c.id), Qt::CaseInsensitive) == 0)
            return c.create(parent, instance_name);
    return nullptr;
}

QString widget_class_id(const QWidget* widget) {
    const auto* skin = qobject_cast<const SkinWidget*>(widget);
    return skin ? skin->class_id() : QString();
}

Persisted* persisted(QWidget* widget) {
    return qobject_cast<SkinWidget*>(widget);
}

const Persisted* persisted(const QWidget* widget) {
    return qobject_cast<const SkinWidget*>(widget);
}

}  // namespace quillon::skin

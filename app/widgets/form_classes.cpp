#include "app/widgets/form_classes.h"

#include <array>

#include "app/widgets/common_dialog.h"
#include "app/widgets/form_timer.h"
#include "app/widgets/list_box.h"
#include "app/widgets/plain_widgets.h"
#include "app/widgets/progress_bar.h"
#include "app/widgets/slider.h"
#include "app/widgets/status_bar.h"
#include "skin/widget_registry.h"

namespace quillon::forms {

namespace {

struct FormClass {
    const char* id;
    QObject* (*create)(QWidget* parent, const QString& instance_name);
};

template <typename T>
QObject* make(QWidget* parent, const QString& instance_name) {
    // The parent owns what is made here.
    return new T(parent, instance_name);
}

constexpr std::array<FormClass, 12> form_classes{{
    {Slider::class_identifier, make<Slider>},
    {ProgressBar::class_identifier, make<ProgressBar>},
    {StatusBar::class_identifier, make<StatusBar>},
    {CommonDialog::class_identifier, make<CommonDialog>},
    {Frame::class_identifier, make<Frame>},
    {ListBox::class_identifier, make<ListBox>},
    {Label::class_identifier, make<Label>},
    {Image::class_identifier, make<Image>},
    {Shape::class_identifier, make<Shape>},
    {TextBox::class_identifier, make<TextBox>},
    {OptionButton::class_identifier, make<OptionButton>},
    {FormTimer::class_identifier, make<FormTimer>},
}};

bool same_id(const QString& a, const char* b) {
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

QStringList form_class_ids() {
    QStringList ids = skin::widget_class_ids();
    for (const FormClass& c : form_classes) ids << QString::fromLatin1(c.id);
    return ids;
}

QObject* create_form_object(const QString& class_id, QWidget* parent,
                            const QString& instance_name) {
    if (QWidget* skinned = skin::create_widget(class_id, parent, instance_name)) return skinned;
    for (const FormClass& c : form_classes)
        if (same_id(class_id, c.id)) return c.create(parent, instance_name);
    return nullptr;
}

bool holds_widgets(const QString& class_id) {
    return same_id(class_id, Frame::class_identifier) ||
           same_id(class_id, "Windows_XP_Controls.xpgroupbox");
}

skin::Persisted* persisted_object(QObject* object) {
    if (auto* widget = qobject_cast<QWidget*>(object))
        if (skin::Persisted* skinned = skin::persisted(widget)) return skinned;
    return dynamic_cast<skin::Persisted*>(object);
}

}  // namespace quillon::forms

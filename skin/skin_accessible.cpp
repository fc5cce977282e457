#include "skin/skin_accessible.h"

#include <QAccessibleWidget>

#include "skin/skin_widget.h"

namespace quillon::skin {

namespace {

class SkinAccessible final : public QAccessibleWidget {
  public:
    explicit SkinAccessible(SkinWidget* widget)
        : QAccessibleWidget(widget, widget->accessible_role()) {
        if (widget->has_press_action()) addControllingSignal(QStringLiteral("Click()"));
    }

    SkinWidget* skin() const { return static_cast<SkinWidget*>(widget()); }

    QAccessible::Role role() const override { return skin()->accessible_role(); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? skin()->accessible_name() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        skin()->accessible_state(s);
        return s;
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (skin()->has_press_action() && widget()->isEnabled()) names.prepend(press_name());
        return names;
    }

    void doAction(const QString& action) override {
        if (action == press_name() && skin()->has_press_action() && widget()->isEnabled())
            skin()->press_action();
        else
            QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == press_name()) return {};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

  private:
    QString press_name() const {
        const QAccessible::Role r = role();
        return r == QAccessible::CheckBox || r == QAccessible::RadioButton
                   ? QAccessibleActionInterface::toggleAction()
                   : QAccessibleActionInterface::pressAction();
    }
};

QAccessibleInterface* skin_factory(const QString& class_name, QObject* object) {
    Q_UNUSED(class_name);
    // Qt's accessibility cache takes the interface and deletes it with the widget.
    if (auto* widget = qobject_cast<SkinWidget*>(object)) return new SkinAccessible(widget);
    return nullptr;
}

}  // namespace

void install_skin_accessibility() {
    static const bool installed = (QAccessible::installFactory(skin_factory), true);
    Q_UNUSED(installed);
}

}  // namespace quillon::skin

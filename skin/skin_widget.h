// What every widget of the library shares: the events every one of them raises, the host's
// "property changed" notice, the defaults a host gives a new instance, and what assistive
// technology is told about it.
#pragma once

#include <QAccessible>
#include <QWidget>

#include "skin/property_bag.h"

namespace quillon::skin {

// A caption as it reads: "&&" is an ampersand, a single '&' only marks the access key.
QString without_access_key(const QString& caption);

class SkinWidget : public QWidget, public Persisted {
    Q_OBJECT
  public:
    // The class identifier the registry knows the widget's class by.
    virtual QString class_id() const = 0;

    // For assistive technology: role, name and state; press_action() is what its default action
    // does (nothing, for widgets that have none).
    virtual QAccessible::Role accessible_role() const = 0;
    virtual QString accessible_name() const = 0;
    virtual void accessible_state(QAccessible::State& state) const { Q_UNUSED(state); }
    virtual bool has_press_action() const { return false; }
    virtual void press_action() {}

  signals:
    void Click();
    void KeyDown(int KeyCode, int Shift);
    void KeyPress(int KeyAscii);
    void KeyUp(int KeyCode, int Shift);
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    // Tells the host that the persisted property under `key` changed.
    void PropertyChanged(const QString& key);

  protected:
    explicit SkinWidget(QWidget* parent);

    // The name the host gave this instance: the caption of a new one.
    QString instance_name() const { return objectName(); }
    // The font a host without its own choice gives: its own.
    QFont ambient_font() const;

    void raise_mouse_down(const QMouseEvent& event);
    void raise_mouse_move(const QMouseEvent& event);
    void raise_mouse_up(const QMouseEvent& event);
    // A move reported as if it happened at `at` (the caption's corner, for moves over it).
    void raise_mouse_move_at(const QMouseEvent& event, QPointF at);

    // Tells assistive technology about a change of name or state.
    void notify_accessible(QAccessible::Event event);

    // Called when the widget is enabled or disabled (by its property or with its parent), and
    // when its font changes; assistive technology hears of the first.
    virtual void enabled_changed() {}
    virtual void font_changed() {}
    void changeEvent(QEvent* event) override;

    // Key events pass through unchanged.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace quillon::skin

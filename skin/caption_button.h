// What the title-bar button and the help button share: a fixed 21 x 21 widget that shows one
// 21 x 21 cell of a glyph strip at a time.
#pragma once

#include "skin/push_widget.h"

namespace quillon::skin {

class CaptionButton : public PushWidget {
    Q_OBJECT
  public:
    static constexpr int side = 21;  // pixels: 315 twips at 96 DPI

    enum Cell { normal = 0, hover = 1, pressed = 2, disabled = 3 };

    // The cell on show, and showing one (the gallery shows each cell this way).
    int cell() const { return m_cell; }
    void show_cell(int cell);

    QAccessible::Role accessible_role() const override { return QAccessible::Button; }
    void accessible_state(QAccessible::State& state) const override {
        state.pressed = m_cell == pressed;
    }

  protected:
    explicit CaptionButton(QWidget* parent);

    // The strip's picture name ("xpclose", ...).
    virtual QString strip_name() const = 0;

    // Move and press, alike for both buttons.
    void pointer_moved(const QMouseEvent& event, bool inside) override;
    void pointer_pressed(const QMouseEvent& event) override;

    void paintEvent(QPaintEvent* event) override;

  private:
    int m_cell = normal;
};

}  // namespace quillon::skin

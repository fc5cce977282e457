// The help button of the title bar: a question mark that raises Click. Its pressed picture
// stays after a release until the click or until the pointer is found outside.
#pragma once

#include "skin/caption_button.h"

namespace quillon::skin {

class xphelp final : public CaptionButton {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
  public:
    static constexpr const char* class_identifier = "Windows_XP_Controls.xphelp";

    explicit xphelp(QWidget* parent = nullptr, const QString& instance_name = {});

    bool Enabled() const { return isEnabled(); }
    void set_Enabled(bool enabled) { setEnabled(enabled); }

    void read_properties(PropertyBag& bag) override;
    void write_properties(PropertyBag& bag) const override;

    QString class_id() const override { return QString::fromLatin1(class_identifier); }
    QString accessible_name() const override { return QStringLiteral("Help"); }

  protected:
    QString strip_name() const override { return QStringLiteral("xphelp"); }
    void pointer_released(const QMouseEvent& event) override;
    void clicked() override;
    void pointer_left() override;
};

}  // namespace quillon::skin

// The recording format chooser: a dialog that offers every format tag and format the codec
// manager lists, installed as the codec manager's chooser so that the control's
// SetFormatFromMenu shows it under the title the control asks for. OK answers the chosen format,
// Cancel (or closing the dialog) answers nothing chosen.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <functional>
#include <span>

#include "platform/codec/acm.h"

namespace quillon::recorder {

class FormatChooserDialog final : public QDialog {
    Q_OBJECT
  public:
    FormatChooserDialog(const QString& title, std::span<const AcmFormatChoice> choices,
                        QWidget* owner = nullptr);

    // The index of the format in `choices` that is selected now; -1 when there are none.
    int chosen() const;
    // Selects `index` of `choices`, the tag box following it.
    void select(int index);

    QComboBox* tags() const { return m_tags; }
    QComboBox* formats() const { return m_formats; }

  private:
    void fill_formats();

    std::span<const AcmFormatChoice> m_choices;
    QComboBox* m_tags;
    QComboBox* m_formats;
    QLabel* m_name;
};

// Shows the dialog modally over `owner`; the chosen index, or -1 when cancelled.
int choose_format(QWidget* owner, const QString& title, std::span<const AcmFormatChoice> choices);

// Installs the dialog as the codec manager's chooser while it lives; `owner` gives the window
// the dialog belongs to at the moment it is shown.
class FormatChooserHook {
  public:
    explicit FormatChooserHook(std::function<QWidget*()> owner);
    FormatChooserHook(const FormatChooserHook&) = delete;
    FormatChooserHook& operator=(const FormatChooserHook&) = delete;
    ~FormatChooserHook();

  private:
    AcmFormatChooserHook m_previous;
};

}  // namespace quillon::recorder

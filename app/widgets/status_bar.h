// MSComctlLib.StatusBar: text panels of fixed widths side by side, each showing its text as
// written, cut to its width. Panels are numbered from 1; the widths are given in twips.
#pragma once

#include <QLabel>
#include <QWidget>
#include <vector>

#include "skin/property_bag.h"

namespace quillon::forms {

class StatusBar final : public QWidget, public skin::Persisted {
    Q_OBJECT
    // The panels' widths in twips, separated by blanks: "5293 4234 2910".
    Q_PROPERTY(QString Panels READ Panels WRITE set_Panels)
  public:
    static constexpr const char* class_identifier = "MSComctlLib.StatusBar";
    // More panels than a status bar can show are a damaged layout.
    static constexpr int max_panels = 16;

    explicit StatusBar(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Panels() const;
    // Widths that are no numbers, or negative, or too many, leave the panels as they were.
    void set_Panels(const QString& widths);

    int panel_count() const { return int(m_panels.size()); }
    // The text of panel `index` (1-based); "" for a panel that does not exist.
    QString panel_text(int index) const;
    // Writes panel `index`'s text; an index without a panel is ignored.
    void set_panel_text(int index, const QString& text);

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  private:
    struct Panel {
        int twips;
        QLabel* label;
    };
    void place_panels();
    void resizeEvent(QResizeEvent* event) override;

    std::vector<Panel> m_panels;
};

}  // namespace quillon::forms

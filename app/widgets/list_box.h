// A list of text lines in the order they were added; one may be selected. DblClick follows a
// double-click anywhere on the list, with the item under the pointer selected by its press.
#pragma once

#include <QListWidget>

#include "skin/property_bag.h"

namespace quillon::forms {

class ListBox final : public QListWidget, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(QFont Font READ font WRITE setFont)
  public:
    static constexpr const char* class_identifier = "Quillon.ListBox";
    explicit ListBox(QWidget* parent = nullptr, const QString& instance_name = {});

    void AddItem(const QString& text);
    int ListCount() const { return count(); }
    // The selected line's index, -1 when none is selected.
    int ListIndex() const;
    void set_ListIndex(int index);
    // The selected line, "" when none is selected.
    QString Text() const;
    QString List(int index) const;

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  signals:
    void DblClick();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace quillon::forms

#include "app/widgets/list_box.h"

#include <QMouseEvent>

namespace quillon::forms {

ListBox::ListBox(QWidget* parent, const QString& instance_name) : QListWidget(parent) {
    setObjectName(instance_name);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

void ListBox::AddItem(const QString& text) {
    addItem(text);
}

int ListBox::ListIndex() const {
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void ListBox::set_ListIndex(int index) {
    if (index < 0 || index >= count()) {
        clearSelection();
        return;
    }
    setCurrentRow(index);
}

QString ListBox::Text() const {
    const int index = ListIndex();
    return index < 0 ? QString() : item(index)->text();
}

QString ListBox::List(int index) const {
    return index >= 0 && index < count() ? item(index)->text() : QString();
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit DblClick();
}

void ListBox::read_properties(skin::PropertyBag& bag) {
    setFont(skin::read_font(bag, QStringLiteral("Font"), font()));
}

void ListBox::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Font"), font(), QFont());
}

}  // namespace quillon::forms

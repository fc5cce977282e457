#include "app/widgets/status_bar.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quillon::forms {

namespace {

const QString default_panels = QStringLiteral("1440");

}  // namespace

StatusBar::StatusBar(QWidget* parent, const QString& instance_name) : QWidget(parent) {
    setObjectName(instance_name);
    set_Panels(default_panels);
}

QString StatusBar::Panels() const {
    QStringList widths;
    for (const Panel& p : m_panels) widths << QString::number(p.twips);
    return widths.join(QLatin1Char(' '));
}

void StatusBar::set_Panels(const QString& widths) {
    std::vector<int> twips;
    for (const QString& piece : widths.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int width = piece.toInt(&ok);
        if (!ok || width < 0 || width > 1'000'000 || int(twips.size()) == max_panels) return;
        twips.push_back(width);
    }
    for (Panel& p : m_panels) delete p.label;
    m_panels.clear();
    for (int width : twips) {
        auto* label = new QLabel(this);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setIndent(3);
        label->show();
        m_panels.push_back({width, label});
    }
    place_panels();
}

QString StatusBar::panel_text(int index) const {
    if (index < 1 || index > panel_count()) return {};
    return m_panels[size_t(index - 1)].label->text();
}

void StatusBar::set_panel_text(int index, const QString& text) {
    if (index < 1 || index > panel_count()) return;
    m_panels[size_t(index - 1)].label->setText(text);
}

void StatusBar::place_panels() {
    // 1440 twips to the inch at the screen's logical resolution: 15 to the pixel at 96 DPI.
    const double per_pixel = 1440.0 / std::max(1, logicalDpiX());
    int x = 0;
    for (const Panel& p : m_panels) {
        const int width = int(std::lround(p.twips / per_pixel));
        p.label->setGeometry(x, 0, width, height());
        x += width + 2;
    }
}

void StatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place_panels();
}

void StatusBar::read_properties(skin::PropertyBag& bag) {
    set_Panels(skin::read_text(bag, QStringLiteral("Panels"), default_panels));
}

void StatusBar::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Panels"), Panels(), default_panels);
}

}  // namespace quillon::forms

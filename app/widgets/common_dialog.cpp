#include "app/widgets/common_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace quillon::forms {

CommonDialog::CommonDialog(QWidget* parent, const QString& instance_name) : QObject(parent) {
    setObjectName(instance_name);
}

QStringList CommonDialog::name_filters() const {
    const QStringList pieces = m_filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
        QString patterns = pieces[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << pieces[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

void CommonDialog::show(Mode mode) {
    const QStringList filters = name_filters();
    m_file_name = m_chooser ? m_chooser(mode, filters, m_file_name)
                            : run_file_dialog(mode, filters, m_file_name);
}

QString CommonDialog::run_file_dialog(Mode mode, const QStringList& name_filters,
                                      const QString& previous) {
    QFileDialog dialog(qobject_cast<QWidget*>(parent()));
    dialog.setAcceptMode(mode == Mode::save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(mode == Mode::save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!name_filters.isEmpty()) dialog.setNameFilters(name_filters);
    if (!previous.isEmpty()) dialog.selectFile(previous);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
}

void CommonDialog::read_properties(skin::PropertyBag& bag) {
    set_Filter(skin::read_text(bag, QStringLiteral("Filter"), QString()));
}

void CommonDialog::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Filter"), m_filter, QString());
}

}  // namespace quillon::forms

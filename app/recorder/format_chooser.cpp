#include "app/recorder/format_chooser.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon::recorder {

namespace {

QString text_of(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

FormatChooserDialog::FormatChooserDialog(const QString& title,
                                         std::span<const AcmFormatChoice> choices, QWidget* owner)
    : QDialog(owner), m_choices(choices) {
    setObjectName(QStringLiteral("FormatChooser"));
    setWindowTitle(title);
    setModal(true);
    m_tags = new QComboBox(this);
    m_tags->setObjectName(QStringLiteral("Format"));
    m_formats = new QComboBox(this);
    m_formats->setObjectName(QStringLiteral("Attributes"));
    m_formats->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("Name"));
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Tags in the order the codec manager lists them, each once.
    for (const AcmFormatChoice& c : m_choices) {
        const QString tag = text_of(c.tag_name);
        if (m_tags->findText(tag) < 0) m_tags->addItem(tag);
    }
    connect(m_tags, &QComboBox::currentIndexChanged, this, [this] { fill_formats(); });
    connect(m_formats, &QComboBox::currentIndexChanged, this, [this] {
        const int index = chosen();
        m_name->setText(index < 0 ? QString() : text_of(m_choices[size_t(index)].name));
    });

    auto* fields = new QFormLayout;
    fields->addRow(tr("&Format:"), m_tags);
    fields->addRow(tr("&Attributes:"), m_formats);
    fields->addRow(tr("Name:"), m_name);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_choices.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    fill_formats();
}

void FormatChooserDialog::fill_formats() {
    const QString tag = m_tags->currentText();
    const QSignalBlocker quiet(m_formats);
    m_formats->clear();
    for (std::size_t i = 0; i < m_choices.size(); ++i)
        if (text_of(m_choices[i].tag_name) == tag)
            m_formats->addItem(text_of(m_choices[i].description), int(i));
    m_formats->setCurrentIndex(m_formats->count() > 0 ? 0 : -1);
    const int index = chosen();
    m_name->setText(index < 0 ? QString() : text_of(m_choices[size_t(index)].name));
}

int FormatChooserDialog::chosen() const {
    const QVariant index = m_formats->currentData();
    return index.isValid() ? index.toInt() : -1;
}

void FormatChooserDialog::select(int index) {
    if (index < 0 || std::size_t(index) >= m_choices.size()) return;
    m_tags->setCurrentText(text_of(m_choices[size_t(index)].tag_name));
    m_formats->setCurrentIndex(m_formats->findData(index));
}

int choose_format(QWidget* owner, const QString& title, std::span<const AcmFormatChoice> choices) {
    FormatChooserDialog dialog(title, choices, owner);
    return dialog.exec() == QDialog::Accepted ? dialog.chosen() : -1;
}

FormatChooserHook::FormatChooserHook(std::function<QWidget*()> owner) {
    m_previous = acm_set_format_chooser(
        [owner = std::move(owner)](const ACMFORMATCHOOSEA& request,
                                   std::span<const AcmFormatChoice> choices) {
            const QString title =
                request.pszTitle ? QString::fromLocal8Bit(request.pszTitle) : QString();
            return choose_format(owner ? owner() : nullptr, title, choices);
        });
}

FormatChooserHook::~FormatChooserHook() {
    acm_set_format_chooser(std::move(m_previous));
}

}  // namespace quillon::recorder

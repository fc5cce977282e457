#include "app/recorder/message_box.h"

#include <QMessageBox>
#include <cstdio>

namespace quillon::recorder {

void message_box(QWidget* owner, MessageIcon icon, const QString& text) {
    std::fprintf(stderr, "zarvo: %s\n", text.toLocal8Bit().constData());
    QMessageBox box(icon == MessageIcon::critical ? QMessageBox::Critical : QMessageBox::Warning,
                    QStringLiteral("Quillon"), text, QMessageBox::Ok,
                    owner && owner->isVisible() ? owner : nullptr);
    box.exec();
}

}  // namespace quillon::recorder

// The program's message boxes: titled "Quillon", one OK button, the icon the message calls for.
// Each text is also said on standard error, for whoever started the program from a terminal.
#pragma once

#include <QString>
#include <QWidget>

namespace quillon::recorder {

enum class MessageIcon { critical, exclamation };

// Shows the box over `owner` when it is visible, else on its own, and returns when it is closed.
void message_box(QWidget* owner, MessageIcon icon, const QString& text);

}  // namespace quillon::recorder

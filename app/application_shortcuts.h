// The toolkit's half of application-wide hotkeys: where the session offers no global facility
// (the hotkey facility "application"), key presses in any of the program's windows are handed to
// the platform, which dispatches a registered combination as WM_HOTKEY; such a key goes no
// further. Install one on the application object; with a global facility it passes every key on.
#pragma once

#include <QObject>

class ApplicationShortcuts final : public QObject {
  public:
    explicit ApplicationShortcuts(QObject* parent = nullptr) : QObject(parent) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// GoogleTest under a Qt application object on the offscreen platform, set up as the program sets
// itself up there: hotkeys are the application's own shortcuts, fed from Qt's key events, and
// the virtual card's input carries a tone so that levels move.
#include <gtest/gtest.h>
#include <QApplication>

#include "app/application_shortcuts.h"
#include "platform/hotkey/hotkey.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KELVANE_VIRTUAL_INPUT"))
        qputenv("KELVANE_VIRTUAL_INPUT", "sine:440:0.5");
    qputenv("LC_ALL", "C");
    QApplication application(argc, argv);
    hotkey_use_facility("application");
    ApplicationShortcuts shortcuts;
    application.installEventFilter(&shortcuts);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

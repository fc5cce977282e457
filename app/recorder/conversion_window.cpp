#include "app/recorder/conversion_window.h"

#include <memory>

#include "app/recorder/app_folders.h"
#include "app/recorder/message_box.h"

namespace quillon::recorder {

QWidget* make_conversion_window(QWidget* main_window) {
    return open_conversion_window(
        main_window, {.layout_file = shipped_file(program_folder(), QStringLiteral("Form2.layout")),
                      .services = {}});
}

Form2* open_conversion_window(QWidget* main_window, Form2::Setup setup) {
    // Owned by the main window until it closes itself: ending the program takes it along.
    auto window = std::make_unique<Form2>(std::move(setup), main_window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QString error;
    if (!window->build(error)) {
        message_box(main_window, MessageIcon::critical, error);
        return nullptr;
    }
    window->Load();
    return window.release();
}

}  // namespace quillon::recorder

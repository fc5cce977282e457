// For sessions with no global facility (a Wayland desktop without the portal, Qt's offscreen
// platform): the combinations are shortcuts of this application alone. Nothing is ever refused,
// as no other program can hold them; the front end matches the key presses the host feeds.
#include "platform/hotkey/hotkey_backend.h"

namespace {

class ApplicationHotkeys final : public HotkeyBackend {
  public:
    bool grab(int, HotkeyCombination, std::string&) override { return true; }
    void release(int) override {}
    bool wants_key_presses() const override { return true; }
};

}  // namespace

std::unique_ptr<HotkeyBackend> open_application_hotkeys(HotkeyBackend::Pressed, std::string&) {
    return std::make_unique<ApplicationHotkeys>();
}

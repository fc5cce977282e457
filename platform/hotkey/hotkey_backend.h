// The contract between the hotkey calls and the facilities behind them.
//
// The front end (hotkey_calls.cpp) has already checked the arguments, refused a (window, id) pair
// that is registered and a combination that this process holds; it keeps the table of
// registrations and delivers WM_HOTKEY on the GUI thread. A backend only takes a combination for
// this process system-wide, gives it back, and says when one it holds was pressed.
//
// Every backend must:
//   - answer grab() only once it knows the outcome: a combination another program holds fails
//     there and then, with a reason in `error`;
//   - after release() returns, never report that token again;
//   - report presses through the `pressed` callback given at opening, from any thread, with the
//     token of the grab; the front end hands them to the GUI thread.
// It may leave out: key repeat suppression, and anything about windows (the front end knows them).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/base/win_types.h"

// A key combination: MOD_ bits and a virtual-key code the front end accepted.
struct HotkeyCombination {
    UINT modifiers;
    UINT vk;
    bool operator==(const HotkeyCombination&) const = default;
};

class HotkeyBackend {
  public:
    using Pressed = std::function<void(int token)>;

    virtual ~HotkeyBackend() = default;
    // Takes `combination` for this process; presses come back with `token`.
    virtual bool grab(int token, HotkeyCombination combination, std::string& error) = 0;
    virtual void release(int token) = 0;
    // True when the host's toolkit must feed key presses (application-wide shortcuts only).
    virtual bool wants_key_presses() const { return false; }
};

// Each opener answers null, with the reason in `why`, when the session does not offer it.
std::unique_ptr<HotkeyBackend> open_x11_hotkeys(HotkeyBackend::Pressed pressed, std::string& why);
std::unique_ptr<HotkeyBackend> open_portal_hotkeys(HotkeyBackend::Pressed pressed,
                                                   std::string& why);
std::unique_ptr<HotkeyBackend> open_application_hotkeys(HotkeyBackend::Pressed pressed,
                                                        std::string& why);

// The key's name as the X keysym tables and the desktop's shortcut triggers spell it ("r", "7").
std::string key_name_of(UINT vk);

// A combination spelt for people or for a desktop: the names of its modifiers, each followed by
// '+', in the order Control, Alt, Shift, Windows, then `key` ("Ctrl+R", "CTRL+r").
struct ModifierNames {
    const char* control;
    const char* alt;
    const char* shift;
    const char* windows;
};
std::string spell_combination(HotkeyCombination combination, const ModifierNames& names,
                              const std::string& key);

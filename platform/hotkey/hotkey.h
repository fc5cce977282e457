// System-wide hotkeys bound to a window: a registered key combination delivers WM_HOTKEY to the
// window's procedure (on the GUI thread, through the message loop) whichever program has the
// keyboard focus. Where the session has no such facility, the combinations work as shortcuts of
// this application alone, fed by the host's toolkit through hotkey_key_pressed().
#pragma once

#include <string>
#include <string_view>

#include "platform/base/win_types.h"
#include "platform/loop/message_loop.h"

// wParam: the hotkey's id. lParam: the modifiers in the low word, the key code in the high word.
inline constexpr UINT WM_HOTKEY = 0x0312;

inline constexpr UINT MOD_ALT = 0x0001;
inline constexpr UINT MOD_CONTROL = 0x0002;
inline constexpr UINT MOD_SHIFT = 0x0004;
inline constexpr UINT MOD_WIN = 0x0008;

// Registers hotkey `id` of `window`: `modifiers` (MOD_ bits) with the key `vk` (a virtual-key
// code: 'A' to 'Z' or '0' to '9'). FALSE when the window does not exist, the arguments are not
// those, the pair (window, id) is registered already, this process holds the combination, or the
// system's facility refused it (another program holds it); hotkey_last_error() says which.
BOOL RegisterHotKey(HWND window, int id, UINT modifiers, UINT vk);
// Gives the combination of hotkey `id` of `window` back; FALSE when it was not registered.
BOOL UnregisterHotKey(HWND window, int id);

// The facility behind the calls: "x11" (key grabs on the X display's root window), "portal" (the
// desktop portal's global shortcuts), or "application" (shortcuts of this application only,
// never refused). Chosen at first use from KELVANE_HOTKEYS (auto, x11, portal, application), auto
// taking the first of that list the session offers.
std::string hotkey_facility();
// Chooses the facility by name (or "auto") while no hotkey is registered; FALSE when the session
// does not offer it or hotkeys are registered. A host whose windows are on no display (Qt's
// offscreen platform) chooses "application".
BOOL hotkey_use_facility(std::string_view name);
// Why the last call that failed did.
std::string hotkey_last_error();

// A key press in one of the application's own windows, from the host's toolkit. With the
// "application" facility a registered combination posts its WM_HOTKEY and TRUE is returned (the
// host then drops the key); otherwise FALSE, as the global facilities see the keys themselves.
BOOL hotkey_key_pressed(UINT modifiers, UINT vk);

// Hotkeys on an X display: a passive key grab on the root window, so the server hands the key to
// us whichever client has the focus. The server matches the modifier state exactly, and NumLock,
// CapsLock and ScrollLock are modifiers too, so every combination is grabbed once for each set of
// lock modifiers. A grab another client holds answers BadAccess, which is waited for at once.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/hotkey/hotkey.h"
#include "platform/hotkey/worker_backend.h"

namespace {

// Xlib reports errors to one handler per process. The display of the open backend is known
// here; errors of any other display go on to the handler that was in place before.
std::mutex g_handlers_mutex;
std::atomic<Display*> g_display{nullptr};
std::atomic<int> g_denied{0};
std::atomic<bool> g_lost{false};
bool g_handlers_installed = false;
XErrorHandler g_previous_error = nullptr;
XIOErrorHandler g_previous_io_error = nullptr;

int on_error(Display* display, XErrorEvent* error) {
    if (display == g_display.load()) {
        if (error->error_code == BadAccess) ++g_denied;
        return 0;
    }
    return g_previous_error ? g_previous_error(display, error) : 0;
}

// Losing our own connection (the server went away) must not end the program: the hotkeys just
// stop. Returning here lets the display's exit handler below decide, and it does not exit.
int on_io_error(Display* display) {
    if (display == g_display.load()) {
        g_lost = true;
        return 0;
    }
    return g_previous_io_error ? g_previous_io_error(display) : 0;
}

void on_connection_lost(Display*, void*) {
    g_lost = true;
}

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct Grab {
    KeyCode keycode;
    unsigned modifiers;  // X modifier mask without the lock modifiers
};

unsigned x_modifiers_of(UINT modifiers) {
    unsigned mask = 0;
    if (modifiers & MOD_ALT) mask |= Mod1Mask;
    if (modifiers & MOD_CONTROL) mask |= ControlMask;
    if (modifiers & MOD_SHIFT) mask |= ShiftMask;
    if (modifiers & MOD_WIN) mask |= Mod4Mask;
    return mask;
}

std::string combination_text(HotkeyCombination combination) {
    return spell_combination(combination, {"Ctrl", "Alt", "Shift", "Super"},
                             std::string(1, static_cast<char>(combination.vk)));
}

// The modifier bit a lock key sets, 0 when the keyboard has no such key.
unsigned modifier_mask_of(Display* display, KeySym lock) {
    const KeyCode code = XKeysymToKeycode(display, lock);
    if (code == 0) return 0;
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map) return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && !mask; ++modifier)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[modifier * map->max_keypermod + k] == code) {
                mask = 1u << modifier;
                break;
            }
    XFreeModifiermap(map);
    return mask;
}

class X11Hotkeys final : public WorkerHotkeyBackend {
  public:
    X11Hotkeys(DisplayPtr display, Pressed pressed)
        : m_display(std::move(display)),
          m_root(DefaultRootWindow(m_display.get())),
          m_pressed(std::move(pressed)) {
        Display* d = m_display.get();
        const unsigned locks[] = {LockMask, modifier_mask_of(d, XK_Num_Lock),
                                  modifier_mask_of(d, XK_Scroll_Lock)};
        m_lock_sets.push_back(0);
        for (unsigned lock : locks) {
            if (lock == 0) continue;
            const std::size_t count = m_lock_sets.size();
            for (std::size_t i = 0; i < count; ++i)
                if (!(m_lock_sets[i] & lock)) m_lock_sets.push_back(m_lock_sets[i] | lock);
        }
        m_all_locks = 0;
        for (unsigned set : m_lock_sets) m_all_locks |= set;
    }

    // Starts the thread that reads the display; false when it cannot.
    bool start() {
        return start_worker(ConnectionNumber(m_display.get()), [this] { read_events(); });
    }

    ~X11Hotkeys() override {
        stop_worker();
        std::lock_guard lock(g_handlers_mutex);
        if (g_lost) m_display.release();  // a dead connection is not closed again
        g_display = nullptr;
        g_lost = false;
    }

  private:
    bool grab_on_worker(int token, HotkeyCombination combination, std::string& error) override {
        if (g_lost) {
            error = "the connection to the X display is lost";
            return false;
        }
        Display* d = m_display.get();
        const std::string name = key_name_of(combination.vk);
        const KeyCode keycode = XKeysymToKeycode(d, XStringToKeysym(name.c_str()));
        if (keycode == 0) {
            error = "the keyboard has no key " + name;
            return false;
        }
        const Grab grab{keycode, x_modifiers_of(combination.modifiers)};
        g_denied = 0;
        for (unsigned locks : m_lock_sets)
            XGrabKey(d, keycode, grab.modifiers | locks, m_root, False, GrabModeAsync,
                     GrabModeAsync);
        XSync(d, False);
        if (g_denied > 0 || g_lost) {
            // Some of the lock variants may have been ours: give those back.
            ungrab(grab);
            XSync(d, False);
            error = g_lost ? "the connection to the X display is lost"
                           : combination_text(combination) + " is held by another program";
            return false;
        }
        m_grabs[token] = grab;
        return true;
    }

    void release_on_worker(int token) override {
        const auto it = m_grabs.find(token);
        if (it == m_grabs.end()) return;
        ungrab(it->second);
        XSync(m_display.get(), False);
        m_grabs.erase(it);
    }

    void ungrab(const Grab& grab) {
        for (unsigned locks : m_lock_sets)
            XUngrabKey(m_display.get(), grab.keycode, grab.modifiers | locks, m_root);
    }

    void read_events() {
        Display* d = m_display.get();
        while (!g_lost && XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type != KeyPress) continue;
            const unsigned modifiers =
                event.xkey.state & ~m_all_locks & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
            for (const auto& [token, grab] : m_grabs)
                if (grab.keycode == event.xkey.keycode && grab.modifiers == modifiers)
                    m_pressed(token);
        }
    }

    DisplayPtr m_display;
    Window m_root;
    Pressed m_pressed;
    std::vector<unsigned> m_lock_sets;  // every set of lock modifiers, the empty one first
    unsigned m_all_locks;
    std::map<int, Grab> m_grabs;  // worker thread only
};

// An X server reached from a Wayland session sees only the keys sent to its own clients.
bool wayland_session() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (type && std::string_view(type) == "wayland") || (wayland && *wayland);
}

}  // namespace

std::unique_ptr<HotkeyBackend> open_x11_hotkeys(HotkeyBackend::Pressed pressed, std::string& why) {
    if (wayland_session()) {
        why = "in a Wayland session the X server does not see other programs' keys";
        return nullptr;
    }
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        why = "no X display";
        return nullptr;
    }
    DisplayPtr display(XOpenDisplay(name));
    if (!display) {
        why = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    {
        std::lock_guard lock(g_handlers_mutex);
        if (g_display) {
            why = "the X display is open for hotkeys already";
            return nullptr;
        }
        if (!g_handlers_installed) {
            g_previous_error = XSetErrorHandler(on_error);
            g_previous_io_error = XSetIOErrorHandler(on_io_error);
            g_handlers_installed = true;
        }
        XSetIOErrorExitHandler(display.get(), on_connection_lost, nullptr);
        g_display = display.get();
    }
    auto backend = std::make_unique<X11Hotkeys>(std::move(display), std::move(pressed));
    if (!backend->start()) {
        why = "cannot start the thread that reads the X display";
        return nullptr;
    }
    return backend;
}

#include <cstdlib>
#include <map>
#include <utility>

#include "platform/hotkey/hotkey.h"
#include "platform/hotkey/hotkey_backend.h"

namespace {

constexpr UINT kKnownModifiers = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;

struct Facility {
    const char* name;
    std::unique_ptr<HotkeyBackend> (*open)(HotkeyBackend::Pressed, std::string&);
};

// In the order "auto" tries them; the last one is always offered.
constexpr Facility kFacilities[] = {
    {"x11", open_x11_hotkeys},
    {"portal", open_portal_hotkeys},
    {"application", open_application_hotkeys},
};

struct Registration {
    int token;
    HotkeyCombination combination;
};

// GUI-thread state of the calls.
class HotkeyTable {
  public:
    HotkeyTable() {
        // The loop must outlive the backends, whose threads post into it until they are closed.
        (void)MessageLoop::instance().now_ms();
    }

    HotkeyBackend* backend() {
        if (!m_backend && !open(environment_choice())) open("application");
        return m_backend.get();
    }
    const std::string& facility() {
        backend();
        return m_facility;
    }

    bool open(std::string_view name) {
        std::string reasons;
        for (const Facility& f : kFacilities) {
            if (name != "auto" && name != f.name) continue;
            std::string why;
            auto backend = f.open([](int token) { deliver_later(token); }, why);
            if (backend) {
                m_backend = std::move(backend);
                m_facility = f.name;
                return true;
            }
            reasons += (reasons.empty() ? "" : "; ") + std::string(f.name) + ": " + why;
        }
        m_error = reasons.empty() ? "no hotkey facility is called " + std::string(name) : reasons;
        return false;
    }

    bool use(std::string_view name) {
        if (!m_registrations.empty()) {
            m_error = "hotkeys are registered: the facility cannot change now";
            return false;
        }
        if (m_backend && name == m_facility) return true;
        // Closed first: a display or bus connection is opened once per process.
        m_backend.reset();
        m_facility.clear();
        return open(name);
    }

    bool add(HWND window, int id, HotkeyCombination combination) {
        if (m_registrations.contains({window, id})) {
            m_error = "hotkey " + std::to_string(id) + " of this window is registered already";
            return false;
        }
        if (find(combination) != m_registrations.end()) {
            m_error = "this application holds the combination already";
            return false;
        }
        const int token = m_next_token++;
        if (!backend()->grab(token, combination, m_error)) return false;
        m_registrations[{window, id}] = {token, combination};
        return true;
    }

    bool remove(HWND window, int id) {
        const auto it = m_registrations.find({window, id});
        if (it == m_registrations.end()) {
            m_error = "hotkey " + std::to_string(id) + " of this window is not registered";
            return false;
        }
        m_backend->release(it->second.token);
        m_registrations.erase(it);
        return true;
    }

    bool key_pressed(HotkeyCombination combination) {
        if (!backend()->wants_key_presses()) return false;
        const auto it = find(combination);
        if (it == m_registrations.end()) return false;
        deliver_later(it->second.token);
        return true;
    }

    void deliver(int token) {
        for (const auto& [key, registration] : m_registrations) {
            if (registration.token != token) continue;
            const auto& [modifiers, vk] = registration.combination;
            SendMessageA(key.first, WM_HOTKEY, static_cast<WPARAM>(key.second),
                         static_cast<LPARAM>(modifiers | (vk << 16)));
            return;
        }
    }

    const std::string& error() const { return m_error; }
    void fail(std::string why) { m_error = std::move(why); }

  private:
    using Key = std::pair<HWND, int>;

    static std::string environment_choice() {
        const char* choice = std::getenv("KELVANE_HOTKEYS");
        return choice && *choice ? choice : "auto";
    }

    // Like a posted message: the press reaches the window at the next turn of its loop, on the
    // GUI thread, and only while the registration lasts.
    static void deliver_later(int token);

    std::map<Key, Registration>::iterator find(HotkeyCombination combination) {
        for (auto it = m_registrations.begin(); it != m_registrations.end(); ++it)
            if (it->second.combination == combination) return it;
        return m_registrations.end();
    }

    std::unique_ptr<HotkeyBackend> m_backend;
    std::string m_facility;
    std::string m_error;
    std::map<Key, Registration> m_registrations;
    int m_next_token = 1;
};

HotkeyTable& table() {
    static HotkeyTable t;
    return t;
}

void HotkeyTable::deliver_later(int token) {
    MessageLoop::instance().post([token] { table().deliver(token); });
}

bool valid_key(UINT vk) {
    return (vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9');
}

}  // namespace

std::string key_name_of(UINT vk) {
    if (vk >= 'A' && vk <= 'Z') return std::string(1, static_cast<char>(vk - 'A' + 'a'));
    return std::string(1, static_cast<char>(vk));
}

std::string spell_combination(HotkeyCombination combination, const ModifierNames& names,
                              const std::string& key) {
    std::string text;
    for (const auto& [bit, name] : {std::pair{MOD_CONTROL, names.control},
                                    {MOD_ALT, names.alt},
                                    {MOD_SHIFT, names.shift},
                                    {MOD_WIN, names.windows}})
        if (combination.modifiers & bit) text += std::string(name) + "+";
    return text + key;
}

BOOL RegisterHotKey(HWND window, int id, UINT modifiers, UINT vk) {
    auto& t = table();
    if (!IsWindow(window)) {
        t.fail("no such window");
        return FALSE;
    }
    if ((modifiers & ~kKnownModifiers) != 0 || !valid_key(vk)) {
        t.fail("only Alt, Control, Shift and Windows with a letter or a digit");
        return FALSE;
    }
    return t.add(window, id, {modifiers, vk}) ? TRUE : FALSE;
}

BOOL UnregisterHotKey(HWND window, int id) {
    return table().remove(window, id) ? TRUE : FALSE;
}

std::string hotkey_facility() {
    return table().facility();
}

BOOL hotkey_use_facility(std::string_view name) {
    return table().use(name) ? TRUE : FALSE;
}

std::string hotkey_last_error() {
    return table().error();
}

BOOL hotkey_key_pressed(UINT modifiers, UINT vk) {
    return table().key_pressed({modifiers, vk}) ? TRUE : FALSE;
}

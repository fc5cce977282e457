// A window that keeps the hotkey messages it receives, and a loop turn that waits for them on the
// real clock (bounded, so a lost key fails the test instead of hanging it).
#pragma once

#include <vector>

#include "platform/hotkey/hotkey.h"
#include "platform/loop/message_loop.h"

namespace quillon_test {

struct HotkeyMessage {
    WPARAM id;
    LPARAM keys;
    bool operator==(const HotkeyMessage&) const = default;
};

class HotkeyWindow {
  public:
    HotkeyWindow() {
        m_window = CreateMessageWindow([this](HWND, UINT message, WPARAM wparam, LPARAM lparam) {
            if (message == WM_HOTKEY) {
                m_received.push_back({wparam, lparam});
                if (m_received.size() >= m_wanted) MessageLoop::instance().quit();
            }
            if (message == WM_TIMER) MessageLoop::instance().quit();
            return LRESULT{0};
        });
    }
    HotkeyWindow(const HotkeyWindow&) = delete;
    HotkeyWindow& operator=(const HotkeyWindow&) = delete;
    ~HotkeyWindow() { DestroyWindow(m_window); }

    HWND handle() const { return m_window; }

    // Runs the loop until `count` hotkey messages have arrived in all, or 10 s have passed.
    const std::vector<HotkeyMessage>& wait_for(std::size_t count) {
        m_wanted = count;
        if (m_received.size() < count) {
            SetTimer(m_window, 1, 10'000, nullptr);
            MessageLoop::instance().run();
            KillTimer(m_window, 1);
        }
        return m_received;
    }
    const std::vector<HotkeyMessage>& received() const { return m_received; }

  private:
    HWND m_window = nullptr;
    std::size_t m_wanted = 0;
    std::vector<HotkeyMessage> m_received;
};

inline LPARAM keys_of(UINT modifiers, UINT vk) {
    return static_cast<LPARAM>(modifiers | (vk << 16));
}

}  // namespace quillon_test

#include "app/widgets/form_timer.h"

#include <algorithm>

namespace quillon::forms {

namespace {

constexpr UINT_PTR timer_id = 1;

}  // namespace

FormTimer::FormTimer(QObject* parent, const QString& instance_name) : QObject(parent) {
    setObjectName(instance_name);
    m_window = CreateMessageWindow([this](HWND, UINT message, WPARAM id, LPARAM) -> LRESULT {
        if (message == WM_TIMER && id == timer_id && m_running) emit Timer();
        return 0;
    });
}

FormTimer::~FormTimer() {
    DestroyWindow(m_window);
}

void FormTimer::set_Interval(qint32 ms) {
    m_interval = std::clamp<qint32>(ms, 0, max_interval);
    m_running = false;
    apply();
}

void FormTimer::set_Enabled(bool enabled) {
    if (enabled == m_enabled && (m_running || !enabled)) return;
    m_enabled = enabled;
    apply();
}

void FormTimer::apply() {
    const bool run = m_enabled && m_interval > 0;
    if (run && !m_running) SetTimer(m_window, timer_id, UINT(m_interval), nullptr);
    if (!run) KillTimer(m_window, timer_id);
    m_running = run;
}

void FormTimer::read_properties(skin::PropertyBag& bag) {
    m_enabled = skin::read_bool(bag, QStringLiteral("Enabled"), true);
    set_Interval(skin::read_int32(bag, QStringLiteral("Interval"), 0));
}

void FormTimer::write_properties(skin::PropertyBag& bag) const {
    bag.write(QStringLiteral("Interval"), m_interval, 0);
    bag.write(QStringLiteral("Enabled"), m_enabled, true);
}

}  // namespace quillon::forms

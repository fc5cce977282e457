#include "skin/activation_watch.h"

namespace quillon::skin {

namespace {
constexpr int first_look_ms = 10;
}

ActivationWatch::ActivationWatch(QObject* parent, const QString& name) : QObject(parent) {
    setObjectName(name);
    m_first_look.setSingleShot(true);
    m_first_look.setInterval(first_look_ms);
    connect(&m_first_look, &QTimer::timeout, this, [this] {
        if (m_running) emit timeout();
    });
}

void ActivationWatch::start() {
    m_running = true;
    m_first_look.start();
}

void ActivationWatch::stop() {
    m_running = false;
    m_first_look.stop();
}

void ActivationWatch::activation_changed() {
    if (m_running) emit timeout();
}

}  // namespace quillon::skin

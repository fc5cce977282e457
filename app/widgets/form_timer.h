// A form's timer: Timer every Interval milliseconds while Enabled. It runs on the program's
// message loop, beside the recorder control's own timers, so both keep one order and a test on
// the loop's manual clock moves them together. Interval 0 stops it, as does Enabled false.
#pragma once

#include <QObject>

#include "platform/loop/message_loop.h"
#include "skin/property_bag.h"

namespace quillon::forms {

class FormTimer final : public QObject, public skin::Persisted {
    Q_OBJECT
    Q_PROPERTY(qint32 Interval READ Interval WRITE set_Interval)
    Q_PROPERTY(bool Enabled READ Enabled WRITE set_Enabled)
  public:
    static constexpr const char* class_identifier = "Quillon.Timer";
    static constexpr qint32 max_interval = 65535;

    explicit FormTimer(QObject* parent = nullptr, const QString& instance_name = {});
    ~FormTimer() override;

    qint32 Interval() const { return m_interval; }
    // Clamped to 0..65535; a running timer starts its new period now.
    void set_Interval(qint32 ms);
    bool Enabled() const { return m_enabled; }
    // Switching it on starts a full period; writing true again leaves it running as it was.
    void set_Enabled(bool enabled);
    bool running() const { return m_running; }

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  signals:
    void Timer();

  private:
    void apply();

    HWND m_window = nullptr;
    qint32 m_interval = 0;
    bool m_enabled = true;
    bool m_running = false;
};

}  // namespace quillon::forms

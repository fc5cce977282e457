// A main window for a test: built from the shipped layout on the offscreen platform, the loop on
// its manual clock, recordings in a folder of the test's own, and every message box, started
// program and end of the program kept instead of shown. The trace keeps every call into the
// control and every event; state() reads the window as a user sees it.
#pragma once

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <fstream>
#include <string>
#include <vector>

#include "app/recorder/form1.h"
#include "app/recorder/recorder_text.h"
#include "app/widgets/common_dialog.h"
#include "app/widgets/form_timer.h"
#include "app/widgets/list_box.h"
#include "app/widgets/plain_widgets.h"
#include "app/widgets/progress_bar.h"
#include "app/widgets/slider.h"
#include "app/widgets/status_bar.h"
#include "platform/loop/message_loop.h"
#include "skin/xpcmdbutton.h"
#include "tests/support/temp_dir.h"

namespace quillon_test {

using quillon::recorder::Form1;

// A 16-bit mono PCM file of `blocks` sample frames of a quiet ramp.
inline void write_wav(const std::string& path, std::uint32_t blocks, std::uint32_t rate = 8000) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + blocks * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(blocks * 2);
    for (std::uint32_t i = 0; i < blocks; ++i) u16(std::uint16_t((i % 200) * 40));
}

inline QString shipped(const char* name) {
    return QString::fromLatin1(QUILLON_DATA_DIR) + QLatin1Char('/') + QLatin1String(name);
}

class Form1Test : public ::testing::Test {
  protected:
    void SetUp() override { MessageLoop::instance().set_clock(ClockKind::manual); }
    void TearDown() override { m_form.reset(); }

    // Builds the window and runs its load sequence; `sample` is the start-up format's file.
    void start(const QString& sample = shipped("sample.wav")) {
        Form1::Setup setup;
        setup.layout_file = shipped("Form1.layout");
        setup.application_folder = folder();
        setup.sample_file = sample;
        setup.guide_file = QStringLiteral("/guide/index.html");
        setup.services.critical_box = [this](const QString& text) {
            boxes.push_back(text.toStdString());
        };
        setup.services.start_program = [this](const QString& program, const QStringList& args) {
            started.push_back(
                (program + QLatin1Char(' ') + args.join(QLatin1Char(' '))).toStdString());
            return started_ok;
        };
        setup.services.end_program = [this] { ++ended; };
        setup.services.conversion_window = [this](QWidget* main) -> QWidget* {
            ++conversion_windows;
            return conversion_factory ? conversion_factory(main) : nullptr;
        };
        m_form = std::make_unique<Form1>(setup);
        m_form->set_trace([this](const QString& line) { trace.push_back(line.toStdString()); });
        QString error;
        ASSERT_TRUE(m_form->build(error)) << error.toStdString();
        loaded = m_form->Load();
    }

    Form1& form() { return *m_form; }
    QString folder() const { return QString::fromStdString(m_dir.path().string()); }
    QString file(const char* name) const {
        return folder() + QLatin1Char('/') + QLatin1String(name);
    }

    template <typename T>
    T* widget(const char* name, int index = -1) {
        T* w = m_form->widgets().find<T>(QLatin1String(name), index);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    quillon::skin::xpcmdbutton* button(const char* name) {
        return widget<quillon::skin::xpcmdbutton>(name);
    }
    quillon::forms::StatusBar* status_bar() {
        return widget<quillon::forms::StatusBar>("StatusBar1");
    }
    quillon::forms::ListBox* list() { return widget<quillon::forms::ListBox>("List1"); }
    quillon::forms::Slider* slider(const char* name) {
        return widget<quillon::forms::Slider>(name);
    }

    // Moves manual time on: the control's timers, the window's timer and the virtual card.
    static void run_for(std::uint64_t ms) { MessageLoop::instance().run_for(ms); }

    // The window as a user reads it: the buttons (+ enabled, - disabled), the pause and play
    // captions, the timer, the three panels, the position slider and the number of recordings.
    std::string state() {
        auto mark = [this](const char* name) { return button(name)->Enabled() ? "+" : "-"; };
        auto* timer = widget<quillon::forms::FormTimer>("Timer1");
        auto* bar = status_bar();
        return std::string("Record") + mark("xpcmdbutton1") + " Stop" + mark("xpcmdbutton3") +
               " Play" + mark("xpcmdbutton10") + " [" +
               button("xpcmdbutton10")->Caption().toStdString() + "] [" +
               button("xpcmdbutton2")->Caption().toStdString() + "] timer " +
               (timer->running() ? "on" : "off") + " | " + bar->panel_text(1).toStdString() +
               " | " + bar->panel_text(2).toStdString() + " | " + bar->panel_text(3).toStdString() +
               " | Slider4 " + std::to_string(slider("Slider4")->Value()) + " | " +
               std::to_string(list()->ListCount()) + " listed";
    }

    // The trace since the last look, without the reads and the mixer's once-a-second events:
    // what the window told the control and what the control told the window.
    std::vector<std::string> calls() {
        std::vector<std::string> kept;
        for (const std::string& line : trace)
            if (line.rfind("get ", 0) != 0 && line.rfind("  -> ", 0) != 0 &&
                line != "event VolumeChange()" && line != "event GainChange()")
                kept.push_back(line);
        trace.clear();
        return kept;
    }
    void forget() {
        trace.clear();
        boxes.clear();
    }

    std::vector<std::string> trace;
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    bool started_ok = true;
    int ended = 0;
    int conversion_windows = 0;
    std::function<QWidget*(QWidget*)> conversion_factory;
    bool loaded = false;

  private:
    quillon::test::TempDir m_dir;
    std::unique_ptr<Form1> m_form;
};

}  // namespace quillon_test

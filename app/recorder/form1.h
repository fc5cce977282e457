// Form1, the recorder's main window: built from its stored layout (the skinned frame and
// buttons, the common sliders, meters and status bar, the list of recordings, the timer, the
// file dialog and the recorder control Kelvane1), it runs the recording and playback workflows,
// follows the control's events, and answers the global hotkeys Ctrl+R, Ctrl+P and Ctrl+S.
//
// The window wires its widgets to its handlers and does little else; each handler reads as the
// steps it takes. Everything it asks of the world outside (message boxes, other programs, the
// end of the program, the conversion window) goes through Services, so tests can take its place.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "app/layout/layout_loader.h"
#include "app/recorder/control_calls.h"
#include "app/recorder/desktop.h"
#include "app/remote_target.h"
#include "platform/loop/message_loop.h"

namespace quillon::forms {
class CommonDialog;
class FormTimer;
class Image;
class Label;
class ListBox;
class ProgressBar;
class Slider;
class StatusBar;
}  // namespace quillon::forms
namespace quillon::skin {
class xp_canvas;
class xpcmdbutton;
class xphelp;
class xptopbuttons;
}  // namespace quillon::skin

namespace quillon::recorder {

class Form1 final : public QWidget, public RemoteTarget {
    Q_OBJECT
  public:
    struct Services {
        // A message box titled "Quillon" with the critical icon and one OK button.
        std::function<void(const QString& text)> critical_box;
        StartProgram start_program = start_detached;
        // Ends the program at once: no other window's handlers run, no event is handled after.
        std::function<void()> end_program;
        // The conversion window (conversion_window.h).
        std::function<QWidget*(QWidget* main_window)> conversion_window;
    };
    struct Setup {
        QString layout_file;
        QString application_folder;  // where recordings go, without a trailing separator
        QString sample_file;         // the recording format at start-up comes from it
        QString guide_file;          // the user guide Help opens
        Services services;           // empty members take the program's own
    };

    explicit Form1(Setup setup, QWidget* parent = nullptr);
    ~Form1() override;

    // Builds the widgets and the control from the stored layout; false, with the error (file
    // and line), when the layout is damaged.
    bool build(QString& error);
    // The load sequence: devices, file names, sliders, format, hotkeys. False when no hotkey
    // could be registered: the application must then end before its window shows.
    bool Load();
    // Gives the hotkeys back; nothing else.
    void Unload();

    // The window's own platform window: it owns the hotkeys and receives WM_HOTKEY.
    HWND platform_window() const { return m_window; }
    // The widgets and the control, by their names in the layout (tests look at them).
    const forms::LoadedForm& widgets() const { return *m_loaded; }
    // Every call into the control and every event, in order.
    void set_trace(ControlCalls::Trace trace) { Kelvane1.set_trace(std::move(trace)); }

    // The one main window of the program, for the hotkey procedure; null before it exists.
    static Form1* instance() { return s_instance; }

    // Handlers, as the buttons, the list, the sliders and the hotkeys run them.
    void record_click();       // xpcmdbutton1 "Record Ctrl+R", and Ctrl+R
    void pause_click();        // xpcmdbutton2 "Pause Ctrl+P" / "Continue Ctrl+P", and Ctrl+P
    void stop_click();         // xpcmdbutton3 "Stop Ctrl+S", and Ctrl+S
    void destination_click();  // xpcmdbutton4 "Destination File"
    void format_click();       // xpcmdbutton5 "Recording Setting"
    void conversion_click();   // xpcmdbutton6 "Wav to Mp3"
    void help_click();         // xpcmdbutton7 "Help", xphelp1
    void play_click();         // xpcmdbutton10 "Play Audio" / "Stop Playing", List1 DblClick
    void close_click();        // xpcmdbutton11 "Close", xpclose
    void slider4_scroll();     // the position slider moved by the user
    void mixer_click();        // Image1, Label1(0), Label1(1)
    void ShowFormat();
    void InitDevices();
    // What a hotkey runs (HotKeyCommand): the window shown and restored, then the handler.
    void HotKeyCommand(BYTE id);
    static LRESULT HotKeyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    // RemoteTarget: the hotkeys' commands, and what the window shows it is doing.
    void record() override { HotKeyCommand(0); }
    void pause_or_continue() override { HotKeyCommand(1); }
    void stop() override { HotKeyCommand(2); }
    Status status() const override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool bind(QString& error);
    void connect_handlers();
    void place_title_buttons();
    bool register_hotkeys();
    void message_box(const QString& text);

    // The control's events.
    void on_control_event(const MemberDesc& event, std::span<const Variant> args);
    void LevelRecord(LONG level);
    void LevelPlay(LONG level);
    void GainChange();
    void VolumeChange();
    void BlockRecord(LONG block);
    void BlockPlay(LONG block);
    void EndRecord();
    void EndPlay();
    void Errors(const QString& text);
    void reset_after_activity();
    void Timer1_Timer();

    Setup m_setup;
    std::optional<forms::LoadedForm> m_loaded;
    ControlCalls Kelvane1;
    HWND m_window = nullptr;
    QPointer<QWidget> m_conversion;

    // The members of the window.
    QString refile;
    QString filebase;
    int pausestate = 0;
    std::optional<std::int64_t> recsecs;  // unset until the first recording starts
    std::array<bool, 3> hotkeyok{};
    WNDPROC oldproc = nullptr;
    QString m_playing_file;     // what Play was last given
    double m_play_seconds = 0;  // the playback position last shown

    // The widgets of the layout.
    skin::xp_canvas* xp_canvas1 = nullptr;
    skin::xptopbuttons* xpmin = nullptr;
    skin::xptopbuttons* xpclose = nullptr;
    skin::xphelp* xphelp1 = nullptr;
    skin::xpcmdbutton* xpcmdbutton1 = nullptr;
    skin::xpcmdbutton* xpcmdbutton2 = nullptr;
    skin::xpcmdbutton* xpcmdbutton3 = nullptr;
    skin::xpcmdbutton* xpcmdbutton4 = nullptr;
    skin::xpcmdbutton* xpcmdbutton5 = nullptr;
    skin::xpcmdbutton* xpcmdbutton6 = nullptr;
    skin::xpcmdbutton* xpcmdbutton7 = nullptr;
    skin::xpcmdbutton* xpcmdbutton10 = nullptr;
    skin::xpcmdbutton* xpcmdbutton11 = nullptr;
    forms::ListBox* List1 = nullptr;
    forms::Slider* Slider1 = nullptr;
    forms::Slider* Slider2 = nullptr;
    forms::Slider* Slider3 = nullptr;
    forms::Slider* Slider4 = nullptr;
    forms::ProgressBar* ProgressBar1 = nullptr;
    forms::ProgressBar* ProgressBar2 = nullptr;
    forms::StatusBar* StatusBar1 = nullptr;
    forms::FormTimer* Timer1 = nullptr;
    forms::CommonDialog* CommonDialog1 = nullptr;
    forms::Image* Image1 = nullptr;
    std::array<forms::Label*, 2> Label1{};

    static Form1* s_instance;
};

}  // namespace quillon::recorder

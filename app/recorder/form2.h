// Form2, the conversion window "WAV to MP3": built from its stored layout (the skinned frame and
// buttons, two path boxes with their Browse buttons, seven bitrate options, the progress labels,
// the file dialog and the encoder control Mp3), it converts one WAV file into an MP3 file at the
// chosen bitrate. The encoder does the work on a thread of its own and reports progress, its end
// and its failures as events on the GUI thread, so the window stays responsive meanwhile.
//
// The window wires its widgets to its handlers; each handler reads as the steps it takes. The
// message boxes go through Services, so tests can take their place.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "app/layout/layout_loader.h"
#include "app/recorder/control_calls.h"

namespace quillon::forms {
class CommonDialog;
class Label;
class OptionButton;
class TextBox;
}  // namespace quillon::forms
namespace quillon::skin {
class xp_canvas;
class xpcmdbutton;
class xptopbuttons;
}  // namespace quillon::skin

namespace quillon::recorder {

class Form2 final : public QWidget {
    Q_OBJECT
  public:
    struct Services {
        // A message box titled "Quillon" with the exclamation icon and one OK button: the
        // window's own checks of what the user gave.
        std::function<void(const QString& text)> exclamation_box;
        // The same with the critical icon: a conversion that could not start or failed.
        std::function<void(const QString& text)> critical_box;
    };
    struct Setup {
        QString layout_file;
        Services services;  // empty members take the program's own
    };

    // The seven options' bitrates, bits per second, Option1 first.
    static constexpr std::array<LONG, 7> option_bitrates{32000,  56000,  64000, 96000,
                                                         112000, 128000, 256000};

    explicit Form2(Setup setup, QWidget* parent = nullptr);
    ~Form2() override;

    // Builds the widgets and the encoder from the stored layout; false, with the error (file and
    // line, or what the layout lacks), when it cannot.
    bool build(QString& error);
    // The load sequence: the encoder's bitrate and its two settings.
    void Load();

    // The widgets and the encoder, by their names in the layout (tests look at them).
    const forms::LoadedForm& widgets() const { return *m_loaded; }
    // Every call into the encoder and every event, in order.
    void set_trace(ControlCalls::Trace trace) { Mp3.set_trace(std::move(trace)); }
    // The bitrate last chosen through an option, bits per second.
    LONG bitrate() const { return m_bitrate; }

    // Handlers, as the buttons and options run them.
    void input_click();            // xpcmdbutton1 "Browse" beside the input
    void output_click();           // xpcmdbutton2 "Browse" beside the output
    void convert_click();          // xpcmdbutton3 "Convert"
    void stop_click();             // xpcmdbutton4 "Stop"
    void cancel_click();           // xpcmdbutton5 "Cancel", xptopbuttons1
    void option_click(int index);  // Option1 .. Option7, index 0 .. 6

    // The encoder's events.
    void Progress(LONG frames);
    void Finished(bool stopped);
    void Failed(LONG code, const QString& description);

    // The part of `path` after its last "/": the file's own name.
    static QString StripPath(const QString& path);

  private:
    bool bind(QString& error);
    void connect_handlers();
    void on_encoder_event(const MemberDesc& event, std::span<const Variant> args);
    void choose_file(const QString& filter, bool save, forms::TextBox* into);
    QString percent_text(LONG frames) const;

    Setup m_setup;
    std::optional<forms::LoadedForm> m_loaded;
    ControlCalls Mp3;
    LONG m_bitrate = 128000;
    // While the start call runs: its failure is told once, by the Convert handler.
    bool m_starting = false;
    QString m_start_failure;

    // The widgets of the layout.
    skin::xp_canvas* xp_canvas1 = nullptr;
    skin::xptopbuttons* xptopbuttons1 = nullptr;
    forms::TextBox* InputPath = nullptr;
    forms::TextBox* OutPutPath = nullptr;
    skin::xpcmdbutton* xpcmdbutton1 = nullptr;
    skin::xpcmdbutton* xpcmdbutton2 = nullptr;
    skin::xpcmdbutton* xpcmdbutton3 = nullptr;
    skin::xpcmdbutton* xpcmdbutton4 = nullptr;
    skin::xpcmdbutton* xpcmdbutton5 = nullptr;
    std::array<forms::OptionButton*, 7> Option{};
    forms::Label* Label1 = nullptr;
    forms::Label* LblActFrame = nullptr;
    forms::Label* LblTotal = nullptr;
    forms::Label* Lbl1 = nullptr;
    forms::CommonDialog* CommonDialog1 = nullptr;
};

}  // namespace quillon::recorder

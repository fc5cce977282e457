#include "app/recorder/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <climits>

#include "app/recorder/conversion_window.h"
#include "app/recorder/message_box.h"
#include "app/recorder/recorder_text.h"
#include "app/recorder/widget_binder.h"
#include "app/widgets/common_dialog.h"
#include "app/widgets/form_timer.h"
#include "app/widgets/list_box.h"
#include "app/widgets/plain_widgets.h"
#include "app/widgets/progress_bar.h"
#include "app/widgets/slider.h"
#include "app/widgets/status_bar.h"
#include "platform/hotkey/hotkey.h"
#include "skin/xp_canvas.h"
#include "skin/xpcmdbutton.h"
#include "skin/xphelp.h"
#include "skin/xptopbuttons.h"

namespace quillon::recorder {

namespace {

const QString play_audio = QStringLiteral("Play Audio");
const QString stop_playing = QStringLiteral("Stop Playing");
const QString pause_caption = QStringLiteral("Pause Ctrl+P");
const QString continue_caption = QStringLiteral("Continue Ctrl+P");
// A level of 0 cannot be shown: the meters start just above it.
constexpr float meter_floor = 0.0001f;

struct HotkeyRow {
    UINT key;
    const char* refused;
};
constexpr HotkeyRow hotkey_rows[3] = {
    {'R',
     "Can not register the hotkeys CTRL+R ...this key is already registered by some other "
     "running applications."},
    {'P',
     "Can not register the hotkeys CTRL+P ...this key is already registered by some other "
     "running applications."},
    {'S',
     "Can not register the hotkeys CTRL+S ... this key is already registered by some other "
     "running applications."},
};

}  // namespace

Form1* Form1::s_instance = nullptr;

Form1::Form1(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_setup(std::move(setup)) {
    s_instance = this;
    Services& services = m_setup.services;
    if (!services.critical_box)
        services.critical_box = [this](const QString& text) {
            recorder::message_box(this, MessageIcon::critical, text);
        };
    if (!services.start_program) services.start_program = start_detached;
    if (!services.end_program) services.end_program = [] { QCoreApplication::exit(0); };
    if (!services.conversion_window) services.conversion_window = make_conversion_window;
    // The window's own procedure, which the hotkey procedure is put in front of: it has nothing
    // to do with any message.
    m_window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
}

Form1::~Form1() {
    disconnect_widgets(*this);
    // The program ends: what is still held goes back quietly.
    for (int id = 0; id < 3; ++id)
        if (hotkeyok[size_t(id)]) UnregisterHotKey(m_window, id);
    m_loaded.reset();
    DestroyWindow(m_window);
    if (s_instance == this) s_instance = nullptr;
}

bool Form1::build(QString& error) {
    m_loaded = load_window(
        m_setup.layout_file, *this, QStringLiteral("Kelvane1"),
        [this](const MemberDesc& event, std::span<const Variant> args) {
            on_control_event(event, args);
        },
        error);
    return m_loaded && bind(error);
}

bool Form1::bind(QString& error) {
    WidgetBinder b(*m_loaded);
    b.take(xp_canvas1, QStringLiteral("xp_canvas1"));
    b.take(xpmin, QStringLiteral("xpmin"));
    b.take(xpclose, QStringLiteral("xpclose"));
    b.take(xphelp1, QStringLiteral("xphelp1"));
    b.take(xpcmdbutton1, QStringLiteral("xpcmdbutton1"));
    b.take(xpcmdbutton2, QStringLiteral("xpcmdbutton2"));
    b.take(xpcmdbutton3, QStringLiteral("xpcmdbutton3"));
    b.take(xpcmdbutton4, QStringLiteral("xpcmdbutton4"));
    b.take(xpcmdbutton5, QStringLiteral("xpcmdbutton5"));
    b.take(xpcmdbutton6, QStringLiteral("xpcmdbutton6"));
    b.take(xpcmdbutton7, QStringLiteral("xpcmdbutton7"));
    b.take(xpcmdbutton10, QStringLiteral("xpcmdbutton10"));
    b.take(xpcmdbutton11, QStringLiteral("xpcmdbutton11"));
    b.take(List1, QStringLiteral("List1"));
    b.take(Slider1, QStringLiteral("Slider1"));
    b.take(Slider2, QStringLiteral("Slider2"));
    b.take(Slider3, QStringLiteral("Slider3"));
    b.take(Slider4, QStringLiteral("Slider4"));
    b.take(ProgressBar1, QStringLiteral("ProgressBar1"));
    b.take(ProgressBar2, QStringLiteral("ProgressBar2"));
    b.take(StatusBar1, QStringLiteral("StatusBar1"));
    b.take(Timer1, QStringLiteral("Timer1"));
    b.take(CommonDialog1, QStringLiteral("CommonDialog1"));
    b.take(Image1, QStringLiteral("Image1"));
    b.take(Label1[0], QStringLiteral("Label1"), 0);
    b.take(Label1[1], QStringLiteral("Label1"), 1);
    ControlHost* control =
        b.control(QStringLiteral("Kelvane1"), QStringLiteral("the recorder control"));
    if (!b.complete(QStringLiteral("the main window"), error)) return false;
    Kelvane1.attach(control->control());
    connect_handlers();
    return true;
}

void Form1::connect_handlers() {
    using skin::SkinWidget;
    connect(xpcmdbutton1, &SkinWidget::Click, this, &Form1::record_click);
    connect(xpcmdbutton2, &SkinWidget::Click, this, &Form1::pause_click);
    connect(xpcmdbutton3, &SkinWidget::Click, this, &Form1::stop_click);
    connect(xpcmdbutton4, &SkinWidget::Click, this, &Form1::destination_click);
    connect(xpcmdbutton5, &SkinWidget::Click, this, &Form1::format_click);
    connect(xpcmdbutton6, &SkinWidget::Click, this, &Form1::conversion_click);
    connect(xpcmdbutton7, &SkinWidget::Click, this, &Form1::help_click);
    connect(xphelp1, &SkinWidget::Click, this, &Form1::help_click);
    connect(xpcmdbutton10, &SkinWidget::Click, this, &Form1::play_click);
    connect(List1, &forms::ListBox::DblClick, this, &Form1::play_click);
    connect(xpcmdbutton11, &SkinWidget::Click, this, &Form1::close_click);
    connect(xpclose, &SkinWidget::Click, this, &Form1::close_click);
    connect(xpmin, &SkinWidget::Click, this, &QWidget::showMinimized);
    connect(xp_canvas1, &skin::xp_canvas::Resize, this, &Form1::place_title_buttons);

    connect(Slider1, &forms::Slider::Change, this,
            [this] { Kelvane1.put_long("Gain", 65535 - Slider1->Value()); });
    connect(Slider2, &forms::Slider::Change, this,
            [this] { Kelvane1.put_long("Volume", 65535 - Slider2->Value()); });
    connect(Slider3, &forms::Slider::Change, this,
            [this] { Kelvane1.put_long("VolumeBalance", Slider3->Value()); });
    connect(Slider4, &forms::Slider::Scroll, this, &Form1::slider4_scroll);
    connect(Timer1, &forms::FormTimer::Timer, this, &Form1::Timer1_Timer);
    connect(Image1, &forms::ClickLabel::Click, this, &Form1::mixer_click);
    for (forms::Label* label : Label1)
        connect(label, &forms::ClickLabel::Click, this, &Form1::mixer_click);
    place_title_buttons();
}

void Form1::place_title_buttons() {
    constexpr int top = 4;
    constexpr int gap = 2;
    int x = width() - skin::xp_canvas::border_width - skin::CaptionButton::side;
    for (skin::CaptionButton* button :
         {static_cast<skin::CaptionButton*>(xpclose), static_cast<skin::CaptionButton*>(xpmin),
          static_cast<skin::CaptionButton*>(xphelp1)}) {
        button->move(x, top);
        button->raise();
        x -= skin::CaptionButton::side + gap;
    }
}

bool Form1::Load() {
    InitDevices();
    const QString& folder = m_setup.application_folder;
    refile = folder + QStringLiteral("/zarvo.wav");
    filebase = folder + QStringLiteral("/zarvo");
    pausestate = 0;
    Slider1->set_Value(65535 - Kelvane1.get_long("Gain"));
    Slider2->set_Value(65535 - Kelvane1.get_long("Volume"));
    Slider3->set_Value(Kelvane1.get_long("VolumeBalance"));
    Kelvane1.put_bool("AutoGainControl", true);
    Kelvane1.put_bool("Listen", true);
    Kelvane1.call("SetFormatLikeSample", {text_variant(m_setup.sample_file)});
    ShowFormat();
    xpcmdbutton3->set_Enabled(false);
    if (!register_hotkeys()) return false;
    oldproc = reinterpret_cast<WNDPROC>(
        SetWindowLongA(m_window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Form1::HotKeyProc)));
    return true;
}

void Form1::InitDevices() {
    const LONG input = Kelvane1.get_long("devInput");
    const LONG inputs = Kelvane1.get_long("devInputMax");
    for (LONG device = 0; device <= inputs; ++device) Kelvane1.put_long("devInput", device);
    Kelvane1.put_long("devInput", input);
    const LONG output = Kelvane1.get_long("devOutput");
    const LONG outputs = Kelvane1.get_long("devOutputMax");
    for (LONG device = 0; device <= outputs; ++device) Kelvane1.put_long("devOutput", device);
    Kelvane1.put_long("devOutput", output);
}

bool Form1::register_hotkeys() {
    for (int id = 0; id < 3; ++id) {
        hotkeyok[size_t(id)] = RegisterHotKey(m_window, id, MOD_CONTROL, hotkey_rows[id].key);
        if (!hotkeyok[size_t(id)]) message_box(QString::fromLatin1(hotkey_rows[id].refused));
    }
    if (std::none_of(hotkeyok.begin(), hotkeyok.end(), [](bool ok) { return ok; })) {
        message_box(QStringLiteral("No Hotkey could be registered ...!"));
        return false;
    }
    return true;
}

void Form1::Unload() {
    for (int id = 0; id < 3; ++id)
        if (hotkeyok[size_t(id)]) {
            UnregisterHotKey(m_window, id);
            hotkeyok[size_t(id)] = false;
        }
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closed by the desktop (not by our own buttons): the program runs on while another of its
    // windows is open.
    Unload();
    QWidget::closeEvent(event);
}

void Form1::close_click() {
    Unload();
    m_setup.services.end_program();
}

void Form1::ShowFormat() {
    StatusBar1->set_panel_text(1, Kelvane1.get_text("FormatString"));
    StatusBar1->set_panel_text(3, QString());
}

void Form1::message_box(const QString& text) {
    Kelvane1.note(QStringLiteral("box ") + text);
    m_setup.services.critical_box(text);
}

void Form1::help_click() {
    open_user_guide(m_setup.guide_file, m_setup.services.start_program);
}

void Form1::mixer_click() {
    open_recording_mixer(m_setup.services.start_program);
}

void Form1::conversion_click() {
    if (!m_conversion) m_conversion = m_setup.services.conversion_window(this);
    if (!m_conversion) return;
    m_conversion->show();
    m_conversion->raise();
    m_conversion->activateWindow();
}

// Recording.

void Form1::record_click() {
    recsecs = 1;
    xpcmdbutton1->set_Enabled(false);
    xpcmdbutton10->set_Enabled(false);
    xpcmdbutton3->set_Enabled(true);
    Kelvane1.call("Record", {text_variant(refile)});
    Timer1->set_Enabled(true);
    StatusBar1->set_panel_text(2, refile);
    ShowFormat();
}

void Form1::pause_click() {
    if (pausestate == 0) {
        Timer1->set_Enabled(false);
        Kelvane1.call("Pause");
        xpcmdbutton2->set_Caption(continue_caption);
        pausestate = 1;
    } else if (pausestate == 1) {
        Timer1->set_Enabled(true);
        Kelvane1.call("Continue");
        xpcmdbutton2->set_Caption(pause_caption);
        pausestate = 0;
    }
}

void Form1::stop_click() {
    if (!xpcmdbutton3->Enabled()) return;
    Timer1->set_Enabled(false);
    // The control's closing events (EndRecord) have been handled when this returns.
    Kelvane1.call("Stop");
    xpcmdbutton1->set_Enabled(true);
    xpcmdbutton10->set_Enabled(true);
    xpcmdbutton3->set_Enabled(false);
    const int n = List1->ListCount() + 1;
    List1->AddItem(list_entry(n, recsecs.value_or(0), refile));
    ShowFormat();
    refile = filebase + QStringLiteral("_") + signed_text(n + 1) + QStringLiteral(".wav");
    xpcmdbutton3->set_Enabled(false);
}

void Form1::destination_click() {
    CommonDialog1->set_Filter(QStringLiteral("Wave Files(*.wav)|*.wav"));
    CommonDialog1->ShowSave();
    const QString chosen = CommonDialog1->FileName();
    if (chosen.isEmpty()) return;
    refile = chosen;
    filebase = refile.left(std::max<qsizetype>(0, refile.size() - 4));
}

void Form1::format_click() {
    const LONG result = Kelvane1.call_long("SetFormatFromMenu");
    if (result == 0) ShowFormat();
}

// Playback.

void Form1::play_click() {
    if (xpcmdbutton10->Caption() != play_audio) {
        xpcmdbutton1->set_Enabled(true);
        xpcmdbutton3->set_Enabled(false);
        xpcmdbutton10->set_Caption(play_audio);
        Kelvane1.call("Stop");
        return;
    }
    const QString file = entry_file(List1->Text());
    // Nothing chosen, or an entry without a path: nothing to play, and the buttons stay as they
    // are (enabling Stop here would let it list a recording that was never made).
    if (file.isEmpty()) return;
    // While recording, the control refuses to play and says so; the recording keeps its
    // buttons, so that its Stop still lists it (a second click must not end it unlisted).
    if (xpcmdbutton3->Enabled()) {
        Kelvane1.call("Play", {text_variant(file)});
        return;
    }
    xpcmdbutton10->set_Caption(stop_playing);
    xpcmdbutton1->set_Enabled(false);
    xpcmdbutton3->set_Enabled(false);
    m_playing_file = file;
    m_play_seconds = 0;
    Kelvane1.call("Play", {text_variant(file)});
    ShowFormat();
}

void Form1::slider4_scroll() {
    const LONG blocks = Kelvane1.get_long("BlocksCount");
    const LONG value = Slider4->Value();
    const std::int64_t target = std::clamp<std::int64_t>(percent_of(value, blocks), 0, LONG_MAX);
    Kelvane1.call("Seek", {Variant::i4(LONG(target)), Variant::i2(3)});
}

// The control's events.

void Form1::on_control_event(const MemberDesc& event, std::span<const Variant> args) {
    QStringList texts;
    for (const Variant& a : args) texts << ControlCalls::text_of(a);
    Kelvane1.note(QStringLiteral("event %1(%2)")
                      .arg(QString::fromLatin1(event.name.data(), qsizetype(event.name.size())),
                           texts.join(QStringLiteral(", "))));
    // Until the widgets are bound (the control is still being created) there is nothing to move.
    if (!StatusBar1) return;
    const LONG first = args.empty() ? 0 : long_of(args[0]);
    const std::string_view name = event.name;
    if (name == "LevelRecord")
        LevelRecord(first);
    else if (name == "LevelPlay")
        LevelPlay(first);
    else if (name == "GainChange")
        GainChange();
    else if (name == "VolumeChange")
        VolumeChange();
    else if (name == "BlockRecord")
        BlockRecord(first);
    else if (name == "BlockPlay")
        BlockPlay(first);
    else if (name == "EndRecord")
        EndRecord();
    else if (name == "EndPlay")
        EndPlay();
    else if (name == "Errors" && args.size() == 2 && args[1].type() == VT_BSTR)
        Errors(string_of(args[1]));
}

void Form1::LevelRecord(LONG level) {
    ProgressBar2->set_Value(level == 0 ? meter_floor : float(level));
}

void Form1::LevelPlay(LONG level) {
    ProgressBar1->set_Value(level == 0 ? meter_floor : float(level));
}

void Form1::GainChange() {
    Slider1->set_Value(65535 - Kelvane1.get_long("Gain"));
}

void Form1::VolumeChange() {
    Slider2->set_Value(65535 - Kelvane1.get_long("Volume"));
    Slider3->set_Value(Kelvane1.get_long("VolumeBalance"));
}

void Form1::BlockRecord(LONG block) {
    // Not a position: a sweep that steps once per 1000 blocks and wraps at the slider's end.
    const LONG max = Slider4->Max();
    if (max <= 0) return;
    Slider4->set_Value(int(round_half_even(block / 1000.0) % max));
}

void Form1::BlockPlay(LONG block) {
    const LONG blocks = Kelvane1.get_long("BlocksCount");
    // A file without audio data has no position to show.
    if (blocks != 0) Slider4->set_Value(int(round_half_even(double(block) / blocks * 100)));
    const LONG ms = Kelvane1.call_long("BlockToSec", {Variant::i4(block)});
    m_play_seconds = ms / 1000.0;
    StatusBar1->set_panel_text(3, number_text(ms / 1000.0) + QStringLiteral(" sec"));
}

void Form1::reset_after_activity() {
    StatusBar1->set_panel_text(2, QString());
    if (pausestate == 1) {
        xpcmdbutton2->set_Caption(pause_caption);
        pausestate = 0;
    }
    Slider4->set_Value(0);
    ShowFormat();
}

void Form1::EndRecord() {
    reset_after_activity();
}

void Form1::EndPlay() {
    reset_after_activity();
    xpcmdbutton1->set_Enabled(true);
    xpcmdbutton3->set_Enabled(false);
    xpcmdbutton10->set_Caption(play_audio);
}

void Form1::Errors(const QString& text) {
    message_box(text);
}

void Form1::Timer1_Timer() {
    recsecs = recsecs.value_or(0) + 1;
    StatusBar1->set_panel_text(3, signed_text(*recsecs) + QStringLiteral("sec"));
}

// Hotkeys.

LRESULT Form1::HotKeyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Form1* form = instance();
    if (!form) return 0;
    if (message == WM_HOTKEY) {
        form->HotKeyCommand(BYTE(wparam));
        return 1;
    }
    return CallWindowProcA(form->oldproc, window, message, wparam, lparam);
}

void Form1::HotKeyCommand(BYTE id) {
    showNormal();
    QCoreApplication::processEvents();
    if (!isVisible()) showNormal();
    // What was drawn on the window itself is drawn afresh.
    update();
    if (id == 0)
        record_click();
    else if (id == 1)
        pause_click();
    else
        stop_click();
}

RemoteTarget::Status Form1::status() const {
    Status s;
    if (xpcmdbutton10 && xpcmdbutton10->Caption() == stop_playing) {
        s.activity = pausestate == 1 ? Activity::paused : Activity::playing;
        s.file = m_playing_file;
        s.seconds = m_play_seconds;
    } else if (xpcmdbutton3 && xpcmdbutton3->Enabled()) {
        s.activity = pausestate == 1 ? Activity::paused : Activity::recording;
        s.file = refile;
        s.seconds = double(recsecs.value_or(0));
    } else {
        s.file = refile;
    }
    return s;
}

}  // namespace quillon::recorder

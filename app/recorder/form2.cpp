#include "app/recorder/form2.h"

#include <QStringList>
#include <algorithm>

#include "app/recorder/message_box.h"
#include "app/recorder/recorder_text.h"
#include "app/recorder/widget_binder.h"
#include "app/widgets/common_dialog.h"
#include "app/widgets/plain_widgets.h"
#include "encoder/mp3enc_ids.h"
#include "skin/xp_canvas.h"
#include "skin/xpcmdbutton.h"
#include "skin/xptopbuttons.h"

namespace quillon::recorder {

namespace {

using Member = ControlCalls::Member;

// The encoder's members, by the dispatch ids it publishes.
const Member Bitrate{mp3enc::dispidBitrate, "Bitrate"};
const Member VariableBitrate{mp3enc::dispidVariableBitrate, "VariableBitrate"};
const Member CopyTags{mp3enc::dispidCopyTags, "CopyTags"};
const Member Stop{mp3enc::dispidStop, "Stop"};
const Member Start{mp3enc::dispidStart, "Start"};
const Member TotalFrames{mp3enc::dispidTotalFrames, "TotalFrames"};
const Member Speed{mp3enc::dispidSpeed, "Speed"};

const QString complete = QStringLiteral("Complete");

// The encoder reads back bits per second; the window shows kilobits.
LONG kbps_of(LONG bits_per_second) {
    return (bits_per_second + 500) / 1000;
}

// How many times faster than it plays the input was encoded: "41.7x".
QString speed_text(double times_real_time) {
    return QString::number(std::max(0.0, times_real_time), 'f', 1) + QLatin1Char('x');
}

QString code_text(HRESULT code) {
    return QStringLiteral("0x%1").arg(quint32(code), 8, 16, QLatin1Char('0'));
}

}  // namespace

Form2::Form2(Setup setup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_setup(std::move(setup)) {
    Services& services = m_setup.services;
    if (!services.exclamation_box)
        services.exclamation_box = [this](const QString& text) {
            message_box(this, MessageIcon::exclamation, text);
        };
    if (!services.critical_box)
        services.critical_box = [this](const QString& text) {
            message_box(this, MessageIcon::critical, text);
        };
}

Form2::~Form2() {
    disconnect_widgets(*this);
    // The encoder goes before the widgets its last events would reach; a conversion still
    // running is finished as a stopped one.
    m_loaded.reset();
}

bool Form2::build(QString& error) {
    m_loaded = load_window(
        m_setup.layout_file, *this, QStringLiteral("Mp3"),
        [this](const MemberDesc& event, std::span<const Variant> args) {
            on_encoder_event(event, args);
        },
        error);
    return m_loaded && bind(error);
}

bool Form2::bind(QString& error) {
    WidgetBinder b(*m_loaded);
    b.take(xp_canvas1, QStringLiteral("xp_canvas1"));
    b.take(xptopbuttons1, QStringLiteral("xptopbuttons1"));
    b.take(InputPath, QStringLiteral("InputPath"));
    b.take(OutPutPath, QStringLiteral("OutPutPath"));
    b.take(xpcmdbutton1, QStringLiteral("xpcmdbutton1"));
    b.take(xpcmdbutton2, QStringLiteral("xpcmdbutton2"));
    b.take(xpcmdbutton3, QStringLiteral("xpcmdbutton3"));
    b.take(xpcmdbutton4, QStringLiteral("xpcmdbutton4"));
    b.take(xpcmdbutton5, QStringLiteral("xpcmdbutton5"));
    for (std::size_t i = 0; i < Option.size(); ++i)
        b.take(Option[i], QStringLiteral("Option%1").arg(i + 1));
    b.take(Label1, QStringLiteral("Label1"));
    b.take(LblActFrame, QStringLiteral("LblActFrame"));
    b.take(LblTotal, QStringLiteral("LblTotal"));
    b.take(Lbl1, QStringLiteral("Lbl1"));
    b.take(CommonDialog1, QStringLiteral("CommonDialog1"));
    ControlHost* encoder = b.control(QStringLiteral("Mp3"), QStringLiteral("the MP3 encoder"));
    if (!b.complete(QStringLiteral("the conversion window"), error)) return false;
    Mp3.attach(encoder->control());
    connect_handlers();
    return true;
}

void Form2::connect_handlers() {
    using skin::SkinWidget;
    connect(xpcmdbutton1, &SkinWidget::Click, this, &Form2::input_click);
    connect(xpcmdbutton2, &SkinWidget::Click, this, &Form2::output_click);
    connect(xpcmdbutton3, &SkinWidget::Click, this, &Form2::convert_click);
    connect(xpcmdbutton4, &SkinWidget::Click, this, &Form2::stop_click);
    connect(xpcmdbutton5, &SkinWidget::Click, this, &Form2::cancel_click);
    connect(xptopbuttons1, &SkinWidget::Click, this, &Form2::cancel_click);
    for (std::size_t i = 0; i < Option.size(); ++i)
        connect(Option[i], &forms::OptionButton::Click, this, [this, i] { option_click(int(i)); });
    // The window keeps its size: the close button sits at the title bar's right end.
    xptopbuttons1->move(width() - skin::xp_canvas::border_width - skin::CaptionButton::side, 4);
    xptopbuttons1->raise();
}

void Form2::Load() {
    m_bitrate = option_bitrates[5];
    Mp3.put_long(Bitrate, m_bitrate);
    Mp3.put_bool(CopyTags, true);
    Mp3.put_bool(VariableBitrate, true);
}

QString Form2::StripPath(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void Form2::choose_file(const QString& filter, bool save, forms::TextBox* into) {
    CommonDialog1->set_Filter(filter);
    // The dialog starts from what the box holds, never from the other box's file: the input's
    // name must not come back as the output's.
    CommonDialog1->set_FileName(into->text());
    if (save)
        CommonDialog1->ShowSave();
    else
        CommonDialog1->ShowOpen();
    const QString chosen = CommonDialog1->FileName();
    if (!chosen.isEmpty()) into->setText(chosen);
}

void Form2::input_click() {
    choose_file(QStringLiteral("Wave Files(*.wav)|*.wav"), false, InputPath);
}

void Form2::output_click() {
    choose_file(QStringLiteral("MP3 Files(*.MP3)|*.MP3"), true, OutPutPath);
}

void Form2::option_click(int index) {
    m_bitrate = option_bitrates[std::size_t(index)];
    Mp3.put_long(Bitrate, m_bitrate);
}

void Form2::convert_click() {
    if (InputPath->text().isEmpty()) {
        m_setup.services.exclamation_box(QStringLiteral("Input Path Empty"));
        return;
    }
    if (OutPutPath->text().isEmpty()) {
        m_setup.services.exclamation_box(QStringLiteral("Output Path Empty"));
        return;
    }
    m_starting = true;
    m_start_failure.clear();
    const HRESULT hr =
        Mp3.call(Start, {text_variant(InputPath->text()), text_variant(OutPutPath->text())});
    m_starting = false;
    if (FAILED(hr)) {
        // Nothing runs: the labels stay as they were and the options enabled.
        m_setup.services.critical_box(
            !m_start_failure.isEmpty()
                ? m_start_failure
                : QStringLiteral("Conversion failed: the encoder refused to start (%1)")
                      .arg(code_text(hr)));
        return;
    }
    // A new conversion starts from nothing, not from the last one's end.
    LblActFrame->set_Caption(QStringLiteral("0"));
    LblTotal->set_Caption(QStringLiteral("0"));
    Lbl1->set_Caption(QString());
    for (forms::Label* label : {Label1, LblActFrame, LblTotal, Lbl1}) label->show();
    // The bitrate is kept for as long as the window stays open.
    for (forms::OptionButton* option : Option) option->setEnabled(false);
}

void Form2::stop_click() {
    Mp3.call(Stop);
}

void Form2::cancel_click() {
    Mp3.call(Stop);
    close();
}

// The encoder's events.

void Form2::on_encoder_event(const MemberDesc& event, std::span<const Variant> args) {
    QStringList texts;
    for (const Variant& a : args) texts << ControlCalls::text_of(a);
    Mp3.note(QStringLiteral("event %1(%2)")
                 .arg(QString::fromLatin1(event.name.data(), qsizetype(event.name.size())),
                      texts.join(QStringLiteral(", "))));
    // Until the widgets are bound (the encoder is still being created) there is nothing to show.
    if (!LblTotal) return;
    const LONG first = args.empty() ? 0 : long_of(args[0]);
    switch (event.dispid) {
        case mp3enc::eventidProgress:
            Progress(first);
            break;
        case mp3enc::eventidFinished:
            Finished(!args.empty() && args[0].type() == VT_BOOL && args[0].as_bool());
            break;
        case mp3enc::eventidFailed:
            Failed(first, args.size() > 1 ? string_of(args[1]) : QString());
            break;
        default:
            break;
    }
}

QString Form2::percent_text(LONG frames) const {
    const LONG total = Mp3.get_long(TotalFrames);
    // No total yet: the share done last shown stays.
    if (total <= 0) {
        const QString shown = LblTotal->Caption();
        return shown.left(shown.indexOf(QStringLiteral(" Complete: ")));
    }
    // The total is an estimate until the end: the share done never reads more than whole.
    const std::int64_t percent =
        std::clamp<std::int64_t>(round_half_even(double(frames) * 100.0 / double(total)), 0, 100);
    return QString::number(percent) + QStringLiteral(" %");
}

void Form2::Progress(LONG frames) {
    const QString name = StripPath(InputPath->text());
    LblActFrame->set_Caption(QString::number(frames));
    QString total = percent_text(frames);
    if (frames != 0) total += QStringLiteral(" Complete: ") + speed_text(Mp3.get_double(Speed));
    LblTotal->set_Caption(total);
    Lbl1->set_Caption(QStringLiteral("Encoding ") + name + QStringLiteral(" @ ") +
                      QString::number(kbps_of(Mp3.get_long(Bitrate))) + QStringLiteral(" Kbps"));
}

void Form2::Finished(bool stopped) {
    // A stopped conversion keeps what it showed last: how far it came.
    if (!stopped) LblTotal->set_Caption(complete);
}

void Form2::Failed(LONG code, const QString& description) {
    const QString text =
        QStringLiteral("Conversion failed: ") +
        (description.isEmpty() ? QStringLiteral("error %1").arg(code_text(code)) : description);
    if (m_starting)
        m_start_failure = text;
    else
        m_setup.services.critical_box(text);
}

}  // namespace quillon::recorder

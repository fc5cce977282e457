// The common widgets and the form's timer as the main window relies on them, driven through
// real input where a user would drive them.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include "app/recorder/app_folders.h"
#include "app/recorder/format_chooser.h"
#include "app/recorder/recorder_text.h"
#include "app/widgets/common_dialog.h"
#include "app/widgets/form_timer.h"
#include "app/widgets/progress_bar.h"
#include "app/widgets/slider.h"
#include "app/widgets/status_bar.h"
#include "platform/codec/format_names.h"
#include "platform/loop/message_loop.h"
#include "tests/support/temp_dir.h"

namespace quillon_test {
namespace {

using namespace quillon::forms;
using namespace quillon::recorder;

TEST(Slider, TheUsersMovesRaiseChangeAndScrollAndTheProgramsDoNot) {
    Slider slider;
    slider.set_Max(100);
    slider.resize(200, 30);
    slider.show();
    QSignalSpy change(&slider, &Slider::Change);
    QSignalSpy scroll(&slider, &Slider::Scroll);
    slider.set_Value(40);
    EXPECT_EQ(change.count() + scroll.count(), 0);
    slider.setFocus();
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.Value(), 41);
    EXPECT_EQ(change.count(), 1);
    EXPECT_EQ(scroll.count(), 1);
    // Dragging: Scroll while the thumb moves, one Change when it is let go.
    change.clear();
    scroll.clear();
    slider.setSliderDown(true);
    slider.setSliderPosition(60);
    slider.setSliderPosition(70);
    EXPECT_EQ(scroll.count(), 2);
    EXPECT_EQ(change.count(), 0);
    slider.setSliderDown(false);
    EXPECT_EQ(change.count(), 1);
    EXPECT_EQ(slider.Value(), 70);
    // Values stay within the range.
    slider.set_Value(500);
    EXPECT_EQ(slider.Value(), 100);
}

TEST(Slider, AVerticalSliderHasItsMinimumAtTheTop) {
    Slider slider;
    slider.set_Orientation(Slider::vertical);
    slider.set_Max(65536);
    slider.resize(40, 260);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    slider.setFocus();
    QTest::keyClick(&slider, Qt::Key_Home);
    EXPECT_EQ(slider.Value(), 0);
    auto handle_top = [&] {
        QStyleOptionSlider option;
        option.initFrom(&slider);
        option.orientation = slider.orientation();
        option.minimum = slider.minimum();
        option.maximum = slider.maximum();
        option.sliderPosition = slider.sliderPosition();
        option.sliderValue = slider.value();
        option.upsideDown = slider.invertedAppearance() == (slider.orientation() == Qt::Horizontal);
        return slider.style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
            .top();
    };
    const int at_min = handle_top();
    slider.set_Value(65536);
    EXPECT_GT(handle_top(), at_min + 150);
    // The up arrow moves the thumb up, towards the minimum.
    slider.set_Value(30000);
    QTest::keyClick(&slider, Qt::Key_Up);
    EXPECT_LT(slider.Value(), 30000);
    EXPECT_EQ(slider.TickStyle(), Slider::bottom_right);
}

TEST(ProgressBar, ShowsASinglePrecisionValueInItsShareOfTheRange) {
    ProgressBar bar;
    bar.set_Min(0.0001f);
    bar.set_Max(37678);
    bar.set_Value(0.0001f);
    EXPECT_EQ(bar.value(), 0);
    bar.set_Value(18839);
    EXPECT_EQ(bar.value(), ProgressBar::resolution / 2);
    bar.set_Value(37678);
    EXPECT_EQ(bar.value(), ProgressBar::resolution);
    // Levels above the range stay at its end.
    bar.set_Value(40000);
    EXPECT_EQ(bar.value(), ProgressBar::resolution);
    EXPECT_FLOAT_EQ(bar.Value(), 40000.0f);
}

TEST(StatusBar, PanelsTakeTheirTwipWidthsAndShowTheirTexts) {
    QWidget window;
    StatusBar bar(&window);
    bar.set_Panels(QStringLiteral("5293 4234 2910"));
    bar.resize(900, 22);
    ASSERT_EQ(bar.panel_count(), 3);
    const auto labels = bar.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    // 15 twips to the pixel at 96 dots per inch.
    const double per_pixel = 1440.0 / bar.logicalDpiX();
    EXPECT_EQ(labels[0]->width(), qRound(5293 / per_pixel));
    EXPECT_EQ(labels[2]->width(), qRound(2910 / per_pixel));
    bar.set_panel_text(1, QStringLiteral("PCM 8000 Hz"));
    bar.set_panel_text(4, QStringLiteral("ignored"));
    EXPECT_EQ(bar.panel_text(1), QStringLiteral("PCM 8000 Hz"));
    EXPECT_EQ(bar.panel_text(4), QString());
    // Widths that are no list of numbers leave the panels as they were.
    bar.set_Panels(QStringLiteral("10 x"));
    EXPECT_EQ(bar.Panels(), QStringLiteral("5293 4234 2910"));
}

TEST(CommonDialog, GivesQtsFiltersAndTakesAnEmptyNameForACancel) {
    CommonDialog dialog;
    dialog.set_Filter(QStringLiteral("Wave Files(*.wav)|*.wav|All|*.wav;*.mp3"));
    EXPECT_EQ(dialog.name_filters(), (QStringList{QStringLiteral("Wave Files(*.wav) (*.wav)"),
                                                  QStringLiteral("All (*.wav *.mp3)")}));
    QString previous;
    dialog.set_chooser([&](CommonDialog::Mode, const QStringList&, const QString& last) {
        previous = last;
        return QStringLiteral("/music/a.wav");
    });
    dialog.ShowOpen();
    EXPECT_EQ(dialog.FileName(), QStringLiteral("/music/a.wav"));
    dialog.set_chooser([&](CommonDialog::Mode, const QStringList&, const QString& last) {
        previous = last;
        return QString();
    });
    dialog.ShowSave();
    EXPECT_EQ(previous, QStringLiteral("/music/a.wav"));
    EXPECT_EQ(dialog.FileName(), QString());
}

TEST(FormTimer, TicksOnTheLoopsClockWhileEnabled) {
    MessageLoop::instance().set_clock(ClockKind::manual);
    FormTimer timer;
    QSignalSpy ticks(&timer, &FormTimer::Timer);
    timer.set_Interval(1000);
    MessageLoop::instance().run_for(2500);
    EXPECT_EQ(ticks.count(), 2);
    // Writing true again leaves the period running; switching off and on starts a new one.
    timer.set_Enabled(true);
    MessageLoop::instance().run_for(500);
    EXPECT_EQ(ticks.count(), 3);
    timer.set_Enabled(false);
    MessageLoop::instance().run_for(5000);
    EXPECT_EQ(ticks.count(), 3);
    timer.set_Enabled(true);
    MessageLoop::instance().run_for(999);
    EXPECT_EQ(ticks.count(), 3);
    MessageLoop::instance().run_for(1);
    EXPECT_EQ(ticks.count(), 4);
    timer.set_Interval(0);
    EXPECT_FALSE(timer.running());
    timer.set_Interval(100000);
    EXPECT_EQ(timer.Interval(), FormTimer::max_interval);
}

TEST(RecorderText, SignedTextsRoundingAndNumbers) {
    EXPECT_EQ(signed_text(0), QStringLiteral(" 0"));
    EXPECT_EQ(signed_text(12), QStringLiteral(" 12"));
    EXPECT_EQ(signed_text(-3), QStringLiteral("-3"));
    EXPECT_EQ(list_entry(1, 12, QStringLiteral("/r/zarvo.wav")),
              QStringLiteral(" 1     12sec       /r/zarvo.wav"));
    EXPECT_EQ(entry_file(QStringLiteral(" 1     12sec       /r/zarvo_ 2.wav")),
              QStringLiteral("/r/zarvo_ 2.wav"));
    EXPECT_EQ(entry_file(QStringLiteral(" 1     12sec       zarvo.wav")), QString());
    EXPECT_EQ(entry_file(QString()), QString());
    EXPECT_EQ(round_half_even(500.5), 500);
    EXPECT_EQ(round_half_even(501.5), 502);
    EXPECT_EQ(percent_of(50, 1001), 500);
    EXPECT_EQ(percent_of(50, 1003), 502);
    EXPECT_EQ(percent_of(51, 1001), 511);
    // Past 21,474,836 blocks the product leaves 32 bits; the seek target must not.
    EXPECT_EQ(percent_of(100, 21'474'837), 21'474'837);
    EXPECT_EQ(percent_of(99, 30'000'000), 29'700'000);
    EXPECT_EQ(percent_of(100, 2'147'483'647), 2'147'483'647);
    EXPECT_EQ(number_text(1.234), QStringLiteral("1.234"));
    EXPECT_EQ(number_text(2.0), QStringLiteral("2"));
    EXPECT_EQ(number_text(0.05), QStringLiteral("0.05"));
    EXPECT_EQ(number_text(1234.5), QStringLiteral("1234.5"));
}

TEST(AppFolders, RecordingsGoBesideTheProgramOrIntoTheMusicFolder) {
    quillon::test::TempDir dir;
    const QString root = QString::fromStdString(dir.path().string());
    EXPECT_EQ(recordings_folder(
                  root + QStringLiteral("/bin/"), [](const QString&) { return true; },
                  [] { return QString(); }),
              root + QStringLiteral("/bin"));
    const QString music = root + QStringLiteral("/Music/");
    const QString chosen = recordings_folder(
        root + QStringLiteral("/bin"), [](const QString&) { return false; }, [&] { return music; });
    EXPECT_EQ(chosen, root + QStringLiteral("/Music/Quillon"));
    EXPECT_TRUE(QFileInfo(chosen).isDir());
    EXPECT_TRUE(folder_writable(chosen));
    EXPECT_FALSE(folder_writable(root + QStringLiteral("/no/such/folder")));

    // Shipped files: beside the program first, else in the data folder.
    QDir().mkpath(root + QStringLiteral("/bin"));
    QDir().mkpath(root + QStringLiteral("/share/quillon"));
    EXPECT_EQ(shipped_file(root + QStringLiteral("/bin"), QStringLiteral("sample.wav")),
              root + QStringLiteral("/share/quillon/sample.wav"));
    QFile beside(root + QStringLiteral("/bin/sample.wav"));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(shipped_file(root + QStringLiteral("/bin"), QStringLiteral("sample.wav")),
              root + QStringLiteral("/bin/sample.wav"));
}

TEST(FormatChooser, OffersEveryTagAndFormatAndAnswersOkOrCancel) {
    const auto choices = quillon::codec::format_choices();
    ASSERT_FALSE(choices.empty());
    FormatChooserDialog dialog(QStringLiteral("Choose Format WAV file"), choices);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Choose Format WAV file"));
    QStringList tags;
    for (const auto& c : choices)
        if (!tags.contains(QString::fromStdString(c.tag_name)))
            tags << QString::fromStdString(c.tag_name);
    ASSERT_EQ(dialog.tags()->count(), tags.size());
    int offered = 0;
    for (int t = 0; t < dialog.tags()->count(); ++t) {
        dialog.tags()->setCurrentIndex(t);
        offered += dialog.formats()->count();
    }
    EXPECT_EQ(offered, int(choices.size()));

    // OK answers the format selected, through the hook the control's chooser calls.
    int wanted = -1;
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].name == "ima-adpcm:22050:1") wanted = int(i);
    ASSERT_GE(wanted, 0);
    FormatChooserHook hook([] { return nullptr; });
    auto answer_with = [&](QDialogButtonBox::StandardButton which) {
        QTimer::singleShot(0, [&, which] {
            auto* shown = qobject_cast<FormatChooserDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            shown->select(wanted);
            shown->findChild<QDialogButtonBox*>()->button(which)->click();
        });
        std::vector<BYTE> format(180);
        ACMFORMATCHOOSEA request{};
        request.cbStruct = sizeof request;
        request.pwfx = reinterpret_cast<WAVEFORMATEX*>(format.data());
        request.cbwfx = DWORD(format.size());
        request.pszTitle = "Choose Format WAV file";
        const MMRESULT result = acmFormatChooseA(&request);
        return std::make_pair(result, quillon::codec::format_name(*request.pwfx));
    };
    const auto ok = answer_with(QDialogButtonBox::Ok);
    EXPECT_EQ(ok.first, MMSYSERR_NOERROR);
    EXPECT_EQ(ok.second, "ima-adpcm:22050:1");
    EXPECT_NE(answer_with(QDialogButtonBox::Cancel).first, MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace quillon_test

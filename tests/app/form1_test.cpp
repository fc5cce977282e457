// The main window on the offscreen platform, the manual clock and the virtual card: whole
// sequences of what the window told the control, what the control answered, and what the
// window then showed.
#include <gtest/gtest.h>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include "platform/codec/format_names.h"
#include "platform/hotkey/hotkey.h"
#include "tests/app/form1_fixture.h"

namespace quillon_test {
namespace {

using Lines = std::vector<std::string>;

std::string quoted(const QString& text) {
    return "\"" + text.toStdString() + "\"";
}

bool is_recording(const std::string& path) {
    std::error_code error;
    return std::filesystem::file_size(path, error) > 44 && !error;
}

int count(const Lines& lines, const std::string& line) {
    return int(std::count(lines.begin(), lines.end(), line));
}

TEST_F(Form1Test, StartUpStepsThroughTheDevicesAndTakesTheSampleFormat) {
    start();
    ASSERT_TRUE(loaded);
    // With one input device the input is set to the wave mapper, the device, and back: three
    // GainChange events; the same for the output with VolumeChange.
    Lines reads_and_events;
    for (const std::string& line : trace)
        if (line.rfind("put dev", 0) == 0 || line.rfind("event ", 0) == 0)
            reads_and_events.push_back(line);
    EXPECT_EQ(reads_and_events,
              (Lines{"put devInput 0", "event GainChange()", "put devInput 1", "event GainChange()",
                     "put devInput 1", "event GainChange()", "put devOutput 0",
                     "event VolumeChange()", "put devOutput 1", "event VolumeChange()",
                     "put devOutput 1", "event VolumeChange()"}));
    EXPECT_EQ(calls(), (Lines{"put devInput 0", "put devInput 1", "put devInput 1",
                              "put devOutput 0", "put devOutput 1", "put devOutput 1",
                              "put AutoGainControl True", "put Listen True",
                              "call SetFormatLikeSample(" + quoted(shipped("sample.wav")) + ")"}));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer off | "
              "PCM 44100 Hz, 16 bit, stereo |  |  | Slider4 0 | 0 listed");
    // The sliders follow the mixer: the top of a vertical slider is the loudest.
    auto* kelvane = form().widgets().control(QStringLiteral("Kelvane1"))->control();
    Variant gain, volume, balance;
    ASSERT_EQ(dispatch_get(kelvane, "Gain", gain), S_OK);
    ASSERT_EQ(dispatch_get(kelvane, "Volume", volume), S_OK);
    ASSERT_EQ(dispatch_get(kelvane, "VolumeBalance", balance), S_OK);
    EXPECT_EQ(slider("Slider1")->Value(), 65535 - gain.as_i4());
    EXPECT_EQ(slider("Slider2")->Value(), 65535 - volume.as_i4());
    EXPECT_EQ(slider("Slider3")->Value(), balance.as_i4());
}

TEST_F(Form1Test, WithoutTheSampleOneBoxSaysSoAndTheControlsOwnFormatStays) {
    start(file("no-sample.wav"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(boxes, Lines{"File open error"});
    EXPECT_EQ(count(trace, "event Errors(-11, \"File open error\")"), 1);
    EXPECT_EQ(status_bar()->panel_text(1).toStdString(), "PCM 8000 Hz, 16 bit, mono");
}

TEST_F(Form1Test, ThreeRecordingsAreListedUnderNumberedNames) {
    start();
    forget();
    for (int take = 0; take < 3; ++take) {
        QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
        run_for(2500 + take * 1000);
        QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    }
    const QString names[] = {file("zarvo.wav"), file("zarvo_ 2.wav"), file("zarvo_ 3.wav")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(is_recording(names[i].toStdString())) << names[i].toStdString();
        EXPECT_EQ(list()->List(i),
                  QStringLiteral(" %1     %2sec       ").arg(i + 1).arg(3 + i) + names[i]);
    }
    EXPECT_EQ(form().status().file, file("zarvo_ 4.wav"));
    EXPECT_FALSE(std::filesystem::exists(file("zarvo_ 4.wav").toStdString()));
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer off | "
              "PCM 44100 Hz, 16 bit, stereo |  |  | Slider4 0 | 3 listed");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Form1Test, ARecordingTellsTheControlAndFollowsItsEvents) {
    start();
    forget();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    const Lines record = calls();
    ASSERT_GE(record.size(), 2u);
    EXPECT_EQ(record.front(), "call Record(" + quoted(file("zarvo.wav")) + ")");
    EXPECT_EQ(record.back(), "event LevelRecord(0)");
    EXPECT_EQ(state(),
              "Record- Stop+ Play- [Play Audio] [Pause Ctrl+P] timer on | "
              "PCM 44100 Hz, 16 bit, stereo | " +
                  file("zarvo.wav").toStdString() + " |  | Slider4 0 | 0 listed");
    // Five ticks after the start the counter reads 6: Record starts it at 1.
    run_for(5000);
    EXPECT_EQ(status_bar()->panel_text(3), QStringLiteral(" 6sec"));
    EXPECT_GT(widget<quillon::forms::ProgressBar>("ProgressBar2")->Value(), 1000.0f);
    // 44100 blocks a second, in buffers of 2000 ms: the sweep stands at 176400 / 1000 % 100.
    EXPECT_EQ(slider("Slider4")->Value(), 76);
    forget();
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    const Lines stop = calls();
    // Five seconds at 44100 blocks a second, the partial buffer included.
    EXPECT_EQ(stop, (Lines{"call Stop()", "event BlockRecord(220500)", "event LevelRecord(0)",
                           "event EndRecord()"}));
}

TEST_F(Form1Test, AChosenNameIsRecordedAsTypedAndLosesFourCharactersForTheNextOne) {
    start();
    auto* dialog = widget<quillon::forms::CommonDialog>("CommonDialog1");
    std::vector<QString> answers = {file("talk"), QString()};
    QStringList filters;
    dialog->set_chooser(
        [&](quillon::forms::CommonDialog::Mode mode, const QStringList& f, const QString&) {
            EXPECT_EQ(mode, quillon::forms::CommonDialog::Mode::save);
            filters = f;
            const QString answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        });
    for (int take = 0; take < 2; ++take) {
        QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
        run_for(1000);
        QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    }
    QTest::mouseClick(button("xpcmdbutton4"), Qt::LeftButton);
    EXPECT_EQ(filters, QStringList{QStringLiteral("Wave Files(*.wav) (*.wav)")});
    EXPECT_EQ(form().status().file, file("talk"));
    // The control takes the kind of file from the extension: without one it has none to write,
    // says so, and the window lists the name all the same.
    forget();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    EXPECT_EQ(calls().front(), "call Record(" + quoted(file("talk")) + ")");
    EXPECT_EQ(boxes, Lines{"File open error"});
    run_for(1000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(file("talk").toStdString()));
    EXPECT_EQ(list()->List(2), QStringLiteral(" 3     2sec       ") + file("talk"));
    // "talk" less four characters leaves the folder and its separator.
    EXPECT_EQ(form().status().file, folder() + QStringLiteral("/_ 4.wav"));
    // A cancelled dialog changes nothing.
    QTest::mouseClick(button("xpcmdbutton4"), Qt::LeftButton);
    EXPECT_EQ(form().status().file, folder() + QStringLiteral("/_ 4.wav"));
}

TEST_F(Form1Test, StopWhilePausedListsTheSecondsOfThePauseAndResetsTheCaption) {
    start();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    run_for(2500);
    forget();
    QTest::mouseClick(button("xpcmdbutton2"), Qt::LeftButton);
    // 2.5 s at 44100 blocks a second, the partial buffer included.
    EXPECT_EQ(calls(),
              (Lines{"call Pause()", "event BlockRecord(110250)", "event LevelRecord(0)"}));
    EXPECT_EQ(state(),
              "Record- Stop+ Play- [Play Audio] [Continue Ctrl+P] timer off | "
              "PCM 44100 Hz, 16 bit, stereo | " +
                  file("zarvo.wav").toStdString() + " |  3sec | Slider4 10 | 0 listed");
    EXPECT_EQ(form().status().activity, RemoteTarget::Activity::paused);
    run_for(3000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    EXPECT_EQ(list()->List(0), QStringLiteral(" 1     3sec       ") + file("zarvo.wav"));
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer off | "
              "PCM 44100 Hz, 16 bit, stereo |  |  | Slider4 0 | 1 listed");
}

TEST_F(Form1Test, PauseAndContinueWhileIdleOnlyRunTheCounter) {
    start();
    forget();
    QTest::mouseClick(button("xpcmdbutton2"), Qt::LeftButton);
    QTest::mouseClick(button("xpcmdbutton2"), Qt::LeftButton);
    // The control has nothing to pause: no event.
    EXPECT_EQ(calls(), (Lines{"call Pause()", "call Continue()"}));
    run_for(3000);
    // The counter was never set: it counts from 0.
    EXPECT_EQ(status_bar()->panel_text(3), QStringLiteral(" 3sec"));
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer on | "
              "PCM 44100 Hz, 16 bit, stereo |  |  3sec | Slider4 0 | 0 listed");
    // Pause while idle, then Record: the next click continues the running recording.
    QTest::mouseClick(button("xpcmdbutton2"), Qt::LeftButton);
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    EXPECT_EQ(button("xpcmdbutton2")->Caption(), QStringLiteral("Continue Ctrl+P"));
    forget();
    QTest::mouseClick(button("xpcmdbutton2"), Qt::LeftButton);
    EXPECT_EQ(calls().front(), "call Continue()");
    EXPECT_EQ(button("xpcmdbutton2")->Caption(), QStringLiteral("Pause Ctrl+P"));
}

TEST_F(Form1Test, PlayWithoutASelectionChangesNothing) {
    start();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    run_for(1000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    list()->set_ListIndex(-1);
    const std::string before = state();
    forget();
    QTest::mouseClick(button("xpcmdbutton10"), Qt::LeftButton);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(calls().empty());
    // An entry whose path has no "/" plays nothing either.
    list()->AddItem(QStringLiteral(" 2     1sec       zarvo.wav"));
    list()->set_ListIndex(1);
    QTest::mouseClick(button("xpcmdbutton10"), Qt::LeftButton);
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer off | "
              "PCM 44100 Hz, 16 bit, stereo |  |  | Slider4 0 | 2 listed");
    EXPECT_TRUE(calls().empty());
    // Ctrl+S then still finds Stop disabled: no entry for a recording that was never made.
    QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
    run_for(0);
    EXPECT_EQ(list()->ListCount(), 2);
}

TEST_F(Form1Test, ADoubleClickDuringARecordingIsRefusedAndLeavesTheRecordingAlone) {
    start();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    run_for(1000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    run_for(1000);
    list()->set_ListIndex(0);
    const std::string recording = state();
    forget();
    for (int click = 0; click < 2; ++click) {
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {},
                           list()->visualItemRect(list()->item(0)).center());
        EXPECT_EQ(calls(), (Lines{"call Play(" + quoted(file("zarvo.wav")) + ")",
                                  "event Errors(-15, \"Record error\")", "box Record error"}));
        EXPECT_EQ(state(), recording);
    }
    EXPECT_EQ(boxes, (Lines{"Record error", "Record error"}));
    // The recording goes on and its Stop lists it.
    run_for(1000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    EXPECT_EQ(list()->List(1), QStringLiteral(" 2     3sec       ") + file("zarvo_ 2.wav"));
    EXPECT_EQ(form().status().file, file("zarvo_ 3.wav"));
}

TEST_F(Form1Test, PlaybackFollowsThePositionAndEndsInTheIdleState) {
    start();
    write_wav(file("ramp.wav").toStdString(), 16000);
    list()->AddItem(QStringLiteral(" 1     2sec       ") + file("ramp.wav"));
    list()->set_ListIndex(0);
    forget();
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {},
                       list()->visualItemRect(list()->item(0)).center());
    const Lines play = calls();
    ASSERT_GE(play.size(), 2u);
    EXPECT_EQ(play[0], "call Play(" + quoted(file("ramp.wav")) + ")");
    EXPECT_EQ(play[1], "event BlockPlay(0)");
    EXPECT_EQ(state(),
              "Record- Stop- Play+ [Stop Playing] [Pause Ctrl+P] timer off | "
              "PCM 8000 Hz, 16 bit, mono |  |  | Slider4 0 | 1 listed");
    EXPECT_EQ(form().status().activity, RemoteTarget::Activity::playing);
    run_for(1000);
    // The position in percent, and the time as the platform writes a number.
    const int percent = slider("Slider4")->Value();
    EXPECT_GT(percent, 30);
    EXPECT_LT(percent, 70);
    const QString time = status_bar()->panel_text(3);
    EXPECT_TRUE(time.endsWith(QStringLiteral(" sec"))) << time.toStdString();
    EXPECT_EQ(time,
              quillon::recorder::number_text(form().status().seconds) + QStringLiteral(" sec"));
    // To the end of the file: the control stops by itself and the window is idle again.
    forget();
    run_for(3000);
    const Lines end = calls();
    ASSERT_GE(end.size(), 2u);
    EXPECT_EQ(end[end.size() - 2], "event LevelPlay(0)");
    EXPECT_EQ(end.back(), "event EndPlay()");
    EXPECT_EQ(state(),
              "Record+ Stop- Play+ [Play Audio] [Pause Ctrl+P] timer off | "
              "PCM 8000 Hz, 16 bit, mono |  |  | Slider4 0 | 1 listed");
}

TEST_F(Form1Test, TheSliderSeeksToItsShareOfTheBlocksRoundingHalvesToEven) {
    start();
    write_wav(file("short.wav").toStdString(), 1001);
    list()->AddItem(QStringLiteral(" 1     1sec       ") + file("short.wav"));
    list()->set_ListIndex(0);
    QTest::mouseClick(button("xpcmdbutton10"), Qt::LeftButton);
    forget();
    auto* position = slider("Slider4");
    position->setFocus();
    for (int step = 0; step < 5; ++step) QTest::keyClick(position, Qt::Key_PageUp);
    EXPECT_EQ(position->Value(), 50);
    EXPECT_EQ(calls(), (Lines{"call Seek(100, 3)", "call Seek(200, 3)", "call Seek(300, 3)",
                              "call Seek(400, 3)", "call Seek(500, 3)"}));
    // The second click stops the playback.
    forget();
    QTest::mouseClick(button("xpcmdbutton10"), Qt::LeftButton);
    EXPECT_EQ(calls(), (Lines{"call Stop()", "event LevelPlay(0)", "event EndPlay()"}));
}

TEST_F(Form1Test, TheSlidersWriteTheUsersMovesBackToTheControl) {
    start();
    forget();
    auto* gain = slider("Slider1");
    gain->setFocus();
    const int before = gain->Value();
    QTest::keyClick(gain, Qt::Key_Down);
    EXPECT_EQ(calls(), (Lines{"put Gain " + std::to_string(65535 - (before + 1))}));
    auto* balance = slider("Slider3");
    balance->setFocus();
    QTest::keyClick(balance, Qt::Key_End);
    EXPECT_EQ(calls(), (Lines{"put VolumeBalance 100"}));
    // The mixer's tick brings the control's values back onto the sliders, and that is no move
    // of the user's.
    run_for(1000);
    EXPECT_TRUE(calls().empty());
}

TEST_F(Form1Test, EachErrorOfTheControlIsShownOnce) {
    start();
    // A recording into a folder that does not exist: the control cannot create the file.
    auto* dialog = widget<quillon::forms::CommonDialog>("CommonDialog1");
    dialog->set_chooser(
        [this](auto, const QStringList&, const QString&) { return file("missing/take.wav"); });
    QTest::mouseClick(button("xpcmdbutton4"), Qt::LeftButton);
    forget();
    QTest::mouseClick(button("xpcmdbutton1"), Qt::LeftButton);
    EXPECT_EQ(boxes, Lines{"File open error"});
    // The window keeps its recording state until Stop, which lists the file as usual.
    EXPECT_EQ(state(),
              "Record- Stop+ Play- [Play Audio] [Pause Ctrl+P] timer on | "
              "PCM 44100 Hz, 16 bit, stereo | " +
                  file("missing/take.wav").toStdString() + " |  | Slider4 0 | 0 listed");
    run_for(1000);
    QTest::mouseClick(button("xpcmdbutton3"), Qt::LeftButton);
    EXPECT_EQ(list()->ListCount(), 1);
    EXPECT_EQ(boxes, Lines{"File open error"});
}

TEST_F(Form1Test, TheFormatChooserAnswerIsShownAndACancelChangesNothing) {
    start();
    std::optional<std::string> answer = "pcm:22050:1:16";
    std::string title;
    const auto previous = acm_set_format_chooser(
        [&](const ACMFORMATCHOOSEA& request, std::span<const AcmFormatChoice> choices) {
            title = request.pszTitle;
            for (std::size_t i = 0; answer && i < choices.size(); ++i)
                if (choices[i].name == *answer) return int(i);
            return -1;
        });
    QTest::mouseClick(button("xpcmdbutton5"), Qt::LeftButton);
    EXPECT_EQ(title, "Choose Format WAV file");
    EXPECT_EQ(status_bar()->panel_text(1).toStdString(), "PCM 22050 Hz, 16 bit, mono");
    answer.reset();
    forget();
    QTest::mouseClick(button("xpcmdbutton5"), Qt::LeftButton);
    EXPECT_EQ(calls(), (Lines{"call SetFormatFromMenu()"}));
    EXPECT_EQ(status_bar()->panel_text(1).toStdString(), "PCM 22050 Hz, 16 bit, mono");
    acm_set_format_chooser(previous);
}

TEST_F(Form1Test, HotkeysRunTheButtonsHandlersAndStopKeepsItsGuard) {
    start();
    forget();
    // Ctrl+S while idle: Stop is disabled, nothing happens.
    QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
    run_for(0);
    EXPECT_TRUE(calls().empty());
    // Ctrl+P while idle toggles the caption and the counter as a click does.
    QTest::keyClick(&form(), Qt::Key_P, Qt::ControlModifier);
    run_for(0);
    EXPECT_EQ(calls(), Lines{"call Pause()"});
    EXPECT_EQ(button("xpcmdbutton2")->Caption(), QStringLiteral("Continue Ctrl+P"));
    QTest::keyClick(&form(), Qt::Key_P, Qt::ControlModifier);
    run_for(0);
    // Minimised, Ctrl+R restores the window and records; Ctrl+S stops.
    form().show();
    form().showMinimized();
    forget();
    PostMessageA(form().platform_window(), WM_HOTKEY, 0, 0);
    run_for(0);
    EXPECT_FALSE(form().isMinimized());
    EXPECT_TRUE(form().isVisible());
    EXPECT_EQ(calls().front(), "call Record(" + quoted(file("zarvo.wav")) + ")");
    // Ctrl+R during the recording: the control refuses, the counter starts again.
    run_for(3000);
    QTest::keyClick(&form(), Qt::Key_R, Qt::ControlModifier);
    run_for(0);
    EXPECT_EQ(boxes, Lines{"Record error"});
    EXPECT_EQ(status_bar()->panel_text(3), QString());
    run_for(1000);
    EXPECT_EQ(status_bar()->panel_text(3), QStringLiteral(" 2sec"));
    QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
    run_for(0);
    EXPECT_EQ(list()->List(0), QStringLiteral(" 1     2sec       ") + file("zarvo.wav"));
    // Other messages go to the window's previous procedure.
    EXPECT_EQ(SendMessageA(form().platform_window(), WM_HOTKEY, 7, 0), 1);
    EXPECT_EQ(SendMessageA(form().platform_window(), 0x0400, 0, 0), 0);
}

TEST_F(Form1Test, ACombinationTakenAlreadyIsToldAndTheOthersStillWork) {
    HWND other = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ASSERT_TRUE(RegisterHotKey(other, 1, MOD_CONTROL, 'P'));
    start();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(boxes, Lines{"Can not register the hotkeys CTRL+P ...this key is already registered "
                           "by some other running applications."});
    // Closing the window gives back Ctrl+R and Ctrl+S only.
    form().close();
    EXPECT_TRUE(RegisterHotKey(other, 0, MOD_CONTROL, 'R'));
    EXPECT_TRUE(RegisterHotKey(other, 2, MOD_CONTROL, 'S'));
    EXPECT_EQ(ended, 0) << "a close by the desktop runs Unload only";
    for (int id = 0; id < 3; ++id) UnregisterHotKey(other, id);
    DestroyWindow(other);
}

TEST_F(Form1Test, WithEveryCombinationTakenTheFourMessagesComeAndTheLoadEnds) {
    HWND other = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    for (int id = 0; id < 3; ++id) ASSERT_TRUE(RegisterHotKey(other, id, MOD_CONTROL, "RPS"[id]));
    start();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(boxes,
              (Lines{"Can not register the hotkeys CTRL+R ...this key is already registered by "
                     "some other running applications.",
                     "Can not register the hotkeys CTRL+P ...this key is already registered by "
                     "some other running applications.",
                     "Can not register the hotkeys CTRL+S ... this key is already registered by "
                     "some other running applications.",
                     "No Hotkey could be registered ...!"}));
    EXPECT_FALSE(form().isVisible());
    for (int id = 0; id < 3; ++id) UnregisterHotKey(other, id);
    DestroyWindow(other);
}

TEST_F(Form1Test, TheWindowsOtherButtonsAskTheDesktop) {
    start();
    QTest::mouseClick(button("xpcmdbutton7"), Qt::LeftButton);
    EXPECT_EQ(started, Lines{"xdg-open /guide/index.html"});
    // The mixers are tried in turn until one starts.
    started.clear();
    started_ok = false;
    QTest::mouseClick(widget<quillon::forms::Image>("Image1"), Qt::LeftButton);
    ASSERT_GE(started.size(), 3u);
    EXPECT_EQ(started[0], "pavucontrol --tab=4");
    EXPECT_EQ(started.back(), "x-terminal-emulator -e alsamixer --view=capture");
    started.clear();
    started_ok = true;
    QTest::mouseClick(widget<quillon::forms::Label>("Label1", 1), Qt::LeftButton);
    EXPECT_EQ(started, Lines{"pavucontrol --tab=4"});
    // Wav to Mp3 asks for the conversion window each time none is open, and shows it.
    QWidget conversion;
    conversion_factory = [&](QWidget*) { return &conversion; };
    QTest::mouseClick(button("xpcmdbutton6"), Qt::LeftButton);
    QTest::mouseClick(button("xpcmdbutton6"), Qt::LeftButton);
    EXPECT_EQ(conversion_windows, 1);
    EXPECT_TRUE(conversion.isVisible());
    // Close ends the program after giving the hotkeys back.
    QTest::mouseClick(button("xpcmdbutton11"), Qt::LeftButton);
    EXPECT_EQ(ended, 1);
    HWND other = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    EXPECT_TRUE(RegisterHotKey(other, 0, MOD_CONTROL, 'R'));
    UnregisterHotKey(other, 0);
    DestroyWindow(other);
}

}  // namespace
}  // namespace quillon_test

// The conversion window on the offscreen platform with the real encoder component: what the
// window told the encoder, what the encoder answered, and what the window then showed. The
// encoder converts on a thread of its own, so these cases run the loop on the real clock and
// wait for its events, never for a time.
#include <gtest/gtest.h>
#include <QPointer>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

#include "app/recorder/conversion_window.h"
#include "encoder/mp3enc_ids.h"
#include "skin/xptopbuttons.h"
#include "tests/app/form1_fixture.h"
#include "tests/support/mp3_layout.h"
#include "tests/support/process.h"

namespace quillon_test {
namespace {

using quillon::forms::Label;
using quillon::forms::OptionButton;
using quillon::forms::TextBox;
using quillon::recorder::Form2;
using Lines = std::vector<std::string>;

// One second of the ramp at 44.1 kHz: 38 MP3 frames.
constexpr std::uint32_t second = 44100;

bool have(const char* tool) {
    return run_command(std::string("command -v ") + tool).status == 0;
}

// How long players say an MP3 file lasts, in seconds: ffprobe from the file's headers, mpg123 by
// decoding it all; -1 when the tool is missing, 0 when it cannot read the file.
double ffprobe_seconds(const QString& file) {
    if (!have("ffprobe")) return -1;
    const auto probe = run_command("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                   file.toStdString() + "'");
    return probe.status == 0 ? std::atof(probe.output.c_str()) : 0;
}
double mpg123_seconds(const QString& file, int rate) {
    if (!have("mpg123")) return -1;
    const auto bytes =
        run_command("(mpg123 -q -s '" + file.toStdString() + "' 2>/dev/null | wc -c)");
    return std::atof(bytes.output.c_str()) / 2 / rate;
}

std::vector<unsigned char> bytes_of(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Turns the loop until `done`, bounded so that an event that never comes fails the case.
template <class Done>
bool run_until(Done done) {
    for (int i = 0; i < 1500 && !done(); ++i) {
        MessageLoop::instance().run_for(20);
        QCoreApplication::processEvents();
    }
    return done();
}

// What the window needs of its world, kept instead of shown: the boxes and the file dialog.
struct Seams {
    Lines boxes;  // "! text" exclamation, "X text" critical
    Lines trace;
    Form2::Setup setup() {
        Form2::Setup s;
        s.layout_file = shipped("Form2.layout");
        s.services.exclamation_box = [this](const QString& t) {
            boxes.push_back("! " + t.toStdString());
        };
        s.services.critical_box = [this](const QString& t) {
            boxes.push_back("X " + t.toStdString());
        };
        return s;
    }
    // The encoder's calls and events since the last look, without the reads.
    Lines calls() {
        Lines kept;
        for (const std::string& line : trace)
            if (line.rfind("get ", 0) != 0) kept.push_back(line);
        trace.clear();
        return kept;
    }
    std::size_t starts_with(const std::string& head) const {
        return std::size_t(std::count_if(trace.begin(), trace.end(), [&](const std::string& line) {
            return line.rfind(head, 0) == 0;
        }));
    }
    std::size_t count(const std::string& line) const {
        return std::size_t(std::count(trace.begin(), trace.end(), line));
    }
};

// Looks at one conversion window by its widgets' names.
class Window {
  public:
    Window(Form2& form, Seams& seams) : m_form(form), m_seams(seams) {
        form.set_trace(
            [&seams](const QString& line) { seams.trace.push_back(line.toStdString()); });
    }
    template <typename T>
    T* widget(const QString& name) const {
        T* w = m_form.widgets().find<T>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    void click(const char* button) {
        QTest::mouseClick(widget<QWidget>(QLatin1String(button)), Qt::LeftButton);
    }
    void paths(const QString& input, const QString& output) {
        widget<TextBox>(QStringLiteral("InputPath"))->setText(input);
        widget<TextBox>(QStringLiteral("OutPutPath"))->setText(output);
    }
    QString label(const char* name) const { return widget<Label>(QLatin1String(name))->text(); }
    bool labels_shown() const {
        for (const char* name : {"Label1", "LblActFrame", "LblTotal", "Lbl1"})
            if (widget<Label>(QLatin1String(name))->isHidden()) return false;
        return true;
    }
    OptionButton* option(int n) const {
        return widget<OptionButton>(QStringLiteral("Option%1").arg(n));
    }
    // "+" for each enabled option, "-" for a greyed one; "*" marks the selected one.
    std::string options() const {
        std::string marks;
        for (int n = 1; n <= 7; ++n)
            marks += std::string(option(n)->isEnabled() ? "+" : "-") +
                     (option(n)->isChecked() ? "*" : "");
        return marks;
    }
    LONG encoder_long(DISPID id) const {
        Variant v;
        EXPECT_EQ(dispatch_get(m_form.widgets().control(QStringLiteral("Mp3"))->control(), id, v),
                  S_OK);
        return v.as_i4();
    }
    bool ended() const {
        return m_seams.starts_with("event Finished(") + m_seams.starts_with("event Failed(") > 0;
    }
    bool convert_to_end() {
        click("xpcmdbutton3");
        return run_until([this] { return ended(); });
    }

  private:
    Form2& m_form;
    Seams& m_seams;
};

class Form2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageLoop::instance().set_clock(ClockKind::real);
        m_form = std::make_unique<Form2>(seams.setup());
        QString error;
        ASSERT_TRUE(m_form->build(error)) << error.toStdString();
        w.emplace(*m_form, seams);
        m_form->Load();
        m_form->show();
    }
    void TearDown() override {
        w.reset();
        m_form.reset();
        MessageLoop::instance().set_clock(ClockKind::manual);
    }
    Form2& form() { return *m_form; }
    QString file(const char* name) const {
        return QString::fromStdString((m_dir.path() / name).string());
    }
    QString wav(const char* name, std::uint32_t blocks) const {
        write_wav(file(name).toStdString(), blocks, second);
        return file(name);
    }

    Seams seams;
    std::optional<Window> w;

  private:
    quillon::test::TempDir m_dir;
    std::unique_ptr<Form2> m_form;
};

TEST_F(Form2Test, LoadSetsTheEncoderAndEachOptionWritesItsBitrate) {
    EXPECT_EQ(seams.calls(),
              (Lines{"put Bitrate 128000", "put CopyTags True", "put VariableBitrate True"}));
    EXPECT_EQ(w->options(), "++++++*+");
    EXPECT_EQ(w->encoder_long(mp3enc::dispidBitrate), 128000);
    EXPECT_FALSE(w->labels_shown());
    for (int n = 1; n <= 7; ++n) {
        QTest::mouseClick(w->option(n), Qt::LeftButton, {}, QPoint(6, 10));
        const LONG expected = Form2::option_bitrates[std::size_t(n - 1)];
        EXPECT_TRUE(w->option(n)->isChecked()) << n;
        EXPECT_EQ(form().bitrate(), expected);
        EXPECT_EQ(w->encoder_long(mp3enc::dispidBitrate), expected) << n;
    }
    EXPECT_EQ(w->option(7)->text(), "256 Kbps");
}

TEST_F(Form2Test, ConvertChecksTheInputFirstThenTheOutput) {
    w->click("xpcmdbutton3");
    EXPECT_EQ(seams.boxes, Lines{"! Input Path Empty"});
    seams.boxes.clear();
    w->paths(file("in.wav"), QString());
    w->click("xpcmdbutton3");
    EXPECT_EQ(seams.boxes, Lines{"! Output Path Empty"});
    // Neither reached the encoder, and the window is as it was.
    EXPECT_EQ(seams.starts_with("call Start("), 0u);
    EXPECT_FALSE(w->labels_shown());
    EXPECT_EQ(w->options(), "++++++*+");
}

TEST_F(Form2Test, BrowseFillsTheBoxesAndACancelKeepsWhatTheyHold) {
    using Mode = quillon::forms::CommonDialog::Mode;
    auto* dialog = w->widget<quillon::forms::CommonDialog>(QStringLiteral("CommonDialog1"));
    Lines asked;
    QString answer;
    dialog->set_chooser([&](Mode mode, const QStringList& filters, const QString& previous) {
        asked.push_back(std::string(mode == Mode::open ? "open " : "save ") +
                        filters.join(QLatin1Char(';')).toStdString() + " [" +
                        previous.toStdString() + "]");
        return answer;
    });
    answer = QStringLiteral("/music/take.wav");
    w->click("xpcmdbutton1");
    answer = QString();  // the user cancels the output chooser
    w->click("xpcmdbutton2");
    answer = QStringLiteral("/music/take");
    w->click("xpcmdbutton2");
    answer = QString();
    w->click("xpcmdbutton2");
    EXPECT_EQ(asked, (Lines{"open Wave Files(*.wav) (*.wav) []", "save MP3 Files(*.MP3) (*.MP3) []",
                            "save MP3 Files(*.MP3) (*.MP3) []",
                            "save MP3 Files(*.MP3) (*.MP3) [/music/take]"}));
    // The input's path never lands in the output box; no extension is added.
    EXPECT_EQ(w->widget<TextBox>(QStringLiteral("InputPath"))->text(), "/music/take.wav");
    EXPECT_EQ(w->widget<TextBox>(QStringLiteral("OutPutPath"))->text(), "/music/take");
}

TEST_F(Form2Test, AConversionShowsItsProgressAndEndsComplete) {
    const QString in = wav("take.wav", 4 * second);
    const QString out = file("take.mp3");
    w->paths(in, out);
    QTest::mouseClick(w->option(1), Qt::LeftButton, {}, QPoint(6, 10));
    seams.calls();
    ASSERT_TRUE(w->convert_to_end());
    EXPECT_TRUE(seams.boxes.empty()) << seams.boxes.front();
    const Lines calls = seams.calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(),
              "call Start(\"" + in.toStdString() + "\", \"" + out.toStdString() + "\")");
    EXPECT_EQ(calls.back(), "event Finished(False)");
    const LONG total = w->encoder_long(mp3enc::dispidTotalFrames);
    EXPECT_EQ(calls[calls.size() - 2], "event Progress(" + std::to_string(total) + ")");
    EXPECT_TRUE(w->labels_shown());
    EXPECT_EQ(w->label("Label1"), "Frames:");
    EXPECT_EQ(w->label("LblActFrame").toStdString(), std::to_string(total));
    EXPECT_EQ(w->label("LblTotal"), "Complete");
    // The encoder reads back bits per second; the window shows kilobits.
    EXPECT_EQ(w->label("Lbl1"), "Encoding take.wav @ 32 Kbps");
    EXPECT_EQ(w->options(), "-*------");

    // The file is whole, and players read all of it.
    const Mp3Layout layout = mp3_layout(bytes_of(out));
    EXPECT_TRUE(layout.whole);
    EXPECT_EQ(layout.audio_frames, std::size_t(total));
    for (const double seconds : {ffprobe_seconds(out), mpg123_seconds(out, layout.rate)})
        if (seconds >= 0) {
            EXPECT_NEAR(seconds, 4.0, 0.06);
        }

    // Half the total: the share, then the speed of this conversion.
    const LONG half = total / 2;
    form().Progress(half);
    EXPECT_EQ(w->label("LblActFrame").toStdString(), std::to_string(half));
    const std::string text = w->label("LblTotal").toStdString();
    std::smatch figure;
    ASSERT_TRUE(std::regex_match(text, figure, std::regex(R"(50 % Complete: (\d+\.\d)x)"))) << text;
    EXPECT_GT(std::stod(figure[1]), 0.0);
    // Past the total (an estimate while converting), even where f x 100 leaves 32 bits: whole.
    form().Progress(0x7FFFFFFF);
    EXPECT_EQ(w->label("LblTotal").left(16), "100 % Complete: ");

    // Convert again: the same bitrate, the options still greyed.
    ASSERT_TRUE(std::filesystem::remove(out.toStdString()));
    seams.trace.clear();
    ASSERT_TRUE(w->convert_to_end());
    EXPECT_EQ(seams.calls().back(), "event Finished(False)");
    EXPECT_EQ(w->label("Lbl1"), "Encoding take.wav @ 32 Kbps");
    EXPECT_EQ(w->options(), "-*------");
}

TEST_F(Form2Test, ProgressWithoutATotalKeepsTheShareAndNeverRepeatsTheSpeed) {
    // No conversion has run: the encoder's total is 0.
    form().Progress(0);
    EXPECT_EQ(w->label("LblTotal"), "0");
    form().Progress(12);
    form().Progress(30);
    const std::string text = w->label("LblTotal").toStdString();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(0 Complete: \d+\.\dx)"))) << text;
    EXPECT_EQ(w->label("LblActFrame"), "30");
    EXPECT_EQ(w->label("Lbl1"), "Encoding  @ 128 Kbps");
}

TEST_F(Form2Test, StopLeavesAShorterWholeFileAndTheWindowOpen) {
    const QString out = file("long.mp3");
    w->paths(wav("long.wav", 120 * second), out);
    w->click("xpcmdbutton3");
    // Some audio is in before the user reaches Stop; Stop returns once the file is finished.
    ASSERT_TRUE(run_until([this] { return seams.starts_with("event Progress(") > 0; }));
    w->click("xpcmdbutton4");
    ASSERT_TRUE(run_until([this] { return w->ended(); }));
    EXPECT_EQ(seams.count("event Finished(True)"), 1u);
    EXPECT_TRUE(seams.boxes.empty());
    EXPECT_NE(w->label("LblTotal"), "Complete");
    EXPECT_TRUE(form().isVisible());
    const Mp3Layout layout = mp3_layout(bytes_of(out));
    EXPECT_TRUE(layout.whole);
    EXPECT_GT(layout.audio_frames, 0u);
    EXPECT_LT(layout.audio_frames, 120u * 38);
    EXPECT_EQ(layout.info_frames, layout.audio_frames);
    for (const double seconds : {ffprobe_seconds(out), mpg123_seconds(out, layout.rate)}) {
        if (seconds < 0) continue;
        EXPECT_GT(seconds, 0.0);
        EXPECT_LT(seconds, 120.0);
    }
}

TEST_F(Form2Test, AConversionThatCannotStartSaysWhyAndChangesNothing) {
    const QString in = wav("take.wav", second / 2);
    // A missing input.
    w->paths(file("missing.wav"), file("out.mp3"));
    w->click("xpcmdbutton3");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0].rfind("X Conversion failed: " + file("missing.wav").toStdString(), 0),
              0u)
        << seams.boxes[0];
    // The output is the input itself: refused, and the input stays as it was.
    const auto before = bytes_of(in);
    w->paths(in, in);
    w->click("xpcmdbutton3");
    ASSERT_EQ(seams.boxes.size(), 2u);
    EXPECT_NE(seams.boxes[1].find("is the input file itself"), std::string::npos) << seams.boxes[1];
    EXPECT_EQ(bytes_of(in), before);
    EXPECT_FALSE(w->labels_shown());
    EXPECT_EQ(w->options(), "++++++*+");
    EXPECT_FALSE(std::filesystem::exists(file("out.mp3").toStdString()));
}

TEST_F(Form2Test, ConvertWhileConvertingIsRefusedAndTheFirstGoesOn) {
    w->paths(wav("take.wav", 20 * second), file("take.mp3"));
    w->click("xpcmdbutton3");
    w->click("xpcmdbutton3");
    ASSERT_EQ(seams.boxes.size(), 1u);
    EXPECT_EQ(seams.boxes[0], "X Conversion failed: a conversion is already running");
    ASSERT_TRUE(run_until([this] { return seams.count("event Finished(False)") > 0; }));
    EXPECT_EQ(w->label("LblTotal"), "Complete");
}

TEST_F(Form2Test, TheTitleBarButtonStopsAndClosesTheWindow) {
    const QString out = file("long.mp3");
    w->paths(wav("long.wav", 60 * second), out);
    w->click("xpcmdbutton3");
    seams.calls();
    w->click("xptopbuttons1");
    EXPECT_EQ(seams.calls().front(), "call Stop()");
    EXPECT_FALSE(form().isVisible());
    ASSERT_TRUE(run_until([this] { return w->ended(); }));
    EXPECT_TRUE(mp3_layout(bytes_of(out)).whole);
}

// Through the main window: the button opens a window of its own, Cancel closes it for good, and
// the next click brings a fresh one.
TEST_F(Form1Test, WavToMp3OpensAFreshConversionWindowEachTimeAfterCancel) {
    Seams seams;
    QPointer<Form2> opened;
    conversion_factory = [&](QWidget* main) -> QWidget* {
        opened = quillon::recorder::open_conversion_window(main, seams.setup());
        return opened;
    };
    start();
    MessageLoop::instance().set_clock(ClockKind::real);
    QTest::mouseClick(button("xpcmdbutton6"), Qt::LeftButton);
    ASSERT_TRUE(opened);
    Window first(*opened, seams);
    EXPECT_TRUE(opened->isVisible());
    EXPECT_FALSE(opened->isModal());
    EXPECT_EQ(opened->windowTitle(), "WAV to MP3");
    // A second click while it is open shows the same window.
    QTest::mouseClick(button("xpcmdbutton6"), Qt::LeftButton);
    EXPECT_EQ(conversion_windows, 1);

    QTest::mouseClick(first.option(1), Qt::LeftButton, {}, QPoint(6, 10));
    write_wav(file("take.wav").toStdString(), 8000);
    first.paths(file("take.wav"), file("take.mp3"));
    ASSERT_TRUE(first.convert_to_end());
    EXPECT_EQ(first.options(), "-*------");
    first.click("xpcmdbutton5");
    ASSERT_TRUE(run_until([&] { return opened.isNull(); }));

    QTest::mouseClick(button("xpcmdbutton6"), Qt::LeftButton);
    ASSERT_TRUE(opened);
    EXPECT_EQ(conversion_windows, 2);
    Window second(*opened, seams);
    EXPECT_EQ(second.options(), "++++++*+");
    EXPECT_EQ(second.encoder_long(mp3enc::dispidBitrate), 128000);
    EXPECT_TRUE(second.widget<TextBox>(QStringLiteral("InputPath"))->text().isEmpty());
    EXPECT_FALSE(second.labels_shown());
    second.click("xpcmdbutton5");
    ASSERT_TRUE(run_until([&] { return opened.isNull(); }));
    MessageLoop::instance().set_clock(ClockKind::manual);
}

}  // namespace
}  // namespace quillon_test

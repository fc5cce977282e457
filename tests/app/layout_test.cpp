// Stored layouts: what the reader takes and refuses (every refusal naming the file and line),
// and what the loader builds: the shipped main window, each object by its class with its
// properties, and the control loaded from its saved state.
#include <gtest/gtest.h>
#include <QImage>

#include <fstream>

#include "app/layout/layout_loader.h"
#include "app/widgets/form_timer.h"
#include "app/widgets/plain_widgets.h"
#include "app/widgets/progress_bar.h"
#include "app/widgets/slider.h"
#include "app/widgets/status_bar.h"
#include "platform/com/dispatch.h"
#include "skin/xp_canvas.h"
#include "skin/xpcmdbutton.h"
#include "tests/support/temp_dir.h"

namespace quillon_test {
namespace {

using namespace quillon::forms;

std::optional<LayoutDocument> read(const std::string& text, LayoutError& error) {
    return read_layout(QByteArray::fromStdString(text), QStringLiteral("t.layout"), error);
}

TEST(LayoutReader, ReadsRecordsPlacesAndEveryKindOfValue) {
    LayoutError error;
    const auto layout = read(
        "quillon-layout 1\n"
        "# a comment\n"
        "form Main\r\n"
        "    geometry = 0, 0, 300, 200\n"
        "    Caption = \"A \\\"quoted\\\" \\\\ text\"\n"
        "\n"
        "widget Box : Quillon.Frame\n"
        "    geometry = 10, -5, 100, 50\n"
        "widget Label1(3) : Quillon.Label in Box\n"
        "    # an indented comment\n"
        "    Size = -12\n"
        "    Colour = 0x80000005\n"
        "    Min = 0.0001\n"
        "    Shown = False\n"
        "    Font = font \"DejaVu Sans\" 9.5 bold italic\n"
        "    Picture = picture \"images/a.png\"\n"
        "control Rec : KELVANE.KelvaneCtrl.1\n"
        "    state = hex \"0001 ff\"\n",
        error);
    ASSERT_TRUE(layout) << error.text().toStdString();
    ASSERT_EQ(layout->records.size(), 4u);
    const LayoutRecord& form = layout->records[0];
    EXPECT_EQ(form.kind, LayoutRecord::Kind::form);
    EXPECT_EQ(form.geometry, QRect(0, 0, 300, 200));
    EXPECT_EQ(form.find(QStringLiteral("caption"))->value.text,
              QStringLiteral("A \"quoted\" \\ text"));
    EXPECT_EQ(layout->records[1].geometry, QRect(10, -5, 100, 50));

    const LayoutRecord& label = layout->records[2];
    EXPECT_EQ(label.full_name(), QStringLiteral("Label1(3)"));
    EXPECT_EQ(label.parent, QStringLiteral("Box"));
    EXPECT_EQ(label.line, 9);
    EXPECT_FALSE(label.geometry);
    ASSERT_EQ(label.properties.size(), 6u);
    EXPECT_EQ(label.properties[0].value.integer, -12);
    EXPECT_EQ(label.properties[0].line, 11);
    EXPECT_EQ(label.properties[1].value.integer, 0x80000005);
    EXPECT_EQ(label.properties[2].value.kind, LayoutValue::Kind::number);
    EXPECT_DOUBLE_EQ(label.properties[2].value.number, 0.0001);
    EXPECT_EQ(label.properties[3].value.kind, LayoutValue::Kind::boolean);
    EXPECT_FALSE(label.properties[3].value.boolean);
    const LayoutValue& font = label.properties[4].value;
    EXPECT_EQ(font.kind, LayoutValue::Kind::font);
    EXPECT_EQ(font.text, QStringLiteral("DejaVu Sans"));
    EXPECT_DOUBLE_EQ(font.number, 9.5);
    EXPECT_TRUE(font.bold && font.italic);
    EXPECT_EQ(label.properties[5].value.kind, LayoutValue::Kind::picture);

    const LayoutRecord& control = layout->records[3];
    EXPECT_EQ(control.kind, LayoutRecord::Kind::control);
    EXPECT_EQ(control.class_id, QStringLiteral("KELVANE.KelvaneCtrl.1"));
    EXPECT_EQ(control.properties[0].value.bytes, QByteArray("\x00\x01\xff", 3));
}

struct Refusal {
    const char* text;
    int line;
    const char* says;
};

class LayoutRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(LayoutRefusals, NameTheFileTheLineAndWhatIsWrong) {
    LayoutError error;
    EXPECT_FALSE(read(GetParam().text, error));
    EXPECT_EQ(error.file, QStringLiteral("t.layout"));
    EXPECT_EQ(error.line, GetParam().line) << error.text().toStdString();
    EXPECT_TRUE(error.message.contains(QLatin1String(GetParam().says)))
        << error.text().toStdString();
}

const char* const kHead = "quillon-layout 1\nform F\n";

INSTANTIATE_TEST_SUITE_P(
    Reader, LayoutRefusals,
    ::testing::Values(
        Refusal{"", 0, "empty"}, Refusal{"hello\n", 1, "not a stored layout"},
        Refusal{"quillon-layout 2\n", 1, "format 2"},
        Refusal{"quillon-layout 1\n# only a comment\n", 0, "no form"},
        Refusal{"quillon-layout 1\nwidget A : X\n", 2, "must come first"},
        Refusal{"quillon-layout 1\nform F\nform G\n", 3, "second form"},
        Refusal{"quillon-layout 1\nform F\nbutton A : X\n", 3, "opens no record"},
        Refusal{"quillon-layout 1\nform F\nwidget 1A : X\n", 3, "name of letters"},
        Refusal{"quillon-layout 1\nform F\nwidget A X\n", 3, "': CLASS'"},
        Refusal{"quillon-layout 1\nform F\nwidget A :\n", 3, "has no class"},
        Refusal{"quillon-layout 1\nform F\nwidget A(x) : X\n", 3, "array index"},
        Refusal{"quillon-layout 1\nform F\nwidget A(40000) : X\n", 3, "array index"},
        Refusal{"quillon-layout 1\nform F\ncontrol A(1) : X\n", 3, "array index"},
        Refusal{"quillon-layout 1\nform F\nwidget A : X in B\n", 3, "no widget named above"},
        Refusal{"quillon-layout 1\nform F\nwidget A : X\nwidget A : Y\n", 4, "second record"},
        Refusal{"quillon-layout 1\nform F\nwidget A(0) : X\nwidget A : Y\n", 4, "both as an array"},
        Refusal{"quillon-layout 1\nform F\n    Caption \"x\"\n", 3, "expected '='"},
        Refusal{"quillon-layout 1\nform F\n    Caption = \"x\n", 3, "closing double quote"},
        Refusal{"quillon-layout 1\nform F\n    Caption = \"a\\qb\"\n", 3, "unknown escape"},
        Refusal{"quillon-layout 1\nform F\n    Caption = \"a\" b\n", 3, "more after the text"},
        Refusal{"quillon-layout 1\nform F\n    Caption = \n", 3, "value is missing"},
        Refusal{"quillon-layout 1\nform F\n    Caption = maybe\n", 3, "is not a value"},
        Refusal{"quillon-layout 1\nform F\n    N = 5000000000\n", 3, "32-bit"},
        Refusal{"quillon-layout 1\nform F\n    N = 0x1FFFFFFFF\n", 3, "32-bit"},
        Refusal{"quillon-layout 1\nform F\n    Caption = \"a\"\n    caption = \"b\"\n", 4,
                "given twice"},
        Refusal{"quillon-layout 1\nform F\n    geometry = 1, 2, 3\n", 3, "left, top"},
        Refusal{"quillon-layout 1\nform F\n    geometry = 1, 2, -3, 4\n", 3, "outside"},
        Refusal{"quillon-layout 1\nform F\n    geometry = 1, 2, 3, 4\n    geometry = 1, 2, 3, 4\n",
                4, "second geometry"},
        Refusal{"quillon-layout 1\nform F\n    F = font \"A\"\n", 3, "size"},
        Refusal{"quillon-layout 1\nform F\n    F = font \"A\" 8 wide\n", 3, "font style"},
        Refusal{"quillon-layout 1\nform F\n    P = picture \"\"\n", 3, "file name"},
        Refusal{"quillon-layout 1\nform F\n    S = hex \"abc\"\n", 3, "odd number"},
        Refusal{"quillon-layout 1\nform F\n    S = hex \"zz\"\n", 3, "hexadecimal digit"},
        Refusal{"quillon-layout 1\nform F\n    S = hex \"00\" more\n", 3, "more after"},
        Refusal{"quillon-layout 1\nform F\n\xff\xfe\n", 0, "UTF-8"}));

TEST(LayoutReader, RefusesWhatIsTooLargeToBeAWindow) {
    LayoutError error;
    std::string many = kHead;
    for (int i = 0; i < 1001; ++i) many += "widget W" + std::to_string(i) + " : X\n";
    EXPECT_FALSE(read(many, error));
    EXPECT_TRUE(error.message.contains(QLatin1String("more than 1000 records")));
    EXPECT_FALSE(read(std::string(kHead) + "    C = \"" + std::string(5000, 'x') + "\"\n", error));
    EXPECT_TRUE(error.message.contains(QLatin1String("longer than")));
    EXPECT_FALSE(read(std::string(max_layout_bytes + 1, '#'), error));
    EXPECT_EQ(error.line, 0);
    EXPECT_FALSE(read_layout_file(QStringLiteral("/nonexistent/x.layout"), error));
    EXPECT_EQ(error.text().left(33), QStringLiteral("/nonexistent/x.layout: cannot be "));
}

class LayoutLoader : public ::testing::Test {
  protected:
    QString write(const std::string& text) {
        const std::string path = m_dir.file("test.layout");
        std::ofstream(path) << text;
        return QString::fromStdString(path);
    }
    std::optional<LoadedForm> load(const std::string& text, LayoutError& error) {
        return load_form(write(text), m_form, {}, error);
    }

    quillon::test::TempDir m_dir;
    QWidget m_form;
};

TEST_F(LayoutLoader, BuildsEachObjectByItsClassWithItsProperties) {
    QImage picture(4, 3, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(m_dir.file("red.png")), "PNG"));
    LayoutError error;
    auto form = load(
        "quillon-layout 1\n"
        "form Main\n"
        "    geometry = 0, 0, 320, 240\n"
        "    Caption = \"Main\"\n"
        "widget Group : Quillon.Frame\n"
        "    geometry = 10, 10, 200, 100\n"
        "    Caption = \"Group\"\n"
        "widget Go : Windows_XP_Controls.xpcmdbutton in Group\n"
        "    geometry = 5, 20, 80, 24\n"
        "    Caption = \"Go\"\n"
        "    Enabled = False\n"
        "widget Meter : MSComctlLib.ProgressBar\n"
        "    Min = 0.0001\n"
        "    Max = 37678\n"
        "widget Hidden(2) : Quillon.Label\n"
        "    Visible = False\n"
        "widget Red : Quillon.Image\n"
        "    Picture = picture \"red.png\"\n"
        "widget Tick : Quillon.Timer\n"
        "    Interval = 250\n",
        error);
    ASSERT_TRUE(form) << error.text().toStdString();
    EXPECT_EQ(m_form.windowTitle(), QStringLiteral("Main"));
    EXPECT_EQ(m_form.size(), QSize(320, 240));
    auto* go = form->find<quillon::skin::xpcmdbutton>(QStringLiteral("Go"));
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->parentWidget(), form->find<Frame>(QStringLiteral("Group")));
    EXPECT_EQ(go->geometry(), QRect(5, 20, 80, 24));
    EXPECT_EQ(go->Caption(), QStringLiteral("Go"));
    EXPECT_FALSE(go->Enabled());
    auto* meter = form->find<ProgressBar>(QStringLiteral("Meter"));
    EXPECT_FLOAT_EQ(meter->Min(), 0.0001f);
    EXPECT_FLOAT_EQ(meter->Max(), 37678.0f);
    EXPECT_TRUE(form->find<Label>(QStringLiteral("Hidden"), 2)->isHidden());
    EXPECT_EQ(form->find<Image>(QStringLiteral("Red"))->Picture().size(), QSize(4, 3));
    EXPECT_EQ(form->find<FormTimer>(QStringLiteral("Tick"))->Interval(), 250);
    EXPECT_EQ(form->object(QStringLiteral("Nothing")), nullptr);
}

TEST_F(LayoutLoader, RefusesWhatItCannotBuildAndLeavesNothingBehind) {
    const struct {
        std::string body;
        int line;
        const char* says;
    } cases[] = {
        {"widget A : No.Such.Class\n", 3, "unknown widget class No.Such.Class"},
        {"widget A : Quillon.Label\n    Captoin = \"x\"\n", 4, "Captoin is no property of A"},
        {"widget A : Quillon.Image\n    Picture = picture \"none.png\"\n", 4, "cannot be read"},
        {"widget A : Quillon.Label\nwidget B : Quillon.Label in A\n", 4, "cannot hold widgets"},
        {"widget T : Quillon.Timer\n    Visible = True\n", 4, "on widgets only"},
        {"control C : {00000000-0000-0000-0000-000000000001}\n", 3, "cannot be created"},
        {"control C : No.Such.Component\n", 3, "no component of class"},
        {"control C : KELVANE.KelvaneCtrl.1\n    BufferSize = 10\n", 4, "saved state"},
        {"control C : KELVANE.KelvaneCtrl.1\n    state = hex \"00000100\"\n", 4, "does not load"},
    };
    for (const auto& c : cases) {
        LayoutError error;
        const int before = int(m_form.children().size());
        EXPECT_FALSE(
            load("quillon-layout 1\nform F\n"
                 "widget Keep : Quillon.Frame\n" +
                     c.body,
                 error))
            << c.body;
        // The frame opened the file; the failing record is one further down.
        EXPECT_EQ(error.line, c.line + 1) << error.text().toStdString();
        EXPECT_TRUE(error.message.contains(QLatin1String(c.says))) << error.text().toStdString();
        EXPECT_TRUE(error.text().startsWith(write("") + QLatin1Char(':')));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(int(m_form.children().size()), before) << c.body;
    }
}

TEST(ShippedLayout, TheMainWindowComesUpWithTheControlsSavedState) {
    QWidget form;
    LayoutError error;
    auto loaded = load_form(QStringLiteral(QUILLON_DATA_DIR "/Form1.layout"), form, {}, error);
    ASSERT_TRUE(loaded) << error.text().toStdString();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillon V1.60 "));
    EXPECT_EQ(loaded->find<quillon::skin::xp_canvas>(QStringLiteral("xp_canvas1"))->Caption(),
              QStringLiteral("Quillon V1.60 "));
    const char* captions[][2] = {{"xpcmdbutton1", "Record Ctrl+R"},
                                 {"xpcmdbutton2", "Pause Ctrl+P"},
                                 {"xpcmdbutton3", "Stop Ctrl+S"},
                                 {"xpcmdbutton4", "Destination File"},
                                 {"xpcmdbutton5", "Recording Setting"},
                                 {"xpcmdbutton6", "Wav to Mp3"},
                                 {"xpcmdbutton7", "Help"},
                                 {"xpcmdbutton10", "Play Audio"},
                                 {"xpcmdbutton11", "Close"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(loaded->find<quillon::skin::xpcmdbutton>(QLatin1String(name))->Caption(),
                  QLatin1String(caption));
    auto* gain = loaded->find<Slider>(QStringLiteral("Slider1"));
    EXPECT_EQ(gain->Orientation(), Slider::vertical);
    EXPECT_EQ(gain->Max(), 65536);
    EXPECT_EQ(gain->TickFrequency(), 6000);
    EXPECT_EQ(gain->TickStyle(), Slider::both);
    EXPECT_EQ(loaded->find<Slider>(QStringLiteral("Slider3"))->TickFrequency(), 50);
    EXPECT_EQ(loaded->find<Slider>(QStringLiteral("Slider4"))->TickFrequency(), 5);
    EXPECT_FLOAT_EQ(loaded->find<ProgressBar>(QStringLiteral("ProgressBar2"))->Min(), 0.0001f);
    EXPECT_EQ(loaded->find<StatusBar>(QStringLiteral("StatusBar1"))->Panels(),
              QStringLiteral("5293 4234 2910"));
    auto* timer = loaded->find<FormTimer>(QStringLiteral("Timer1"));
    EXPECT_EQ(timer->Interval(), 1000);
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(loaded->find<Label>(QStringLiteral("Label1"), 0)->Caption(),
              QStringLiteral("Recording Control"));
    EXPECT_EQ(loaded->find<Label>(QStringLiteral("Label1"), 1)->Caption(),
              QStringLiteral("Double Click list to Play Recording."));

    // The control as its saved state left it, before the window has touched it.
    ControlHost* host = loaded->control(QStringLiteral("Kelvane1"));
    ASSERT_NE(host, nullptr);
    const std::pair<const char*, std::string> saved[] = {
        {"BufferSize", "2000"},
        {"devInput", "1"},
        {"devOutput", "1"},
        {"TypePlayLevel", "2"},
        {"TypeRecordLevel", "2"},
        {"Listen", "false"},
        {"devInputName", "USB Audio CODEC Input"},
        {"devOutputName", "USB Audio CODEC Outputs"}};
    for (const auto& [name, value] : saved) {
        Variant v;
        ASSERT_EQ(dispatch_get(host->control(), name, v), S_OK) << name;
        std::string text = v.type() == VT_BSTR   ? std::string(v.as_string())
                           : v.type() == VT_BOOL ? (v.as_bool() ? "true" : "false")
                           : v.type() == VT_I2   ? std::to_string(v.as_i2())
                                                 : std::to_string(v.as_i4());
        EXPECT_EQ(text, value) << name;
    }
}

}  // namespace
}  // namespace quillon_test

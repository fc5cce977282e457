// skin_gallery: every widget of the skin library in every state, on one skinned window, for
// review and screenshots. The hover and pressed looks are shown as they are painted; moving the
// pointer over a widget brings it to life.
//
//   skin_gallery [--report-clicks]
//
// --report-clicks prints "Click NAME" on standard output for every Click of a widget (NAME is
// its instance name), so that a test can see what a click through assistive technology did.
#include <QApplication>
#include <QLabel>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <vector>

#include "skin/ole_colour.h"
#include "skin/widget_registry.h"
#include "skin/xp_canvas.h"
#include "skin/xpcheckbox.h"
#include "skin/xpcmdbutton.h"
#include "skin/xpgroupbox.h"
#include "skin/xphelp.h"
#include "skin/xpradiobutton.h"
#include "skin/xptopbuttons.h"

using namespace quillon::skin;

namespace {

constexpr int window_width = 760;
constexpr int window_height = 600;
const QColor client_ground(236, 233, 216);

class Gallery : public QWidget {
  public:
    explicit Gallery(bool report_clicks) : m_report(report_clicks) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        resize(window_width, window_height);
        m_canvas = add<xp_canvas>("xp_canvas1");
        m_canvas->set_Caption(QStringLiteral("Skin gallery"));
        title_buttons();
        command_buttons(QPoint(16, 40));
        caption_buttons(QPoint(16, 112));
        toggles(QPoint(16, 196));
        frames(QPoint(16, 440));
        connect(m_canvas, &xp_canvas::Resize, this, [this] { place_title_buttons(); });
        place_title_buttons();
    }

    // Showing a widget, and its hover watch's first look, bring back its resting look: the
    // hover and pressed looks are put on afterwards.
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        QTimer::singleShot(looks_delay_ms, this, [this] {
            for (const auto& look : m_looks) look();
        });
    }

  private:
    static constexpr int looks_delay_ms = 200;

    void later(std::function<void()> look) { m_looks.push_back(std::move(look)); }

    template <typename W>
    W* add(const char* name, QWidget* parent = nullptr) {
        auto* w = static_cast<W*>(create_widget(QString::fromLatin1(W::class_identifier),
                                                parent ? parent : this, QString::fromLatin1(name)));
        if (auto* skin = qobject_cast<SkinWidget*>(w))
            connect(skin, &SkinWidget::Click, this, [this, skin] { report(skin); });
        return w;
    }

    void report(const SkinWidget* w) {
        if (!m_report) return;
        std::printf("Click %s\n", qPrintable(w->objectName()));
        std::fflush(stdout);
    }

    QLabel* heading(const QString& text, QPoint at) {
        auto* label = new QLabel(text, this);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        label->move(at);
        label->adjustSize();
        return label;
    }

    void title_buttons() {
        m_help = add<xphelp>("xphelp1");
        m_min = add<xptopbuttons>("xpmin");
        m_min->set_Value(xptopbuttons::minimise);
        m_max = add<xptopbuttons>("xpmax");
        m_max->set_Value(xptopbuttons::maximise);
        m_close = add<xptopbuttons>("xpclose");
        m_close->set_Value(xptopbuttons::close);
        connect(m_close, &SkinWidget::Click, this, &QWidget::close);
        connect(m_min, &SkinWidget::Click, this, &QWidget::showMinimized);
        connect(m_max, &SkinWidget::Click, this, [this] {
            if (isMaximized())
                showNormal();
            else
                showMaximized();
        });
        connect(m_help, &SkinWidget::Click, this,
                [this] { m_canvas->set_Caption(QStringLiteral("Skin gallery: help clicked")); });
    }

    void place_title_buttons() {
        const int y = 4;
        int x = width() - 5 - CaptionButton::side;
        for (CaptionButton* b :
             {static_cast<CaptionButton*>(m_close), static_cast<CaptionButton*>(m_max),
              static_cast<CaptionButton*>(m_min), static_cast<CaptionButton*>(m_help)}) {
            b->move(x, y);
            x -= CaptionButton::side + 2;
        }
        m_max->set_Value(isMaximized() ? xptopbuttons::restore : xptopbuttons::maximise);
    }

    void command_buttons(QPoint at) {
        heading(QStringLiteral("Command buttons: normal, hover, pressed, disabled, default, "
                               "an access key, 4 x 4"),
                at);
        const struct {
            const char* name;
            const char* caption;
            int face;
        } faces[] = {{"cmdNormal", "Normal", -1},
                     {"cmdHover", "Hover", xpcmdbutton::hover},
                     {"cmdPressed", "Pressed", xpcmdbutton::pressed},
                     {"cmdDisabled", "Disabled", -1},
                     {"cmdDefault", "Default", -1},
                     {"cmdRecord", "&Record", -1}};
        int x = at.x();
        for (const auto& f : faces) {
            auto* b = add<xpcmdbutton>(f.name);
            b->set_Caption(QString::fromLatin1(f.caption));
            b->setGeometry(x, at.y() + 22, 96, 25);
            if (f.face >= 0) later([b, face = f.face] { b->paint_face(face); });
            x += 104;
        }
        findChild<xpcmdbutton*>(QStringLiteral("cmdDisabled"))->set_Enabled(false);
        findChild<xpcmdbutton*>(QStringLiteral("cmdDefault"))->set_State(1);
        auto* tiny = add<xpcmdbutton>("cmdTiny");
        tiny->set_Caption(QString());
        tiny->setGeometry(x + 4, at.y() + 32, 4, 4);
    }

    void caption_buttons(QPoint at) {
        heading(QStringLiteral("Title-bar buttons (close, maximise, minimise, restore; help): "
                               "normal, hover, pressed, disabled"),
                at);
        int x = at.x();
        for (int value = 0; value < 4; ++value) {
            for (int cell = 0; cell < 4; ++cell) {
                auto* b =
                    add<xptopbuttons>(qPrintable(QStringLiteral("top%1_%2").arg(value).arg(cell)));
                b->set_Value(value);
                b->move(x, at.y() + 24);
                if (cell == CaptionButton::disabled)
                    b->set_Enabled(false);
                else
                    later([b, cell] { b->show_cell(cell); });
                x += 24;
            }
            x += 14;
        }
        for (int cell = 0; cell < 3; ++cell) {
            auto* b = add<xphelp>(qPrintable(QStringLiteral("help_%1").arg(cell)));
            b->move(x, at.y() + 24);
            later([b, cell] { b->show_cell(cell); });
            x += 24;
        }
    }

    void toggles(QPoint at) {
        auto* group = add<xpgroupbox>("xpgroupbox1");
        group->set_Caption(QStringLiteral("Check boxes and radio buttons"));
        group->set_BackColor(
            ole_rgb(client_ground.red(), client_ground.green(), client_ground.blue()));
        group->setGeometry(at.x(), at.y(), 728, 230);
        const char* looks[] = {"normal", "hover", "pressed", "disabled"};
        const char* values[] = {"unchecked", "checked", "grayed"};
        for (int value = 0; value < 3; ++value) {
            for (int look = 0; look < 4; ++look) {
                auto* c = add<xpcheckbox>(
                    qPrintable(QStringLiteral("check%1_%2").arg(value).arg(look)), group);
                c->set_Caption(QStringLiteral("%1, %2").arg(QLatin1String(values[value]),
                                                            QLatin1String(looks[look])));
                c->set_BackColor(group->BackColor());
                c->setGeometry(12 + look * 178, 28 + value * 28, 170, 22);
                c->set_Value(value);
                if (look == ToggleWidget::disabled)
                    c->set_Enabled(false);
                else
                    later([c, look] { c->show_look(look); });
            }
        }
        for (int value = 0; value < 2; ++value) {
            for (int look = 0; look < 4; ++look) {
                auto* r = add<xpradiobutton>(
                    qPrintable(QStringLiteral("radio%1_%2").arg(value).arg(look)), group);
                r->set_Caption(QStringLiteral("%1, %2").arg(
                    value ? QLatin1String("selected") : QLatin1String("unselected"),
                    QLatin1String(looks[look])));
                r->set_BackColor(group->BackColor());
                r->setGeometry(12 + look * 178, 120 + value * 28, 170, 22);
                r->set_Value(value == 1);
                if (look == ToggleWidget::disabled)
                    r->set_Enabled(false);
                else
                    later([r, look] { r->show_look(look); });
            }
        }
        auto* live = add<xpcheckbox>("chkLive", group);
        live->set_Caption(QStringLiteral("&Live check box"));
        live->set_BackColor(group->BackColor());
        live->setGeometry(12, 190, 170, 22);
        auto* live_radio = add<xpradiobutton>("optLive", group);
        live_radio->set_Caption(QStringLiteral("L&ive radio button"));
        live_radio->set_BackColor(group->BackColor());
        live_radio->setGeometry(190, 190, 170, 22);
    }

    // The frame's looks that one window cannot show at once, drawn from windows of their own.
    void frames(QPoint at) {
        heading(QStringLiteral("Frames: active, inactive, maximised title"), at);
        const struct {
            bool active;
            bool maximised;
        } kinds[] = {{true, false}, {false, false}, {true, true}};
        int x = at.x();
        for (const auto& kind : kinds) {
            QWidget host;
            host.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
            host.resize(232, 110);
            xp_canvas canvas(&host, QStringLiteral("frame"));
            canvas.set_Caption(kind.active ? QStringLiteral("Active") : QStringLiteral("Inactive"));
            if (kind.maximised) {
                host.setWindowState(Qt::WindowMaximized);
                canvas.set_Caption(QStringLiteral("Maximised"));
            }
            if (!kind.active) canvas.set_inactive_skin();
            auto* picture = new QLabel(this);
            picture->setPixmap(host.grab());
            picture->move(x, at.y() + 22);
            picture->adjustSize();
            x += 244;
        }
    }

    bool m_report;
    std::vector<std::function<void()>> m_looks;
    xp_canvas* m_canvas = nullptr;
    xphelp* m_help = nullptr;
    xptopbuttons* m_min = nullptr;
    xptopbuttons* m_max = nullptr;
    xptopbuttons* m_close = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool report = app.arguments().contains(QStringLiteral("--report-clicks"));
    Gallery gallery(report);
    gallery.show();
    return app.exec();
}

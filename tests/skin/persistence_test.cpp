// Persistence through the property bag: each widget reads and writes its keys in its own fixed
// order with its defaults, takes the default for a damaged value, and round-trips what it
// wrote. And the registry that creates the widgets by class identifier.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "skin/ole_colour.h"
#include "skin/widget_registry.h"
#include "skin/xp_canvas.h"
#include "skin/xpcheckbox.h"
#include "skin/xpcmdbutton.h"
#include "skin/xpgroupbox.h"
#include "skin/xpradiobutton.h"
#include "skin/xptopbuttons.h"

using namespace quillon::skin;

namespace {

using Kind = MemoryPropertyBag::Access::Kind;

QStringList keys_of(const MemoryPropertyBag& bag, Kind kind) {
    QStringList keys;
    for (const auto& a : bag.journal())
        if (a.kind == kind) keys << a.key;
    return keys;
}

QVariant default_of(const MemoryPropertyBag& bag, Kind kind, const QString& key) {
    for (const auto& a : bag.journal())
        if (a.kind == kind && a.key == key) return a.default_value;
    return {};
}

struct Order {
    const char* class_id;
    QStringList reads;
    QStringList writes;
};

const QStringList toggle_reads{"Value", "Caption", "Enabled", "Font", "BackColor", "ForeColor"};
const QStringList toggle_writes{"Font", "Value", "Caption", "Enabled", "BackColor", "ForeColor"};

const Order orders[] = {
    {"Windows_XP_Controls.xp_canvas",
     {"Caption", "Icon", "Fixed_Single"},
     {"Caption", "Icon", "Fixed_Single"}},
    {"Windows_XP_Controls.xpcmdbutton",
     {"State", "Enabled", "Caption", "Font"},
     {"State", "Enabled", "Caption", "Font"}},
    {"Windows_XP_Controls.xptopbuttons", {"Value", "Enabled"}, {"Value", "Enabled"}},
    {"Windows_XP_Controls.xphelp", {"Enabled"}, {"Enabled"}},
    {"Windows_XP_Controls.xpcheckbox", toggle_reads, toggle_writes},
    {"Windows_XP_Controls.xpradiobutton", toggle_reads, toggle_writes},
    {"Windows_XP_Controls.xpgroupbox",
     {"Enabled", "Font", "BackColor", "Caption"},
     {"Caption", "Enabled", "Font", "BackColor"}},
};

TEST(Persistence, EveryWidgetReadsAndWritesItsKeysInItsOrder) {
    QWidget form;
    for (const Order& o : orders) {
        SCOPED_TRACE(o.class_id);
        QWidget* w = create_widget(QString::fromLatin1(o.class_id), &form, QStringLiteral("w1"));
        ASSERT_NE(w, nullptr);
        MemoryPropertyBag bag;
        persisted(w)->read_properties(bag);
        EXPECT_EQ(keys_of(bag, Kind::read), o.reads);
        persisted(w)->write_properties(bag);
        EXPECT_EQ(keys_of(bag, Kind::write), o.writes);
        // An empty bag leaves a new instance as it was: its name is its caption.
        if (w->metaObject()->indexOfProperty("Caption") >= 0) {
            EXPECT_EQ(w->property("Caption").toString(), QStringLiteral("w1"));
        }
    }
}

TEST(Persistence, DefaultsAreThoseOfANewInstance) {
    QWidget form;
    MemoryPropertyBag bag;
    xpcheckbox box(&form, QStringLiteral("Check1"));
    box.read_properties(bag);
    EXPECT_EQ(default_of(bag, Kind::read, "Value"), QVariant(0));
    EXPECT_EQ(default_of(bag, Kind::read, "Caption"), QVariant(QStringLiteral("Check1")));
    EXPECT_EQ(default_of(bag, Kind::read, "Enabled"), QVariant(true));
    EXPECT_EQ(default_of(bag, Kind::read, "BackColor").toUInt(), 0x8000000Fu);
    EXPECT_EQ(default_of(bag, Kind::read, "ForeColor").toUInt(), 0u);
    EXPECT_EQ(default_of(bag, Kind::read, "Font").value<QFont>(), form.font());

    MemoryPropertyBag group_bag;
    xpgroupbox group(&form, QStringLiteral("Frame1"));
    group.read_properties(group_bag);
    EXPECT_EQ(default_of(group_bag, Kind::read, "BackColor").toUInt(), 65535u);
    EXPECT_EQ(ole_colour(group.BackColor(), group.palette()), QColor(255, 255, 0));

    MemoryPropertyBag radio_bag;
    xpradiobutton radio(&form, QStringLiteral("Option1"));
    radio.read_properties(radio_bag);
    EXPECT_EQ(default_of(radio_bag, Kind::read, "Value"), QVariant(false));

    MemoryPropertyBag canvas_bag;
    xp_canvas canvas(&form, QStringLiteral("xp_canvas1"));
    canvas.read_properties(canvas_bag);
    EXPECT_EQ(default_of(canvas_bag, Kind::read, "Fixed_Single"), QVariant(false));
    EXPECT_EQ(default_of(canvas_bag, Kind::read, "Icon").value<QPixmap>().size(), QSize(16, 16));
}

TEST(Persistence, WhatIsWrittenReadsBackTheSame) {
    QWidget form;
    xpcmdbutton button(&form, QStringLiteral("xpcmdbutton3"));
    button.set_State(1);
    button.set_Enabled(false);
    button.set_Caption(QStringLiteral("Stop Ctrl+S"));
    QFont bold = form.font();
    bold.setBold(true);
    button.set_Font(bold);
    MemoryPropertyBag bag;
    button.write_properties(bag);

    xpcmdbutton copy(&form, QStringLiteral("xpcmdbutton3"));
    copy.read_properties(bag);
    EXPECT_EQ(copy.State(), 1);
    EXPECT_FALSE(copy.Enabled());
    EXPECT_EQ(copy.Caption(), QStringLiteral("Stop Ctrl+S"));
    EXPECT_TRUE(copy.Font().bold());

    xpcheckbox box(&form, QStringLiteral("Check1"));
    box.set_Value(xpcheckbox::grayed);
    box.set_BackColor(ole_rgb(1, 2, 3));
    box.set_ForeColor(button_face_colour);
    MemoryPropertyBag box_bag;
    box.write_properties(box_bag);
    xpcheckbox box_copy(&form, QStringLiteral("Check1"));
    box_copy.read_properties(box_bag);
    EXPECT_EQ(box_copy.Value(), xpcheckbox::grayed);
    EXPECT_EQ(box_copy.BackColor(), ole_rgb(1, 2, 3));
    EXPECT_EQ(box_copy.ForeColor(), button_face_colour);

    xptopbuttons top(&form, QStringLiteral("xpmin"));
    top.set_Value(2);
    MemoryPropertyBag top_bag;
    top.write_properties(top_bag);
    xptopbuttons top_copy(&form, QStringLiteral("xpmin"));
    top_copy.read_properties(top_bag);
    EXPECT_EQ(top_copy.Value(), 2);
    form.show();  // the strip follows the stored value once shown
    EXPECT_EQ(top_copy.strip(), xptopbuttons::minimise);
}

TEST(Persistence, DamagedValuesTakeTheDefault) {
    QWidget form;
    MemoryPropertyBag bag;
    bag.set("Caption", QString(1 << 20, QLatin1Char('x')));  // a megabyte of caption
    bag.set("Enabled", QStringLiteral("perhaps"));
    bag.set("State", QVariant(1LL << 40));
    QFont huge;
    huge.setPointSize(100000);
    bag.set("Font", huge);
    xpcmdbutton button(&form, QStringLiteral("xpcmdbutton1"));
    button.read_properties(bag);
    EXPECT_EQ(button.Caption(), QStringLiteral("xpcmdbutton1"));
    EXPECT_TRUE(button.Enabled());
    EXPECT_EQ(button.State(), 0);
    EXPECT_EQ(button.Font(), form.font());

    MemoryPropertyBag colours;
    colours.set("BackColor", QVariant(0x90000000u));  // no such system colour
    colours.set("ForeColor", QStringLiteral("red"));
    colours.set("Value", QVariant(QStringLiteral("2")));
    colours.set("Caption", QVariant(42));
    xpcheckbox box(&form, QStringLiteral("Check1"));
    box.read_properties(colours);
    EXPECT_EQ(box.BackColor(), button_face_colour);
    EXPECT_EQ(box.ForeColor(), 0u);
    EXPECT_EQ(box.Value(), xpcheckbox::unchecked);
    EXPECT_EQ(box.Caption(), QStringLiteral("Check1"));

    MemoryPropertyBag picture;
    picture.set("Icon", QByteArray("not a picture"));
    picture.set("Fixed_Single", QVariant(-1));  // True as the stored layouts write it
    xp_canvas canvas(&form, QStringLiteral("xp_canvas1"));
    canvas.read_properties(picture);
    EXPECT_EQ(canvas.Icon().size(), QSize(16, 16));
    EXPECT_TRUE(canvas.Fixed_Single());
}

TEST(Persistence, SystemColoursStoredSignedReadBack) {
    QWidget form;
    MemoryPropertyBag bag;
    bag.set("BackColor", QVariant(qint32(0x80000005u)));  // the window colour, as an Int
    xpradiobutton radio(&form, QStringLiteral("Option1"));
    radio.read_properties(bag);
    EXPECT_EQ(radio.BackColor(), 0x80000005u);
}

TEST(Persistence, SettersMarkTheirKeysChanged) {
    QWidget form;
    xpcheckbox box(&form, QStringLiteral("Check1"));
    QSignalSpy changed(&box, &SkinWidget::PropertyChanged);
    box.set_Value(1);
    box.set_Caption(QStringLiteral("x"));
    box.set_BackColor(0);
    box.set_ForeColor(0);
    box.set_Font(form.font());
    QStringList keys;
    for (const auto& args : changed) keys << args[0].toString();
    EXPECT_EQ(keys, (QStringList{"Value", "Caption", "BackColor", "ForeColor", "Font"}));
}

TEST(Registry, CreatesEveryClassByItsIdentifier) {
    QWidget form;
    const QStringList ids = widget_class_ids();
    EXPECT_EQ(ids.size(), 7);
    for (const QString& id : ids) {
        QWidget* w = create_widget(id, &form, QStringLiteral("thing1"));
        ASSERT_NE(w, nullptr) << qPrintable(id);
        EXPECT_EQ(w->parentWidget(), &form);
        EXPECT_EQ(w->objectName(), QStringLiteral("thing1"));
        EXPECT_EQ(widget_class_id(w), id);
        EXPECT_NE(persisted(w), nullptr);
    }
    EXPECT_NE(
        qobject_cast<xpcmdbutton*>(create_widget("windows_xp_controls.XPCMDBUTTON", &form, "b")),
        nullptr);
    EXPECT_EQ(create_widget("Windows_XP_Controls.xpslider", &form, "s"), nullptr);
    QWidget plain;
    EXPECT_EQ(persisted(&plain), nullptr);
    EXPECT_TRUE(widget_class_id(&plain).isEmpty());
}

TEST(Registry, PropertiesAreReachableByName) {
    QWidget form;
    QWidget* w = create_widget("Windows_XP_Controls.xpcmdbutton", &form, "xpcmdbutton1");
    EXPECT_TRUE(w->setProperty("Caption", QStringLiteral("Play Audio")));
    EXPECT_TRUE(w->setProperty("Enabled", false));
    EXPECT_EQ(static_cast<xpcmdbutton*>(w)->Caption(), QStringLiteral("Play Audio"));
    EXPECT_FALSE(w->isEnabled());
}

}  // namespace

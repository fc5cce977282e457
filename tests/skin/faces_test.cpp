// What the widgets paint, read back pixel by pixel: the pieces of each face land where they
// belong at any size, the colours of each look are where they should be, and on a 2x screen
// every logical pixel is drawn from 2x art (one colour across its device pixels), not blurred.
#include <gtest/gtest.h>

#include "skin/ole_colour.h"
#include "skin/xp_canvas.h"
#include "skin/xpcheckbox.h"
#include "skin/xpcmdbutton.h"
#include "skin/xpgroupbox.h"
#include "skin/xpradiobutton.h"
#include "skin/xptopbuttons.h"
#include "tests/skin/skin_test_support.h"

using namespace quillon::skin;
using skin_test::Picture;

namespace {

constexpr QColor outline(0, 60, 116);

struct ButtonOnGround {
    ButtonOnGround(int w, int h) : button(&ground, QStringLiteral("xpcmdbutton1")) {
        ground.setAutoFillBackground(true);
        QPalette p = ground.palette();
        p.setColor(QPalette::Window, QColor(0, 255, 0));  // shows where nothing is painted
        ground.setPalette(p);
        ground.resize(w + 10, h + 10);
        button.set_Caption(QString());
        button.setGeometry(0, 0, w, h);
        ground.show();
    }
    Picture picture() { return Picture(button); }
    QWidget ground;
    xpcmdbutton button;
};

// At every size the outline runs round the edges and the centre holds the face's body.
TEST(CommandButtonFace, PiecesLandOnTheirEdgesAtEverySize) {
    for (const QSize size : {QSize(75, 23), QSize(18, 21), QSize(200, 40), QSize(7, 30)}) {
        SCOPED_TRACE(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        ButtonOnGround b(size.width(), size.height());
        const Picture p = b.picture();
        const int w = size.width(), h = size.height();
        EXPECT_COLOUR(p.at(w / 2, 0), 0, 60, 116);             // top edge
        EXPECT_COLOUR(p.at(w / 2, h - 1), 0, 60, 116);         // bottom edge
        EXPECT_COLOUR(p.at(0, h / 2), 0, 60, 116);             // left edge
        EXPECT_COLOUR(p.at(w - 1, h / 2), 0, 60, 116);         // right edge
        EXPECT_COLOUR_NEAR(p.at(w / 2, 3), 255, 255, 255, 4);  // centre, white at the top
        // The last row above the bottom edge is the beige the gradient ends in.
        EXPECT_COLOUR_NEAR(p.at(w / 2, h - 2), 214, 208, 197, 14);
        // Corners are blended, not square: the corner pixel is not the outline.
        EXPECT_NE(p.at(0, 0), outline);
        EXPECT_NE(p.at(w - 1, h - 1), outline);
        for (const QPoint at : {QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(w / 2, h - 1)})
            EXPECT_TRUE(p.sharp_at(at.x(), at.y())) << at.x() << "," << at.y();
    }
}

// Below 6 pixels the corners still paint; the pieces of no size draw nothing (and in
// particular are not drawn mirrored over the corners).
TEST(CommandButtonFace, TinyButtonsPaintOnlyTheirCorners) {
    ButtonOnGround flat(40, 4);
    const Picture p = flat.picture();
    EXPECT_COLOUR(p.at(20, 0), 0, 60, 116);  // top edge, drawn
    EXPECT_COLOUR(p.at(20, 3), 0, 60, 116);  // bottom edge, drawn; the centre (height -2) not
    ButtonOnGround narrow(4, 40);
    const Picture q = narrow.picture();
    EXPECT_COLOUR(q.at(0, 20), 0, 60, 116);  // left edge
    EXPECT_COLOUR(q.at(3, 20), 0, 60, 116);  // right edge; the centre (width -2) not drawn
    ButtonOnGround dot(2, 2);                // corners only, overlapping
    const Picture r = dot.picture();
    EXPECT_NE(r.at(0, 0), QColor(0, 255, 0));
    EXPECT_NE(r.at(1, 1), QColor(0, 255, 0));
}

TEST(CommandButtonFace, EachFaceShowsItsColours) {
    ButtonOnGround b(75, 23);
    const int mid = 23 / 2;

    b.button.paint_face(xpcmdbutton::hover);
    Picture hover = b.picture();
    const QColor frame = hover.at(1, mid);
    EXPECT_TRUE(frame.red() > 230 && frame.green() > 130 && frame.blue() < 170)
        << qPrintable(frame.name());                         // orange inner frame
    EXPECT_COLOUR_NEAR(hover.at(37, 1), 255, 240, 207, 12);  // pale at the top
    EXPECT_COLOUR_NEAR(hover.at(37, 21), 229, 151, 0, 24);   // deep at the bottom
    EXPECT_COLOUR(hover.at(37, 0), 0, 60, 116);
    if (hover.scale() == 2) {
        // The frame's gradient changes within one logical row: 2x art, not 1x art enlarged.
        EXPECT_FALSE(hover.sharp_at(1, 16));
    }

    b.button.paint_face(xpcmdbutton::default_face);
    Picture def = b.picture();
    EXPECT_COLOUR_NEAR(def.at(37, 1), 206, 231, 255, 12);
    EXPECT_COLOUR_NEAR(def.at(37, 21), 105, 130, 238, 24);
    EXPECT_GT(def.at(1, mid).blue(), def.at(1, mid).red() + 40);

    b.button.paint_face(xpcmdbutton::pressed);
    Picture pressed = b.picture();
    // The normal gradient turned over: darkest at the top, lightest at the bottom.
    EXPECT_COLOUR_NEAR(pressed.at(37, 1), 208, 203, 191, 12);
    EXPECT_COLOUR_NEAR(pressed.at(37, 21), 242, 241, 238, 6);

    b.button.paint_face(xpcmdbutton::disabled);
    Picture off = b.picture();
    EXPECT_COLOUR(off.at(37, mid), 245, 244, 234);
    EXPECT_COLOUR(off.at(37, 4), 245, 244, 234);
    EXPECT_COLOUR(off.at(37, 0), 201, 199, 186);
    EXPECT_COLOUR(off.at(0, 0), 255, 255, 255);
}

TEST(CommandButtonFace, CaptionIsBlackOrGrey) {
    ButtonOnGround b(120, 30);
    b.button.set_Caption(QStringLiteral("MMMM"));
    const QRect text = b.button.caption_rect();
    const auto darkest = [&](const Picture& p) {
        int best = 255;
        for (int y = text.top(); y <= text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x) best = qMin(best, p.at(x, y).value());
        return best;
    };
    EXPECT_LT(darkest(b.picture()), 40);
    b.button.set_Enabled(false);
    const int grey = darkest(b.picture());
    EXPECT_GT(grey, 120);
    EXPECT_LT(grey, 175);
}

TEST(TitleButtonFace, CellsShowTheirBodyColours) {
    QWidget ground;
    xptopbuttons close(&ground, QStringLiteral("xpclose"));
    ground.show();
    Picture normal(close);
    EXPECT_COLOUR_NEAR(normal.at(3, 10), 208, 111, 79, 40);
    EXPECT_COLOUR(normal.at(10, 0), 255, 255, 255);  // the white frame
    close.set_Enabled(false);
    Picture off(close);
    EXPECT_COLOUR_NEAR(off.at(3, 10), 192, 175, 160, 30);
    xptopbuttons max(&ground, QStringLiteral("xpmax"));
    max.set_Value(xptopbuttons::maximise);
    max.show_cell(CaptionButton::pressed);
    Picture pressed(max);
    EXPECT_COLOUR_NEAR(pressed.at(3, 10), 0, 79, 176, 40);
    EXPECT_TRUE(pressed.sharp_at(10, 0));  // the frame
}

TEST(CheckBoxFace, PictureSitsLeftAndCentredAndShowsTheValue) {
    QWidget ground;
    xpcheckbox box(&ground, QStringLiteral("Check1"));
    box.set_BackColor(ole_rgb(255, 255, 255));
    box.setGeometry(0, 0, 120, 26);
    ground.show();
    EXPECT_EQ(box.picture_rect(), QRect(0, 5, 16, 16));  // (26 - 16) / 2
    EXPECT_EQ(box.caption_rect().left(), 32);
    Picture unchecked(box);
    EXPECT_COLOUR(unchecked.at(1, 5 + 7), 31, 80, 128);  // the box's left outline
    box.set_Value(xpcheckbox::checked);
    Picture checked(box);
    bool green = false;
    for (int y = 5; y < 21; ++y)
        for (int x = 0; x < 16; ++x)
            green = green || skin_test::near(checked.at(x, y), QColor(32, 160, 32), 10);
    EXPECT_TRUE(green);
    box.set_Value(xpcheckbox::grayed);
    EXPECT_COLOUR(Picture(box).at(7, 5 + 7), 160, 208, 160);
    box.set_Enabled(false);
    EXPECT_COLOUR(Picture(box).at(1, 5 + 7), 207, 207, 191);
}

TEST(RadioButtonFace, SelectedShowsTheMark) {
    QWidget ground;
    xpradiobutton radio(&ground, QStringLiteral("Option1"));
    radio.set_BackColor(ole_rgb(255, 255, 255));
    radio.setGeometry(0, 0, 120, 16);
    ground.show();
    const QPoint centre = radio.picture_rect().topLeft() + QPoint(6, 6);
    EXPECT_NE(Picture(radio).at(centre.x(), centre.y()), QColor(32, 160, 32));
    radio.set_Value(true);
    EXPECT_COLOUR(Picture(radio).at(centre.x(), centre.y()), 32, 160, 32);
}

struct GroupOnGround {
    GroupOnGround() : box(&ground, QStringLiteral("Frame1")) {
        box.setGeometry(0, 0, 200, 100);
        box.set_Caption(QStringLiteral("        "));  // room without ink
        box.set_BackColor(ole_rgb(255, 255, 255));
        ground.show();
    }
    QWidget ground;
    xpgroupbox box;
};

TEST(GroupBoxFace, TopEdgeRunsThroughTheMiddleOfTheCaption) {
    GroupOnGround g;
    const int t = g.box.top_edge();
    EXPECT_EQ(t, g.box.caption_rect().height() / 2);
    Picture p(g.box);
    EXPECT_COLOUR(p.at(190, t), 208, 208, 191);      // top edge beyond the caption
    EXPECT_COLOUR(p.at(190, t - 1), 255, 255, 255);  // above it, the ground
    EXPECT_COLOUR(p.at(20, t), 255, 255, 255);       // hidden behind the caption
    EXPECT_COLOUR(p.at(0, 60), 208, 208, 191);       // left edge
    EXPECT_COLOUR(p.at(199, 60), 208, 208, 191);     // right edge
    EXPECT_COLOUR(p.at(100, 99), 208, 208, 191);     // bottom edge
    EXPECT_COLOUR(p.at(1, 60), 255, 255, 255);
    EXPECT_COLOUR(p.at(100, 50), 255, 255, 255);
}

TEST(GroupBoxFace, LargerFontLowersTheTopEdge) {
    GroupOnGround g;
    const int before = g.box.top_edge();
    QFont big = g.box.font();
    big.setPointSizeF(big.pointSizeF() * 3);
    g.box.set_Font(big);
    const int after = g.box.top_edge();
    EXPECT_GT(after, before);
    Picture p(g.box);
    EXPECT_COLOUR(p.at(190, after), 208, 208, 191);
    EXPECT_COLOUR(p.at(0, after + 3), 208, 208, 191);  // the side edges begin lower
    EXPECT_COLOUR(p.at(0, before + 3), 255, 255, 255);
}

TEST(GroupBoxFace, BackColorRepaintsGroundAndCaption) {
    GroupOnGround g;
    g.box.set_BackColor(ole_rgb(10, 20, 30));
    Picture p(g.box);
    EXPECT_COLOUR(p.at(20, g.box.top_edge()), 10, 20, 30);
    EXPECT_COLOUR(p.at(100, 50), 10, 20, 30);
    EXPECT_COLOUR(p.at(190, g.box.top_edge()), 208, 208, 191);
}

TEST(GroupBoxFace, EmptyCaptionKeepsTheEdgeAtHalfALine) {
    GroupOnGround g;
    g.box.set_Caption(QString());
    EXPECT_EQ(g.box.top_edge(), g.box.fontMetrics().height() / 2);
    // A box too low for its side edges draws none, but its corners and edges still land.
    g.box.setGeometry(0, 0, 60, g.box.top_edge() + 4);
    Picture p(g.box);
    EXPECT_COLOUR(p.at(30, g.box.top_edge()), 208, 208, 191);
}

struct Frame {
    explicit Frame(QSize size = QSize(300, 200)) : canvas(&host, QStringLiteral("xp_canvas1")) {
        host.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        host.resize(size);
        canvas.set_Caption(QString());
        host.show();
    }
    QWidget host;
    xp_canvas canvas;
};

TEST(FrameFace, BordersTitleAndClientInTheirColours) {
    Frame f;
    Picture p(f.canvas);
    EXPECT_COLOUR(p.at(150, 100), 236, 233, 216);
    const int left[5][3] = {
        {0, 25, 207}, {8, 49, 217}, {18, 84, 231}, {22, 106, 238}, {8, 85, 221}};
    for (int x = 0; x < 5; ++x) {
        EXPECT_COLOUR(p.at(x, 100), left[x][0], left[x][1], left[x][2]);
        EXPECT_COLOUR(p.at(299 - x, 100), left[x][0], left[x][1], left[x][2]);
        EXPECT_TRUE(p.sharp_at(x, 100));
    }
    const QColor title = p.at(150, 14);
    EXPECT_TRUE(title.blue() > 200 && title.red() < 30) << qPrintable(title.name());
    // The rounded corners show no key colour.
    EXPECT_NE(p.at(0, 0), QColor(255, 0, 255));
    EXPECT_NE(p.at(299, 0), QColor(255, 0, 255));
    EXPECT_COLOUR(p.at(0, 0), 236, 233, 216);
    // The bottom border's outer row is the darkest blue.
    EXPECT_GT(p.at(150, 199).blue(), 180);
    EXPECT_LT(p.at(150, 199).green(), 60);
}

TEST(FrameFace, InactiveLookIsPale) {
    Frame f;
    f.canvas.set_inactive_skin();
    f.canvas.layout_pass();
    Picture p(f.canvas);
    const int left[5][3] = {
        {91, 104, 205}, {116, 128, 220}, {117, 137, 222}, {117, 140, 221}, {117, 140, 220}};
    for (int x = 0; x < 5; ++x) EXPECT_COLOUR(p.at(x, 100), left[x][0], left[x][1], left[x][2]);
    EXPECT_COLOUR_NEAR(p.at(150, 14), 122, 147, 223, 16);
}

TEST(FrameFace, TitleFollowsTheWindowState) {
    Frame f;
    f.host.setWindowState(Qt::WindowMaximized);
    f.canvas.layout_pass();
    Picture maximised(f.canvas);
    EXPECT_NE(maximised.at(0, 0), QColor(236, 233, 216));  // square corners
    const QColor title = maximised.at(f.canvas.width() / 2, 14);
    EXPECT_GT(title.blue(), 200);
    f.host.setWindowState(Qt::WindowMinimized);
    f.canvas.layout_pass();
    Picture minimised(f.canvas);
    EXPECT_COLOUR(minimised.at(f.canvas.width() / 2, 14), 236, 233, 216);  // no title painted
}

}  // namespace

// Shapes a top-level window so that pixels of a key colour in its top six rows become holes in
// it: how a borderless window gets the rounded top corners drawn into its title picture. Only
// the top six rows are looked at, so a key-coloured pixel lower down stays part of the window.
// The region is built anew from the full rectangle on every call.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>

namespace quillon::skin {

// `surface` is what decides the shape, one pixel per logical pixel of `form` from its
// top-left; a pixel outside it never equals the key colour. `key_colour` is 0xRRGGBB.
QRegion key_colour_region(const QImage& surface, QSize form_size, QRgb key_colour);

// Gives `form` the region cut from `surface` as its mask.
void colour_region(QWidget& form, const QImage& surface, QRgb key_colour);

// The same, with what `form` paints (its children included, its mask ignored) as the surface.
void colour_region(QWidget& form, QRgb key_colour);

}  // namespace quillon::skin

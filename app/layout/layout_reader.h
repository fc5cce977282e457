// Stored layouts: the text files a window is built from. Each names the window, its widgets and
// its controls with their classes, places and persisted properties, and a control's saved state.
//
//   quillon-layout 1
//   # A comment: a line whose first visible character is '#'.
//   form Form1
//       geometry = 0, 0, 846, 470
//       Caption = "Quillon V1.60 "
//   widget Frame4 : Quillon.Frame
//       geometry = 576, 40, 120, 250
//       Caption = "Record"
//   widget Slider1 : MSComctlLib.Slider in Frame4
//       Orientation = 1
//   widget Label1(0) : Quillon.Label
//       Caption = "Recording Control"
//   control Kelvane1 : {5E21B7A6-6C4F-4D2A-8B19-3F0C7D9E4A10}
//       state = hex "00000100 4f030000"
//
// The first line gives the format and its version. Then come records: a line at the left margin
// opens one (`form NAME` once, first; `widget NAME[(INDEX)] : CLASS [in PARENT]`; `control NAME :
// CLASS`, CLASS a class identifier or ProgID), and the indented `KEY = VALUE` lines below it are
// its properties. `geometry` is the record's place in pixels of its parent (left, top, width,
// height); every other key goes to the object as a persisted property, except a control's
// `state`, its saved-state stream. Values:
//   "text"                 with \" \\ \n \t escapes
//   -12, 0x00FF8000        integers (hexadecimal up to 32 bits)
//   0.0001, 2.5e3          numbers
//   True, False
//   font "Tahoma" 8 bold italic     a family and a size in points, then optional styles
//   picture "images/mic.png"        a PNG file, relative to the layout's folder
//   hex "0000 0100"                 bytes; blanks between them are ignored
// Names are letters, digits and '_' (not first a digit); INDEX makes the record an element of a
// widget array. A PARENT is a widget named earlier. Anything else is an error that names the file
// and the line, and nothing is built from such a file.
#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

namespace quillon::forms {

inline constexpr int layout_format_version = 1;

struct LayoutValue {
    enum class Kind { text, integer, number, boolean, font, picture, bytes };
    Kind kind = Kind::text;
    QString text;  // the text; a font's family; a picture's file
    qint64 integer = 0;
    double number = 0;  // the number; a font's size in points
    bool boolean = false;
    bool bold = false;
    bool italic = false;
    QByteArray bytes;
};

struct LayoutProperty {
    QString key;
    LayoutValue value;
    int line = 0;
};

struct LayoutRecord {
    enum class Kind { form, widget, control };
    Kind kind = Kind::widget;
    QString name;
    int index = -1;  // the element of a widget array; -1 for a single widget
    QString class_id;
    QString parent;  // the containing widget's full name; empty: the form
    std::optional<QRect> geometry;
    int geometry_line = 0;
    std::vector<LayoutProperty> properties;
    int line = 0;

    // NAME, or NAME(INDEX) for an array element.
    QString full_name() const;
    const LayoutProperty* find(const QString& key) const;
};

struct LayoutDocument {
    std::vector<LayoutRecord> records;  // the form first, then the rest in file order
};

struct LayoutError {
    QString file;
    int line = 0;  // 0: the file as a whole
    QString message;

    // "FILE:LINE: MESSAGE", or "FILE: MESSAGE".
    QString text() const;
};

// Limits beyond which a file is a damaged layout, not a window.
inline constexpr qsizetype max_layout_bytes = 1 << 20;
inline constexpr std::size_t max_layout_records = 1000;
inline constexpr std::size_t max_record_properties = 100;
inline constexpr qsizetype max_layout_text = 4096;
inline constexpr qsizetype max_layout_state_bytes = 65536;
inline constexpr int max_layout_coordinate = 32767;

// Reads a layout from its bytes; `file` names it in errors.
std::optional<LayoutDocument> read_layout(const QByteArray& bytes, const QString& file,
                                          LayoutError& error);
std::optional<LayoutDocument> read_layout_file(const QString& path, LayoutError& error);

}  // namespace quillon::forms

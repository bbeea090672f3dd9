#pragma once

#include "model/watermark_conf.h"

#include <QFont>

// The font picker works in points; a layer's font record holds a pixel
// height. The editor converts between them at the display's nominal 96
// pixels per inch, so a size chosen in points draws as it would on screen.
namespace kw {

// The record's font for the picker: face, weight, italic, underline,
// strike-out, and the size in points.
QFont PickerFontFromLogFont(const LogFont &font);

// `previous` with the face, character height, weight, italic, underline and
// strike-out of the chosen font; every other member of the record (width,
// angles, character set, precision, quality, pitch and family) keeps its
// value.
LogFont LogFontFromPickerFont(const QFont &chosen, const LogFont &previous);

} // namespace kw

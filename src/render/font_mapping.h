#pragma once

#include "model/watermark_conf.h"

#include <QFont>
#include <QString>

// Turns a layer's stored font record into the QFont text is drawn with.
// Needs a QGuiApplication (fonts come from the platform's font database).
// Thread-safe: QFont values may be made and used on any thread.
namespace kw {

// The face a layer uses when its record names none.
inline constexpr QStringView kDefaultFaceName = u"Tahoma";

// Registers the metric-compatible Tahoma that Debian ships in fonts-wine, if
// present, so "Tahoma" resolves to it rather than to a substitute. Safe to
// call more than once. Returns whether the regular face was registered.
bool RegisterWatermarkFonts();

// The font of the record: face, weight, italic, underline and strike-out as
// stored, and the pixel size from the height: a negative height is the
// character height (the em size), a positive one the cell height (ascent plus
// descent), 0 the default of 16 pixels. Sizes are kept within 1 to
// kMaxFontPixelSize so that a damaged file cannot ask for a font bigger than
// any photo. Hinting is off so outlines, measurement and rendered text agree.
QFont FontFromLogFont(const LogFont &logFont);

inline constexpr int kMaxFontPixelSize = 20000;

} // namespace kw

#include "editor/editor_fonts.h"

#include "render/font_mapping.h"

#include <algorithm>
#include <cmath>

namespace kw {

namespace {

constexpr qreal kPixelsPerInch = 96.0;
constexpr qreal kPointsPerInch = 72.0;

} // namespace

QFont PickerFontFromLogFont(const LogFont &font)
{
    QFont picker = FontFromLogFont(font);
    const int pixels = picker.pixelSize();
    if (pixels > 0)
        picker.setPointSizeF(pixels * kPointsPerInch / kPixelsPerInch);
    return picker;
}

LogFont LogFontFromPickerFont(const QFont &chosen, const LogFont &previous)
{
    LogFont font = previous;
    font.setFaceName(chosen.family());
    qreal pixels = chosen.pixelSize();
    if (pixels <= 0)
        pixels = chosen.pointSizeF() * kPixelsPerInch / kPointsPerInch;
    // A negative height asks for that character height.
    font.setHeight(-std::max<int32_t>(1, int32_t(std::lround(std::min(pixels, 1.0e6)))));
    font.setWeight(std::clamp(int(chosen.weight()), 1, 1000));
    font.setItalic(chosen.italic() ? 1 : 0);
    font.setUnderline(chosen.underline() ? 1 : 0);
    font.setStrikeOut(chosen.strikeOut() ? 1 : 0);
    return font;
}

} // namespace kw

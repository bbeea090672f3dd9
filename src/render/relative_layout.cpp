#include "render/relative_layout.h"

#include "render/font_mapping.h"
#include "render/watermark_renderer.h"

#include <algorithm>
#include <cmath>

namespace kw {

namespace {

constexpr int32_t kUnknownPictureShare = 2000;

int32_t roundedPixels(double value, int32_t limit)
{
    return int32_t(std::clamp<double>(std::round(value), -limit, limit));
}

int shorterSide(QSize canvas)
{
    return std::max(0, std::min(canvas.width(), canvas.height()));
}

} // namespace

int32_t HundredthsOfPercent(double pixels, double whole, int32_t minimum, int32_t maximum)
{
    if (!(whole > 0) || !std::isfinite(pixels))
        return minimum;
    return int32_t(std::clamp<double>(std::round(pixels * 10000.0 / whole), minimum, maximum));
}

void MakeTextRelative(CWatermarkConf &layer, QSize canvas)
{
    const int em = FontFromLogFont(layer.Font).pixelSize();
    layer.RelativeSize = HundredthsOfPercent(em, shorterSide(canvas), 1, kMaxRelativeSize);
    layer.RelativeOffsetH = canvas.width() <= 0
                                ? 0
                                : HundredthsOfPercent(layer.OffsetH, canvas.width(),
                                                      -kMaxRelativeOffset, kMaxRelativeOffset);
    layer.RelativeOffsetV = canvas.height() <= 0
                                ? 0
                                : HundredthsOfPercent(layer.OffsetV, canvas.height(),
                                                      -kMaxRelativeOffset, kMaxRelativeOffset);
}

void MakeTextPixels(CWatermarkConf &layer, QSize canvas)
{
    if (layer.RelativeSize > 0) {
        const double em = layer.RelativeSize * double(shorterSide(canvas)) / 10000.0;
        layer.Font.setHeight(
            -std::clamp<int32_t>(roundedPixels(em, kMaxFontPixelSize), 1, kMaxFontPixelSize));
        layer.OffsetH =
            roundedPixels(layer.RelativeOffsetH * double(canvas.width()) / 10000.0, INT32_MAX);
        layer.OffsetV =
            roundedPixels(layer.RelativeOffsetV * double(canvas.height()) / 10000.0, INT32_MAX);
    }
    layer.RelativeSize = layer.RelativeOffsetH = layer.RelativeOffsetV = 0;
}

void MakePictureRelative(CWatermarkConf &layer, QSize natural, QSize canvas)
{
    const int shorter = shorterSide(canvas);
    CWatermarkConf inPixels = layer;
    inPixels.ImageRelativeWidth = 0;
    const QSizeF drawn = PictureDrawSize(inPixels, natural, canvas.width(), canvas.height());
    layer.ImageRelativeWidth =
        drawn.isEmpty() ? kUnknownPictureShare
                        : HundredthsOfPercent(drawn.width(), shorter, 1, kMaxRelativeSize);
    // A height of its own only when the pixels set one apart from the width.
    layer.ImageRelativeHeight =
        layer.ImageDrawWidth > 0 && layer.ImageDrawHeight > 0 && !drawn.isEmpty()
            ? HundredthsOfPercent(drawn.height(), shorter, 1, kMaxRelativeSize)
            : 0;
    layer.ImageRelativeOffsetH = canvas.width() <= 0
                                     ? 0
                                     : HundredthsOfPercent(layer.ImageOffsetH, canvas.width(),
                                                           -kMaxRelativeOffset, kMaxRelativeOffset);
    layer.ImageRelativeOffsetV = canvas.height() <= 0
                                     ? 0
                                     : HundredthsOfPercent(layer.ImageOffsetV, canvas.height(),
                                                           -kMaxRelativeOffset, kMaxRelativeOffset);
}

void MakePicturePixels(CWatermarkConf &layer, QSize natural, QSize canvas)
{
    if (layer.ImageRelativeWidth > 0) {
        const QSizeF drawn = PictureDrawSize(layer, natural, canvas.width(), canvas.height());
        if (!drawn.isEmpty()) {
            layer.ImageDrawWidth = std::clamp<int32_t>(
                roundedPixels(drawn.width(), kMaxDrawnPictureSide), 1, kMaxDrawnPictureSide);
            layer.ImageDrawHeight =
                layer.ImageRelativeHeight > 0
                    ? std::clamp<int32_t>(roundedPixels(drawn.height(), kMaxDrawnPictureSide), 1,
                                          kMaxDrawnPictureSide)
                    : 0;
        }
        layer.ImageOffsetH =
            roundedPixels(layer.ImageRelativeOffsetH * double(canvas.width()) / 10000.0, INT32_MAX);
        layer.ImageOffsetV = roundedPixels(
            layer.ImageRelativeOffsetV * double(canvas.height()) / 10000.0, INT32_MAX);
    }
    layer.ImageRelativeWidth = layer.ImageRelativeHeight = 0;
    layer.ImageRelativeOffsetH = layer.ImageRelativeOffsetV = 0;
}

} // namespace kw

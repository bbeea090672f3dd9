#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

// The working size of a photo and the filter that scales it there. Plain
// functions over values: they share no state and may run on any thread.
namespace kw {

// The most pixels a photo or a working bitmap may have (200 megapixels: room
// for 100-megapixel cameras, 800 MB at 32 bits per pixel). Larger sizes are
// refused with a reason instead of being allocated.
inline constexpr int64_t kMaxPhotoPixels = 200'000'000;

// How a photo is resized as it is decoded, as plain values so that callers
// pass whatever setting they hold.
struct ResizeRequest
{
    bool resize = false; // resizing switched on, for this run or every run
    // 1: proportionally to targetWidth; 2: proportionally to targetHeight;
    // 3: to targetWidth x targetHeight exactly; any other value: no resizing.
    int32_t scaleType = 0;
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    // Set: the longer side to this many pixels, in place of scaleType.
    std::optional<int32_t> targetLongEdge = std::nullopt;
    // A photo the resizing would make wider or taller keeps its size.
    bool neverEnlarge = false;
};

struct CResizeSetting;
// The request a stored resizing setting makes.
ResizeRequest ResizeRequestFrom(const CResizeSetting &setting);

struct WorkingSize
{
    QSize size;    // valid when error is empty
    QString error; // why the size was refused

    explicit operator bool() const { return error.isEmpty(); }
};

// The working size (tw, th) of an upright photo of `photo` pixels. Without
// resizing (or with a scale type other than 1, 2 or 3) it is the photo's own
// size. Type 1: (targetWidth, targetWidth * h / w); type 2:
// (w * targetHeight / h, targetHeight); type 3: (targetWidth, targetHeight).
// 32-bit signed arithmetic, the product first, the quotient truncated toward
// zero; photos smaller than the target are enlarged.
//
// With targetLongEdge set (L), in place of the scale type: a landscape or
// square photo gets (L, L * h / w), a portrait one (L * w / h, L), the
// product in 64 bits, truncated. With neverEnlarge, a photo the result would make wider or
// taller than it is (for the long edge: L above its longer side) keeps its
// own size, before any product is formed, so a huge target is no failure.
//
// Refused with a reason: a photo or result with a side that is zero or
// negative, a product that does not fit in 32 bits, and a result of more than
// kMaxPhotoPixels.
WorkingSize ComputeWorkingSize(QSize photo, const ResizeRequest &request);

// The DCT scale denominator (1, 2, 4 or 8) a JPEG decoder may use for a
// picture stored at `stored` that will be resampled to `target` (both in the
// stored, unturned orientation): the largest one whose truncated result
// stored / d still covers the target on both axes.
int ChooseDctScaleDenominator(QSize stored, QSize target);

// Resamples `source` to `target` pixels with the photo filter: when the
// picture shrinks by 4 or more on an axis, first an integer box average that
// leaves at least twice the target, then a separable Catmull-Rom (bicubic,
// a = -0.5) convolution whose support widens with the reduction so that it
// also filters out what the smaller picture cannot hold. Works on
// premultiplied pixels so transparent edges do not bleed dark colour.
//
// `source` may have any format (32-bit formats are read directly). The
// result is Format_ARGB32_Premultiplied with the source's colour space; a
// null image when a size is empty or memory runs out. A source already at
// `target` is only converted.
QImage ResamplePhoto(const QImage &source, QSize target);

} // namespace kw

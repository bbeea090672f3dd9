#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QSize>

#include <span>
#include <vector>

// Colour conversion through ICC profiles, with Little CMS 2. Photos are drawn
// on and written as RGB; this module turns CMYK and grey sources into sRGB
// through their own profiles, says which profile an RGB output may carry, and
// turns the mark's sRGB colours into a photo's RGB profile. Conversions use
// the relative colorimetric intent with black point compensation, the
// default of the common photo editors. Any thread; nothing is shared
// between calls except the sRGB profile, built once.
namespace kw {

// What an ICC profile's colours are made of (its data colour space).
enum class ColourModel {
    Unknown, // no profile, or one that cannot be read
    Rgb,
    Grey,
    Cmyk,
    Other, // Lab, XYZ, multi-ink and the like
};

ColourModel ProfileColourModel(const QByteArray &icc);

// The sRGB profile that an output whose pixels were converted to sRGB carries.
const QByteArray &SrgbProfile();

// The profile an RGB output of a source with profile `source` carries: the
// source's own when it describes RGB pixels, sRGB when it describes another
// model (the pixels were converted to sRGB, or are taken as sRGB), nothing
// when the source has none.
QByteArray ProfileForRgbOutput(const QByteArray &source);

// How the source's samples are laid out, one byte each.
enum class SourcePixels {
    Grey8,
    Cmyk8,         // 0 no ink
    InvertedCmyk8, // 255 no ink, as Adobe writes CMYK and YCCK JPEGs
};

// Converts rows of samples into sRGB through `profile` (whose colour model
// must be the samples'). A converter is made once per photo; convert() may be
// called for successive bands of rows.
class SrgbConverter
{
public:
    // Fails when the profile cannot be read, is of another model, or is of a
    // kind that cannot convert (a device link, a named colour list).
    static Result<SrgbConverter> Make(const QByteArray &profile, SourcePixels pixels);

    SrgbConverter(SrgbConverter &&other) noexcept;
    SrgbConverter &operator=(SrgbConverter &&other) noexcept;
    SrgbConverter(const SrgbConverter &) = delete;
    SrgbConverter &operator=(const SrgbConverter &) = delete;
    ~SrgbConverter();

    // `rows` rows of `width` samples (bytesPerLine apart) into the rows of
    // `out` from `firstRow` on; `out` is Format_RGB32 and wide enough.
    void convert(const uchar *samples, qsizetype bytesPerLine, int width, int rows, QImage &out,
                 int firstRow) const;

private:
    explicit SrgbConverter(void *transform) : m_transform(transform) {}
    void *m_transform = nullptr;
};

// The sRGB colours `colours` (alpha kept) as they are written in an RGB
// profile `profile`, so that they show the same on a photo of that profile.
// Fails when the profile cannot be read or is not RGB.
Result<std::vector<QRgb>> SrgbColoursInProfile(std::span<const QRgb> colours,
                                               const QByteArray &profile);

} // namespace kw

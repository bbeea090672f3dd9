#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QImage>

// Internal to photo input: JPEGs whose pixels are not RGB (CMYK, Adobe's
// YCCK, grey) and that carry a colour profile of that model are decoded here,
// with libjpeg, and converted through their profile to sRGB. Qt's decoder
// would turn CMYK into RGB by a formula that ignores the profile, and it
// cannot read grey profiles. Any thread.
namespace kw::detail {

// The embedded colour profile when the JPEG in `bytes` is CMYK, YCCK or grey
// and the profile describes that model; empty otherwise (the JPEG then goes
// to Qt's decoder). Reads the header only.
QByteArray NonRgbJpegProfile(const QByteArray &bytes);

// Decodes the JPEG, shrunk by `scaleDenominator` (1, 2, 4 or 8) in the DCT
// domain, and converts its pixels through `profile` (from NonRgbJpegProfile)
// into a Format_RGB32 picture tagged sRGB. Fails with the decoder's or the
// colour engine's reason.
Result<QImage> DecodeJpegThroughProfile(const QByteArray &bytes, const QByteArray &profile,
                                        int scaleDenominator);

} // namespace kw::detail

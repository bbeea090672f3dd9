#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QImage>

// Internal to photo input: ordinary colour JPEGs (8-bit, three components,
// YCbCr or RGB) decoded with libjpeg straight into the premultiplied 32-bit
// picture the rest of the pipeline works on. Qt's reader decodes into 24-bit
// rows and converts each one, and the pipeline converts its result once
// more; this skips both passes. The settings are libjpeg's defaults, as in
// Qt's reader (accurate integer DCT, smooth chroma upsampling), so the
// pixels are the same. Any thread.
namespace kw::detail {

// Decodes the JPEG in `bytes`, shrunk by `scaleDenominator` (1, 2, 4 or 8)
// in the DCT domain, into an opaque Format_ARGB32_Premultiplied picture
// carrying the file's colour profile. Fails, with libjpeg's reason or a note
// that the file is not of this kind (grey, CMYK, 12-bit, a colour profile
// split oddly), whenever Qt's reader should take the file instead; any
// warning libjpeg raises on damaged data counts as a failure too, so damaged
// files keep the reader and the messages they always had.
Result<QImage> DecodeRgbJpeg(const QByteArray &bytes, int scaleDenominator);

} // namespace kw::detail

#pragma once

#include "platform/result.h"
#include "render/output_metadata.h"

#include <QImage>

class QIODevice;

// The WebP encoder of the output writer: libwebp, with the metadata added as
// EXIF, XMP and ICCP chunks through libwebpmux. Any thread.
namespace kw {

// WebP stores at most this many pixels a side.
inline constexpr int kWebpMaxSide = 16383;

struct WebpSettings
{
    int quality = 0;       // 0 to 100; for lossless, the compression effort
    bool lossless = false; // exact pixels
};

// Encodes `upright` (Format_RGBX8888, or Format_RGBA8888 when it has
// transparency) with `metadata`. Refused with the reason when a side is
// larger than kWebpMaxSide or the quality is outside 0 to 100.
Status EncodeWebp(const QImage &upright, const WebpSettings &settings,
                  const OutputMetadata &metadata, QIODevice *device);

} // namespace kw

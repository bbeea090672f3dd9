#pragma once

#include "platform/result.h"
#include "render/output_metadata.h"

#include <QImage>

class QIODevice;

// The AVIF encoder of the output writer: libavif (with the AV1 encoder it
// was built with), 4:2:0 like the JPEG output, with EXIF, XMP and the colour
// profile. Any thread.
namespace kw {

// libavif 0.11 has no quality setting, only the AV1 quantizer range (0 best
// to 63 worst). Quality q (0 to 100) is mapped linearly onto it, the way
// later libavif versions map their own quality: quantizer
// round((100 - q) * 63 / 100), used as both the minimum and the maximum so
// that every frame is coded at that quantizer.
int AvifQuantizerForQuality(int quality);

// The encoder speed. Measured on a 2560 x 1600 photograph at quantizer 9,
// 4:2:0, two threads: speed 6 (libavif's default) 21 s and 39.57 dB, 7 13 s
// and 39.41 dB, 8 2.6 s and 39.28 dB, 9 and 10 no faster and 38.91 dB with
// 3 % larger files. Speed 8 keeps the quality within 0.3 dB at an eighth of
// the time.
inline constexpr int kAvifSpeed = 8;

// Encodes `upright` (Format_RGBX8888, or Format_RGBA8888 when it has
// transparency) at `quality` (0 to 100) with `metadata`. The failure is
// libavif's reason.
Status EncodeAvif(const QImage &upright, int quality, const OutputMetadata &metadata,
                  QIODevice *device);

} // namespace kw

#pragma once

#include "platform/result.h"
#include "render/jpeg_encoder.h"
#include "render/mark_overlay.h"

#include <QByteArray>
#include <QSize>

class QIODevice;

// The JPEG coefficient path: writes a watermarked JPEG from a JPEG source
// without decoding the photo. The source's DCT coefficients are read as they
// are; only the 8 x 8 blocks that the mark's pixels reach are decoded,
// blended with the mark and quantised again with the source's own tables;
// every other block is copied unchanged. Any thread; no state between calls.
namespace kw {

// What the coefficient path needs to know of a source before rendering a mark.
struct JpegCoefficientSource
{
    QSize stored; // the frame's size as stored (before any EXIF orientation)
    bool progressive = false;
};

// Whether the coefficient path can take the JPEG in `file`: an 8-bit
// Huffman-coded baseline or progressive JPEG with three YCbCr components
// whose chroma sampling divides the luma sampling. Reads only the header.
// Fails with the reason otherwise (grey, CMYK or YCCK, arithmetic coding,
// 12-bit samples, lossless coding, or libjpeg's own message).
Result<JpegCoefficientSource> ProbeJpegCoefficientSource(const QByteArray &file);

struct CoefficientWriteOptions
{
    // Optimised Huffman tables (smallest file, slower) instead of the
    // standard ones. Progressive output always has optimised tables.
    bool optimiseHuffman = false;
};

struct CoefficientWriteStats
{
    qint64 blocks = 0;    // blocks in the image, all components
    qint64 reencoded = 0; // blocks decoded, blended and quantised again
};

// Writes `file` (which ProbeJpegCoefficientSource accepted) to `device` with
// `overlay` (in the stored frame, premultiplied) blended into the blocks it
// reaches, and `segments` as the only APPn markers (a JFIF header when
// there is no EXIF and the source had one). The output keeps the source's
// quantisation tables, sampling factors, restart interval and baseline or
// progressive coding. Fails with libjpeg's message; a source that decodes
// with warnings (corrupt or cut-short data) fails too, so it is never copied
// silently damaged.
Result<CoefficientWriteStats> WriteWatermarkedCoefficients(const QByteArray &file,
                                                           const MarkOverlay &overlay,
                                                           const JpegSegments &segments,
                                                           const CoefficientWriteOptions &options,
                                                           QIODevice *device);

} // namespace kw

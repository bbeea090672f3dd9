#pragma once

#include "platform/result.h"
#include "render/output_metadata.h"
#include "settings/preferences.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QStringList>

class QIODevice;

// The JPEG encoder of the output writer: libjpeg(-turbo) driven directly, so
// that it takes the drawn 32-bit pixels as they are, streams, and turns them
// back to a stored orientation strip by strip. Any thread.
namespace kw {

// The quality JPEG output is encoded at unless the OutputJpegQuality
// preference says otherwise (baseline, standard Huffman tables); the old
// JpegQuality preference does not change it.
inline constexpr int kOutputJpegQuality = kDefaultJpegQuality;

// From this quality up the chroma is kept at full resolution (4:4:4), as
// ImageMagick and libvips do: halving it blurs small coloured text into its
// background, which costs more than the larger file at these qualities.
// Below it the chroma is halved both ways (4:2:0).
inline constexpr int kFullChromaJpegQuality = 90;

// The largest payload of one JPEG marker segment (its length field counts
// itself).
inline constexpr qsizetype kMaxSegmentPayload = 0xFFFF - 2;

// The largest EXIF block one APP1 segment holds after its "Exif\0\0" header.
inline constexpr qsizetype kMaxJpegExifSize = kMaxSegmentPayload - 6;

// One marker segment of a JPEG header: APP1 (0xE1) for EXIF and XMP, APP2
// for the colour profile, APP13 for IPTC.
struct JpegSegment
{
    int marker;
    QByteArray payload;
};
using JpegSegments = QList<JpegSegment>;

// The colour profile as ICC_PROFILE chunks, numbered from 1, each with the
// chunk count. Refused (nothing appended) when it needs more than 255 chunks.
Status AppendIccSegments(JpegSegments &out, const QByteArray &profile);

// The APPn segments that carry `metadata`, in the order readers expect them:
// EXIF, XMP, the colour profile, IPTC. A block too large for the format is
// left out with a warning.
JpegSegments JpegMetadataSegments(const OutputMetadata &metadata, QStringList &warnings);

// Encodes `upright` (32 bits a pixel) as a baseline JPEG at `quality` (1 to
// 100; refused otherwise) with 4:4:4 chroma from kFullChromaJpegQuality up
// (4:2:0 below) and the standard Huffman tables, stored in the layout of EXIF
// `orientation` (turned back strip by strip, never as a whole copy), with
// `segments` in its header. The failure is libjpeg's message.
Status EncodeJpeg(const QImage &upright, int orientation, const JpegSegments &segments,
                  QIODevice *device, int quality = kOutputJpegQuality);

} // namespace kw

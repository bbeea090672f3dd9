#pragma once

#include "platform/result.h"
#include "render/output_metadata.h"

#include <QByteArray>

// Metadata for TIFF output: Qt's TIFF writer stores none, so Exiv2 adds it
// to the TIFF stream Qt wrote, in memory before the file is written. Any
// thread.
namespace kw {

// `tiff` with the EXIF tags of `metadata` (those describing the image
// structure stay as the stream has them), its XMP (tag 700), colour profile
// (tag 34675) and IPTC.
Result<QByteArray> AddTiffMetadata(const QByteArray &tiff, const OutputMetadata &metadata);

} // namespace kw

#pragma once

#include "platform/result.h"
#include "render/output_metadata.h"

#include <QByteArray>

// Metadata for PNG output: Qt's PNG writer stores none, so the chunks are
// added to the PNG stream it wrote. Any thread.
namespace kw {

// `png` with `metadata` as chunks before its first IDAT: eXIf for EXIF, an
// uncompressed iTXt "XML:com.adobe.xmp" for XMP, and iCCP for the colour
// profile unless the stream has one already. IPTC has no PNG chunk and is
// left out. Refused when `png` is not a PNG stream with an IDAT chunk.
Result<QByteArray> AddPngMetadata(const QByteArray &png, const OutputMetadata &metadata);

} // namespace kw

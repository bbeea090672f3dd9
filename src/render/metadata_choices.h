#pragma once

#include "model/template_file.h"
#include "render/photo_input.h"
#include "render/text_variables.h"

#include <QStringList>

// A template's choices for the metadata of its outputs (OutputMetadataSetting)
// applied to what a photo carries from its source, before the output writer
// prepares it. Any thread.
namespace kw {

// `metadata` with the choices applied:
// - location: the EXIF GPS directory and the XMP exif:GPS properties go;
// - serial numbers: every EXIF tag (maker notes included) and XMP property
//   whose name holds "SerialNumber" goes (body, camera, lens, internal);
// - artist and copyright, their text variables filled from `facts`: EXIF
//   Artist and Copyright and XMP dc:creator and dc:rights are set (a text
//   that comes out empty leaves the source's value).
// A block that cannot be read when something must be removed from it is
// left out whole, so nothing that was to go remains; `warnings` says so.
PhotoMetadata ApplyOutputMetadataSetting(PhotoMetadata metadata,
                                         const OutputMetadataSetting &setting,
                                         const PhotoFacts &facts, QStringList &warnings);

} // namespace kw

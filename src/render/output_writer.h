#pragma once

#include "platform/result.h"
#include "render/output_naming.h"
#include "render/photo_input.h"
#include "settings/preferences.h"

#include <QImage>
#include <QString>

// The output writer: turns a finished batch picture into a file beside its
// source or in the chosen output folder, named after the source, in the
// chosen format. JPEG output carries the source's EXIF, IPTC, XMP and colour
// profile and is stored in the source's orientation with the tag kept.
//
// Threading: every function may run on any thread at the same time as the
// others; nothing is kept between calls. No exception leaves them: every
// failure is a result with a short reason, and a failed write leaves nothing
// behind (files are written to a temporary file beside the target and renamed
// over it).
namespace kw {

struct WrittenOutput
{
    QString path;    // the file written
    QString warning; // part of the metadata was left out; empty otherwise
};

// Writes `picture` (the finished batch picture, upright; pass it by move, so
// that it is encoded without a copy) as the output of `photo.sourcePath`.
//
// JPEG: the pixels are turned back to the source's stored orientation
// (OrientToStored of photo.sourceOrientation) and the source's EXIF (the
// pixel-dimension tags set to the written size, the Orientation tag kept),
// XMP, colour profile and IPTC are inserted, without any embedded picture of
// the source (see PrepareOutputMetadata). PNG,
// BMP and TIFF: upright, no metadata, the colour profile kept where the format
// holds one; an opaque picture is written without an alpha channel.
//
// Refused, with nothing written: a target that is the source file itself or
// one of `protectedFiles`, options out of range, a missing encoder. A missing
// OutputFolderPath is created with its parents. A failed write names the
// system's reason ("cannot write /out/a.png: no space left on device"); the
// encoders print nothing.
//
// `outputPath`, when given, is the file to write instead of the one
// ResolveOutputTarget names (a batch run's planned name, in the same folder
// and format).
Result<WrittenOutput> WriteOutput(QImage picture, const DecodedPhoto &photo,
                                  const CPreferences &prefs,
                                  const ProtectedFiles *protectedFiles = nullptr,
                                  const QString &outputPath = {});

} // namespace kw

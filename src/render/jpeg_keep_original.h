#pragma once

#include "platform/result.h"
#include "render/jpeg_lossless.h"
#include "render/output_naming.h"
#include "render/output_writer.h"
#include "settings/preferences.h"

#include <QIODevice>
#include <QImage>
#include <QString>

// The "keep the original JPEG" output mode: a JPEG photo written as JPEG
// keeps its own coding; only the 8 x 8 blocks under the watermark are
// encoded again (see jpeg_lossless.h). The batch tries it first for each
// photo it applies to and writes the photo the usual way when it fails.
// Any thread; nothing is shared between calls.
namespace kw {

// Whether the mode is chosen and applies to the photo at `sourcePath`: JPEG
// output of a ".jpg"/".jpeg" source, without resizing. Whether the file
// itself suits the mode is only known when it is read.
bool KeepOriginalJpegApplies(const QString &sourcePath, const CPreferences &prefs, bool resizing);

// Why a run whose mode is "keep the original" writes its JPEGs at quality 98
// all the same (resizing is on); empty when it does not.
QString KeepOriginalJpegInapplicableReason(const CPreferences &prefs, bool resizing);

struct KeptJpeg
{
    QStringList warnings; // metadata left out, and why
    CoefficientWriteStats stats;
};

// The watermarked JPEG that the mode makes of the source at `sourcePath`,
// written to `device`, with the template drawn as the batch draws it. Fails
// with the reason the mode cannot take the photo (the caller then writes it
// the usual way).
Result<KeptJpeg> EncodeKeepingOriginalJpeg(const QString &sourcePath,
                                           const QString &templatesFolder,
                                           const QString &templateName, bool optimizedHuffman,
                                           QIODevice *device);

// What this mode writes for the photo at `sourcePath`, decoded again and
// turned upright, for the output preview. Fails as EncodeKeepingOriginalJpeg
// does (the preview then shows the usual render).
Result<QImage> RenderKeepingOriginalJpeg(const QString &sourcePath, const QString &templatesFolder,
                                         const QString &templateName, bool optimizedHuffman);

// Writes the output of the photo at `sourcePath` to `target` (already
// resolved and checked against the sources) in this mode, through a
// temporary file renamed over the target. Fails with the reason when the
// mode cannot take the photo or the file cannot be written; nothing is left
// behind then.
Result<OutputResult> WriteKeepingOriginalJpeg(const QString &sourcePath, const OutputTarget &target,
                                              const CPreferences &prefs,
                                              const QString &templatesFolder,
                                              const QString &templateName);

} // namespace kw

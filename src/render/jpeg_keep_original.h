#pragma once

#include "platform/result.h"
#include "render/jpeg_lossless.h"
#include "render/loaded_template.h"
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
// written to `device`, with `mark` drawn as the batch draws it
// (`listPosition` as RenderInputs::listPosition). Fails with the reason the
// mode cannot take the photo (the caller then writes it the usual way).
Result<KeptJpeg> EncodeKeepingOriginalJpeg(const QString &sourcePath, const LoadedTemplate &mark,
                                           bool optimizedHuffman, QIODevice *device,
                                           int listPosition = -1);

// What this mode writes for the photo at `sourcePath`, decoded again and
// turned upright, for the output preview. Fails as EncodeKeepingOriginalJpeg
// does (the preview then shows the usual render).
Result<QImage> RenderKeepingOriginalJpeg(const QString &sourcePath, const LoadedTemplate &mark,
                                         bool optimizedHuffman, int listPosition = -1);

// Writes the output of the photo at `sourcePath` in this mode, as
// WriteEncodedOutput writes (`outputPath` is the run's planned name; empty
// for the one ResolveOutputTarget names). The photo is read and its mark
// drawn before the output's place is touched, so a photo the mode cannot
// take changes nothing there. Fails with the reason when the mode cannot
// take the photo or the file cannot be written; nothing is left behind then.
Result<WrittenOutput> WriteKeepingOriginalJpeg(const QString &sourcePath, const QString &outputPath,
                                               const CPreferences &prefs,
                                               const LoadedTemplate &mark,
                                               const ProtectedFiles *protectedFiles = nullptr,
                                               int listPosition = -1);

} // namespace kw

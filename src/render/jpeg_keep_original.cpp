#include "render/jpeg_keep_original.h"

#include "platform/app_folders.h"
#include "render/jpeg_encoder.h"
#include "render/jpeg_lossless.h"
#include "render/mark_overlay.h"
#include "render/output_metadata.h"
#include "render/photo_input.h"
#include "render/photo_input_metadata.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kw {

bool KeepOriginalJpegApplies(const QString &sourcePath, const CPreferences &prefs, bool resizing)
{
    return prefs.jpegOutput.mode == JpegOutputMode::KeepOriginal && !resizing &&
           prefs.outputFormat == 0 && HasJpegExtension(sourcePath);
}

QString KeepOriginalJpegInapplicableReason(const CPreferences &prefs, bool resizing)
{
    if (prefs.jpegOutput.mode != JpegOutputMode::KeepOriginal || prefs.outputFormat != 0 ||
        !resizing)
        return {};
    return u"resizing is on: JPEGs are re-encoded at quality 98"_s;
}

Result<KeptJpeg> EncodeKeepingOriginalJpeg(const QString &sourcePath,
                                           const QString &templatesFolder,
                                           const QString &templateName, bool optimizedHuffman,
                                           QIODevice *device)
{
    // A FIFO or device would block a plain read; photo input reports those.
    const QFileInfo info(sourcePath);
    if (!info.isFile() || info.size() > kMaxPhotoFileBytes)
        return Failure{u"not a regular file of a readable size"_s};
    QFile file(sourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{file.errorString()};
    const QByteArray bytes = file.readAll();
    file.close();

    const Result<JpegCoefficientSource> source = ProbeJpegCoefficientSource(bytes);
    if (!source)
        return Failure{source.error()};
    // The header alone is read so far: a size no photo has would make the
    // coefficient arrays and the mark's canvas as large as it says.
    if (qint64(source->stored.width()) * source->stored.height() > kMaxPhotoPixels)
        return Failure{u"more than %1 megapixels"_s.arg(kMaxPhotoPixels / 1'000'000)};
    // Unreadable metadata is left out, and the photo kept as stored, as the
    // usual path does.
    QStringList warnings;
    detail::MetadataRead read = detail::ReadPhotoMetadata(bytes, true);
    if (!read.note.isEmpty())
        warnings << read.note + u" (written as stored, without metadata)"_s;
    // Stored pixels stay as they are, so the tag that shows them upright stays too.
    const int orientation = read.orientation;
    const QSize upright = OrientedSize(source->stored, orientation);

    MarkOverlay overlay;
    if (!RenderMarkOverlay(upright, templatesFolder, templateName, overlay))
        return Failure{u"not enough memory for the watermark"_s};
    overlay = OverlayToStored(overlay, upright, orientation);

    JpegSegments segments;
    if (!read.metadata.isEmpty() || orientation != 0) {
        OutputMetadata metadata =
            PrepareOutputMetadata(read.metadata, source->stored, orientation, kMaxJpegExifSize);
        warnings << metadata.warnings;
        segments = JpegMetadataSegments(metadata, warnings);
    }
    CoefficientWriteOptions options;
    options.optimiseHuffman = optimizedHuffman;
    const Result<CoefficientWriteStats> written =
        WriteWatermarkedCoefficients(bytes, overlay, segments, options, device);
    if (!written)
        return Failure{written.error()};
    return KeptJpeg{warnings, *written};
}

Result<QImage> RenderKeepingOriginalJpeg(const QString &sourcePath, const QString &templatesFolder,
                                         const QString &templateName, bool optimizedHuffman)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const Result<KeptJpeg> encoded = EncodeKeepingOriginalJpeg(
        sourcePath, templatesFolder, templateName, optimizedHuffman, &buffer);
    if (!encoded)
        return Failure{encoded.error()};
    const QByteArray &bytes = buffer.data();
    QImage stored = QImage::fromData(bytes, "jpeg");
    if (stored.isNull())
        return Failure{u"cannot decode the kept JPEG"_s};
    const int orientation = detail::ReadPhotoMetadata(bytes, false).orientation;
    QImage upright = OrientUpright(std::move(stored), orientation);
    if (upright.isNull())
        return Failure{u"not enough memory"_s};
    return std::move(upright).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

Result<OutputResult> WriteKeepingOriginalJpeg(const QString &sourcePath, const OutputTarget &target,
                                              const CPreferences &prefs,
                                              const QString &templatesFolder,
                                              const QString &templateName)
{
    if (prefs.outputFolderOpts == 1 && !QFileInfo::exists(target.folder) &&
        !CreateFolderPath(target.folder))
        return Failure{u"cannot create the output folder %1"_s.arg(target.folder)};
    QSaveFile file(target.path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{file.errorString()};
    const Result<KeptJpeg> encoded = EncodeKeepingOriginalJpeg(
        sourcePath, templatesFolder, templateName, prefs.jpegOutput.optimizedHuffman, &file);
    if (!encoded) {
        file.cancelWriting();
        return Failure{encoded.error()};
    }
    if (!file.commit())
        return Failure{file.errorString()};
    OutputResult result;
    result.outputPath = target.path;
    result.warning = encoded->warnings.join(u"; "_s);
    return result;
}

} // namespace kw

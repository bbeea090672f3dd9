#include "render/jpeg_keep_original.h"

#include "render/jpeg_encoder.h"
#include "render/jpeg_lossless.h"
#include "render/mark_overlay.h"
#include "render/metadata_choices.h"
#include "render/output_metadata.h"
#include "render/photo_input.h"
#include "render/photo_input_metadata.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>

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

namespace {

// A source read and its mark drawn, ready to be written: everything that
// can refuse the photo happens before an output is opened.
struct PreparedJpeg
{
    QByteArray bytes;
    MarkOverlay overlay; // in the stored layout
    JpegSegments segments;
    QStringList warnings;
};

Result<PreparedJpeg> PrepareKeptJpeg(const QString &sourcePath, const LoadedTemplate &mark,
                                     int listPosition)
{
    // A FIFO or device would block a plain read; photo input reports those.
    const QFileInfo info(sourcePath);
    if (!info.isFile() || info.size() > kMaxPhotoFileBytes)
        return Failure{u"not a regular file of a readable size"_s};
    QFile file(sourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{file.errorString()};
    PreparedJpeg prepared;
    prepared.bytes = file.readAll();
    file.close();

    const Result<JpegCoefficientSource> source = ProbeJpegCoefficientSource(prepared.bytes);
    if (!source)
        return Failure{source.error()};
    // The header alone is read so far: a size no photo has would make the
    // coefficient arrays and the mark's canvas as large as it says.
    if (qint64(source->stored.width()) * source->stored.height() > kMaxPhotoPixels)
        return Failure{u"more than %1 megapixels"_s.arg(kMaxPhotoPixels / 1'000'000)};
    // Unreadable metadata is left out, and the photo kept as stored, as the
    // usual path does.
    detail::MetadataRead read = detail::ReadPhotoMetadata(prepared.bytes, true);
    if (!read.note.isEmpty())
        prepared.warnings << read.note + u" (written as stored, without metadata)"_s;
    // Stored pixels stay as they are, so the tag that shows them upright stays too.
    const int orientation = read.orientation;
    const QSize upright = OrientedSize(source->stored, orientation);

    PhotoFacts facts = std::move(read.facts);
    facts.fileName = OutputBaseName(sourcePath);
    facts.fileTime = info.lastModified();
    facts.counter = listPosition >= 0 ? listPosition + 1 : 0;
    facts.size = upright;
    const QByteArray &icc = read.metadata.iccProfile;
    const Result<MarkOverlay> overlay = RenderMarkOverlay(
        upright, mark, &facts, icc.isEmpty() ? QColorSpace() : QColorSpace::fromIccProfile(icc));
    if (!overlay)
        return Failure{overlay.error()};
    prepared.overlay = OverlayToStored(*overlay, upright, orientation);

    read.metadata = ApplyOutputMetadataSetting(std::move(read.metadata), mark.outputMetadata, facts,
                                               prepared.warnings);
    if (!read.metadata.isEmpty() || orientation != 0) {
        OutputMetadata metadata =
            PrepareOutputMetadata(read.metadata, source->stored, orientation,
                                  OutputMetadataRequest{kMaxJpegExifSize, true});
        prepared.warnings << metadata.warnings;
        prepared.segments = JpegMetadataSegments(metadata, prepared.warnings);
    }
    return prepared;
}

Result<KeptJpeg> EncodePrepared(const PreparedJpeg &prepared, bool optimizedHuffman,
                                QIODevice *device)
{
    CoefficientWriteOptions options;
    options.optimiseHuffman = optimizedHuffman;
    const Result<CoefficientWriteStats> written = WriteWatermarkedCoefficients(
        prepared.bytes, prepared.overlay, prepared.segments, options, device);
    if (!written)
        return Failure{written.error()};
    return KeptJpeg{prepared.warnings, *written};
}

} // namespace

Result<KeptJpeg> EncodeKeepingOriginalJpeg(const QString &sourcePath, const LoadedTemplate &mark,
                                           bool optimizedHuffman, QIODevice *device,
                                           int listPosition)
{
    const Result<PreparedJpeg> prepared = PrepareKeptJpeg(sourcePath, mark, listPosition);
    if (!prepared)
        return Failure{prepared.error()};
    return EncodePrepared(*prepared, optimizedHuffman, device);
}

Result<QImage> RenderKeepingOriginalJpeg(const QString &sourcePath, const LoadedTemplate &mark,
                                         bool optimizedHuffman, int listPosition)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const Result<KeptJpeg> encoded =
        EncodeKeepingOriginalJpeg(sourcePath, mark, optimizedHuffman, &buffer, listPosition);
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

Result<WrittenOutput> WriteKeepingOriginalJpeg(const QString &sourcePath, const QString &outputPath,
                                               const CPreferences &prefs,
                                               const LoadedTemplate &mark,
                                               const ProtectedFiles *protectedFiles,
                                               int listPosition)
{
    const Result<PreparedJpeg> prepared = PrepareKeptJpeg(sourcePath, mark, listPosition);
    if (!prepared)
        return Failure{prepared.error()};
    const bool optimized = prefs.jpegOutput.optimizedHuffman;
    return WriteEncodedOutput(sourcePath, prefs, protectedFiles, outputPath,
                              [&](QIODevice *device) -> Result<QStringList> {
                                  const Result<KeptJpeg> encoded =
                                      EncodePrepared(*prepared, optimized, device);
                                  if (!encoded)
                                      return Failure{encoded.error()};
                                  return encoded->warnings;
                              });
}

} // namespace kw

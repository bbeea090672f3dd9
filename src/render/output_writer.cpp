#include "render/output_writer.h"

#include "platform/app_folders.h"
#include "render/jpeg_encoder.h"
#include "render/output_metadata.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <new>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

bool IsOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return false;
        }
    }
    return true;
}

QString Lowered(QString text)
{
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return text;
}

} // namespace

OutputResult WriteOutput(QImage picture, const DecodedPhoto &photo, const CPreferences &prefs,
                         const ProtectedFiles *protectedFiles, const QString &outputPath)
{
    OutputResult result;
    try {
        OutputTarget target = ResolveOutputTarget(photo.sourcePath, prefs);
        if (!target) {
            result.error = target.error;
            return result;
        }
        if (!outputPath.isEmpty())
            target.path = outputPath;
        result.outputPath = target.path;
        if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
            result.error = u"nothing to write: the picture is empty"_s;
            return result;
        }

        result.error = RefuseOutputPath(target.path, photo.sourcePath, protectedFiles);
        if (!result.error.isEmpty())
            return result;

        // JPEG has an encoder of its own here (it streams, turns strip by
        // strip and takes the pixels as they are); the rest go through Qt's.
        const bool jpeg = target.format->index == 0;
        QByteArray encoder;
        if (!jpeg && GetEncoderClsid(target.format->mimeType, &encoder) < 0) {
            result.error = u"no encoder for %1"_s.arg(target.format->mimeType);
            return result;
        }
        if (prefs.outputFolderOpts == 1 && !QFileInfo::exists(target.folder) &&
            !CreateFolderPath(target.folder)) {
            result.error = u"cannot create the output folder %1"_s.arg(target.folder);
            return result;
        }

        QStringList warnings;
        JpegSegments segments;
        if (jpeg) {
            if (picture.depth() != 32 || picture.format() == QImage::Format_RGBA8888 ||
                picture.format() == QImage::Format_RGBA8888_Premultiplied ||
                picture.format() == QImage::Format_RGBX8888)
                picture = std::move(picture).convertToFormat(QImage::Format_RGB32);
            const int orientation = photo.sourceOrientation;
            const bool transposed = orientation >= 5 && orientation <= 8;
            const QSize stored = transposed ? picture.size().transposed() : picture.size();
            if (!photo.metadata.isEmpty()) {
                OutputMetadata metadata =
                    PrepareOutputMetadata(photo.metadata, stored, orientation, kMaxJpegExifSize);
                warnings << metadata.warnings;
                segments = JpegMetadataSegments(metadata, warnings);
            } else if (picture.colorSpace().isValid())
                AppendIccSegments(segments, picture.colorSpace().iccProfile());
        } else if (IsOpaque(picture) && picture.format() == QImage::Format_ARGB32_Premultiplied) {
            // Opaque premultiplied pixels are plain RGB: no alpha channel is written.
            picture.reinterpretAsFormat(QImage::Format_RGB32);
        }

        QSaveFile file(target.path);
        if (!file.open(QIODevice::WriteOnly)) {
            result.error = u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
            return result;
        }
        if (jpeg) {
            // Pixels are stored turned back only when the tag that turns
            // them upright again is written with them.
            const bool tagged = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
            const Status encoded =
                EncodeJpeg(picture, tagged ? photo.sourceOrientation : 0, segments, &file);
            if (!encoded) {
                result.error = u"cannot encode %1: %2"_s.arg(target.path, Lowered(encoded.error()));
                if (file.error() != QFileDevice::NoError)
                    result.error =
                        u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
                file.cancelWriting();
                return result;
            }
        } else {
            QImageWriter writer(&file, encoder);
            if (target.format->index == 3)
                writer.setCompression(1); // LZW, as other TIFF writers do by default
            if (!writer.write(picture)) {
                result.error =
                    u"cannot encode %1: %2"_s.arg(target.path, Lowered(writer.errorString()));
                file.cancelWriting();
                return result;
            }
        }
        if (!file.commit()) {
            result.error = u"cannot write %1: %2"_s.arg(target.path, Lowered(file.errorString()));
            return result;
        }
        result.warning = warnings.join(u"; "_s);
    } catch (const std::bad_alloc &) {
        result.error = u"not enough memory to write the output"_s;
    } catch (const std::exception &e) {
        result.error = u"cannot write output: "_s + QString::fromLocal8Bit(e.what());
    }
    return result;
}

} // namespace kw

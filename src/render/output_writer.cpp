#include "render/output_writer.h"

#include "platform/app_folders.h"
#include "render/avif_encoder.h"
#include "render/jpeg_encoder.h"
#include "render/output_metadata.h"
#include "render/png_metadata.h"
#include "render/tiff_metadata.h"
#include "render/webp_encoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// The device an encoder writes to: it passes everything on to the output
// file in large blocks. A failed write is remembered and not reported to the
// encoder, which runs on into the void: codec libraries print their own write
// errors to the terminal and lose the system's reason. The file is opened
// unbuffered, and a short write is retried, so that the system's reason
// ("no space left on device") is what the file device reports.
class FileSink final : public QIODevice
{
public:
    explicit FileSink(QFileDevice *file) : m_file(file)
    {
        m_buffer.reserve(kBlock);
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    // Writes what is still held. False after any failure.
    bool finish()
    {
        flushBuffer();
        return m_error.isEmpty();
    }
    // Why a write failed; empty while none did.
    const QString &error() const { return m_error; }

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        flushBuffer();
        if (m_error.isEmpty() && !m_file->seek(pos))
            fail();
        return QIODevice::seek(pos);
    }
    qint64 size() const override { return m_end; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        m_end = std::max(m_end, pos() + length);
        if (!m_error.isEmpty())
            return length;
        // The buffer never grows past what was reserved: nothing here
        // allocates, or throws, inside the encoder's C code.
        if (qint64(m_buffer.size()) + length > kBlock)
            flushBuffer();
        if (length >= kBlock)
            writeAll(data, length);
        else
            m_buffer.insert(m_buffer.end(), data, data + length);
        return length;
    }

private:
    static constexpr qint64 kBlock = qint64(1) << 18;

    void writeAll(const char *data, qint64 length)
    {
        for (qint64 done = 0; m_error.isEmpty() && done < length;) {
            const qint64 n = m_file->write(data + done, length - done);
            if (n <= 0)
                fail();
            else
                done += n;
        }
    }
    void flushBuffer()
    {
        writeAll(m_buffer.data(), qint64(m_buffer.size()));
        m_buffer.clear();
    }
    void fail()
    {
        m_error = m_file->error() != QFileDevice::NoError ? Lowered(m_file->errorString())
                                                          : u"the file takes no more data"_s;
    }

    QFileDevice *m_file;
    std::vector<char> m_buffer;
    qint64 m_end = 0;
    QString m_error;
};

// Writes the file at `path` with `encode`, into a temporary file beside it
// that replaces the target only when all of it was written.
Status SaveFile(const QString &path, const std::function<Status(QIODevice *)> &encode)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Failure{u"cannot write %1: %2"_s.arg(path, Lowered(file.errorString()))};
    FileSink sink(&file);
    const Status encoded = encode(&sink);
    if (!sink.finish()) {
        file.cancelWriting();
        return Failure{u"cannot write %1: %2"_s.arg(path, sink.error())};
    }
    if (!encoded) {
        file.cancelWriting();
        return Failure{u"cannot encode %1: %2"_s.arg(path, Lowered(encoded.error()))};
    }
    if (!file.commit())
        return Failure{u"cannot write %1: %2"_s.arg(path, Lowered(file.errorString()))};
    return {};
}

// Why `folder` could not be made, as ": reason", read from the nearest part
// of its path that exists; empty when nothing there explains it.
QString FolderFailureCause(const QString &folder)
{
    QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QFileInfo existing(path);
    while (!existing.exists() && !existing.isRoot() && !path.isEmpty()) {
        path = existing.path();
        existing = QFileInfo(path);
    }
    if (!existing.exists())
        return {};
    if (!existing.isDir())
        return u": %1 is not a folder"_s.arg(existing.filePath());
    if (!existing.isWritable())
        return u": permission denied in %1"_s.arg(existing.filePath());
    return {};
}

// Removes `path` when it is a symbolic link; anything else stays.
Status RemoveSymbolicLink(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st;
    if (::lstat(bytes.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    if (::unlink(bytes.constData()) != 0)
        return Failure{u"cannot replace the symbolic link %1: %2"_s.arg(
            path, Lowered(QString::fromLocal8Bit(std::strerror(errno))))};
#else
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        return Failure{u"cannot replace the symbolic link %1"_s.arg(path)};
#endif
    return {};
}

// Where the output of `sourcePath` goes, once it is known that it may be
// written there.
Result<OutputTarget> CheckedTarget(const QString &sourcePath, const CPreferences &prefs,
                                   const ProtectedFiles *protectedFiles, const QString &outputPath)
{
    Result<OutputTarget> target = ResolveOutputTarget(sourcePath, prefs);
    if (!target)
        return target;
    if (!outputPath.isEmpty())
        target->path = outputPath;
    const QString refused = RefuseOutputPath(target->path, sourcePath, protectedFiles);
    if (!refused.isEmpty())
        return Failure{refused};
    return target;
}

// Makes the place of `target` ready for its file: the output folder created
// when it is the chosen one and missing, a symbolic link at the name removed.
Status PrepareTargetPlace(const OutputTarget &target, const CPreferences &prefs)
{
    if (prefs.outputFolderOpts == Code(OutputFolderOption::ChosenFolder) &&
        !QFileInfo::exists(target.folder) && !CreateFolderPath(target.folder))
        return Failure{u"cannot create the output folder %1%2"_s.arg(
            target.folder, FolderFailureCause(target.folder))};
    // QSaveFile writes through a symbolic link to the file it names, which
    // may lie anywhere (or not exist yet): the link goes instead, and the
    // output takes its place.
    return RemoveSymbolicLink(target.path);
}

// JPEG has an encoder of its own here (it streams, turns strip by strip and
// takes the pixels as they are), with the source's metadata.
Status WriteJpeg(QImage picture, const DecodedPhoto &photo, const QString &path, int quality,
                 QStringList &warnings)
{
    if (picture.depth() != 32 || picture.format() == QImage::Format_RGBA8888 ||
        picture.format() == QImage::Format_RGBA8888_Premultiplied ||
        picture.format() == QImage::Format_RGBX8888)
        picture = std::move(picture).convertToFormat(QImage::Format_RGB32);
    const int orientation = photo.sourceOrientation;
    const bool transposed = orientation >= 5 && orientation <= 8;
    const QSize stored = transposed ? picture.size().transposed() : picture.size();
    JpegSegments segments;
    if (!photo.metadata.isEmpty()) {
        OutputMetadata metadata = PrepareOutputMetadata(
            photo.metadata, stored, orientation, OutputMetadataRequest{kMaxJpegExifSize, true});
        warnings << metadata.warnings;
        segments = JpegMetadataSegments(metadata, warnings);
    } else if (picture.colorSpace().isValid()) {
        if (const Status icc = AppendIccSegments(segments, picture.colorSpace().iccProfile()); !icc)
            warnings << icc.error();
    }
    // Pixels are stored turned back only when the tag that turns them upright
    // again is written with them.
    const bool tagged = !segments.isEmpty() && segments.first().payload.startsWith("Exif");
    return SaveFile(path, [&](QIODevice *device) {
        return EncodeJpeg(picture, tagged ? orientation : 0, segments, device, quality);
    });
}

// The metadata of an output written upright: EXIF Orientation 1 when the
// source had the tag, the colour profile of the picture when the source
// had no metadata.
OutputMetadata UprightMetadata(const QImage &picture, const DecodedPhoto &photo,
                               QStringList &warnings)
{
    OutputMetadata metadata;
    if (!photo.metadata.isEmpty()) {
        metadata = PrepareOutputMetadata(photo.metadata, picture.size(),
                                         photo.sourceOrientation != 0 ? 1 : 0);
        warnings << metadata.warnings;
    }
    if (metadata.iccProfile.isEmpty() && picture.colorSpace().isValid())
        metadata.iccProfile = picture.colorSpace().iccProfile();
    return metadata;
}

// Byte-ordered 8-bit RGBX, or RGBA (not premultiplied) when some pixel is
// not opaque: what the WebP and AVIF encoders take.
QImage EncoderPixels(QImage picture)
{
    const QImage::Format format =
        IsOpaque(picture) ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888;
    return std::move(picture).convertToFormat(format);
}

Status WriteWebp(QImage picture, const DecodedPhoto &photo, const QString &path,
                 const OutputQuality &quality, QStringList &warnings)
{
    if (picture.width() > kWebpMaxSide || picture.height() > kWebpMaxSide)
        return Failure{
            u"WebP stores at most %1 pixels a side; this picture is %2 x %3"_s.arg(kWebpMaxSide)
                .arg(picture.width())
                .arg(picture.height())};
    const OutputMetadata metadata = UprightMetadata(picture, photo, warnings);
    const QImage pixels = EncoderPixels(std::move(picture));
    const WebpSettings settings{quality.webp, quality.webpLossless != 0};
    return SaveFile(
        path, [&](QIODevice *device) { return EncodeWebp(pixels, settings, metadata, device); });
}

Status WriteAvif(QImage picture, const DecodedPhoto &photo, const QString &path,
                 const OutputQuality &quality, QStringList &warnings)
{
    const OutputMetadata metadata = UprightMetadata(picture, photo, warnings);
    const QImage pixels = EncoderPixels(std::move(picture));
    return SaveFile(path, [&](QIODevice *device) {
        return EncodeAvif(pixels, quality.avif, metadata, device);
    });
}

// PNG, BMP and TIFF go through Qt's encoders; PNG and TIFF then get the
// metadata, in memory, before the file is written.
Status WriteWithQt(QImage picture, const DecodedPhoto &photo, const OutputTarget &target,
                   const QByteArray &encoder, QStringList &warnings)
{
    if (IsOpaque(picture) && picture.format() == QImage::Format_ARGB32_Premultiplied) {
        // Opaque premultiplied pixels are plain RGB: no alpha channel is written.
        picture.reinterpretAsFormat(QImage::Format_RGB32);
    }
    const auto code = OutputFormatCode(target.format->index);
    const bool withMetadata = code == OutputFormatCode::Png || code == OutputFormatCode::Tiff;
    const OutputMetadata metadata =
        withMetadata ? UprightMetadata(picture, photo, warnings) : OutputMetadata();
    return SaveFile(target.path, [&](QIODevice *device) -> Status {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(withMetadata ? static_cast<QIODevice *>(&buffer) : device, encoder);
        if (code == OutputFormatCode::Tiff)
            writer.setCompression(1); // LZW, as other TIFF writers do by default
        if (!writer.write(picture))
            return Failure{writer.errorString()};
        if (!withMetadata)
            return {};
        const Result<QByteArray> stream = code == OutputFormatCode::Png
                                              ? AddPngMetadata(buffer.data(), metadata)
                                              : AddTiffMetadata(buffer.data(), metadata);
        if (!stream)
            return Failure{stream.error()};
        device->write(*stream);
        return {};
    });
}

Result<WrittenOutput> WriteOrThrow(QImage picture, const DecodedPhoto &photo,
                                   const CPreferences &prefs, const ProtectedFiles *protectedFiles,
                                   const QString &outputPath)
{
    const Result<OutputTarget> target =
        CheckedTarget(photo.sourcePath, prefs, protectedFiles, outputPath);
    if (!target)
        return Failure{target.error()};
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return Failure{u"nothing to write: the picture is empty"_s};
    const auto code = OutputFormatCode(target->format->index);
    const bool ownEncoder = code == OutputFormatCode::Jpeg || code == OutputFormatCode::Webp ||
                            code == OutputFormatCode::Avif;
    QByteArray encoder;
    if (!ownEncoder && GetEncoderClsid(target->format->mimeType, &encoder) < 0)
        return Failure{u"no encoder for %1"_s.arg(target->format->mimeType)};
    if (const Status ready = PrepareTargetPlace(*target, prefs); !ready)
        return Failure{ready.error()};

    QStringList warnings;
    Status written;
    switch (code) {
    case OutputFormatCode::Jpeg:
        written = WriteJpeg(std::move(picture), photo, target->path, prefs.quality.jpeg, warnings);
        break;
    case OutputFormatCode::Webp:
        written = WriteWebp(std::move(picture), photo, target->path, prefs.quality, warnings);
        break;
    case OutputFormatCode::Avif:
        written = WriteAvif(std::move(picture), photo, target->path, prefs.quality, warnings);
        break;
    default:
        written = WriteWithQt(std::move(picture), photo, *target, encoder, warnings);
        break;
    }
    if (!written)
        return Failure{written.error()};
    return WrittenOutput{target->path, warnings.join(u"; "_s)};
}

} // namespace

Result<WrittenOutput> WriteOutput(QImage picture, const DecodedPhoto &photo,
                                  const CPreferences &prefs, const ProtectedFiles *protectedFiles,
                                  const QString &outputPath)
{
    try {
        return WriteOrThrow(std::move(picture), photo, prefs, protectedFiles, outputPath);
    } catch (const std::bad_alloc &) {
        return Failure{u"not enough memory to write the output"_s};
    } catch (const std::exception &e) {
        return Failure{u"cannot write output: "_s + QString::fromLocal8Bit(e.what())};
    }
}

Result<WrittenOutput> WriteEncodedOutput(const QString &sourcePath, const CPreferences &prefs,
                                         const ProtectedFiles *protectedFiles,
                                         const QString &outputPath, const OutputEncoder &encode)
{
    try {
        const Result<OutputTarget> target =
            CheckedTarget(sourcePath, prefs, protectedFiles, outputPath);
        if (!target)
            return Failure{target.error()};
        if (const Status ready = PrepareTargetPlace(*target, prefs); !ready)
            return Failure{ready.error()};
        QStringList warnings;
        const Status written = SaveFile(target->path, [&](QIODevice *device) -> Status {
            Result<QStringList> encoded = encode(device);
            if (!encoded)
                return Failure{encoded.error()};
            warnings = std::move(encoded).value();
            return {};
        });
        if (!written)
            return Failure{written.error()};
        return WrittenOutput{target->path, warnings.join(u"; "_s)};
    } catch (const std::bad_alloc &) {
        return Failure{u"not enough memory to write the output"_s};
    } catch (const std::exception &e) {
        return Failure{u"cannot write output: "_s + QString::fromLocal8Bit(e.what())};
    }
}

} // namespace kw

#include "render/photo_input.h"

#include "platform/system_errors.h"

#include "render/heif_input.h"
#include "render/huge_pages.h"
#include "render/jpeg_colour_input.h"
#include "render/jpeg_rgb_input.h"
#include "render/output_naming.h"
#include "render/photo_input_checks.h"
#include "render/photo_input_messages.h"
#include "render/photo_input_metadata.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Qt's own limit guards every allocation its decoders make; ours
// (kMaxPhotoPixels, checked on the header) comes first with a clearer reason.
// 16-bit formats decode at 8 bytes a pixel, hence the headroom.
constexpr int kDecoderAllocationLimitMb = 2048;

bool IsSupportedFormat(const QByteArray &format)
{
    return format == "jpeg" || format == "jpg" || format == "png" || format == "bmp" ||
           format == "gif" || format == "tiff" || format == "tif";
}

// The decoder's own reason: what its codec said last, else what the reader
// says, else `fallback` (Qt's readers say "Unknown error" when a codec
// failed without telling them why).
QString DecoderReason(const QImageReader &reader, const CodecMessages &messages,
                      const QString &fallback)
{
    QString text = messages.reason();
    if (text.isEmpty() && reader.error() != QImageReader::UnknownError)
        text = reader.errorString();
    if (text.isEmpty())
        text = fallback;
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return u"cannot decode photo: "_s + text;
}

// Reads the whole photo file. Only regular files are read: a FIFO, device or
// socket would block the run or never end, so they fail at once. The file is
// opened without blocking and checked again once open, so a file swapped for
// a FIFO in between cannot block either.
Result<QByteArray> ReadPhotoFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0)
        return Failure{u"cannot open photo: "_s + ErrnoText(errno)};
    if (!S_ISREG(status.st_mode))
        return Failure{u"cannot open photo: it is "_s + NonRegularKind(status.st_mode)};
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failure{u"cannot open photo: "_s + ErrnoText(errno)};
    QFile file;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Failure{u"cannot open photo: it is not a regular file"_s};
    }
    const qint64 fileSize = file.size();
    if (fileSize == 0)
        return Failure{u"cannot decode photo: the file is empty"_s};
    if (fileSize > kMaxPhotoFileBytes)
        return Failure{
            u"cannot decode photo: the file is larger than %1 MiB"_s.arg(kMaxPhotoFileBytes >> 20)};
    QByteArray bytes(fileSize, Qt::Uninitialized);
    AdviseHugePages(bytes.data(), bytes.size());
    if (file.read(bytes.data(), fileSize) != fileSize)
        return Failure{u"cannot read photo: "_s + file.errorString()};
    return bytes;
}

// The structure check for the format, if it has one.
QString CheckStructure(const QByteArray &format, const QByteArray &bytes)
{
    if (format == "jpeg")
        return detail::CheckJpegEnd(bytes);
    if (format == "gif")
        return detail::CheckGifFirstImage(bytes);
    if (format == "bmp")
        return detail::CheckBmpPixels(bytes);
    if (format == "png")
        return detail::CheckPngStructure(bytes);
    return {};
}

QImage Rotated(const QImage &image, int degrees)
{
    return image.transformed(QTransform().rotate(degrees));
}

} // namespace

bool HasJpegExtension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return false;
    const QStringView extension = QStringView(path).mid(dot);
    return extension.compare(u".jpg", Qt::CaseInsensitive) == 0 ||
           extension.compare(u".jpeg", Qt::CaseInsensitive) == 0;
}

QSize OrientedSize(QSize stored, int orientation)
{
    return orientation >= 5 && orientation <= 8 ? stored.transposed() : stored;
}

QImage OrientUpright(QImage stored, int orientation)
{
    const QColorSpace colorSpace = stored.colorSpace();
    QImage result;
    switch (orientation) {
    case 2:
        result = std::move(stored).mirrored(true, false);
        break;
    case 3:
        result = std::move(stored).mirrored(true, true);
        break;
    case 4:
        result = std::move(stored).mirrored(false, true);
        break;
    case 5:
        result = Rotated(stored, 90).mirrored(true, false);
        break;
    case 6:
        result = Rotated(stored, 90);
        break;
    case 7:
        result = Rotated(stored, 90).mirrored(false, true);
        break;
    case 8:
        result = Rotated(stored, 270);
        break;
    default:
        return stored;
    }
    if (!result.isNull())
        result.setColorSpace(colorSpace);
    return result;
}

QImage OrientToStored(QImage upright, int orientation)
{
    // Every orientation is its own inverse except the two quarter turns.
    if (orientation == 6)
        return OrientUpright(std::move(upright), 8);
    if (orientation == 8)
        return OrientUpright(std::move(upright), 6);
    return OrientUpright(std::move(upright), orientation);
}

Result<DecodedPhoto> LoadPhoto(const QString &path, const PhotoLoadOptions &options)
{
    try {
        // One read serves the structure check, the metadata and the decoder.
        Result<QByteArray> contents = ReadPhotoFile(path);
        if (!contents)
            return Failure{contents.error()};
        QByteArray bytes = std::move(contents).value();
        if (const QByteArray heif = detail::HeifContentFormat(bytes); !heif.isEmpty()) {
            Result<DecodedPhoto> photo = detail::LoadHeifPhoto(path, bytes, heif, options);
            if (photo && options.textFacts) {
                photo->facts.fileName = OutputBaseName(path);
                photo->facts.fileTime = QFileInfo(path).lastModified();
            }
            return photo;
        }

        // Whatever the codecs say while this photo decodes ends up in its
        // reason, or nowhere.
        const CodecMessages messages;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(false);
        reader.setAllocationLimit(kDecoderAllocationLimitMb);
        const QByteArray detected = reader.format();
        if (!IsSupportedFormat(detected))
            return Failure{
                u"cannot decode photo: not a JPEG, PNG, BMP, TIFF, GIF, HEIF or AVIF picture"_s};
        const QByteArray format = detected == "jpg"   ? QByteArray("jpeg")
                                  : detected == "tif" ? QByteArray("tiff")
                                                      : detected;
        const bool jpeg = format == "jpeg";
        if (QString damage = CheckStructure(format, bytes); !damage.isEmpty())
            return Failure{std::move(damage)};

        const QSize stored = reader.size();
        if (!stored.isValid())
            return Failure{DecoderReason(reader, messages, u"its size cannot be read"_s)};
        if (stored.width() <= 0 || stored.height() <= 0)
            return Failure{u"cannot decode photo: it has no pixels"_s};
        if (int64_t(stored.width()) * stored.height() > kMaxPhotoPixels)
            return Failure{u"cannot decode photo: %1 x %2 pixels is more than %3 megapixels"_s
                               .arg(stored.width())
                               .arg(stored.height())
                               .arg(kMaxPhotoPixels / 1'000'000)};

        DecodedPhoto photo;
        photo.sourcePath = path;
        photo.format = format;
        const bool readMetadata = options.orient && HasJpegExtension(path);
        if (readMetadata) {
            detail::MetadataRead read = detail::ReadPhotoMetadata(bytes, options.keepMetadata);
            photo.sourceOrientation = read.orientation;
            photo.metadata = std::move(read.metadata);
            photo.metadataNote = std::move(read.note);
            photo.facts = std::move(read.facts);
        } else if (options.textFacts) {
            // Only the values: the picture stays as stored.
            photo.facts = detail::ReadPhotoMetadata(bytes, false).facts;
        }
        if (options.textFacts) {
            photo.facts.fileName = OutputBaseName(path);
            photo.facts.fileTime = QFileInfo(path).lastModified();
        }
        const int orientation = photo.sourceOrientation;
        photo.fullSize = OrientedSize(stored, orientation);

        const WorkingSize working = ComputeWorkingSize(photo.fullSize, options.resize);
        if (!working)
            return Failure{u"cannot resize photo: "_s + working.error};
        // Resampling happens before the turn, on the smaller picture.
        const QSize storedTarget = OrientedSize(working.size, orientation);
        const int dctScale = jpeg && options.dctScaling && storedTarget != stored
                                 ? ChooseDctScaleDenominator(stored, storedTarget)
                                 : 1;
        // CMYK and grey JPEGs with a profile go through their profile; when
        // that cannot be done, Qt's decoder takes them as it takes the others.
        QImage image;
        if (const QByteArray profile = jpeg ? detail::NonRgbJpegProfile(bytes) : QByteArray();
            !profile.isEmpty()) {
            Result<QImage> converted = detail::DecodeJpegThroughProfile(bytes, profile, dctScale);
            if (converted)
                image = std::move(converted).value();
        }
        // Ordinary colour JPEGs decode straight into the premultiplied rows
        // the pipeline works on (the conversion below is then free); anything
        // this decoder does not take, or any trouble, goes to Qt's reader.
        if (image.isNull() && jpeg) {
            Result<QImage> direct = detail::DecodeRgbJpeg(bytes, dctScale);
            if (direct)
                image = std::move(direct).value();
        }
        if (image.isNull()) {
            if (dctScale > 1)
                reader.setScaledSize(QSize(stored.width() / dctScale, stored.height() / dctScale));
            image = reader.read();
        }
        if (image.isNull())
            return Failure{DecoderReason(reader, messages, u"the decoder gave no reason"_s)};
        buffer.close();
        bytes = QByteArray(); // the file's bytes are not needed any more

        const QString noMemory = u"cannot %1 photo: not enough memory for %2 x %3 pixels"_s;
        // 32-bit RGB converts in place.
        image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return Failure{noMemory.arg(u"decode"_s).arg(stored.width()).arg(stored.height())};
        if (image.size() != storedTarget) {
            image = ResamplePhoto(image, storedTarget);
            if (image.isNull())
                return Failure{
                    noMemory.arg(u"resize"_s).arg(storedTarget.width()).arg(storedTarget.height())};
        }
        image = OrientUpright(std::move(image), orientation);
        if (image.isNull())
            return Failure{
                noMemory.arg(u"turn"_s).arg(working.size.width()).arg(working.size.height())};

        // A profile Exiv2 did not find but the decoder did (other formats
        // inside a ".jpg" file).
        if (readMetadata && options.keepMetadata && photo.metadataNote.isEmpty() &&
            photo.metadata.iccProfile.isEmpty() && image.colorSpace().isValid())
            photo.metadata.iccProfile = image.colorSpace().iccProfile();
        photo.image = std::move(image);
        return photo;
    } catch (const std::bad_alloc &) {
        return Failure{u"cannot decode photo: not enough memory"_s};
    } catch (const std::exception &e) {
        return Failure{u"cannot decode photo: "_s + QString::fromLocal8Bit(e.what())};
    }
}

} // namespace kw

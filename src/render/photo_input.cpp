#include "render/photo_input.h"

#include "render/photo_input_metadata.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include <cstring>
#include <new>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Qt's own limit guards every allocation its decoders make; ours
// (kMaxPhotoPixels, checked on the header) comes first with a clearer reason.
// 16-bit formats decode at 8 bytes a pixel, hence the headroom.
constexpr int kDecoderAllocationLimitMb = 2048;

uint16_t Read16BE(const uchar *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint16_t Read16LE(const uchar *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Read32LE(const uchar *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Whether a JPEG stream reaches its end-of-image marker. libjpeg pads a
// stream that stops early with grey and only warns, so a cut-off file would
// otherwise pass as a photo with a grey lower part. Walks the marker segments
// by their lengths (so thumbnails inside APP segments do not count) and the
// entropy-coded data up to the next real marker. Structure it does not
// understand is left to the decoder to judge.
bool JpegReachesEnd(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 2 || p[0] != 0xFF || p[1] != 0xD8)
        return true;
    qsizetype i = 2;
    for (;;) {
        // Bytes before a marker are tolerated by the decoder; skip them.
        const void *ff = i < n ? std::memchr(p + i, 0xFF, size_t(n - i)) : nullptr;
        if (!ff)
            return false;
        i = static_cast<const uchar *>(ff) - p;
        while (i < n && p[i] == 0xFF)
            ++i;
        if (i >= n)
            return false;
        const uchar marker = p[i++];
        if (marker == 0xD9)
            return true;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (n - i < 2)
            return false;
        const qsizetype length = Read16BE(p + i);
        if (length < 2)
            return true;
        if (n - i < length)
            return false;
        i += length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data ends at the first 0xFF that is not a stuffed zero
        // or a restart marker.
        for (;;) {
            const void *next = i < n ? std::memchr(p + i, 0xFF, size_t(n - i)) : nullptr;
            if (!next)
                return false;
            qsizetype j = static_cast<const uchar *>(next) - p + 1;
            while (j < n && p[j] == 0xFF)
                ++j;
            if (j >= n)
                return false;
            if (p[j] == 0x00 || (p[j] >= 0xD0 && p[j] <= 0xD7)) {
                i = j + 1;
                continue;
            }
            i = j - 1;
            break;
        }
    }
}

// Whether the data of a GIF's first image is all there: Qt's decoder shows
// whatever it received of a cut-off GIF without an error.
bool GifFirstImageComplete(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    auto skipSubBlocks = [&](qsizetype &i) {
        for (;;) {
            if (i >= n)
                return false;
            const int length = p[i++];
            if (length == 0)
                return true;
            i += length;
        }
    };
    if (n < 13)
        return false;
    qsizetype i = 13;
    if (p[10] & 0x80)
        i += 3 * (qsizetype(1) << ((p[10] & 7) + 1));
    for (;;) {
        if (i >= n)
            return false;
        const uchar block = p[i++];
        if (block == 0x21) { // extension: label, then sub-blocks
            ++i;
            if (!skipSubBlocks(i))
                return false;
        } else if (block == 0x2C) { // image descriptor
            if (n - i < 10)
                return false;
            const uchar flags = p[i + 8];
            i += 9;
            if (flags & 0x80)
                i += 3 * (qsizetype(1) << ((flags & 7) + 1));
            ++i; // LZW minimum code size
            return skipSubBlocks(i) && i <= n;
        } else {
            return true; // trailer or something the decoder will judge
        }
    }
}

// Whether an uncompressed BMP holds all the rows its header promises: Qt's
// decoder leaves missing rows blank without an error.
bool BmpPixelsComplete(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 26)
        return false;
    const int64_t offset = Read32LE(p + 10);
    const uint32_t headerSize = Read32LE(p + 14);
    int64_t width = 0, height = 0, bitsPerPixel = 0;
    uint32_t compression = 0, imageSize = 0;
    if (headerSize == 12) {
        width = Read16LE(p + 18);
        height = Read16LE(p + 20);
        bitsPerPixel = Read16LE(p + 24);
    } else {
        if (n < 38)
            return false;
        width = int32_t(Read32LE(p + 18));
        height = int32_t(Read32LE(p + 22));
        bitsPerPixel = Read16LE(p + 28);
        compression = Read32LE(p + 30);
        imageSize = Read32LE(p + 34);
    }
    if (height < 0)
        height = -height;
    int64_t needed = 0;
    if (compression == 0 || compression == 3 || compression == 6) {
        if (width <= 0 || height <= 0 || bitsPerPixel <= 0)
            return true;
        const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        // The last row's padding is sometimes left out.
        needed = rowBytes * (height - 1) + (width * bitsPerPixel + 7) / 8;
    } else {
        needed = imageSize; // run-length data: its stored size, when given
    }
    return offset + needed <= n;
}

bool IsSupportedFormat(const QByteArray &format)
{
    return format == "jpeg" || format == "jpg" || format == "png" || format == "bmp" ||
           format == "gif" || format == "tiff" || format == "tif";
}

QString DecoderReason(const QImageReader &reader)
{
    QString text = reader.errorString();
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return u"cannot decode photo: "_s + text;
}

PhotoLoadResult Failure(QString why)
{
    PhotoLoadResult result;
    result.error = std::move(why);
    return result;
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

PhotoLoadResult LoadPhoto(const QString &path, const PhotoLoadOptions &options)
{
    try {
        const QFileInfo info(path);
        if (info.isDir())
            return Failure(u"cannot open photo: it is a folder"_s);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Failure(u"cannot open photo: "_s + file.errorString());
        const qint64 fileSize = file.size();
        if (fileSize == 0)
            return Failure(u"cannot decode photo: the file is empty"_s);
        if (fileSize > kMaxPhotoFileBytes)
            return Failure(u"cannot decode photo: the file is larger than %1 MiB"_s.arg(
                kMaxPhotoFileBytes >> 20));
        // One read serves the structure check, the metadata and the decoder.
        QByteArray bytes = file.read(fileSize);
        if (bytes.size() != fileSize)
            return Failure(u"cannot read photo: "_s + file.errorString());
        file.close();

        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(false);
        reader.setAllocationLimit(kDecoderAllocationLimitMb);
        const QByteArray format = reader.format();
        if (!IsSupportedFormat(format))
            return Failure(u"cannot decode photo: not a JPEG, PNG, BMP, TIFF or GIF picture"_s);

        const bool jpeg = format == "jpeg" || format == "jpg";
        if ((jpeg && !JpegReachesEnd(bytes)) ||
            (format == "gif" && !GifFirstImageComplete(bytes)) ||
            (format == "bmp" && !BmpPixelsComplete(bytes)))
            return Failure(u"cannot decode photo: the file ends before the picture does"_s);

        const QSize stored = reader.size();
        if (!stored.isValid())
            return Failure(DecoderReason(reader));
        if (stored.width() <= 0 || stored.height() <= 0)
            return Failure(u"cannot decode photo: it has no pixels"_s);
        if (int64_t(stored.width()) * stored.height() > kMaxPhotoPixels)
            return Failure(u"cannot decode photo: %1 x %2 pixels is more than %3 megapixels"_s
                               .arg(stored.width())
                               .arg(stored.height())
                               .arg(kMaxPhotoPixels / 1'000'000));

        PhotoLoadResult result;
        DecodedPhoto &photo = result.photo;
        photo.sourcePath = path;
        photo.format = jpeg ? QByteArray("jpeg") : format == "tif" ? QByteArray("tiff") : format;
        const bool readMetadata = options.orient && HasJpegExtension(path);
        if (readMetadata) {
            detail::MetadataRead read = detail::ReadPhotoMetadata(bytes, options.keepMetadata);
            photo.sourceOrientation = read.orientation;
            photo.metadata = std::move(read.metadata);
            photo.metadataNote = std::move(read.note);
        }
        const int orientation = photo.sourceOrientation;
        photo.fullSize = OrientedSize(stored, orientation);

        const WorkingSize working = ComputeWorkingSize(photo.fullSize, options.resize);
        if (!working)
            return Failure(u"cannot resize photo: "_s + working.error);
        // Resampling happens before the turn, on the smaller picture.
        const QSize storedTarget = OrientedSize(working.size, orientation);
        if (jpeg && options.dctScaling && storedTarget != stored) {
            const int d = ChooseDctScaleDenominator(stored, storedTarget);
            if (d > 1)
                reader.setScaledSize(QSize(stored.width() / d, stored.height() / d));
        }

        QImage image = reader.read();
        if (image.isNull())
            return Failure(DecoderReason(reader));
        buffer.close();
        bytes = QByteArray(); // the file's bytes are not needed any more

        const QString noMemory = u"cannot %1 photo: not enough memory for %2 x %3 pixels"_s;
        // 32-bit RGB converts in place.
        image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return Failure(noMemory.arg(u"decode"_s).arg(stored.width()).arg(stored.height()));
        if (image.size() != storedTarget) {
            image = ResamplePhoto(image, storedTarget);
            if (image.isNull())
                return Failure(
                    noMemory.arg(u"resize"_s).arg(storedTarget.width()).arg(storedTarget.height()));
        }
        image = OrientUpright(std::move(image), orientation);
        if (image.isNull())
            return Failure(
                noMemory.arg(u"turn"_s).arg(working.size.width()).arg(working.size.height()));

        // A profile Exiv2 did not find but the decoder did (other formats
        // inside a ".jpg" file).
        if (readMetadata && options.keepMetadata && photo.metadataNote.isEmpty() &&
            photo.metadata.iccProfile.isEmpty() && image.colorSpace().isValid())
            photo.metadata.iccProfile = image.colorSpace().iccProfile();
        photo.image = std::move(image);
        return result;
    } catch (const std::bad_alloc &) {
        return Failure(u"cannot decode photo: not enough memory"_s);
    } catch (const std::exception &e) {
        return Failure(u"cannot decode photo: "_s + QString::fromLocal8Bit(e.what()));
    }
}

} // namespace kw

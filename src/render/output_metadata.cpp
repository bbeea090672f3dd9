#include "render/output_metadata.h"

#include "render/photo_input.h"

#include <exiv2/exiv2.hpp>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// The EXIF block for the output: the source's tags without the embedded
// thumbnail (it would show the photo without its watermark), the
// pixel-dimension tags set to the written size. When the source's block
// cannot be re-encoded, a block with only the Orientation tag keeps the output
// showing upright.
QByteArray OutputExif(const QByteArray &source, QSize written, int orientation, qsizetype maxSize,
                      QString &warning)
{
    auto setSize = [&](Exiv2::ExifData &exif) {
        exif["Exif.Photo.PixelXDimension"] = uint32_t(written.width());
        exif["Exif.Photo.PixelYDimension"] = uint32_t(written.height());
        // Only where the source has them: a JPEG's own size is in its frame header.
        const auto width = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageWidth"));
        if (width != exif.end())
            *width = uint32_t(written.width());
        const auto length = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageLength"));
        if (length != exif.end())
            *length = uint32_t(written.height());
    };
    try {
        Exiv2::ExifData exif;
        const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
            exif, reinterpret_cast<const Exiv2::byte *>(source.constData()),
            uint32_t(source.size()));
        Exiv2::ExifThumb(exif).erase();
        setSize(exif);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(
            blob, order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order, exif);
        // The encoder drops tags, silently, when the block would not fit in
        // one segment.
        Exiv2::ExifData check;
        if (!blob.empty())
            Exiv2::ExifParser::decode(check, blob.data(), uint32_t(blob.size()));
        if (check.count() < exif.count())
            warning = u"%1 EXIF tags left out to fit the JPEG segment limit"_s.arg(exif.count() -
                                                                                   check.count());
        if (!blob.empty() && (maxSize <= 0 || qsizetype(blob.size()) <= maxSize))
            return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
        warning = u"EXIF left out: larger than a JPEG segment"_s;
    } catch (const std::exception &e) {
        warning = u"EXIF left out: "_s + QString::fromLocal8Bit(e.what());
    }
    try {
        Exiv2::ExifData minimal;
        if (orientation != 0)
            minimal["Exif.Image.Orientation"] = uint16_t(orientation);
        setSize(minimal);
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, minimal);
        return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace

OutputMetadata PrepareOutputMetadata(const PhotoMetadata &source, QSize written, int orientation,
                                     qsizetype maxExifSize)
{
    InitPhotoMetadataLibrary();
    OutputMetadata out;
    if (!source.exif.isEmpty() || orientation != 0) {
        QString warning;
        out.exif = OutputExif(source.exif, written, orientation, maxExifSize, warning);
        if (!warning.isEmpty())
            out.warnings << warning;
    }
    out.xmp = source.xmp;
    out.iccProfile = source.iccProfile;
    out.iptc = source.iptc;
    return out;
}

} // namespace kw

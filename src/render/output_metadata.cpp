#include "render/output_metadata.h"

#include "render/colour_management.h"
#include "render/extended_xmp.h"
#include "render/photo_input.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// Maker-note tags that hold a preview picture of the photo, or point to one,
// by the groups the metadata library files them under. Removing them leaves
// the rest of the maker note intact:
//   Nikon: the preview IFD (its pointer and every tag of NikonPreview);
//   Samsung: likewise (SamsungPreview);
//   Pentax: the preview offset and length;
//   Olympus: the thumbnail and preview tags, and the preview start and
//     length of the camera settings;
//   Minolta and Sony (Minolta-style notes): the thumbnail and its offset and
//     length; Sony: the preview picture;
//   Casio: the preview picture and its start and length.
// Canon, Fujifilm and Panasonic notes hold no picture in a JPEG (Fujifilm's
// previews are MPF images, which are never carried over).
constexpr const char *kPictureGroups[] = {
    "NikonPreview", "SamsungPreview", "Thumbnail", "Image2",    "Image3",
    "SubImage1",    "SubImage2",      "SubImage3", "SubImage4", "SubImage5",
    "SubImage6",    "SubImage7",      "SubImage8", "SubImage9", "SubThumb1",
};
constexpr const char *kPictureKeys[] = {
    "Exif.Nikon3.Preview",
    "Exif.Samsung2.Preview",
    "Exif.Pentax.PreviewOffset",
    "Exif.Pentax.PreviewLength",
    "Exif.PentaxDng.PreviewOffset",
    "Exif.PentaxDng.PreviewLength",
    "Exif.Olympus.ThumbnailImage",
    "Exif.Olympus.PreviewImage",
    "Exif.Olympus.Thumbnail",
    "Exif.Olympus.ThumbnailOffset",
    "Exif.Olympus.ThumbnailLength",
    "Exif.Olympus2.ThumbnailImage",
    "Exif.Olympus2.PreviewImage",
    "Exif.Olympus2.Thumbnail",
    "Exif.Olympus2.ThumbnailOffset",
    "Exif.Olympus2.ThumbnailLength",
    "Exif.OlympusCs.PreviewImageValid",
    "Exif.OlympusCs.PreviewImageStart",
    "Exif.OlympusCs.PreviewImageLength",
    "Exif.Minolta.Thumbnail",
    "Exif.Minolta.ThumbnailOffset",
    "Exif.Minolta.ThumbnailLength",
    "Exif.SonyMinolta.Thumbnail",
    "Exif.SonyMinolta.ThumbnailOffset",
    "Exif.SonyMinolta.ThumbnailLength",
    "Exif.Sony1.PreviewImage",
    "Exif.Sony2.PreviewImage",
    "Exif.Casio2.PreviewImage",
    "Exif.Casio2.PreviewImageStart",
    "Exif.Casio2.PreviewImageLength",
    "Exif.PanasonicRaw.PreviewImage",
    // A TIFF source's XMP packet and Photoshop resources (which hold a
    // thumbnail): their XMP and IPTC travel in blocks of their own.
    "Exif.Image.XMLPacket",
    "Exif.Image.ImageResources",
    // The source's own picture data (a TIFF source's strips or tiles).
    "Exif.Image.JPEGInterchangeFormat",
    "Exif.Image.JPEGInterchangeFormatLength",
    "Exif.Image.StripOffsets",
    "Exif.Image.StripByteCounts",
    "Exif.Image.TileOffsets",
    "Exif.Image.TileByteCounts",
};

// True when `bytes` hold the start of a JPEG picture (SOI and a marker).
bool HoldsJpeg(const Exiv2::byte *bytes, size_t size)
{
    for (size_t i = 0; i + 2 < size; ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD8 && bytes[i + 2] == 0xFF)
            return true;
    }
    return false;
}

// A tag whose value carries picture data: a data area (the library keeps an
// offset tag's bytes there) or binary bytes holding a JPEG picture.
bool CarriesPicture(const Exiv2::Exifdatum &datum)
{
    if (datum.sizeDataArea() > 0)
        return true;
    const Exiv2::TypeId type = datum.typeId();
    if (type != Exiv2::undefined && type != Exiv2::unsignedByte)
        return false;
    const long size = datum.size();
    if (size < 3)
        return false;
    std::vector<Exiv2::byte> bytes(size_t(size), 0);
    datum.copy(bytes.data(), Exiv2::littleEndian);
    return HoldsJpeg(bytes.data(), bytes.size());
}

bool IsMakerNoteTag(const Exiv2::Exifdatum &datum)
{
    const std::string group = datum.groupName();
    return Exiv2::ExifTags::isMakerGroup(group) || group == "MakerNote" ||
           datum.key() == "Exif.Photo.MakerNote";
}

// Removes every embedded picture of the photo from `exif`: the thumbnail, the
// preview pictures of camera maker notes and of further image directories,
// and any other tag found to carry one. A maker note the library does not
// parse (kept as one block) cannot lose its previews alone: when it holds a
// picture it is left out whole, with a warning. (A parsed note is written
// anew from its tags; the raw block the library keeps beside them is not.)
void DropEmbeddedPictures(Exiv2::ExifData &exif, QStringList &warnings)
{
    Exiv2::ExifThumb(exif).erase();
    const bool parsedNote = std::any_of(exif.begin(), exif.end(), [](const Exiv2::Exifdatum &d) {
        return Exiv2::ExifTags::isMakerGroup(d.groupName());
    });
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string key = it->key();
        const std::string group = it->groupName();
        const bool listed = std::any_of(std::begin(kPictureKeys), std::end(kPictureKeys),
                                        [&](const char *k) { return key == k; }) ||
                            std::any_of(std::begin(kPictureGroups), std::end(kPictureGroups),
                                        [&](const char *g) { return group == g; }) ||
                            // MPF index tags describe images that follow the
                            // source's own picture, which no output carries.
                            group == "MpfInfo";
        const bool rawNote = key == "Exif.Photo.MakerNote";
        if (listed || (!(rawNote && parsedNote) && CarriesPicture(*it))) {
            if (rawNote)
                warnings << u"maker note left out: it holds a preview picture that cannot be "
                            u"removed alone"_s;
            else if (!listed && !Exiv2::ExifTags::isMakerGroup(group))
                warnings << u"EXIF tag %1 left out: it holds a picture"_s.arg(
                    QString::fromStdString(key));
            it = exif.erase(it);
            continue;
        }
        ++it;
    }
}

// The XMP packet without the pictures it may carry: the thumbnails of the
// basic schema (xmp:Thumbnails, each an xmpGImg:image in base64), any other
// property built of xmpGImg fields, and the original picture that portrait
// modes keep in GImage:Data (with its type). A packet that names none of them is kept byte
// for byte; one that cannot be rewritten is left out with a warning.
QByteArray XmpWithoutPictures(const QByteArray &packet, QStringList &warnings)
{
    if (!packet.contains("xmpGImg") && !packet.contains("Thumbnails") && !packet.contains("GImage"))
        return packet;
    try {
        Exiv2::XmpData xmp;
        if (Exiv2::XmpParser::decode(xmp, std::string(packet.constData(), size_t(packet.size()))) !=
            0)
            throw std::runtime_error("cannot parse the packet");
        // The top-level properties to remove ("Xmp.xmp.Thumbnails" for
        // "Xmp.xmp.Thumbnails[1]/xmpGImg:image").
        std::vector<std::string> doomed;
        for (const Exiv2::Xmpdatum &datum : xmp) {
            const std::string key = datum.key();
            const std::string top = key.substr(0, key.find_first_of("[/"));
            if (key.find("xmpGImg:") != std::string::npos || top == "Xmp.xmp.Thumbnails" ||
                (datum.groupName() == "GImage" &&
                 (datum.tagName() == "Data" || datum.tagName() == "Mime")))
                doomed.push_back(top);
        }
        if (doomed.empty())
            return packet;
        for (auto it = xmp.begin(); it != xmp.end();) {
            const std::string key = it->key();
            const bool gone = std::any_of(doomed.begin(), doomed.end(), [&](const std::string &t) {
                return key == t || key.rfind(t + "[", 0) == 0 || key.rfind(t + "/", 0) == 0;
            });
            it = gone ? xmp.erase(it) : std::next(it);
        }
        if (xmp.empty())
            return {};
        std::string out;
        if (Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
            throw std::runtime_error("cannot write the packet");
        return QByteArray(out.data(), qsizetype(out.size()));
    } catch (const std::exception &e) {
        warnings << u"XMP left out: it holds a thumbnail that cannot be removed (%1)"_s.arg(
            QString::fromLocal8Bit(e.what()));
        return {};
    }
}

// The IPTC records without the object preview (dataset 2:202, a picture of
// the photo) and the two that describe it. Records without one are kept byte
// for byte; records that cannot be rewritten are left out with a warning.
QByteArray IptcWithoutPreview(const QByteArray &records, QStringList &warnings)
{
    if (!records.contains("\x1c\x02\xca"))
        return records;
    try {
        Exiv2::IptcData iptc;
        if (Exiv2::IptcParser::decode(iptc, reinterpret_cast<const Exiv2::byte *>(records.data()),
                                      uint32_t(records.size())) != 0)
            throw std::runtime_error("cannot parse the records");
        for (auto it = iptc.begin(); it != iptc.end();) {
            const std::string key = it->key();
            const bool preview = key == "Iptc.Application2.Preview" ||
                                 key == "Iptc.Application2.PreviewFormat" ||
                                 key == "Iptc.Application2.PreviewVersion";
            it = preview ? iptc.erase(it) : std::next(it);
        }
        const Exiv2::DataBuf out = Exiv2::IptcParser::encode(iptc);
        return QByteArray(reinterpret_cast<const char *>(out.pData_), qsizetype(out.size_));
    } catch (const std::exception &e) {
        warnings << u"IPTC left out: it holds a preview that cannot be removed (%1)"_s.arg(
            QString::fromLocal8Bit(e.what()));
        return {};
    }
}

// The EXIF block for the output: the source's tags without the embedded
// pictures (they would show the photo without its watermark), the
// pixel-dimension tags set to the written size. When the source's block
// cannot be re-encoded, a block with only the Orientation tag keeps the output
// showing upright.
QByteArray OutputExif(const QByteArray &source, QSize written, int orientation, qsizetype maxSize,
                      QString &warning, QStringList &dropped)
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
        DropEmbeddedPictures(exif, dropped);
        setSize(exif);
        // An output written upright says so; one stored turned keeps the
        // source's value, which is the same.
        if (orientation != 0) {
            const auto tag = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
            if (tag != exif.end() && tag->toLong() != orientation)
                *tag = uint16_t(orientation);
        }
        Exiv2::Blob blob;
        const Exiv2::ByteOrder outOrder =
            order == Exiv2::invalidByteOrder ? Exiv2::littleEndian : order;
        Exiv2::ExifParser::encode(blob, outOrder, exif);
        // What is written is checked too: a picture left in a maker note of a
        // kind not listed above takes the whole note with it.
        if (HoldsJpeg(blob.data(), blob.size())) {
            const auto before = exif.count();
            for (auto it = exif.begin(); it != exif.end();)
                it = IsMakerNoteTag(*it) ? exif.erase(it) : std::next(it);
            if (exif.count() < before)
                dropped << u"maker note left out: it holds a preview picture that cannot be "
                           u"removed alone"_s;
            blob.clear();
            Exiv2::ExifParser::encode(blob, outOrder, exif);
            if (HoldsJpeg(blob.data(), blob.size()))
                throw std::runtime_error("it holds a picture that cannot be removed");
        }
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
    return PrepareOutputMetadata(source, written, orientation, OutputMetadataRequest{maxExifSize});
}

OutputMetadata PrepareOutputMetadata(const PhotoMetadata &source, QSize written, int orientation,
                                     const OutputMetadataRequest &request)
{
    const qsizetype maxExifSize = request.maxExifSize;
    InitPhotoMetadataLibrary();
    OutputMetadata out;
    if (!source.exif.isEmpty() || orientation != 0) {
        QString warning;
        out.exif =
            OutputExif(source.exif, written, orientation, maxExifSize, warning, out.warnings);
        if (!warning.isEmpty())
            out.warnings << warning;
    }
    SettledXmp xmp = SettleExtendedXmp(XmpWithoutPictures(source.xmp, out.warnings),
                                       source.xmpExtension, request.jpeg, out.warnings);
    out.xmp = std::move(xmp.xmp);
    out.xmpExtension = std::move(xmp.extension);
    // The output's pixels are RGB: a CMYK or grey source was converted to
    // sRGB, and its profile would describe other pixels.
    out.iccProfile = ProfileForRgbOutput(source.iccProfile);
    out.iptc = IptcWithoutPreview(source.iptc, out.warnings);
    return out;
}

} // namespace kw

#include "render/photo_input_metadata.h"

#include "render/extended_xmp.h"

#include <exiv2/exiv2.hpp>

#include <memory>

#include <mutex>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

std::mutex &XmpToolkitMutex()
{
    static std::mutex mutex;
    return mutex;
}

void LockXmpToolkit(void *, bool lock)
{
    if (lock)
        XmpToolkitMutex().lock();
    else
        XmpToolkitMutex().unlock();
}

} // namespace

void InitPhotoMetadataLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Photo input reports unreadable metadata itself; Exiv2's own
        // warnings would only clutter stderr of the command-line tool.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        try {
            Exiv2::XmpParser::initialize(LockXmpToolkit, nullptr);
        } catch (...) {
            // Reading XMP then fails per photo, with a reason.
        }
    });
}

namespace detail {

namespace {

QByteArray Bytes(const Exiv2::byte *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

int OrientationOf(const Exiv2::ExifData &exif)
{
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == exif.end() || it->count() < 1)
        return 0;
    switch (it->typeId()) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong: {
        const long value = it->toLong(0);
        return value >= 0 && value <= 0xffff ? int(value) : 0;
    }
    default:
        return 0;
    }
}

// An EXIF text as written, without the padding some cameras leave: NULs and
// spaces at the end. Copyright may hold "photographer\0editor": the first
// part is the photographer's.
QString ExifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() == 0)
        return {};
    std::string text = it->toString();
    if (const size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed();
}

QString XmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end() || it->count() == 0)
        return {};
    if (const auto *alt = dynamic_cast<const Exiv2::LangAltValue *>(&it->value())) {
        const auto chosen = alt->value_.find("x-default");
        const std::string &text =
            chosen != alt->value_.end() ? chosen->second : alt->value_.begin()->second;
        return QString::fromStdString(text).trimmed();
    }
    return QString::fromStdString(it->toString(0)).trimmed();
}

// "YYYY:MM:DD HH:MM:SS", the EXIF date form; invalid for anything else
// (blank dates of cameras without a clock read "    :  :     :  :  ").
QDateTime ExifDate(const QString &text)
{
    return QDateTime::fromString(text.left(19), u"yyyy:MM:dd HH:mm:ss"_s);
}

PhotoFacts FactsOf(const Exiv2::ExifData &exif, const Exiv2::XmpData &xmp)
{
    PhotoFacts facts;
    facts.taken = ExifDate(ExifText(exif, "Exif.Photo.DateTimeOriginal"));
    facts.make = ExifText(exif, "Exif.Image.Make");
    facts.model = ExifText(exif, "Exif.Image.Model");
    facts.lens = ExifText(exif, "Exif.Photo.LensModel");
    if (facts.lens.isEmpty()) {
        // The maker's own lens tags, named by Exiv2's lens tables.
        const auto lens = Exiv2::lensName(exif);
        if (lens != exif.end())
            facts.lens = QString::fromStdString(lens->print(&exif)).trimmed();
    }
    facts.artist = ExifText(exif, "Exif.Image.Artist");
    if (facts.artist.isEmpty())
        facts.artist = XmpText(xmp, "Xmp.dc.creator");
    facts.copyright = ExifText(exif, "Exif.Image.Copyright");
    if (facts.copyright.isEmpty())
        facts.copyright = XmpText(xmp, "Xmp.dc.rights");
    return facts;
}

void ReadOrThrow(const QByteArray &bytes, bool keepBlobs, MetadataRead &read)
{
    // Owned at once by a unique_ptr: Exiv2 0.27 returns a std::auto_ptr.
    std::unique_ptr<Exiv2::Image> image(
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(bytes.constData()),
                                  long(bytes.size()))
            .release());
    if (!image.get())
        throw Exiv2::Error(Exiv2::kerMemoryContainsUnknownImageType);
    image->readMetadata();

    const Exiv2::ExifData &exif = image->exifData();
    read.orientation = OrientationOf(exif);
    read.facts = FactsOf(exif, image->xmpData());
    if (!keepBlobs)
        return;

    PhotoMetadata &out = read.metadata;
    if (!exif.empty()) {
        Exiv2::ByteOrder order = image->byteOrder();
        if (order == Exiv2::invalidByteOrder)
            order = Exiv2::littleEndian;
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        out.exif = Bytes(blob.data(), blob.size());
    }
    if (!image->iptcData().empty()) {
        const Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image->iptcData());
        if (iptc.size_ > 0)
            out.iptc = Bytes(iptc.pData_, size_t(iptc.size_));
    }
    const std::string &xmp = image->xmpPacket();
    if (!xmp.empty())
        out.xmp = QByteArray(xmp.data(), qsizetype(xmp.size()));
    out.xmpExtension = ReadExtendedXmpSegments(bytes);
    if (image->iccProfileDefined()) {
        const Exiv2::DataBuf *icc = image->iccProfile();
        if (icc && icc->size_ > 0)
            out.iccProfile = Bytes(icc->pData_, size_t(icc->size_));
    }
}

} // namespace

PhotoFacts ReadPhotoFactsFromBlocks(const QByteArray &exifTiff, const QByteArray &xmpPacket)
{
    InitPhotoMetadataLibrary();
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    // Each block on its own: an unreadable one leaves only its values out.
    try {
        if (!exifTiff.isEmpty())
            Exiv2::ExifParser::decode(exif,
                                      reinterpret_cast<const Exiv2::byte *>(exifTiff.constData()),
                                      uint32_t(exifTiff.size()));
    } catch (...) {
        exif.clear();
    }
    try {
        if (!xmpPacket.isEmpty())
            Exiv2::XmpParser::decode(xmp, xmpPacket.toStdString());
    } catch (...) {
        xmp.clear();
    }
    try {
        return FactsOf(exif, xmp);
    } catch (...) {
        return {};
    }
}

MetadataRead ReadPhotoMetadata(const QByteArray &bytes, bool keepBlobs)
{
    InitPhotoMetadataLibrary();
    MetadataRead read;
    QString why;
    try {
        ReadOrThrow(bytes, keepBlobs, read);
        return read;
    } catch (const Exiv2::AnyError &e) {
        why = QString::fromLocal8Bit(e.what());
    } catch (const std::exception &e) {
        why = QString::fromLocal8Bit(e.what());
    } catch (...) {
        why = u"unknown error"_s;
    }
    // Whatever was read before the failure is not trusted: the photo stays as
    // stored and carries no metadata.
    MetadataRead failed;
    failed.note = u"cannot read photo metadata: "_s + why;
    return failed;
}

} // namespace detail

} // namespace kw

#include "render/metadata_choices.h"

#include <exiv2/exiv2.hpp>

#include <string>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

bool IsSerialNumber(const std::string &tagName)
{
    return QString::fromStdString(tagName).contains(u"SerialNumber"_s, Qt::CaseInsensitive);
}

template <typename Data, typename Drop>
void EraseIf(Data &data, Drop drop)
{
    for (auto it = data.begin(); it != data.end();)
        it = drop(*it) ? data.erase(it) : std::next(it);
}

std::string Utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

QString Why(const std::exception &e)
{
    return QString::fromLocal8Bit(e.what());
}

QByteArray EditedExif(const QByteArray &block, const OutputMetadataSetting &setting,
                      const QString &artist, const QString &copyright, QStringList &warnings)
{
    const bool strips = setting.stripLocation || setting.stripSerialNumbers;
    try {
        Exiv2::ExifData exif;
        Exiv2::ByteOrder order = Exiv2::littleEndian;
        if (!block.isEmpty()) {
            order = Exiv2::ExifParser::decode(
                exif, reinterpret_cast<const Exiv2::byte *>(block.constData()),
                uint32_t(block.size()));
            if (order == Exiv2::invalidByteOrder)
                order = Exiv2::littleEndian;
        }
        EraseIf(exif, [&](const Exiv2::Exifdatum &datum) {
            return (setting.stripLocation &&
                    (datum.groupName() == "GPSInfo" || datum.key() == "Exif.Image.GPSTag")) ||
                   (setting.stripSerialNumbers && IsSerialNumber(datum.tagName()));
        });
        if (!artist.isEmpty())
            exif["Exif.Image.Artist"] = Utf8(artist);
        if (!copyright.isEmpty())
            exif["Exif.Image.Copyright"] = Utf8(copyright);
        if (exif.empty())
            return {};
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
    } catch (const std::exception &e) {
        if (strips) {
            warnings << u"EXIF left out: it cannot be read to remove what the template "
                        u"removes (%1)"_s.arg(Why(e));
            return {};
        }
        warnings << u"EXIF Artist and Copyright not written: "_s + Why(e);
        return block;
    }
}

QByteArray EditedXmp(const QByteArray &packet, const OutputMetadataSetting &setting,
                     const QString &artist, const QString &copyright, QStringList &warnings)
{
    const bool strips = setting.stripLocation || setting.stripSerialNumbers;
    try {
        Exiv2::XmpData xmp;
        if (!packet.isEmpty() &&
            Exiv2::XmpParser::decode(xmp, std::string(packet.constData(), size_t(packet.size()))) !=
                0)
            throw std::runtime_error("the packet cannot be parsed");
        EraseIf(xmp, [&](const Exiv2::Xmpdatum &datum) {
            const std::string key = datum.key();
            return (setting.stripLocation && key.rfind("Xmp.exif.GPS", 0) == 0) ||
                   (setting.stripSerialNumbers && IsSerialNumber(datum.tagName()));
        });
        if (!artist.isEmpty()) {
            EraseIf(xmp, [](const Exiv2::Xmpdatum &d) { return d.key() == "Xmp.dc.creator"; });
            Exiv2::XmpArrayValue creator(Exiv2::xmpSeq);
            creator.read(Utf8(artist));
            xmp.add(Exiv2::XmpKey("Xmp.dc.creator"), &creator);
        }
        if (!copyright.isEmpty()) {
            EraseIf(xmp, [](const Exiv2::Xmpdatum &d) { return d.key() == "Xmp.dc.rights"; });
            Exiv2::LangAltValue rights;
            rights.value_["x-default"] = Utf8(copyright);
            xmp.add(Exiv2::XmpKey("Xmp.dc.rights"), &rights);
        }
        if (xmp.empty())
            return {};
        std::string out;
        if (Exiv2::XmpParser::encode(out, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
            throw std::runtime_error("the packet cannot be written");
        return QByteArray::fromStdString(out);
    } catch (const std::exception &e) {
        if (strips) {
            warnings << u"XMP left out: it cannot be read to remove what the template "
                        u"removes (%1)"_s.arg(Why(e));
            return {};
        }
        warnings << u"XMP dc:creator and dc:rights not written: "_s + Why(e);
        return packet;
    }
}

} // namespace

PhotoMetadata ApplyOutputMetadataSetting(PhotoMetadata metadata,
                                         const OutputMetadataSetting &setting,
                                         const PhotoFacts &facts, QStringList &warnings)
{
    if (setting.isDefault())
        return metadata;
    InitPhotoMetadataLibrary();
    const QString artist = ExpandTextVariables(setting.artist, facts).trimmed();
    const QString copyright = ExpandTextVariables(setting.copyright, facts).trimmed();
    metadata.exif = EditedExif(metadata.exif, setting, artist, copyright, warnings);
    const QByteArray xmp = EditedXmp(metadata.xmp, setting, artist, copyright, warnings);
    if (xmp.isEmpty() && !metadata.xmp.isEmpty())
        metadata.xmpExtension.clear(); // nothing is left to point to it
    metadata.xmp = xmp;
    return metadata;
}

} // namespace kw

#include "render/tiff_metadata.h"

#include "render/photo_input.h"

#include <exiv2/exiv2.hpp>

#include <memory>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

const Exiv2::byte *Bytes(const QByteArray &bytes)
{
    return reinterpret_cast<const Exiv2::byte *>(bytes.constData());
}

} // namespace

Result<QByteArray> AddTiffMetadata(const QByteArray &tiff, const OutputMetadata &metadata)
{
    if (metadata.exif.isEmpty() && metadata.xmp.isEmpty() && metadata.iccProfile.isEmpty() &&
        metadata.iptc.isEmpty())
        return tiff;
    InitPhotoMetadataLibrary();
    try {
        // Owned at once by a unique_ptr: Exiv2 0.27 returns a std::auto_ptr.
        std::unique_ptr<Exiv2::Image> image(
            Exiv2::ImageFactory::open(Bytes(tiff), long(tiff.size())).release());
        image->readMetadata();
        if (!metadata.exif.isEmpty()) {
            Exiv2::ExifData exif;
            Exiv2::ExifParser::decode(exif, Bytes(metadata.exif), uint32_t(metadata.exif.size()));
            // The written stream's own structure tags win over the source's.
            for (const Exiv2::Exifdatum &datum : image->exifData())
                exif[datum.key()] = datum.value();
            image->setExifData(exif);
        }
        if (!metadata.xmp.isEmpty()) {
            image->setXmpPacket(std::string(metadata.xmp.constData(), size_t(metadata.xmp.size())));
            image->writeXmpFromPacket(true);
        }
        if (!metadata.iccProfile.isEmpty()) {
            Exiv2::DataBuf profile(Bytes(metadata.iccProfile), long(metadata.iccProfile.size()));
            image->setIccProfile(profile, false);
        }
        if (!metadata.iptc.isEmpty()) {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, Bytes(metadata.iptc),
                                          uint32_t(metadata.iptc.size())) == 0)
                image->setIptcData(iptc);
        }
        image->writeMetadata();
        Exiv2::BasicIo &io = image->io();
        io.open();
        Exiv2::DataBuf written = io.read(long(io.size()));
        io.close();
        return QByteArray(reinterpret_cast<const char *>(written.pData_), qsizetype(written.size_));
    } catch (const Exiv2::AnyError &e) {
        return Failure{u"cannot add the metadata to the TIFF file: "_s +
                       QString::fromStdString(e.what())};
    }
}

} // namespace kw

#include "render/heif_input.h"

#include "render/photo_input_metadata.h"
#include "render/photo_resize.h"

#include <QColorSpace>
#include <QImage>

#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <new>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw::detail {

namespace {

quint32 BigEndian32(const char *p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 |
           quint32(uchar(p[3]));
}

// The brands libheif decodes: HEVC-coded HEIF (images and sequences), the
// generic image-file brands, and AV1-coded AVIF.
bool IsHeifBrand(QByteArrayView brand)
{
    static constexpr const char *kBrands[] = {"heic", "heix", "hevc", "heim", "heis",
                                              "mif1", "msf1", "avif", "avis"};
    for (const char *known : kBrands)
        if (brand == QByteArrayView(known, 4))
            return true;
    return false;
}

bool IsAvifBrand(QByteArrayView brand)
{
    return brand == "avif" || brand == "avis";
}

// Every heif_* call that can fail says so through a heif_error.
QString HeifReason(const heif_error &error)
{
    QString text = QString::fromUtf8(error.message ? error.message : "");
    if (text.isEmpty())
        text = u"the decoder gave no reason"_s;
    if (text.size() > 1 && text.at(0).isUpper() && text.at(1).isLower())
        text[0] = text.at(0).toLower();
    return u"cannot decode photo: "_s + text;
}

struct ContextFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleRelease
{
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease
{
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};

// libheif loads its decoder plugins once per process; it is never shut down.
void InitHeifLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

// The first metadata item of `type` (and MIME content type, when given).
QByteArray MetadataItem(const heif_image_handle *handle, const char *type, const char *contentType)
{
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    if (count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    for (const heif_item_id id : ids) {
        if (contentType &&
            qstrcmp(heif_image_handle_get_metadata_content_type(handle, id), contentType) != 0)
            continue;
        const size_t size = heif_image_handle_get_metadata_size(handle, id);
        if (size == 0 || size > size_t(kMaxPhotoFileBytes))
            continue;
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_metadata(handle, id, data.data()).code == heif_error_Ok)
            return data;
    }
    return {};
}

QByteArray ColourProfile(const heif_image_handle *handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {}; // none, or nclx code points: taken as sRGB
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > size_t(kMaxPhotoFileBytes))
        return {};
    QByteArray profile(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok)
        return {};
    return profile;
}

// The decoded interleaved plane as a 32-bit QImage. Samples deeper than 8 bits
// (stored little-endian in 16 bits) are scaled to 0..255 with rounding.
QImage ToQImage(const heif_image *image, bool alpha)
{
    const int width = heif_image_get_primary_width(image);
    const int height = heif_image_get_primary_height(image);
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0 || bits < 1 || bits > 16)
        return {};
    if (bits == 8) {
        const QImage view(plane, width, height, stride,
                          alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const int channels = alpha ? 4 : 3;
    const quint32 max = (quint32(1) << bits) - 1;
    QImage out(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const uint8_t *in = plane + qsizetype(y) * stride;
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int c[4] = {0, 0, 0, 255};
            for (int i = 0; i < channels; ++i) {
                const quint32 v = qMin<quint32>(quint32(in[0]) | quint32(in[1]) << 8, max);
                c[i] = int((v * 255 + max / 2) / max);
                in += 2;
            }
            line[x] = qRgba(c[0], c[1], c[2], c[3]);
        }
    }
    return std::move(out).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

quint16 Read16(const char *p, bool little)
{
    return little ? quint16(uchar(p[0]) | uchar(p[1]) << 8)
                  : quint16(uchar(p[0]) << 8 | uchar(p[1]));
}

quint32 Read32(const char *p, bool little)
{
    return little ? quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 |
                        quint32(uchar(p[3])) << 24
                  : BigEndian32(p);
}

bool IsTiffHeader(QByteArrayView bytes)
{
    return bytes.size() >= 8 && (bytes.startsWith(QByteArrayView("II*\0", 4)) ||
                                 bytes.startsWith(QByteArrayView("MM\0*", 4)));
}

} // namespace

QByteArray HeifContentFormat(const QByteArray &bytes)
{
    if (bytes.size() < 16 || QByteArrayView(bytes).sliced(4, 4) != "ftyp")
        return {};
    qint64 boxSize = BigEndian32(bytes.constData());
    qsizetype offset = 8;
    if (boxSize == 1) { // a 64-bit size follows the type
        if (bytes.size() < 24)
            return {};
        boxSize = qint64(quint64(BigEndian32(bytes.constData() + 8)) << 32 |
                         BigEndian32(bytes.constData() + 12));
        offset = 16;
    } else if (boxSize == 0) { // the box runs to the end of the file
        boxSize = bytes.size();
    }
    if (boxSize < offset + 8)
        return {};
    const qsizetype end = qsizetype(qMin<qint64>(boxSize, bytes.size()));
    const QByteArrayView major = QByteArrayView(bytes).sliced(offset, 4);
    bool heif = IsHeifBrand(major);
    bool avif = IsAvifBrand(major);
    // After the major brand comes the minor version, then the compatible brands.
    for (qsizetype at = offset + 8; at + 4 <= end; at += 4) {
        const QByteArrayView brand = QByteArrayView(bytes).sliced(at, 4);
        heif = heif || IsHeifBrand(brand);
        // A file whose major brand is HEVC-coded stays "heif" even when it
        // also lists AVIF as compatible.
        avif = avif || (IsAvifBrand(brand) && !(major == "heic" || major == "heix"));
    }
    if (!heif)
        return {};
    return avif ? QByteArray("avif") : QByteArray("heif");
}

Result<QByteArray> TiffFromHeifExif(const QByteArray &item)
{
    if (item.size() < 4)
        return Failure{u"the EXIF block is too short"_s};
    const quint32 offset = BigEndian32(item.constData());
    if (offset > quint32(item.size() - 4) || !IsTiffHeader(QByteArrayView(item).sliced(4 + offset)))
        return Failure{u"the EXIF block has no TIFF header where it says"_s};
    return item.mid(4 + qsizetype(offset));
}

QByteArray WithOrientationOne(QByteArray tiff)
{
    if (!IsTiffHeader(tiff))
        return tiff;
    const bool little = tiff.at(0) == 'I';
    const quint32 ifd = Read32(tiff.constData() + 4, little);
    if (ifd < 8 || qint64(ifd) + 2 > tiff.size())
        return tiff;
    const quint16 count = Read16(tiff.constData() + ifd, little);
    for (quint32 i = 0; i < count; ++i) {
        const qint64 entry = qint64(ifd) + 2 + qint64(i) * 12;
        if (entry + 12 > tiff.size())
            break;
        char *p = tiff.data() + entry;
        const quint16 tag = Read16(p, little);
        const quint16 type = Read16(p + 2, little);
        const quint32 values = Read32(p + 4, little);
        // A SHORT with one value sits in the entry itself.
        if (tag == 0x0112 && type == 3 && values == 1) {
            p[8] = little ? 1 : 0;
            p[9] = little ? 0 : 1;
        }
    }
    return tiff;
}

Result<DecodedPhoto> LoadHeifPhoto(const QString &path, const QByteArray &bytes,
                                   const QByteArray &format, const PhotoLoadOptions &options)
{
    InitHeifLibrary();
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context)
        return Failure{u"cannot decode photo: not enough memory"_s};
    // The bytes outlive the context: this function holds them throughout.
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                                  size_t(bytes.size()), nullptr);
    if (error.code != heif_error_Ok)
        return Failure{HeifReason(error)};
    heif_image_handle *rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    if (error.code != heif_error_Ok || !handle)
        return Failure{HeifReason(error)};

    // The size after the rotation and mirror boxes, known before decoding.
    const QSize upright(heif_image_handle_get_width(handle.get()),
                        heif_image_handle_get_height(handle.get()));
    if (upright.width() <= 0 || upright.height() <= 0)
        return Failure{u"cannot decode photo: it has no pixels"_s};
    if (int64_t(upright.width()) * upright.height() > kMaxPhotoPixels)
        return Failure{
            u"cannot decode photo: %1 x %2 pixels is more than %3 megapixels"_s.arg(upright.width())
                .arg(upright.height())
                .arg(kMaxPhotoPixels / 1'000'000)};

    DecodedPhoto photo;
    photo.sourcePath = path;
    photo.format = format;
    photo.fullSize = upright;
    // The boxes have turned it; an EXIF Orientation says the same turn again.
    photo.sourceOrientation = 1;
    const WorkingSize working = ComputeWorkingSize(upright, options.resize);
    if (!working)
        return Failure{u"cannot resize photo: "_s + working.error};

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const std::unique_ptr<heif_decoding_options, OptionsFree> decoding(
        heif_decoding_options_alloc());
    if (!decoding)
        return Failure{u"cannot decode photo: not enough memory"_s};
    decoding->ignore_transformations = 0;
    heif_image *rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, decoding.get());
    const std::unique_ptr<heif_image, ImageRelease> decoded(rawImage);
    if (error.code != heif_error_Ok || !decoded)
        return Failure{HeifReason(error)};

    const QString noMemory = u"cannot %1 photo: not enough memory for %2 x %3 pixels"_s;
    QImage image = ToQImage(decoded.get(), alpha);
    if (image.isNull())
        return Failure{noMemory.arg(u"decode"_s).arg(upright.width()).arg(upright.height())};
    if (image.size() != working.size) {
        image = ResamplePhoto(image, working.size);
        if (image.isNull())
            return Failure{
                noMemory.arg(u"resize"_s).arg(working.size.width()).arg(working.size.height())};
    }

    const QByteArray icc = ColourProfile(handle.get());
    if (!icc.isEmpty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(icc);
        if (space.isValid())
            image.setColorSpace(space);
    }
    if (options.textFacts) {
        // The camera's values for the text variables, whatever else is kept.
        const Result<QByteArray> tiff =
            TiffFromHeifExif(MetadataItem(handle.get(), "Exif", nullptr));
        photo.facts = ReadPhotoFactsFromBlocks(
            tiff ? *tiff : QByteArray(), MetadataItem(handle.get(), "mime", "application/rdf+xml"));
    }
    if (options.orient && options.keepMetadata) {
        photo.metadata.iccProfile = icc;
        photo.metadata.xmp = MetadataItem(handle.get(), "mime", "application/rdf+xml");
        const QByteArray exif = MetadataItem(handle.get(), "Exif", nullptr);
        if (!exif.isEmpty()) {
            Result<QByteArray> tiff = TiffFromHeifExif(exif);
            if (tiff)
                photo.metadata.exif = WithOrientationOne(std::move(tiff).value());
            else
                photo.metadataNote = u"EXIF left out: "_s + tiff.error();
        }
    }
    photo.image = std::move(image);
    return photo;
}

} // namespace kw::detail

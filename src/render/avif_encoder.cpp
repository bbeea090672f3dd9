#include "render/avif_encoder.h"

#include <QIODevice>
#include <QThread>

#include <avif/avif.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

struct ImageDeleter
{
    void operator()(avifImage *image) const { avifImageDestroy(image); }
};
struct EncoderDeleter
{
    void operator()(avifEncoder *encoder) const { avifEncoderDestroy(encoder); }
};
struct RwDataGuard
{
    avifRWData data = AVIF_DATA_EMPTY;
    ~RwDataGuard() { avifRWDataFree(&data); }
};

const uint8_t *Bytes(const QByteArray &bytes)
{
    return reinterpret_cast<const uint8_t *>(bytes.constData());
}

QString Reason(avifResult result)
{
    return QString::fromLatin1(avifResultToString(result));
}

} // namespace

int AvifQuantizerForQuality(int quality)
{
    return ((100 - quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

Status EncodeAvif(const QImage &upright, int quality, const OutputMetadata &metadata,
                  QIODevice *device)
{
    if (quality < 0 || quality > 100)
        return Failure{u"the AVIF quality %1 is outside 0 to 100"_s.arg(quality)};
    if (upright.format() != QImage::Format_RGBX8888 && upright.format() != QImage::Format_RGBA8888)
        return Failure{u"the AVIF encoder takes RGBX or RGBA pixels"_s};
    const bool alpha = upright.format() == QImage::Format_RGBA8888;

    std::unique_ptr<avifImage, ImageDeleter> image(
        avifImageCreate(upright.width(), upright.height(), 8, AVIF_PIXEL_FORMAT_YUV420));
    if (!image)
        return Failure{u"not enough memory for the AVIF image"_s};
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.ignoreAlpha = alpha ? AVIF_FALSE : AVIF_TRUE;
    rgb.pixels = const_cast<uint8_t *>(upright.constBits()); // read only by RGBToYUV
    rgb.rowBytes = uint32_t(upright.bytesPerLine());
    if (const avifResult converted = avifImageRGBToYUV(image.get(), &rgb);
        converted != AVIF_RESULT_OK)
        return Failure{u"cannot convert the pixels for AVIF: "_s + Reason(converted)};

    if (!metadata.exif.isEmpty())
        avifImageSetMetadataExif(image.get(), Bytes(metadata.exif), size_t(metadata.exif.size()));
    if (!metadata.xmp.isEmpty())
        avifImageSetMetadataXMP(image.get(), Bytes(metadata.xmp), size_t(metadata.xmp.size()));
    if (!metadata.iccProfile.isEmpty())
        avifImageSetProfileICC(image.get(), Bytes(metadata.iccProfile),
                               size_t(metadata.iccProfile.size()));

    std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder)
        return Failure{u"not enough memory for the AVIF encoder"_s};
    const int quantizer = AvifQuantizerForQuality(quality);
    encoder->maxThreads = std::max(1, QThread::idealThreadCount());
    encoder->speed = kAvifSpeed;
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = quantizer;
    encoder->maxQuantizerAlpha = quantizer;

    RwDataGuard output;
    if (const avifResult written = avifEncoderWrite(encoder.get(), image.get(), &output.data);
        written != AVIF_RESULT_OK)
        return Failure{u"the AVIF encoder failed: "_s + Reason(written)};
    device->write(reinterpret_cast<const char *>(output.data.data), qint64(output.data.size));
    return {};
}

} // namespace kw

#include "render/webp_encoder.h"

#include <QIODevice>

#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace kw {

namespace {

// cwebp's default: the balance of speed and size most WebP files are made with.
constexpr int kMethod = 4;

struct PictureGuard
{
    WebPPicture *picture;
    ~PictureGuard() { WebPPictureFree(picture); }
};

struct MuxDeleter
{
    void operator()(WebPMux *mux) const { WebPMuxDelete(mux); }
};

Status SetChunk(WebPMux *mux, const char *fourcc, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    const WebPData data{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    if (WebPMuxSetChunk(mux, fourcc, &data, 1) != WEBP_MUX_OK)
        return Failure{u"cannot add the %1 chunk"_s.arg(QString::fromLatin1(fourcc).trimmed())};
    return {};
}

QString EncodeError(WebPEncodingError error)
{
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return u"not enough memory"_s;
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return u"the picture is too large for WebP"_s;
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
        return u"the picture holds too much detail for one WebP partition"_s;
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return u"the WebP data would exceed 4 GiB"_s;
    default:
        return u"the WebP encoder failed (error %1)"_s.arg(int(error));
    }
}

} // namespace

Status EncodeWebp(const QImage &upright, const WebpSettings &settings,
                  const OutputMetadata &metadata, QIODevice *device)
{
    if (upright.width() > kWebpMaxSide || upright.height() > kWebpMaxSide)
        return Failure{
            u"WebP stores at most %1 pixels a side; this picture is %2 x %3"_s.arg(kWebpMaxSide)
                .arg(upright.width())
                .arg(upright.height())};
    if (settings.quality < 0 || settings.quality > 100)
        return Failure{u"the WebP quality %1 is outside 0 to 100"_s.arg(settings.quality)};
    if (upright.format() != QImage::Format_RGBX8888 && upright.format() != QImage::Format_RGBA8888)
        return Failure{u"the WebP encoder takes RGBX or RGBA pixels"_s};

    WebPConfig config;
    if (!WebPConfigInit(&config))
        return Failure{u"the WebP library does not match its headers"_s};
    config.quality = float(settings.quality);
    config.lossless = settings.lossless ? 1 : 0;
    config.method = kMethod;
    // Keeps the colour under fully transparent pixels, as other encoders do.
    config.exact = settings.lossless ? 1 : 0;

    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return Failure{u"the WebP library does not match its headers"_s};
    PictureGuard guard{&picture};
    picture.width = upright.width();
    picture.height = upright.height();
    picture.use_argb = settings.lossless ? 1 : 0;
    const auto *pixels = upright.constBits();
    const int stride = int(upright.bytesPerLine());
    const int imported = upright.format() == QImage::Format_RGBA8888
                             ? WebPPictureImportRGBA(&picture, pixels, stride)
                             : WebPPictureImportRGBX(&picture, pixels, stride);
    if (!imported)
        return Failure{u"not enough memory for the WebP picture"_s};

    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool encoded = WebPEncode(&config, &picture);
    std::unique_ptr<uint8_t, decltype(&WebPFree)> stream(writer.mem, &WebPFree);
    if (!encoded)
        return Failure{EncodeError(picture.error_code)};

    const WebPData bitstream{writer.mem, writer.size};
    if (metadata.exif.isEmpty() && metadata.xmp.isEmpty() && metadata.iccProfile.isEmpty()) {
        device->write(reinterpret_cast<const char *>(bitstream.bytes), qint64(bitstream.size));
        return {};
    }
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&bitstream, 1));
    if (!mux)
        return Failure{u"cannot wrap the WebP data for its metadata"_s};
    for (const auto &[fourcc, bytes] :
         {std::pair{"EXIF", &metadata.exif}, std::pair{"XMP ", &metadata.xmp},
          std::pair{"ICCP", &metadata.iccProfile}}) {
        if (Status set = SetChunk(mux.get(), fourcc, *bytes); !set)
            return set;
    }
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
        return Failure{u"cannot assemble the WebP file with its metadata"_s};
    device->write(reinterpret_cast<const char *>(assembled.bytes), qint64(assembled.size));
    WebPDataClear(&assembled);
    return {};
}

} // namespace kw

#include "render/avif_encoder.h"
#include "render/output_writer.h"
#include "render/webp_encoder.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <avif/avif.h>
#include <webp/decode.h>
#include <webp/mux.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

CPreferences Prefs(const QString &folder, OutputFormatCode format)
{
    CPreferences p;
    p.outputFolderOpts = 1;
    p.outputFolderPath = folder;
    p.outputFileNameOpts = 0;
    p.outputFormat = int32_t(format);
    return p;
}

// Peak signal-to-noise ratio over the RGB channels, in dB.
double Psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (int d : {qRed(p[col]) - qRed(q[col]), qGreen(p[col]) - qGreen(q[col]),
                          qBlue(p[col]) - qBlue(q[col])})
                sum += d * d;
        }
    }
    const double mse = sum / (3.0 * x.width() * x.height());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A decoded output with the metadata blocks its container holds.
struct Decoded
{
    QImage image; // RGBA8888
    QByteArray exif, xmp, icc;
};

QByteArray Copy(const uint8_t *bytes, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size));
}

Decoded DecodeWebp(const QByteArray &file)
{
    Decoded out;
    const auto *bytes = reinterpret_cast<const uint8_t *>(file.constData());
    int w = 0, h = 0;
    uint8_t *rgba = WebPDecodeRGBA(bytes, size_t(file.size()), &w, &h);
    if (!rgba)
        return out;
    out.image = QImage(rgba, w, h, QImage::Format_RGBA8888).copy();
    WebPFree(rgba);
    const WebPData data{bytes, size_t(file.size())};
    WebPMux *mux = WebPMuxCreate(&data, 0);
    const auto chunk = [&](const char *fourcc) {
        WebPData found;
        return WebPMuxGetChunk(mux, fourcc, &found) == WEBP_MUX_OK ? Copy(found.bytes, found.size)
                                                                   : QByteArray();
    };
    out.exif = chunk("EXIF");
    out.xmp = chunk("XMP ");
    out.icc = chunk("ICCP");
    WebPMuxDelete(mux);
    return out;
}

Decoded DecodeAvif(const QByteArray &file)
{
    Decoded out;
    avifDecoder *decoder = avifDecoderCreate();
    avifImage *image = avifImageCreateEmpty();
    if (avifDecoderReadMemory(decoder, image, reinterpret_cast<const uint8_t *>(file.constData()),
                              size_t(file.size())) == AVIF_RESULT_OK) {
        out.exif = Copy(image->exif.data, image->exif.size);
        out.xmp = Copy(image->xmp.data, image->xmp.size);
        out.icc = Copy(image->icc.data, image->icc.size);
        QImage rgba(int(image->width), int(image->height), QImage::Format_RGBA8888);
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.format = AVIF_RGB_FORMAT_RGBA;
        rgb.depth = 8;
        rgb.pixels = rgba.bits();
        rgb.rowBytes = uint32_t(rgba.bytesPerLine());
        if (avifImageYUVToRGB(image, &rgb) == AVIF_RESULT_OK)
            out.image = rgba;
    }
    avifImageDestroy(image);
    avifDecoderDestroy(decoder);
    return out;
}

Exiv2::ExifData ParseExif(const QByteArray &block)
{
    Exiv2::ExifData exif;
    if (!block.isEmpty())
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(block.constData()),
                                  uint32_t(block.size()));
    return exif;
}

class OutputFormats : public ::testing::Test
{
protected:
    // A JPEG stored on its side (EXIF Orientation 6) with EXIF, a thumbnail,
    // XMP, IPTC and an Adobe RGB profile.
    DecodedPhoto tagged()
    {
        QImage stored = test::PhotoLikeImage(96, 64);
        stored.setColorSpace(QColorSpace::AdobeRgb);
        const QByteArray thumbnail = test::Encode(test::PhotoLikeImage(32, 24), "jpeg");
        const QByteArray jpeg =
            test::WithMetadata(test::Encode(stored, "jpeg", 95), [&](Exiv2::Image &image) {
                Exiv2::ExifData &exif = image.exifData();
                exif["Exif.Image.Make"] = std::string("Kelvane Optics");
                exif["Exif.Image.Orientation"] = uint16_t(6);
                exif["Exif.Photo.PixelXDimension"] = uint32_t(96);
                exif["Exif.Photo.PixelYDimension"] = uint32_t(64);
                Exiv2::ExifThumb(exif).setJpegThumbnail(
                    reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                    long(thumbnail.size()));
                image.iptcData()["Iptc.Application2.Keywords"] = std::string("harbour");
                image.xmpData()["Xmp.dc.subject"] = std::string("boats");
            });
        const QString path = m_dir.filePath(u"tagged.jpg"_s);
        EXPECT_TRUE(test::WriteFileBytes(path, jpeg));
        Result<DecodedPhoto> photo = LoadPhoto(path);
        EXPECT_TRUE(photo) << photo.error().toStdString();
        EXPECT_EQ(photo->image.size(), QSize(64, 96)) << "decoded upright";
        EXPECT_FALSE(photo->metadata.iccProfile.isEmpty());
        return std::move(photo).value();
    }

    // The written file, or empty with the failure reported.
    QByteArray write(const QImage &picture, const DecodedPhoto &photo, const CPreferences &prefs)
    {
        const Result<WrittenOutput> r = WriteOutput(picture, photo, prefs);
        EXPECT_TRUE(r) << r.error().toStdString();
        if (!r)
            return {};
        EXPECT_TRUE(r->warning.isEmpty()) << r->warning.toStdString();
        return test::ReadFileBytes(r->path);
    }

    // The metadata of an upright output of the tagged photo.
    static void ExpectUprightMetadata(const Decoded &out, const DecodedPhoto &photo)
    {
        Exiv2::ExifData exif = ParseExif(out.exif);
        EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Kelvane Optics");
        EXPECT_EQ(exif["Exif.Image.Orientation"].toLong(), 1);
        EXPECT_EQ(exif["Exif.Photo.PixelXDimension"].toLong(), 64);
        EXPECT_EQ(exif["Exif.Photo.PixelYDimension"].toLong(), 96);
        EXPECT_EQ(Exiv2::ExifThumbC(exif).copy().size_, 0) << "no thumbnail";
        EXPECT_TRUE(out.xmp.contains("boats"));
        EXPECT_EQ(out.icc, photo.metadata.iccProfile);
    }

    test::TestSandbox m_sandbox;
    QTemporaryDir m_dir;
};

TEST_F(OutputFormats, WebpAndAvifDecodeBackUprightWithTheirMetadata)
{
    const DecodedPhoto photo = tagged();
    const QString out = m_dir.filePath(u"out"_s);
    // At the default qualities the outputs stay close to the drawn pixels:
    // above 34 dB on this grainy picture (JPEG 98 gives about 40 dB).
    for (OutputFormatCode format : {OutputFormatCode::Webp, OutputFormatCode::Avif}) {
        SCOPED_TRACE(int(format));
        const QByteArray file = write(photo.image, photo, Prefs(out, format));
        const Decoded back = format == OutputFormatCode::Webp ? DecodeWebp(file) : DecodeAvif(file);
        ASSERT_EQ(back.image.size(), QSize(64, 96));
        EXPECT_GT(Psnr(back.image, photo.image), 34.0);
        ExpectUprightMetadata(back, photo);
    }
    EXPECT_TRUE(QFile::exists(out + u"/tagged.webp"_s));
    EXPECT_TRUE(QFile::exists(out + u"/tagged.avif"_s));

    // A lower quality gives a smaller file; a quality outside the range is
    // refused with its reason and leaves no file.
    CPreferences low = Prefs(out, OutputFormatCode::Avif);
    low.quality.avif = 30;
    EXPECT_LT(write(photo.image, photo, low).size(),
              test::ReadFileBytes(out + u"/tagged.avif"_s).size());
    low.quality.avif = 101;
    low.outputFileNameOpts = 1;
    low.outputFileNameSuffix = u"_bad"_s;
    const Result<WrittenOutput> refused = WriteOutput(photo.image, photo, low);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().contains(u"quality 101"_s)) << refused.error().toStdString();
    EXPECT_FALSE(QFile::exists(out + u"/tagged_bad.avif"_s));
}

TEST_F(OutputFormats, LosslessWebpIsExactAlsoWithTransparency)
{
    QImage picture = test::PhotoLikeImage(75, 41).convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, 3, qRgba(x * 3, 200, 10, 255 - x * 3));
    DecodedPhoto photo;
    photo.sourcePath = m_dir.filePath(u"clear.png"_s);
    CPreferences prefs = Prefs(m_dir.filePath(u"out"_s), OutputFormatCode::Webp);
    prefs.quality.webpLossless = 1;
    const Decoded back = DecodeWebp(write(picture, photo, prefs));
    EXPECT_EQ(back.image, picture.convertToFormat(QImage::Format_RGBA8888));
    EXPECT_TRUE(back.exif.isEmpty());
}

TEST_F(OutputFormats, WebpRefusesPicturesWiderThanItsLimit)
{
    DecodedPhoto photo;
    photo.sourcePath = m_dir.filePath(u"wide.jpg"_s);
    QImage wide(20000, 8, QImage::Format_RGB32);
    wide.fill(Qt::darkCyan);
    const QString out = m_dir.filePath(u"out"_s);
    const Result<WrittenOutput> r = WriteOutput(wide, photo, Prefs(out, OutputFormatCode::Webp));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), u"WebP stores at most 16383 pixels a side; this picture is 20000 x 8"_s);
    EXPECT_TRUE(QDir(out).isEmpty(QDir::Files | QDir::Hidden));
    // The encoder itself refuses the same, whoever calls it.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    const Status direct =
        EncodeWebp(wide.convertToFormat(QImage::Format_RGBX8888), {90, false}, {}, &sink);
    EXPECT_FALSE(direct);
    EXPECT_TRUE(sink.data().isEmpty());
}

TEST_F(OutputFormats, PngAndTiffCarryExifXmpAndProfile)
{
    const DecodedPhoto photo = tagged();
    const QString out = m_dir.filePath(u"out"_s);
    for (OutputFormatCode format : {OutputFormatCode::Png, OutputFormatCode::Tiff}) {
        SCOPED_TRACE(int(format));
        const QByteArray file = write(photo.image, photo, Prefs(out, format));
        std::unique_ptr<Exiv2::Image> image(
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(file.constData()),
                                      long(file.size()))
                .release());
        image->readMetadata();
        Exiv2::ExifData &exif = image->exifData();
        EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Kelvane Optics");
        EXPECT_EQ(exif["Exif.Image.Orientation"].toLong(), 1);
        EXPECT_EQ(exif["Exif.Photo.PixelXDimension"].toLong(), 64);
        EXPECT_EQ(image->xmpData()["Xmp.dc.subject"].toString(), "boats");
        ASSERT_TRUE(image->iccProfileDefined());
        EXPECT_EQ(Copy(image->iccProfile()->pData_, size_t(image->iccProfile()->size_)),
                  photo.metadata.iccProfile);
        // The pixels are still exactly the drawn ones.
        QImage back;
        ASSERT_TRUE(back.loadFromData(file));
        EXPECT_EQ(back.size(), QSize(64, 96));
        EXPECT_EQ(test::MeanAbsDiff(back, photo.image), 0.0);
    }
}

TEST_F(OutputFormats, JpegQualityReachesTheEncoder)
{
    const QImage picture = test::PhotoLikeImage(200, 150);
    DecodedPhoto photo;
    photo.sourcePath = m_dir.filePath(u"q.png"_s);
    CPreferences prefs = Prefs(m_dir.filePath(u"out"_s), OutputFormatCode::Jpeg);
    const qsizetype atDefault = write(picture, photo, prefs).size();
    prefs.quality.jpeg = 40;
    const QByteArray low = write(picture, photo, prefs);
    EXPECT_LT(low.size() * 2, atDefault);
    QImage back;
    ASSERT_TRUE(back.loadFromData(low));
    EXPECT_GT(Psnr(back, picture), 25.0);
    prefs.quality.jpeg = 0;
    EXPECT_FALSE(WriteOutput(picture, photo, prefs));
}

// The SOF0 component table of a baseline JPEG: for each of Y, Cb, Cr its id,
// sampling factors (high nibble across, low nibble down) and table number.
QByteArray JpegComponentTable(const QByteArray &file)
{
    const qsizetype sof = file.indexOf("\xFF\xC0");
    return sof < 0 ? QByteArray() : file.mid(sof + 10, 9);
}

TEST_F(OutputFormats, SmallColouredTextKeepsItsColourInJpeg)
{
    // Red 16-pixel text on white: halved chroma spreads each stroke's red over
    // the white around it, and the strokes come out a muddy brownish red.
    const QColor red(255, 18, 18);
    QImage picture(240, 48, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        QFont font;
        font.setPixelSize(16);
        painter.setFont(font);
        painter.setPen(red);
        painter.drawText(picture.rect(), Qt::AlignCenter, u"(c) Jane Doe Photography"_s);
    }
    DecodedPhoto photo;
    photo.sourcePath = m_dir.filePath(u"text.png"_s);
    CPreferences prefs = Prefs(m_dir.filePath(u"out"_s), OutputFormatCode::Jpeg);
    const QByteArray file = write(picture, photo, prefs);
    EXPECT_EQ(JpegComponentTable(file), QByteArray("\x01\x11\x00\x02\x11\x01\x03\x11\x01", 9))
        << "4:4:4 at quality 98";
    QImage back;
    ASSERT_TRUE(back.loadFromData(file));
    back = back.convertToFormat(QImage::Format_RGB32);

    // The mean over the stroke cores: pixels the text covers fully.
    double sum[3] = {};
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qGreen(picture.pixel(x, y)) > 40)
                continue;
            const QRgb p = back.pixel(x, y);
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
            ++count;
        }
    }
    ASSERT_GT(count, 50);
    EXPECT_GE(sum[0] / count, 240.0);
    EXPECT_LE(sum[1] / count, 40.0);
    EXPECT_LE(sum[2] / count, 40.0);

    // Below quality 90 the chroma is halved again, as the peers do.
    prefs.quality.jpeg = 85;
    EXPECT_EQ(JpegComponentTable(write(picture, photo, prefs)),
              QByteArray("\x01\x22\x00\x02\x11\x01\x03\x11\x01", 9));
}

TEST(AvifQuality, MapsOntoTheQuantizerRange)
{
    EXPECT_EQ(AvifQuantizerForQuality(100), 0);
    EXPECT_EQ(AvifQuantizerForQuality(0), 63);
    EXPECT_EQ(AvifQuantizerForQuality(50), 32);
}

} // namespace
} // namespace kw

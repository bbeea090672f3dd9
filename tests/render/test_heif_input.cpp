// HEIF (HEIC) and AVIF input: photos made here from generated pixels with
// libheif's encoder, checked against heif-convert (libheif's own tool) and
// carried through to JPEG output.
#include "render/heif_input.h"
#include "render/output_writer.h"
#include "settings/preferences.h"

#include "photo_test_files.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <libheif/heif.h>

#include <exiv2/exiv2.hpp>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

struct HeifSpec
{
    heif_compression_format codec = heif_compression_HEVC;
    heif_orientation orientation = heif_orientation_normal;
    int bits = 8;
    bool alpha = false; // 8 bits only: the picture's alpha is kept
    QByteArray exif;    // TIFF structure, optionally after "Exif\0\0"
    QByteArray xmp;
    QByteArray icc;
};

// Writes `stored` (the picture as coded, before the rotation boxes) to `path`.
// Ten-bit pictures get the 8-bit value times four plus a varying low part,
// so that the conversion back to 8 bits has something to round. Returns
// libheif's reason on failure.
QString MakeHeif(const QString &path, const QImage &stored, const HeifSpec &spec)
{
    const int w = stored.width(), h = stored.height();
    std::unique_ptr<heif_context, void (*)(heif_context *)> ctx(heif_context_alloc(),
                                                                heif_context_free);
    heif_image *raw = nullptr;
    heif_error e = heif_image_create(w, h, heif_colorspace_RGB,
                                     spec.bits != 8 ? heif_chroma_interleaved_RRGGBB_LE
                                     : spec.alpha   ? heif_chroma_interleaved_RGBA
                                                    : heif_chroma_interleaved_RGB,
                                     &raw);
    if (e.code != heif_error_Ok)
        return QString::fromUtf8(e.message);
    std::unique_ptr<heif_image, void (*)(const heif_image *)> image(raw, heif_image_release);
    e = heif_image_add_plane(raw, heif_channel_interleaved, w, h, spec.bits);
    if (e.code != heif_error_Ok)
        return QString::fromUtf8(e.message);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y) {
        uint8_t *out = plane + y * stride;
        for (int x = 0; x < w; ++x) {
            const QRgb c = stored.pixel(x, y);
            if (spec.alpha) {
                for (const int v : {qRed(c), qGreen(c), qBlue(c), qAlpha(c)})
                    *out++ = uint8_t(v);
                continue;
            }
            for (const int v : {qRed(c), qGreen(c), qBlue(c)}) {
                if (spec.bits == 8) {
                    *out++ = uint8_t(v);
                } else {
                    const int deep = qMin(1023, v * 4 + (x + 2 * y) % 4);
                    *out++ = uint8_t(deep & 0xff);
                    *out++ = uint8_t(deep >> 8);
                }
            }
        }
    }
    if (!spec.icc.isEmpty())
        heif_image_set_raw_color_profile(raw, "prof", spec.icc.constData(),
                                         size_t(spec.icc.size()));
    heif_encoder *encoder = nullptr;
    e = heif_context_get_encoder_for_format(ctx.get(), spec.codec, &encoder);
    if (e.code != heif_error_Ok)
        return QString::fromUtf8(e.message);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_encoding_options *options = heif_encoding_options_alloc();
    options->image_orientation = spec.orientation;
    heif_image_handle *handle = nullptr;
    e = heif_context_encode_image(ctx.get(), raw, encoder, options, &handle);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    if (e.code != heif_error_Ok)
        return QString::fromUtf8(e.message);
    if (!spec.exif.isEmpty())
        heif_context_add_exif_metadata(ctx.get(), handle, spec.exif.constData(),
                                       int(spec.exif.size()));
    if (!spec.xmp.isEmpty())
        heif_context_add_XMP_metadata(ctx.get(), handle, spec.xmp.constData(),
                                      int(spec.xmp.size()));
    heif_image_handle_release(handle);
    e = heif_context_write_to_file(ctx.get(), QFile::encodeName(path).constData());
    return e.code == heif_error_Ok ? QString() : QString::fromUtf8(e.message);
}

// An EXIF TIFF structure with a camera make and an Orientation tag.
QByteArray ExifBlock(int orientation, Exiv2::ByteOrder order = Exiv2::littleEndian)
{
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Kelvane Test Camera";
    exif["Exif.Image.Orientation"] = uint16_t(orientation);
    exif["Exif.Photo.UserComment"] = "charset=Ascii heif";
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
}

int OrientationIn(const QByteArray &tiff)
{
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(tiff.constData()),
                              uint32_t(tiff.size()));
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    return it == exif.end() ? 0 : int(it->toLong());
}

class HeifInput : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // libheif's own decoding of `path`, as its command-line tool writes it.
    QImage ConvertedByLibheif(const QString &path)
    {
        const QString png = path + u".png"_s;
        QProcess tool;
        tool.start(u"heif-convert"_s, {path, png});
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
            return {};
        return QImage(png);
    }

    QTemporaryDir m_dir;
};

TEST_F(HeifInput, TurnsUprightByItsBoxesOnceAndDecodesAsLibheifDoes)
{
    const QImage stored = test::QuadrantImage(96, 64);
    struct Case
    {
        const char *name;
        heif_compression_format codec;
        heif_orientation orientation;
        int exifOrientation; // 0: no EXIF
        const char *format;
    };
    const Case cases[] = {
        {"plain.heic", heif_compression_HEVC, heif_orientation_normal, 0, "heif"},
        {"turned.heic", heif_compression_HEVC, heif_orientation_rotate_90_cw, 0, "heif"},
        // The phone's EXIF says the same turn again: it must not turn twice.
        {"turned-exif.heic", heif_compression_HEVC, heif_orientation_rotate_90_cw, 6, "heif"},
        {"mirrored.avif", heif_compression_AV1, heif_orientation_flip_horizontally, 0, "avif"},
        {"turned-exif.avif", heif_compression_AV1, heif_orientation_rotate_270_cw, 8, "avif"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = m_dir.filePath(QString::fromLatin1(c.name));
        HeifSpec spec;
        spec.codec = c.codec;
        spec.orientation = c.orientation;
        if (c.exifOrientation)
            spec.exif = ExifBlock(c.exifOrientation);
        ASSERT_EQ(MakeHeif(path, stored, spec), QString());

        const Result<DecodedPhoto> photo = LoadPhoto(path);
        ASSERT_TRUE(photo) << photo.error().toStdString();
        const QImage upright = OrientUpright(stored, int(c.orientation));
        EXPECT_EQ(photo->fullSize, upright.size());
        EXPECT_EQ(photo->image.size(), upright.size());
        EXPECT_EQ(test::Corners(photo->image), test::Corners(upright));
        EXPECT_EQ(photo->sourceOrientation, 1);
        EXPECT_EQ(photo->format, QByteArray(c.format));
        if (c.exifOrientation) {
            EXPECT_EQ(OrientationIn(photo->metadata.exif), 1);
        }

        const QImage reference = ConvertedByLibheif(path);
        ASSERT_FALSE(reference.isNull()) << "heif-convert failed";
        EXPECT_EQ(photo->image.convertToFormat(QImage::Format_RGB32),
                  reference.convertToFormat(QImage::Format_RGB32));
    }
}

// Deeper samples are scaled to 8 bits with rounding: against libheif's own
// 16-bit output no pixel is off by more than rounding allows, and there is no
// bias (dropping the low bits would make every value about half a step low).
TEST_F(HeifInput, TenBitPhotosAreRoundedToEightBits)
{
    const QImage stored = test::PhotoLikeImage(80, 48);
    // HEVC only: this libheif's AV1 encoder aborts on 10-bit input (an assertion in libaom).
    for (const heif_compression_format codec : {heif_compression_HEVC}) {
        SCOPED_TRACE(int(codec));
        const QString path = m_dir.filePath(u"deep%1.heif"_s.arg(int(codec)));
        HeifSpec spec;
        spec.codec = codec;
        spec.bits = 10;
        ASSERT_EQ(MakeHeif(path, stored, spec), QString());
        const Result<DecodedPhoto> photo = LoadPhoto(path);
        ASSERT_TRUE(photo) << photo.error().toStdString();
        const QImage reference = ConvertedByLibheif(path);
        ASSERT_FALSE(reference.isNull()) << "heif-convert failed";
        ASSERT_EQ(reference.depth(), 64) << "heif-convert wrote no 16-bit PNG";
        ASSERT_EQ(reference.size(), photo->image.size());
        const QImage deep = reference.convertToFormat(QImage::Format_RGBX64);
        double worst = 0, sum = 0;
        qint64 count = 0;
        for (int y = 0; y < deep.height(); ++y) {
            const auto *ref = reinterpret_cast<const QRgba64 *>(deep.constScanLine(y));
            for (int x = 0; x < deep.width(); ++x) {
                const QRgb ours = photo->image.pixel(x, y);
                const double want[3] = {ref[x].red() * 255.0 / 65535,
                                        ref[x].green() * 255.0 / 65535,
                                        ref[x].blue() * 255.0 / 65535};
                const int got[3] = {qRed(ours), qGreen(ours), qBlue(ours)};
                for (int i = 0; i < 3; ++i) {
                    worst = std::max(worst, std::abs(got[i] - want[i]));
                    sum += got[i] - want[i];
                    ++count;
                }
            }
        }
        // heif-convert widens 10 bits to 16 by shifting, a quarter step low at most.
        EXPECT_LE(worst, 0.8);
        EXPECT_LT(std::abs(sum / count), 0.25);
    }
}

TEST_F(HeifInput, AlphaIsKept)
{
    QImage stored = test::QuadrantImage(64, 48).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width() / 2; ++x)
            stored.setPixel(x, y, qRgba(30, 60, 90, 0));
    const QString path = m_dir.filePath(u"alpha.heic"_s);
    HeifSpec spec;
    spec.alpha = true;
    ASSERT_EQ(MakeHeif(path, stored, spec), QString());
    const Result<DecodedPhoto> photo = LoadPhoto(path);
    ASSERT_TRUE(photo) << photo.error().toStdString();
    EXPECT_LT(qAlpha(photo->image.pixel(4, 4)), 8);
    EXPECT_GT(qAlpha(photo->image.pixel(60, 4)), 247);
    const QImage reference = ConvertedByLibheif(path);
    ASSERT_TRUE(reference.hasAlphaChannel());
    EXPECT_EQ(photo->image, reference.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST_F(HeifInput, MetadataReachesJpegOutputWithOrientationOne)
{
    const QImage stored = test::QuadrantImage(96, 64);
    const QString path = m_dir.filePath(u"phone.heic"_s);
    HeifSpec spec;
    spec.orientation = heif_orientation_rotate_90_cw;
    // Some writers put "Exif\0\0" before the TIFF header; the item's offset skips it.
    spec.exif = QByteArray("Exif\0\0", 6) + ExifBlock(6, Exiv2::bigEndian);
    spec.xmp = R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF )"
               R"(xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description )"
               R"(rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title><rdf:Alt>)"
               R"(<rdf:li xml:lang="x-default">Harbour at dawn</rdf:li></rdf:Alt></dc:title>)"
               R"(</rdf:Description></rdf:RDF></x:xmpmeta>)";
    spec.icc = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    ASSERT_FALSE(spec.icc.isEmpty());
    ASSERT_EQ(MakeHeif(path, stored, spec), QString());

    const Result<DecodedPhoto> photo = LoadPhoto(path);
    ASSERT_TRUE(photo) << photo.error().toStdString();
    EXPECT_TRUE(photo->metadata.exif.startsWith("MM\0*")) << "the item's offset not stripped";
    EXPECT_EQ(photo->metadata.xmp, spec.xmp);
    EXPECT_EQ(photo->metadata.iccProfile, spec.icc);
    EXPECT_EQ(photo->image.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    // The text variables' values, also for a preview, which keeps no metadata.
    PhotoLoadOptions preview;
    preview.keepMetadata = false;
    preview.textFacts = true;
    const Result<DecodedPhoto> previewed = LoadPhoto(path, preview);
    ASSERT_TRUE(previewed) << previewed.error().toStdString();
    EXPECT_EQ(previewed->facts.make, u"Kelvane Test Camera"_s);

    CPreferences prefs;
    prefs.outputFolderOpts = 1;
    prefs.outputFolderPath = m_dir.filePath(u"out"_s);
    prefs.outputFormat = 0;
    const Result<WrittenOutput> written = WriteOutput(photo->image, *photo, prefs);
    ASSERT_TRUE(written) << written.error().toStdString();
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(written->path).toStdString());
    image->readMetadata();
    const Exiv2::ExifData &exif = image->exifData();
    ASSERT_NE(exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")), exif.end());
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"))->toLong(), 1);
    ASSERT_NE(exif.findKey(Exiv2::ExifKey("Exif.Image.Make")), exif.end());
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Make"))->toString(), "Kelvane Test Camera");
    EXPECT_NE(image->xmpPacket().find("Harbour at dawn"), std::string::npos);
    ASSERT_NE(image->iccProfile(), nullptr);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(image->iccProfile()->pData_),
                         image->iccProfile()->size_),
              spec.icc);
    // The output shows upright, turned once.
    const Result<DecodedPhoto> back = LoadPhoto(written->path);
    ASSERT_TRUE(back) << back.error().toStdString();
    EXPECT_EQ(test::Corners(back->image),
              test::Corners(OrientUpright(stored, heif_orientation_rotate_90_cw)));
}

TEST_F(HeifInput, DamagedFilesFailWithAReason)
{
    const QString path = m_dir.filePath(u"whole.heic"_s);
    ASSERT_EQ(MakeHeif(path, test::PhotoLikeImage(128, 96), {}), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    QByteArray scrambled = whole;
    for (qsizetype i = 40; i < scrambled.size(); i += 7)
        scrambled[i] = char(scrambled[i] ^ 0x5a);
    const std::pair<const char *, QByteArray> damaged[] = {
        {"cut.heic", whole.left(whole.size() / 2)},
        {"header-only.heic", whole.left(32)},
        {"scrambled.heic", scrambled},
    };
    for (const auto &[name, bytes] : damaged) {
        SCOPED_TRACE(name);
        const QString damagedPath = m_dir.filePath(QString::fromLatin1(name));
        QFile out(damagedPath);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        const Result<DecodedPhoto> photo = LoadPhoto(damagedPath);
        ASSERT_FALSE(photo);
        EXPECT_TRUE(photo.error().startsWith(u"cannot decode photo: "_s))
            << photo.error().toStdString();
        EXPECT_GT(photo.error().size(), 25) << photo.error().toStdString();
    }
}

// A file whose image-size box claims more than the pixel limit is refused
// before anything is decoded.
TEST_F(HeifInput, TooManyPixelsAreRefused)
{
    const QString path = m_dir.filePath(u"small.heic"_s);
    ASSERT_EQ(MakeHeif(path, test::QuadrantImage(64, 48), {}), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // Every item's size box (libheif may wrap the coded image in a grid).
    const quint32 width = 20000, height = 10001; // 200.02 megapixels
    qsizetype ispe = bytes.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    for (; ispe > 0 && ispe + 16 <= bytes.size(); ispe = bytes.indexOf("ispe", ispe + 4)) {
        for (int i = 0; i < 4; ++i) {
            bytes[ispe + 8 + i] = char(width >> (24 - 8 * i));
            bytes[ispe + 12 + i] = char(height >> (24 - 8 * i));
        }
    }
    file.seek(0);
    file.write(bytes);
    file.close();
    const Result<DecodedPhoto> photo = LoadPhoto(path);
    ASSERT_FALSE(photo) << photo->fullSize.width() << " x " << photo->fullSize.height();
    EXPECT_EQ(photo.error(),
              u"cannot decode photo: 20000 x 10001 pixels is more than 200 megapixels"_s);
}

TEST(HeifContent, BrandsDecideAndTheExifItemIsUnwrapped)
{
    auto ftyp = [](QByteArray major, QByteArray compatible) {
        QByteArray box = "xxxxftyp" + major + QByteArray(4, '\0') + compatible;
        const auto size = quint32(box.size());
        box[0] = char(size >> 24), box[1] = char(size >> 16), box[2] = char(size >> 8);
        box[3] = char(size);
        return box + QByteArray(64, '\0');
    };
    EXPECT_EQ(detail::HeifContentFormat(ftyp("heic", "mif1heic")), "heif");
    EXPECT_EQ(detail::HeifContentFormat(ftyp("mif1", "miafMA1B")), "heif");
    EXPECT_EQ(detail::HeifContentFormat(ftyp("avif", "mif1miaf")), "avif");
    EXPECT_EQ(detail::HeifContentFormat(ftyp("mif1", "avifmiaf")), "avif");
    EXPECT_EQ(detail::HeifContentFormat(ftyp("isom", "iso2mp41")), "");  // a video
    EXPECT_EQ(detail::HeifContentFormat(ftyp("heic", "").left(12)), ""); // cut short
    EXPECT_EQ(detail::HeifContentFormat(QByteArray("\xff\xd8\xff\xe0") + QByteArray(40, 0)), "");

    const QByteArray tiff = ExifBlock(6, Exiv2::bigEndian);
    const Result<QByteArray> plain = detail::TiffFromHeifExif(QByteArray(4, '\0') + tiff);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, tiff);
    EXPECT_FALSE(detail::TiffFromHeifExif(QByteArray("\0\0\0\x50", 4) + tiff.left(40)));
    EXPECT_FALSE(detail::TiffFromHeifExif(QByteArray("\0\0\0\0", 4) + "Exif"));
    EXPECT_FALSE(detail::TiffFromHeifExif("\0\0"));

    for (const Exiv2::ByteOrder order : {Exiv2::littleEndian, Exiv2::bigEndian}) {
        const QByteArray block = ExifBlock(8, order);
        const QByteArray patched = detail::WithOrientationOne(block);
        EXPECT_EQ(OrientationIn(patched), 1);
        EXPECT_EQ(patched.size(), block.size());
    }
    const QByteArray broken("MM\0*\xff\xff\xff\xff", 8); // IFD beyond the end
    EXPECT_EQ(detail::WithOrientationOne(broken), broken);
}

} // namespace
} // namespace kw

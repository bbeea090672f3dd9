#include "render/photo_input.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QColorSpace>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

using test::Corners;
using Layout = std::array<int, 4>; // corner colours: top left, top right, bottom left, bottom right

constexpr Layout kStoredLayout = {0, 1, 2, 3};

class PhotoInput : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(test::WriteFileBytes(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
};

// Where each upright pixel comes from, straight from the EXIF definitions of
// the eight orientations (uw, uh: the upright size).
using SourceOf = std::function<QPoint(int x, int y, int uw, int uh)>;
const SourceOf kExifDefinition[9] = {
    {},
    [](int x, int y, int, int) { return QPoint(x, y); },
    [](int x, int y, int uw, int) { return QPoint(uw - 1 - x, y); },
    [](int x, int y, int uw, int uh) { return QPoint(uw - 1 - x, uh - 1 - y); },
    [](int x, int y, int, int uh) { return QPoint(x, uh - 1 - y); },
    [](int x, int y, int, int) { return QPoint(y, x); },
    [](int x, int y, int uw, int) { return QPoint(y, uw - 1 - x); },
    [](int x, int y, int uw, int uh) { return QPoint(uh - 1 - y, uw - 1 - x); },
    [](int x, int y, int, int uh) { return QPoint(uh - 1 - y, x); },
};

TEST(Orientation, MovesEveryPixelAsTheTagDefinesAndBack)
{
    QImage stored(5, 3, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            stored.setPixel(x, y, qRgb(x * 40, y * 90, 7));
    }
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        const QImage upright = OrientUpright(stored, o);
        ASSERT_EQ(upright.size(), OrientedSize(stored.size(), o));
        for (int y = 0; y < upright.height(); ++y) {
            for (int x = 0; x < upright.width(); ++x) {
                const QPoint from = kExifDefinition[o](x, y, upright.width(), upright.height());
                ASSERT_EQ(upright.pixel(x, y), stored.pixel(from)) << x << "," << y;
            }
        }
        EXPECT_EQ(OrientToStored(upright, o), stored);
    }
    for (int other : {0, 9, -1, 65535})
        EXPECT_EQ(OrientUpright(stored, other), stored);
}

// The corner colours a viewer shows for a picture stored as kStoredLayout.
const Layout kUprightLayout[9] = {
    kStoredLayout, {0, 1, 2, 3}, {1, 0, 3, 2}, {3, 2, 1, 0}, {2, 3, 0, 1},
    {0, 2, 1, 3},  {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2},
};

TEST_F(PhotoInput, TurnsAllEightOrientationsUprightAndBack)
{
    const QByteArray plain = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    for (int o = 1; o <= 8; ++o) {
        const QString path = write(u"turned_%1.jpg"_s.arg(o), test::WithOrientation(plain, o));
        for (bool resize : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << o << (resize ? ", resized" : ""));
            PhotoLoadOptions options;
            options.resize = {resize, 1, 24, 0};
            const Result<DecodedPhoto> r = LoadPhoto(path, options);
            ASSERT_TRUE(r) << r.error().toStdString();
            EXPECT_EQ(r->sourceOrientation, o);
            const QSize upright = o >= 5 ? QSize(64, 96) : QSize(96, 64);
            EXPECT_EQ(r->fullSize, upright);
            EXPECT_EQ(r->image.size(),
                      resize ? QSize(24, 24 * upright.height() / upright.width()) : upright);
            EXPECT_EQ(r->image.format(), QImage::Format_ARGB32_Premultiplied);
            EXPECT_EQ(Corners(r->image), kUprightLayout[o]);
            EXPECT_EQ(Corners(OrientToStored(r->image, o)), kStoredLayout);
        }
    }
}

TEST_F(PhotoInput, LeavesBogusAbsentAndUnreadOrientationsAlone)
{
    const QByteArray plain = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    struct Case
    {
        const char *name;
        QByteArray bytes;
        int expectedOrientation;
    };
    const QByteArray six = test::WithOrientation(plain, 6);
    const Case cases[] = {
        {"bogus.jpg", test::WithOrientation(plain, 9), 9},
        {"zero.jpg", test::WithOrientation(plain, 0), 0},
        {"large.jpg", test::WithOrientation(plain, 300), 300},
        {"absent.jpg", plain, 0},
        // Only ".jpg" and ".jpeg" sources are turned.
        {"other.jpe", six, 0},
        {"other.jfif", six, 0},
        {"other.png", six, 0},
        {"dot.jpg.bmp", six, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.name), c.bytes));
        ASSERT_TRUE(r) << r.error().toStdString();
        EXPECT_EQ(r->sourceOrientation, c.expectedOrientation);
        EXPECT_EQ(r->image.size(), QSize(96, 64));
        EXPECT_EQ(Corners(r->image), kStoredLayout);
    }
}

TEST(JpegExtension, IsTheLastDotOfTheFileName)
{
    for (const char *yes : {"a.jpg", "/p/IMG.JPG", "x.Jpeg", "/a.b/c.d.jpeg", ".jpg"})
        EXPECT_TRUE(HasJpegExtension(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"a.jpe", "a.jfif", "a.jpg.png", "/p.jpg/photo", "jpg", "a.jpgx"})
        EXPECT_FALSE(HasJpegExtension(QString::fromLatin1(no))) << no;
}

TEST_F(PhotoInput, KeepsTheMetadataAJpegWriterCarries)
{
    QImage picture = test::QuadrantImage(64, 48);
    picture.setColorSpace(QColorSpace::AdobeRgb);
    const QByteArray jpeg =
        test::WithMetadata(test::Encode(picture, "jpeg"), [](Exiv2::Image &image) {
            image.exifData()["Exif.Image.Make"] = std::string("Kelvane");
            image.exifData()["Exif.Photo.DateTimeOriginal"] = std::string("2024:05:01 10:20:30");
            image.exifData()["Exif.Image.Orientation"] = uint16_t(1);
            image.iptcData()["Iptc.Application2.Keywords"] = std::string("harbour");
            image.xmpData()["Xmp.dc.subject"] = std::string("boats");
        });
    const Result<DecodedPhoto> r = LoadPhoto(write(u"meta.jpg"_s, jpeg));
    ASSERT_TRUE(r) << r.error().toStdString();
    const PhotoMetadata &m = r->metadata;
    EXPECT_TRUE(r->metadataNote.isEmpty());

    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(m.exif.constData()),
                              uint32_t(m.exif.size()));
    EXPECT_EQ(exif["Exif.Image.Make"].toString(), "Kelvane");
    EXPECT_EQ(exif["Exif.Photo.DateTimeOriginal"].toString(), "2024:05:01 10:20:30");
    Exiv2::IptcData iptc;
    ASSERT_EQ(Exiv2::IptcParser::decode(iptc,
                                        reinterpret_cast<const Exiv2::byte *>(m.iptc.constData()),
                                        uint32_t(m.iptc.size())),
              0);
    EXPECT_EQ(iptc["Iptc.Application2.Keywords"].toString(), "harbour");
    EXPECT_TRUE(m.xmp.contains("boats"));
    EXPECT_EQ(QColorSpace::fromIccProfile(m.iccProfile), QColorSpace(QColorSpace::AdobeRgb));
    EXPECT_EQ(r->image.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));

    // Other formats carry none, as do previews that do not ask for it.
    const Result<DecodedPhoto> png = LoadPhoto(write(u"meta.png"_s, test::Encode(picture, "png")));
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->metadata.isEmpty());
    PhotoLoadOptions preview;
    preview.keepMetadata = false;
    EXPECT_TRUE(LoadPhoto(write(u"meta2.jpg"_s, jpeg), preview)->metadata.isEmpty());
}

TEST_F(PhotoInput, DecodesAPhotoWhoseMetadataIsBroken)
{
    const QByteArray jpeg = test::Encode(test::QuadrantImage(96, 64), "jpeg", 95);
    // An Exif segment whose TIFF header points far outside it.
    QByteArray app1("Exif\0\0II*\0\xff\xff\xff\x7f", 14);
    app1 += QByteArray(40, '\x55');
    QByteArray broken = jpeg.left(2);
    broken += "\xff\xe1";
    broken += char((app1.size() + 2) >> 8);
    broken += char((app1.size() + 2) & 0xff);
    broken += app1 + jpeg.mid(2);
    const Result<DecodedPhoto> r = LoadPhoto(write(u"broken_exif.jpg"_s, broken));
    ASSERT_TRUE(r) << r.error().toStdString();
    EXPECT_EQ(r->sourceOrientation, 0);
    EXPECT_EQ(Corners(r->image), kStoredLayout);
}

TEST_F(PhotoInput, DecodesEachInputFormat)
{
    const QImage picture = test::QuadrantImage(90, 60);
    struct Case
    {
        const char *file;
        QByteArray bytes;
        QByteArray format;
    };
    const Case cases[] = {
        {"p.png", test::Encode(picture, "png"), "png"},
        {"p.bmp", test::Encode(picture, "bmp"), "bmp"},
        {"p.gif", test::EncodeGif(picture), "gif"},
        {"p.tiff", test::Encode(picture, "tiff"), "tiff"},
        {"p.jpeg", test::Encode(picture, "jpeg"), "jpeg"},
        // Scans with tables between them; bytes after the end marker.
        {"progressive.jpg", test::Encode(picture, "jpeg", 90, true), "jpeg"},
        {"trailer.jpg", test::Encode(picture, "jpeg") + "appended by some camera", "jpeg"},
        {"png-inside.jpg", test::Encode(picture, "png"), "png"}, // content decides
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_FALSE(c.bytes.isEmpty());
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.file), c.bytes));
        ASSERT_TRUE(r) << r.error().toStdString();
        EXPECT_EQ(r->format, c.format);
        EXPECT_EQ(r->image.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(Corners(r->image), kStoredLayout);
        if (c.format != "jpeg") { // lossless: every pixel as drawn
            EXPECT_EQ(test::MeanAbsDiff(r->image, picture), 0.0);
        }
    }

    // Alpha arrives premultiplied.
    QImage translucent(4, 4, QImage::Format_ARGB32);
    translucent.fill(qRgba(200, 100, 50, 128));
    const Result<DecodedPhoto> r =
        LoadPhoto(write(u"alpha.png"_s, test::Encode(translucent, "png")));
    ASSERT_TRUE(r);
    const QRgb p = reinterpret_cast<const QRgb *>(r->image.constScanLine(0))[0];
    EXPECT_EQ(qAlpha(p), 128);
    EXPECT_NEAR(qRed(p), 100, 1);
}

TEST_F(PhotoInput, RefusesBadFilesWithAReason)
{
    const QImage picture = test::PhotoLikeImage(160, 120);
    const QByteArray jpeg = test::Encode(picture, "jpeg");
    const qsizetype sof = jpeg.indexOf("\xff\xc0");
    ASSERT_GT(sof, 0);
    QByteArray badComponents = jpeg;
    badComponents[sof + 9] = 7;
    QByteArray hugeJpeg = jpeg;
    hugeJpeg[sof + 5] = hugeJpeg[sof + 7] = char(0xea); // 60000 x 60000
    hugeJpeg[sof + 6] = hugeJpeg[sof + 8] = char(0x60);
    // An EXIF thumbnail holds end markers of its own, which must not count.
    const QByteArray thumbnail = test::Encode(picture.scaled(40, 30), "jpeg");
    const QByteArray withThumbnail = test::WithMetadata(jpeg, [&](Exiv2::Image &image) {
        Exiv2::ExifThumb(image.exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                              long(thumbnail.size()));
    });
    const QByteArray gif = test::EncodeGif(picture);
    const QByteArray bmp = test::Encode(picture, "bmp");
    const QByteArray png = test::Encode(picture, "png");
    const QByteArray tiff = test::Encode(picture, "tiff");
    QByteArray noise(5000, '\0');
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);

    struct Case
    {
        const char *file;
        QByteArray bytes;
        QString reason; // a part of the expected reason
    };
    const QString cut = u"ends before the picture"_s;
    const Case cases[] = {
        {"empty.jpg", QByteArray(), u"the file is empty"_s},
        {"text.jpg", "just some words\n", u"not a JPEG, PNG, BMP, TIFF or GIF"_s},
        {"noise.png", noise, u"not a JPEG"_s},
        {"header-only.jpg", jpeg.left(150), cut},
        {"third.jpg", jpeg.left(jpeg.size() / 3), cut},
        {"no-end-marker.jpg", jpeg.left(jpeg.size() - 2), cut},
        {"thumbnail.jpg", withThumbnail.left(withThumbnail.size() - 500), cut},
        {"components.jpg", badComponents, u"cannot decode photo"_s},
        {"huge.jpg", hugeJpeg, u"more than 200 megapixels"_s},
        {"half.gif", gif.left(gif.size() / 2), cut},
        {"half.bmp", bmp.left(bmp.size() / 2), cut},
        {"half.png", png.left(png.size() / 2), u"cannot decode photo"_s},
        {"half.tiff", tiff.left(tiff.size() / 2), u"cannot decode photo"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const Result<DecodedPhoto> r = LoadPhoto(write(QString::fromLatin1(c.file), c.bytes));
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.error().contains(c.reason)) << r.error().toStdString();
    }

    EXPECT_TRUE(
        LoadPhoto(m_dir.filePath(u"missing.jpg"_s)).error().startsWith(u"cannot open photo"_s));
    EXPECT_TRUE(LoadPhoto(m_dir.path()).error().contains(u"folder"_s));
    PhotoLoadOptions zeroWidth;
    zeroWidth.resize = {true, 1, 0, 600};
    EXPECT_TRUE(LoadPhoto(write(u"ok.jpg"_s, jpeg), zeroWidth)
                    .error()
                    .startsWith(u"cannot resize photo"_s));
}

// Renders run one per core: loads on several threads at once, metadata and
// all, give what one thread alone gives.
TEST_F(PhotoInput, LoadsOnSeveralThreadsAtOnce)
{
    const QByteArray plain = test::Encode(test::PhotoLikeImage(300, 200), "jpeg");
    QStringList paths;
    for (int o : {1, 3, 6, 8}) {
        paths << write(u"parallel_%1.jpg"_s.arg(o),
                       test::WithMetadata(plain, [o](Exiv2::Image &image) {
                           image.exifData()["Exif.Image.Orientation"] = uint16_t(o);
                           image.xmpData()["Xmp.dc.subject"] = std::string("parallel");
                       }));
    }
    PhotoLoadOptions options;
    options.resize = {true, 1, 120, 0};
    QList<QImage> expected;
    for (const QString &path : paths)
        expected << LoadPhoto(path, options)->image;

    std::atomic<int> mismatches = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 12; ++i) {
                const int which = (t + i) % paths.size();
                const Result<DecodedPhoto> r = LoadPhoto(paths[which], options);
                if (!r || r->image != expected[which] || !r->metadata.xmp.contains("parallel"))
                    ++mismatches;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

// Letting the JPEG decoder shrink in the DCT domain must not change what the
// photo looks like: compared with the full decode and the photo filter alone.
TEST_F(PhotoInput, DctScaledDecodeLooksLikeTheFullDecode)
{
    const QByteArray jpeg = test::Encode(test::PhotoLikeImage(2400, 1600), "jpeg", 90);
    const QString plain = write(u"big.jpg"_s, jpeg);
    const QString turned = write(u"big6.jpg"_s, test::WithOrientation(jpeg, 6));
    struct Case
    {
        QString path;
        ResizeRequest resize;
        QSize expected;
    };
    const Case cases[] = {
        {plain, {true, 1, 600, 0}, {600, 400}},   // exactly 1/4
        {plain, {true, 1, 1000, 0}, {1000, 666}}, // 1/2, then the filter
        {plain, {true, 1, 250, 0}, {250, 166}},   // 1/8
        {plain, {true, 3, 700, 300}, {700, 300}}, // stretched: the wider axis decides
        {turned, {true, 1, 500, 0}, {500, 750}},  // stored sideways
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected.width());
        PhotoLoadOptions fast, full;
        fast.resize = full.resize = c.resize;
        full.dctScaling = false;
        const Result<DecodedPhoto> a = LoadPhoto(c.path, fast);
        const Result<DecodedPhoto> b = LoadPhoto(c.path, full);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->image.size(), c.expected);
        ASSERT_EQ(b->image.size(), c.expected);
        EXPECT_LT(test::MeanAbsDiff(a->image, b->image), 1.2);
    }
}

} // namespace
} // namespace kw

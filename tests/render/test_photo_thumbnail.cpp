#include "render/photo_thumbnail.h"
#include "render/thumbnail_cache.h"

#include "photo_test_files.h"
#include "support/test_sandbox.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::test::Corners;
using kw::test::Encode;
using kw::test::QuadrantImage;
using kw::test::WithMetadata;
using kw::test::WithOrientation;
using kw::test::WriteFileBytes;

namespace {

// Upright corners of a QuadrantImage: top-left, top-right, bottom-left, bottom-right.
const std::array<int, 4> kUpright{0, 1, 2, 3};

// A JPEG of a 600 x 400 quadrant picture stored for `orientation`, with
// `preview` (stored the same way) as its EXIF thumbnail when it is not null.
QByteArray TurnedJpeg(int orientation, const QImage &preview = {})
{
    const QImage upright = QuadrantImage(400, 600);
    QByteArray file =
        WithOrientation(Encode(kw::OrientToStored(upright, orientation), "jpeg", 90), orientation);
    if (preview.isNull())
        return file;
    const QByteArray thumb = Encode(preview, "jpeg", 90);
    return WithMetadata(file, [&](Exiv2::Image &image) {
        Exiv2::ExifThumb(image.exifData())
            .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                              long(thumb.size()));
    });
}

TEST(PhotoThumbnail, TurnedPhotosAreUprightByEitherPath)
{
    kw::test::TestSandbox sandbox;
    for (int orientation : {1, 3, 6, 8}) {
        // Decoded at a reduced size.
        const QString decoded = sandbox.filePath(u"decoded%1.jpg"_s.arg(orientation));
        ASSERT_TRUE(WriteFileBytes(decoded, TurnedJpeg(orientation)));
        const kw::Result<kw::PhotoThumbnail> a = kw::MakePhotoThumbnail(decoded, 80);
        ASSERT_TRUE(a) << a.error().toStdString();
        EXPECT_FALSE(a->fromExif);
        EXPECT_EQ(a->image.size(), QSize(53, 80)) << orientation;
        EXPECT_EQ(Corners(a->image), kUpright) << orientation;

        // From the embedded preview, stored turned as the photo is.
        const QImage preview = kw::OrientToStored(QuadrantImage(120, 180), orientation);
        const QString exif = sandbox.filePath(u"exif%1.jpg"_s.arg(orientation));
        ASSERT_TRUE(WriteFileBytes(exif, TurnedJpeg(orientation, preview)));
        const kw::Result<kw::PhotoThumbnail> b = kw::MakePhotoThumbnail(exif, 80);
        ASSERT_TRUE(b) << b.error().toStdString();
        EXPECT_TRUE(b->fromExif) << orientation;
        EXPECT_EQ(b->image.size(), QSize(53, 80)) << orientation;
        EXPECT_EQ(Corners(b->image), kUpright) << orientation;
    }
}

TEST(PhotoThumbnail, PreviewsThatDoNotFitAreCutOrPassedOver)
{
    kw::test::TestSandbox sandbox;
    // A 4:3 preview of a 3:2 photo with black bands above and below.
    QImage banded(160, 120, QImage::Format_RGB32);
    banded.fill(Qt::black);
    {
        QPainter painter(&banded);
        painter.drawImage(QRect(0, 7, 160, 106), QuadrantImage(160, 106));
    }
    const QString wide = sandbox.filePath(u"wide.jpg"_s);
    const QByteArray photo = Encode(QuadrantImage(600, 400), "jpeg", 90);
    const QByteArray thumb = Encode(banded, "jpeg", 95);
    ASSERT_TRUE(WriteFileBytes(wide, WithMetadata(photo, [&](Exiv2::Image &image) {
                                   Exiv2::ExifThumb(image.exifData())
                                       .setJpegThumbnail(
                                           reinterpret_cast<const Exiv2::byte *>(thumb.constData()),
                                           long(thumb.size()));
                               })));
    const kw::Result<kw::PhotoThumbnail> cut = kw::MakePhotoThumbnail(wide, 120);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->fromExif);
    EXPECT_EQ(cut->image.size(), QSize(120, 80));
    EXPECT_EQ(Corners(cut->image), kUpright); // no black band in a corner

    // Too small a preview for the size asked: the photo is decoded.
    const kw::Result<kw::PhotoThumbnail> large = kw::MakePhotoThumbnail(wide, 400);
    ASSERT_TRUE(large);
    EXPECT_FALSE(large->fromExif);
    EXPECT_EQ(large->image.width(), 400);
    EXPECT_NEAR(large->image.height(), 267, 1);

    // Other formats, never enlarged; a broken file says why.
    const QString png = sandbox.filePath(u"small.png"_s);
    ASSERT_TRUE(QuadrantImage(60, 40).save(png));
    const kw::Result<kw::PhotoThumbnail> small = kw::MakePhotoThumbnail(png, 80);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->image.size(), QSize(60, 40));
    const QString broken = sandbox.filePath(u"broken.jpg"_s);
    ASSERT_TRUE(WriteFileBytes(broken, "\xFF\xD8\xFF\xE0 no"));
    const kw::Result<kw::PhotoThumbnail> none = kw::MakePhotoThumbnail(broken, 80);
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.error().isEmpty());
}

TEST(ThumbnailCache, MakesOnWorkersAndKeepsWithinItsBound)
{
    kw::test::TestSandbox sandbox;
    QStringList paths;
    for (int i = 0; i < 12; ++i) {
        paths << sandbox.filePath(u"p%1.png"_s.arg(i));
        ASSERT_TRUE(QuadrantImage(300, 200).save(paths.last()));
    }
    const QString broken = sandbox.filePath(u"broken.png"_s);
    ASSERT_TRUE(WriteFileBytes(broken, "not a photo"));
    // Room for about four 80 x 53 thumbnails (17 KiB each).
    kw::ThumbnailCache cache(80, 4 * 17 * 1024 + 1024);
    QSignalSpy ready(&cache, &kw::ThumbnailCache::thumbnailReady);
    cache.request(paths.mid(0, 6) + QStringList{broken});
    EXPECT_GT(cache.pendingCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cache.pendingCount() == 0; }, 20000));
    EXPECT_EQ(ready.count(), 7);
    EXPECT_TRUE(cache.hasFailed(broken));
    EXPECT_LE(cache.keptBytes(), 4 * 17 * 1024 + 1024);
    // The most recently made are kept (two workers finish in either order),
    // upright and of the asked size; the rest made room for them.
    int kept = 0;
    for (int i = 0; i < 6; ++i) {
        const QImage thumbnail = cache.thumbnail(paths[i]);
        if (thumbnail.isNull())
            continue;
        ++kept;
        EXPECT_EQ(thumbnail.size(), QSize(80, 53));
    }
    EXPECT_GE(kept, 1);
    EXPECT_LE(kept, 4);

    // A new request replaces the waiting ones; kept thumbnails are not made again.
    ready.clear();
    cache.request(paths.mid(6));
    cache.request({paths[5], paths[11]});
    ASSERT_TRUE(QTest::qWaitFor([&] { return cache.pendingCount() == 0; }, 20000));
    EXPECT_FALSE(cache.thumbnail(paths[11]).isNull());
    EXPECT_LE(ready.count(), 6);
    EXPECT_FALSE(ready.isEmpty());
}

} // namespace

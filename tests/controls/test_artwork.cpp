#include "controls/artwork.h"

#include "support/image_measure.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using kw::BuiltInImage;
using kw::BuiltInImageSize;
using kw::BuiltInPixmap;

// The pictures of a bar in the order normal, hot, pressed, disabled, with the
// buttons' rectangles.
struct BarCase
{
    const char *name;
    int ids[4];
    std::vector<QRect> buttons;
};

const BarCase kBars[] = {
    {"main toolbar",
     {kw::kBmpToolbarNormal, kw::kBmpToolbarHot, kw::kBmpToolbarPressed, kw::kBmpToolbarDisabled},
     {QRect(0, 0, 52, 50), QRect(53, 0, 85, 50), QRect(138, 0, 97, 50), QRect(236, 0, 65, 50),
      QRect(302, 0, 44, 50)}},
    {"settings bar",
     {kw::kBmpSettingsBarNormal, kw::kBmpSettingsBarHot, kw::kBmpSettingsBarPressed,
      kw::kBmpSettingsBarDisabled},
     {QRect(22, 2, 35, 32), QRect(112, 2, 35, 32)}},
    {"template bar",
     {kw::kBmpTemplateBarNormal, kw::kBmpTemplateBarHot, kw::kBmpTemplateBarPressed,
      kw::kBmpTemplateBarDisabled},
     {QRect(0, 0, 36, 23), QRect(37, 0, 52, 23)}},
};

TEST(Artwork, EveryPictureDrawsAtItsSize)
{
    const QList<int> ids = kw::BuiltInImageIds();
    ASSERT_GE(ids.size(), 26);
    for (int id : ids) {
        const QImage image = BuiltInImage(id);
        ASSERT_FALSE(image.isNull()) << id;
        EXPECT_EQ(image.size(), BuiltInImageSize(id)) << id;
        EXPECT_GT(kw::test::InkCount(image), image.width() * image.height() / 50) << id;
    }
    EXPECT_TRUE(BuiltInImage(164).isNull()); // the sample photo lives with the renderer
    EXPECT_TRUE(BuiltInImage(0).isNull());
    EXPECT_TRUE(BuiltInPixmap(kw::kBmpBanner, QSize(0, 10), 1).isNull());
}

TEST(Artwork, SharpAtDoubleRatioAndTheSamePicture)
{
    for (int id : kw::BuiltInImageIds()) {
        const QPixmap doubled = BuiltInPixmap(id, 2.0);
        EXPECT_EQ(doubled.devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(doubled.size(), BuiltInImageSize(id) * 2) << id;
        // Drawn anew at twice the pixels, not an enlarged copy; scaled back it
        // is the same picture.
        const QImage down =
            doubled.toImage()
                .scaled(BuiltInImageSize(id), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage one = BuiltInImage(id).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_LT(kw::test::MeanChannelDifference(down, one), 12.0) << id;
    }
}

TEST(Artwork, BannerAndPlatesAreOpaque)
{
    for (int id : {kw::kBmpBanner, kw::kBmpQuickStartProcess, kw::kBmpQuickStartTemplates,
                   kw::kBmpQuickStartAddPhotos}) {
        const QImage image = BuiltInImage(id);
        // Rounded corners aside, every pixel is opaque.
        const QRect inner = image.rect().adjusted(3, 3, -3, -3);
        const auto opaque = [](QRgb p) { return qAlpha(p) == 255; };
        EXPECT_EQ(kw::test::InkCount(image.copy(inner), opaque), inner.width() * inner.height())
            << id;
    }
}

TEST(Artwork, BarStatesDifferOnlyInsideTheButtons)
{
    for (const BarCase &bar : kBars) {
        const QImage normal = BuiltInImage(bar.ids[0]);
        for (int state = 1; state < 4; ++state) {
            const QImage other = BuiltInImage(bar.ids[state]);
            ASSERT_EQ(other.size(), normal.size()) << bar.name;
            // Outside the buttons the four pictures match, so it never shows
            // which picture the bar was started from.
            for (int y = 0; y < normal.height(); ++y) {
                for (int x = 0; x < normal.width(); ++x) {
                    bool inButton = false;
                    for (const QRect &r : bar.buttons)
                        inButton = inButton || r.contains(x, y);
                    if (!inButton) {
                        ASSERT_EQ(normal.pixel(x, y), other.pixel(x, y))
                            << bar.name << " state " << state << " at " << x << "," << y;
                    }
                }
            }
            // Inside each button the state shows.
            for (const QRect &r : bar.buttons)
                EXPECT_GT(kw::test::MaxChannelDifference(normal.copy(r), other.copy(r)), 40)
                    << bar.name << " state " << state;
        }
    }
}

TEST(Artwork, SkinButtonStretchesToAnySize)
{
    const QPixmap wide = BuiltInPixmap(kw::kBmpSkinNormal, QSize(80, 24), 1.0);
    ASSERT_EQ(wide.size(), QSize(80, 24));
    const QImage image = wide.toImage();
    // Filled edge to edge (apart from the rounded corners).
    EXPECT_EQ(qAlpha(image.pixel(40, 0)), 255);
    EXPECT_EQ(qAlpha(image.pixel(40, 23)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 12)), 255);
    EXPECT_EQ(qAlpha(image.pixel(79, 12)), 255);
}

TEST(Artwork, CursorsAndIcon)
{
    const QCursor pan = kw::BuiltInCursor(kw::kCurPan);
    EXPECT_EQ(pan.shape(), Qt::BitmapCursor);
    EXPECT_EQ(pan.hotSpot(), QPoint(16, 16));
    EXPECT_NE(kw::BuiltInCursor(kw::kCurPanDrag).pixmap().toImage(), pan.pixmap().toImage());
    EXPECT_EQ(kw::BuiltInCursor(1).shape(), Qt::ArrowCursor);
    const QIcon icon = kw::AppIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
}

// For artists: writes every picture at 1x and 2x into $KW_ART_DUMP_DIR.
// Run with --gtest_also_run_disabled_tests --gtest_filter=*Dump*.
TEST(Artwork, DISABLED_DumpPictures)
{
    const QString folder = qEnvironmentVariable("KW_ART_DUMP_DIR");
    ASSERT_FALSE(folder.isEmpty());
    QDir().mkpath(folder);
    for (int id : kw::BuiltInImageIds()) {
        BuiltInImage(id).save(folder + u"/%1.png"_s.arg(id));
        BuiltInPixmap(id, 2.0).save(folder + u"/%1@2x.png"_s.arg(id));
    }
}

} // namespace

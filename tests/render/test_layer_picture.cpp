#include "render/layer_picture.h"

#include "support/image_measure.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace kw {
namespace {

// 20 x 10: its left half black, its right half empty.
const QByteArray kHalfSvg =
    "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" "
    "height=\"10\" viewBox=\"0 0 20 10\"><rect x=\"0\" y=\"0\" width=\"10\" height=\"10\" "
    "fill=\"#000\"/></svg>\n";

// Pixels of row `y` whose alpha is neither (nearly) none nor (nearly) full:
// the width of the soft band across an edge.
int SoftPixelsInRow(const QImage &image, int y)
{
    int soft = 0;
    for (int x = 0; x < image.width(); ++x) {
        const int alpha = qAlpha(image.pixel(x, y));
        soft += alpha > 25 && alpha < 230;
    }
    return soft;
}

TEST(LayerPicture, AnSvgIsRenderedSharpAtTheSizeItIsDrawn)
{
    const Result<LayerPicture> svg = LayerPicture::FromSvg(kHalfSvg);
    ASSERT_TRUE(svg) << svg.error().toStdString();
    EXPECT_TRUE(svg->isVector());
    EXPECT_EQ(svg->size(), QSize(20, 10));

    // At 4x the edge is as sharp as at 1x: it falls between two pixels.
    for (const int scale : {1, 4, 13}) {
        const QImage image = svg->imageAt(QSize(20, 10) * scale);
        ASSERT_EQ(image.size(), QSize(20, 10) * scale);
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        const int y = image.height() / 2;
        EXPECT_EQ(SoftPixelsInRow(image, y), 0) << scale;
        EXPECT_EQ(qAlpha(image.pixel(10 * scale - 1, y)), 255) << scale;
        EXPECT_EQ(qAlpha(image.pixel(10 * scale, y)), 0) << scale;
    }
    // Off the pixel grid (x 10 at 2.5x is 25): one pixel half covered.
    const QImage between = svg->imageAt(QSize(50, 25));
    EXPECT_EQ(SoftPixelsInRow(between, 12), 0);
    const QImage odd = svg->imageAt(QSize(45, 10));
    EXPECT_LE(SoftPixelsInRow(odd, 5), 1);

    // The raster picture of the same drawing, enlarged 4x, is soft across
    // several pixels: what drawing an SVG at its natural size and scaling
    // it would give.
    const LayerPicture raster(svg->imageAt(QSize(20, 10)));
    EXPECT_FALSE(raster.isVector());
    EXPECT_GE(SoftPixelsInRow(raster.imageAt(QSize(80, 40)), 20), 2);
}

TEST(LayerPicture, AShrunkRasterPictureIsFilteredNotSampled)
{
    // One-pixel black and white checks: sampled, a quarter-size picture
    // would be all black or all white; filtered, it is grey.
    QImage checks(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x)
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    }
    const LayerPicture picture(checks);
    EXPECT_EQ(picture.size(), QSize(64, 64));
    const QImage small = picture.imageAt(QSize(16, 16));
    ASSERT_EQ(small.size(), QSize(16, 16));
    for (int y = 1; y < 15; ++y) {
        for (int x = 1; x < 15; ++x)
            EXPECT_NEAR(qGray(small.pixel(x, y)), 128, 16) << x << "," << y;
    }
    // At its own size it is the picture itself.
    EXPECT_EQ(picture.imageAt(QSize(64, 64)).pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(picture.imageAt(QSize(0, 5)).isNull());
    EXPECT_TRUE(LayerPicture().isNull());
    EXPECT_TRUE(LayerPicture().imageAt(QSize(5, 5)).isNull());
}

TEST(LayerPicture, ThreadsRenderOneDrawingAtOnce)
{
    const Result<LayerPicture> svg = LayerPicture::FromSvg(kHalfSvg);
    ASSERT_TRUE(svg);
    const QImage expected = svg->imageAt(QSize(120, 60));
    std::vector<QImage> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i)
                results[t] = svg->imageAt(QSize(120, 60));
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const QImage &result : results)
        EXPECT_EQ(result, expected);
}

TEST(LayerPicture, AnAnimatedSvgShowsItsFirstFrameOnEveryPhoto)
{
    // A square that slides 15 pixels a second: 2 pixels between the first
    // and the last picture below, a small fraction of one in the
    // millisecond or two a render takes.
    const Result<LayerPicture> svg = LayerPicture::FromSvg(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"10\">"
        "<rect x=\"0\" y=\"0\" width=\"10\" height=\"10\" fill=\"#000\">"
        "<animateTransform attributeName=\"transform\" type=\"translate\" from=\"0 0\" "
        "to=\"30 0\" dur=\"2s\" repeatCount=\"indefinite\"/></rect></svg>");
    ASSERT_TRUE(svg) << svg.error().toStdString();
    std::vector<QImage> frames;
    std::thread worker([&] { // a thread without an event loop, as the batch's
        for (int i = 0; i < 3; ++i) {
            frames.push_back(svg->imageAt(QSize(40, 10)));
            std::this_thread::sleep_for(std::chrono::milliseconds(70));
        }
    });
    worker.join();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(qAlpha(frames[0].pixel(2, 5)), 255);
    EXPECT_LE(test::MaxChannelDifference(frames[1], frames[0]), 12);
    EXPECT_LE(test::MaxChannelDifference(frames[2], frames[0]), 12);
}

TEST(LayerPicture, SvgDocumentsThatCannotBeDrawnAreRefusedWithTheCause)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString cause;
    } cases[] = {
        {"cut short", kHalfSvg.left(120), u"damaged SVG: line 2: "_s},
        {"not XML", "<svg width=\"5\" height=\"5\"><<</svg>", u"damaged SVG: line 1: "_s},
        {"another document", "<html><body/></html>", u"not an SVG drawing (its first element"_s},
        {"no element", "<?xml version=\"1.0\"?>", u"damaged SVG: line 1: "_s},
        // Without width, height or view box Qt sizes a drawing by its content;
        // an empty one has none.
        {"no size", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", u"has no size"_s},
        {"zero size",
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"0\" height=\"10\"><rect/></svg>",
         u"has no size"_s},
        {"enormous",
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100000\" height=\"100000\"></svg>",
         u"more than 200 megapixels"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Result<LayerPicture> svg = LayerPicture::FromSvg(c.bytes);
        ASSERT_FALSE(svg);
        EXPECT_TRUE(svg.error().contains(c.cause)) << svg.error().toStdString();
    }
}

TEST(LayerPicture, XmlIsToldFromRasterPictures)
{
    EXPECT_TRUE(LooksLikeSvg("<svg/>"));
    EXPECT_TRUE(LooksLikeSvg("\xEF\xBB\xBF\r\n  <?xml version=\"1.0\"?>"));
    EXPECT_FALSE(LooksLikeSvg("\x89PNG\r\n\x1A\n"));
    EXPECT_FALSE(LooksLikeSvg("\xFF\xD8\xFF\xE0"));
    EXPECT_FALSE(LooksLikeSvg("GIF89a"));
    EXPECT_FALSE(LooksLikeSvg("   "));
    EXPECT_FALSE(LooksLikeSvg(""));
}

} // namespace
} // namespace kw

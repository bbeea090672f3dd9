#include "render/photo_resize.h"

#include "photo_test_files.h"

#include <QColorSpace>

#include <gtest/gtest.h>

namespace kw {
namespace {

struct SizeCase
{
    const char *name;
    QSize photo;
    ResizeRequest request;
    QSize expected; // empty: refused
};

TEST(WorkingSize, FollowsTheScaleTypeTable)
{
    const SizeCase cases[] = {
        {"type 1 keeps the aspect", {4000, 3000}, {true, 1, 800, 1}, {800, 600}},
        {"type 2 keeps the aspect", {3000, 4000}, {true, 2, 1, 600}, {450, 600}},
        {"type 3 stretches", {3000, 4000}, {true, 3, 800, 600}, {800, 600}},
        {"type 1 truncates", {1000, 333}, {true, 1, 800, 600}, {800, 266}},
        {"type 2 truncates", {333, 1000}, {true, 2, 600, 800}, {266, 800}},
        {"enlarges a small photo", {200, 100}, {true, 1, 800, 600}, {800, 400}},
        {"other scale types leave the size", {640, 480}, {true, 0, 800, 600}, {640, 480}},
        {"scale type 4", {640, 480}, {true, 4, 800, 600}, {640, 480}},
        {"negative scale type", {640, 480}, {true, -1, 800, 600}, {640, 480}},
        {"resizing off", {640, 480}, {false, 1, 800, 600}, {640, 480}},
        {"type 2 ignores a zero width", {640, 480}, {true, 2, 0, 240}, {320, 240}},
        {"product just inside 32 bits", {1073741823, 1073741823}, {true, 1, 2, 0}, {2, 2}},
        // Refused instead of dividing by zero, wrapping or allocating absurdly.
        {"zero-width photo", {0, 100}, {true, 1, 800, 600}, {}},
        {"zero-height photo, resizing off", {100, 0}, {false, 0, 0, 0}, {}},
        {"negative photo size", {-5, 100}, {true, 3, 800, 600}, {}},
        {"zero target width", {400, 300}, {true, 1, 0, 600}, {}},
        {"negative target height", {400, 300}, {true, 2, 800, -600}, {}},
        {"type 3 with a zero side", {400, 300}, {true, 3, 800, 0}, {}},
        {"result truncates to zero", {1000, 333}, {true, 1, 1, 600}, {}},
        {"product overflows 32 bits", {1073741824, 1073741824}, {true, 1, 2, 0}, {}},
        {"product overflows for type 2", {30000, 30000}, {true, 2, 0, 100000}, {}},
        {"result above the pixel limit", {400, 300}, {true, 3, 20000, 20000}, {}},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(c.name);
        const WorkingSize result = ComputeWorkingSize(c.photo, c.request);
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(result);
            EXPECT_FALSE(result.error.isEmpty());
        } else {
            EXPECT_TRUE(result) << result.error.toStdString();
            EXPECT_EQ(result.size, c.expected);
        }
    }
}

TEST(DctScale, LargestDenominatorThatStillCoversTheTarget)
{
    struct Case
    {
        QSize stored, target;
        int expected;
    };
    const Case cases[] = {
        {{6000, 4000}, {1500, 1000}, 4}, {{6000, 4000}, {1501, 1000}, 2},
        {{6000, 4000}, {750, 500}, 8},   {{6000, 4000}, {100, 100}, 8},
        {{6000, 4000}, {3000, 2000}, 2}, {{6000, 4000}, {3001, 100}, 1},
        {{6007, 4007}, {750, 500}, 8},   {{6007, 4007}, {751, 500}, 4},
        {{6000, 4000}, {800, 3000}, 1},  {{600, 400}, {1200, 800}, 1},
        {{600, 400}, {0, 0}, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ChooseDctScaleDenominator(c.stored, c.target), c.expected)
            << c.stored.width() << "x" << c.stored.height() << " -> " << c.target.width() << "x"
            << c.target.height();
    }
}

// Sizes that exercise the box step (4x and more), the plain convolution,
// enlargement, a stretch and single-pixel edges.
const QSize kResizePairs[][2] = {
    {{640, 480}, {100, 75}},  {{640, 480}, {320, 240}}, {{97, 61}, {301, 200}},
    {{400, 300}, {401, 120}}, {{1, 1}, {5, 3}},         {{7, 1}, {1, 1}},
    {{9, 300}, {9, 20}},      {{300, 9}, {20, 9}},
};

TEST(ResamplePhoto, KeepsAFlatColourExactlyFlat)
{
    const QRgb colour = qRgb(201, 77, 13); // distinct channels: a swap shows
    for (const auto &pair : kResizePairs) {
        QImage source(pair[0], QImage::Format_RGB32);
        source.fill(colour);
        source.setColorSpace(QColorSpace::DisplayP3);
        const QImage result = ResamplePhoto(source, pair[1]);
        ASSERT_EQ(result.size(), pair[1]);
        EXPECT_EQ(result.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(result.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        int wrong = 0;
        for (int y = 0; y < result.height(); ++y) {
            for (int x = 0; x < result.width(); ++x)
                wrong += result.pixel(x, y) != colour;
        }
        EXPECT_EQ(wrong, 0) << pair[0].width() << "x" << pair[0].height() << " -> "
                            << pair[1].width() << "x" << pair[1].height();
    }
}

// A bicubic filter reproduces a linear ramp: away from the borders each output
// pixel holds the ramp's value at that pixel's centre. A filter placed half a
// pixel off, or with weights that do not add up, misses by more than one level.
TEST(ResamplePhoto, PutsEachPixelWhereItsCentreFalls)
{
    const int n = 128; // value 2 per source pixel
    QImage across(n, 8, QImage::Format_RGB32);
    for (int x = 0; x < n; ++x) {
        for (int y = 0; y < 8; ++y)
            across.setPixel(x, y, qRgb(2 * x, 2 * x, 2 * x));
    }
    const QImage down = across.transformed(QTransform().rotate(90)).mirrored(true, false);
    for (int target : {20, 50, 64, 100, 200, 333}) {
        const QImage h = ResamplePhoto(across, QSize(target, 8));
        const QImage v = ResamplePhoto(down, QSize(8, target));
        const double scale = double(n) / target;
        const int margin = int(std::ceil(2 * std::max(scale, 1.0) / scale)) + 1;
        for (int i = margin; i < target - margin; ++i) {
            const double expected = 2 * ((i + 0.5) * scale - 0.5);
            EXPECT_NEAR(qRed(h.pixel(i, 4)), expected, 1.0) << "width " << target << " x " << i;
            EXPECT_NEAR(qRed(v.pixel(4, i)), expected, 1.0) << "height " << target << " y " << i;
        }
    }
}

// Transparent pixels must not darken their opaque neighbours, and the
// kernel's overshoot must not leave colour above alpha where both change.
TEST(ResamplePhoto, TransparentEdgesStayCleanAndPremultiplied)
{
    struct Halves
    {
        QRgb left, right; // premultiplied
        bool redEdge;     // the right half is red that must not darken
    };
    const Halves sources[] = {{qRgba(0, 0, 0, 0), qRgba(255, 40, 0, 255), true},
                              {qRgba(0, 0, 0, 255), qRgba(128, 20, 0, 128), false}};
    for (const Halves &h : sources) {
        QImage source(120, 90, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 90; ++y) {
            for (int x = 0; x < 120; ++x)
                source.setPixel(x, y, x < 60 ? h.left : h.right);
        }
        for (QSize target : {QSize(25, 19), QSize(70, 50), QSize(311, 200)}) {
            const QImage result = ResamplePhoto(source, target);
            for (int y = 0; y < result.height(); ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(result.constScanLine(y));
                for (int x = 0; x < result.width(); ++x) {
                    const QRgb p = line[x];
                    ASSERT_LE(qRed(p), qAlpha(p)) << x << "," << y;
                    ASSERT_LE(qGreen(p), qAlpha(p)) << x << "," << y;
                    if (h.redEdge && qAlpha(p) >= 16) { // unpremultiplied, it stays red
                        ASSERT_GE(qRed(p) * 255 / qAlpha(p), 235) << x << "," << y;
                    }
                }
            }
        }
    }
}

// On photo content the filter lands close to Qt's own smooth scaling: the two
// differ in sharpness, not in what they show.
TEST(ResamplePhoto, AgreesWithQtSmoothScalingOnPhotoContent)
{
    const QImage photo = test::PhotoLikeImage(900, 600);
    for (QSize target : {QSize(300, 200), QSize(128, 85), QSize(1350, 900)}) {
        const QImage ours = ResamplePhoto(photo, target);
        const QImage qt = photo.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(test::MeanAbsDiff(ours, qt), 2.0) << target.width();
    }
}

} // namespace
} // namespace kw

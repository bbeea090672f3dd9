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

TEST(WorkingSize, LongEdgeAndNeverEnlarge)
{
    const auto longEdge = [](int32_t edge, bool neverEnlarge = false) {
        ResizeRequest request{true, 1, 800, 600};
        request.targetLongEdge = edge;
        request.neverEnlarge = neverEnlarge;
        return request;
    };
    const auto noEnlarge = [](int32_t type, int32_t width, int32_t height) {
        ResizeRequest request{true, type, width, height};
        request.neverEnlarge = true;
        return request;
    };
    const SizeCase cases[] = {
        {"landscape: the width", {6000, 4000}, longEdge(2048), {2048, 1365}},
        {"portrait: the height", {4000, 6000}, longEdge(2048), {1365, 2048}},
        {"square", {3000, 3000}, longEdge(1000), {1000, 1000}},
        {"in place of the scale type", {4000, 3000}, longEdge(400), {400, 300}},
        {"enlarges a small photo", {300, 200}, longEdge(600), {600, 400}},
        {"no 32-bit overflow on a big photo", {60000, 40000}, longEdge(10000), {10000, 6666}},
        {"off when resizing is off",
         {640, 480},
         [&] {
             ResizeRequest r = longEdge(100);
             r.resize = false;
             return r;
         }(),
         {640, 480}},
        // Never enlarge: a small photo keeps its size, a large one shrinks.
        {"small photo, long edge", {300, 200}, longEdge(600, true), {300, 200}},
        {"small portrait, long edge", {200, 300}, longEdge(600, true), {200, 300}},
        {"long edge equal to the photo's", {600, 400}, longEdge(600, true), {600, 400}},
        {"large photo, long edge", {6000, 4000}, longEdge(600, true), {600, 400}},
        {"huge long edge", {640, 480}, longEdge(2147483647, true), {640, 480}},
        {"small photo, to width", {640, 480}, noEnlarge(1, 800, 1), {640, 480}},
        {"large photo, to width", {1600, 1200}, noEnlarge(1, 800, 1), {800, 600}},
        {"small photo, to height", {640, 480}, noEnlarge(2, 1, 600), {640, 480}},
        {"exact, one side larger", {1000, 500}, noEnlarge(3, 800, 600), {1000, 500}},
        {"exact, both sides smaller", {1000, 700}, noEnlarge(3, 800, 600), {800, 600}},
        {"huge width that would overflow",
         {15000, 10000},
         noEnlarge(1, 2147483647, 0),
         {15000, 10000}},
        // Stored values that make no size are refused, as such widths are.
        {"zero long edge (empty or text)", {640, 480}, longEdge(0), {}},
        {"negative long edge", {640, 480}, longEdge(-800), {}},
        {"negative long edge, never enlarge", {640, 480}, longEdge(-800, true), {}},
        {"huge long edge enlarges past the limit", {640, 480}, longEdge(2147483647), {}},
        {"the short side truncates to zero", {10000, 4}, longEdge(1000), {}},
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

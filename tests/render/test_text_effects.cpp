#include "render/font_mapping.h"
#include "render/stroke_halo.h"
#include "render/text_effect_renderer.h"
#include "render/text_strategy.h"

#include "support/image_measure.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;
using kw::test::InkBounds;
using kw::test::InkCentroid;
using kw::test::InkCount;
using kw::test::TransparentCanvas;

namespace {

// A layer with every effect off: plain opaque black fill of "Hg" at 40 px.
CWatermarkConf plainLayer(const QString &text = u"Hg"_s)
{
    CWatermarkConf layer;
    layer.textContent = text;
    layer.Font = kw::NewLayerFont();
    layer.Font.setHeight(-40);
    layer.Location = 0;
    layer.Transparency = 255;
    layer.BFillText = 1;
    layer.TextColor = kw::RgbColor(0, 0, 0);
    layer.EdgeLineThickness = 2;
    return layer;
}

QImage render(const CWatermarkConf &layer, int width = 400, int height = 300)
{
    QImage canvas = TransparentCanvas(width, height);
    QPainter painter(&canvas);
    CTextEffectRenderer::DrawTextLayer(painter, width, height, layer);
    return canvas;
}

QRectF expectedBox(const CWatermarkConf &layer, int width, int height)
{
    const QFont font = kw::FontFromLogFont(layer.Font);
    const QSizeF size = kw::MeasureTextBox(font, layer.textContent);
    return QRectF(kw::TextAnchor(layer.Location, width, height, size) +
                      QPointF(layer.OffsetH, layer.OffsetV),
                  size);
}

class TextEffects : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { kw::RegisterWatermarkFonts(); }
};

bool isColor(QRgb pixel, int r, int g, int b)
{
    const QColor c = QColor::fromRgba(qUnpremultiply(pixel));
    return qAlpha(pixel) > 200 && std::abs(c.red() - r) < 40 && std::abs(c.green() - g) < 40 &&
           std::abs(c.blue() - b) < 40;
}

TEST_F(TextEffects, InkLiesInsideTheMeasuredBoxAtEveryLocation)
{
    for (int location = 0; location <= 9; ++location) {
        CWatermarkConf layer = plainLayer();
        layer.Location = location;
        layer.OffsetH = location == 8 ? -10 : 7;
        layer.OffsetV = location == 8 ? -10 : 5;
        const QRectF box = expectedBox(layer, 400, 300);
        const QRect ink = InkBounds(render(layer));
        ASSERT_FALSE(ink.isNull()) << location;
        EXPECT_TRUE(box.adjusted(-2, -2, 2, 2).contains(QRectF(ink))) << location;
        // The glyphs fill most of their box: the box is not just somewhere near.
        EXPECT_GT(ink.width(), box.width() * 0.7) << location;
        EXPECT_GT(ink.height(), box.height() * 0.6) << location;
    }
    // Location 8 with offsets -10: the box's corner is 10 pixels inside.
    CWatermarkConf corner = plainLayer();
    corner.Location = 8;
    corner.OffsetH = corner.OffsetV = -10;
    const QRectF box = expectedBox(corner, 400, 300);
    EXPECT_NEAR(box.right(), 390, 0.01);
    EXPECT_NEAR(box.bottom(), 290, 0.01);
}

TEST_F(TextEffects, PositiveRotationTurnsCounterClockwise)
{
    CWatermarkConf layer = plainLayer(u"MMMMMMMM"_s);
    layer.Location = 3;
    layer.OffsetH = 50;
    layer.Rotation = 30;
    const QImage image = render(layer);
    const QRect ink = InkBounds(image);
    const QImage leftEnd = image.copy(ink.left(), 0, 20, image.height());
    const QImage rightEnd = image.copy(ink.right() - 20, 0, 20, image.height());
    // Counter-clockwise on screen: the far end rises.
    EXPECT_LT(InkCentroid(rightEnd).y() + 40, InkCentroid(leftEnd).y());
}

TEST_F(TextEffects, FillUsesTransparencyAsAlpha)
{
    CWatermarkConf layer = plainLayer(u"MM"_s);
    layer.TextColor = kw::RgbColor(255, 0, 0);
    layer.Transparency = 128 + 0x1200; // only the lowest byte counts
    const QImage image = render(layer).convertToFormat(QImage::Format_ARGB32);
    int maxAlpha = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            maxAlpha = std::max(maxAlpha, qAlpha(image.pixel(x, y)));
    EXPECT_NEAR(maxAlpha, 128, 1);
    EXPECT_GT(InkCount(image, [](QRgb p) { return qAlpha(p) >= 127 && qRed(p) >= 126; }), 100);
}

TEST_F(TextEffects, ShadowIsTheOutlineMovedByItsOffset)
{
    CWatermarkConf fill = plainLayer(u"HH"_s);
    fill.Location = 4;
    CWatermarkConf shadow = fill;
    shadow.BFillText = 0;
    shadow.BAddShadow = 1;
    shadow.ShadowH = 20;
    shadow.ShadowV = 10;
    shadow.ShadowBR = 2;
    shadow.ShadowAlpha = 30;
    const QImage shadowImage = render(shadow);
    const QPointF moved = InkCentroid(shadowImage) - InkCentroid(render(fill));
    EXPECT_NEAR(moved.x(), 20, 2.5);
    EXPECT_NEAR(moved.y(), 10, 2.5);
    // Black, and darkest where many strokes pile up.
    EXPECT_TRUE(InkCount(shadowImage, [](QRgb p) { return qAlpha(p) > 0 && qRed(p) != 0; }) == 0);
    EXPECT_GT(InkCount(shadowImage, [](QRgb p) { return qAlpha(p) > 120; }), 0);

    shadow.ShadowBR = -8; // no strokes at all
    EXPECT_EQ(InkCount(render(shadow)), 0);
}

TEST_F(TextEffects, StrokeHaloMatchesStackedStrokes)
{
    const QFont font = kw::FontFromLogFont(plainLayer().Font);
    const QPainterPath path = kw::TextOutline(font, u"Shadow & Co"_s, QPointF(30, 40));
    for (const int passes : {1, 8, 18}) {
        for (const int rotation : {0, 30}) {
            QImage reference = TransparentCanvas(360, 200);
            QImage fast = reference;
            for (QImage *image : {&reference, &fast}) {
                QPainter painter(image);
                painter.setRenderHint(QPainter::Antialiasing);
                painter.translate(30, 40);
                painter.rotate(-rotation);
                painter.translate(-30, -40);
                const QColor color(0, 0, 0, 30);
                if (image == &fast) {
                    kw::PaintStrokeHalo(painter, path, color, passes);
                    continue;
                }
                for (int width = 1; width <= passes; ++width)
                    painter.strokePath(
                        path, QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
            }

            EXPECT_LT(kw::test::MeanChannelDifference(reference, fast), 0.5)
                << passes << " " << rotation;
            EXPECT_LT(kw::test::MaxChannelDifference(reference, fast), 64)
                << passes << " " << rotation;
        }
    }
}

TEST_F(TextEffects, EdgeStrokesTheOutlineInItsColour)
{
    CWatermarkConf layer = plainLayer(u"O"_s);
    layer.Font.setHeight(-120);
    layer.BFillText = 0;
    layer.BDrawEdge = 1;
    layer.EdgeColor = kw::RgbColor(0, 255, 0);
    layer.EdgeAlpha = 255;
    layer.EdgeLineThickness = 6;
    const QImage image = render(layer);
    const QRect ink = InkBounds(image);
    ASSERT_FALSE(ink.isNull());
    // The ring is green and hollow: the middle of the "O" stays empty.
    EXPECT_GT(InkCount(image, [](QRgb p) { return isColor(p, 0, 255, 0); }), 200);
    EXPECT_EQ(qAlpha(image.pixel(ink.center())), 0);
}

TEST_F(TextEffects, ExtrusionRunsTowardsItsPosition)
{
    const CWatermarkConf fill = plainLayer(u"H"_s);
    const CWatermarkConf centred = [&] {
        CWatermarkConf c = fill;
        c.Location = 4;
        return c;
    }();
    const QRect base = InkBounds(render(centred));
    struct Case
    {
        int pos;
        QPoint direction;
    };
    for (const Case c : {Case{0, {-1, -1}}, Case{1, {1, -1}}, Case{2, {-1, 1}}, Case{3, {1, 1}}}) {
        CWatermarkConf layer = centred;
        layer.B3DText = 1;
        layer.TDTextOffset = 10;
        layer.TDTextPos = c.pos;
        layer.TDTextColor = kw::RgbColor(0, 0, 255);
        const QImage image = render(layer);
        const QRect ink = InkBounds(image);
        // Copies reach TDTextOffset + 1 pixels away on both axes.
        const QPoint grown = c.direction.x() > 0 ? ink.bottomRight() - base.bottomRight()
                                                 : base.topLeft() - ink.topLeft();
        EXPECT_NEAR(std::abs(grown.x()), 11, 1) << c.pos;
        EXPECT_NEAR(c.direction.y() > 0 ? ink.bottom() - base.bottom() : base.top() - ink.top(), 11,
                    1)
            << c.pos;
        EXPECT_GT(InkCount(image, [](QRgb p) { return isColor(p, 0, 0, 255); }), 50) << c.pos;
    }
    CWatermarkConf none = centred;
    none.BFillText = 0;
    none.B3DText = 1;
    none.TDTextOffset = 10;
    none.TDTextPos = 4;
    EXPECT_EQ(InkCount(render(none)), 0);
}

TEST_F(TextEffects, GradientRunsAlongTheBoxDiagonal)
{
    CWatermarkConf layer = plainLayer(u"MMMM"_s);
    layer.Font.setHeight(-80);
    layer.Location = 4;
    layer.BFillText = 0;
    layer.BGradientText = 1;
    layer.GradientBeginColor = kw::RgbColor(255, 0, 0);
    layer.GradientEndColor = kw::RgbColor(0, 0, 255);
    const QImage image = render(layer).convertToFormat(QImage::Format_ARGB32);
    const QRect ink = InkBounds(image);
    ASSERT_FALSE(ink.isNull());
    // Red minus blue, averaged over the left and the right quarter of the ink.
    auto redness = [&](int fromX, int toX) {
        double sum = 0;
        int count = 0;
        for (int y = ink.top(); y <= ink.bottom(); ++y) {
            for (int x = fromX; x < toX; ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) == 255) {
                    sum += qRed(p) - qBlue(p);
                    ++count;
                }
            }
        }
        return count ? sum / count : 0.0;
    };
    const int quarter = ink.width() / 4;
    EXPECT_GT(redness(ink.left(), ink.left() + quarter), 100);
    EXPECT_LT(redness(ink.right() - quarter, ink.right()), -100);
}

TEST_F(TextEffects, CoverTilesFillTheGrid)
{
    CWatermarkConf layer = plainLayer(u"X"_s);
    layer.Font.setHeight(-20);
    layer.BFillText = 0;
    layer.BCoverImage = 1;
    layer.coverImgMethod = 1;
    const int width = 400, height = 300;
    const QSizeF box = kw::MeasureTextBox(kw::FontFromLogFont(layer.Font), layer.textContent);
    const int rows = int(height / (box.height() + 10));
    const int cols = int(width / (box.width() + 10));
    const QImage image = render(layer, width, height);
    int tiles = 0;
    for (int r = 0; r * (box.height() + 55) < height; ++r) {
        for (int j = 0; j * (box.width() + 100) < width; ++j) {
            const QRect cell(int(j * (box.width() + 100)), int(r * (box.height() + 55)),
                             int(box.width()), int(box.height()));
            const bool inked = InkCount(image.copy(cell)) > 0;
            EXPECT_EQ(inked, r < rows && j < cols) << r << "," << j;
            tiles += inked;
        }
    }
    EXPECT_EQ(tiles, std::min(rows, int(std::ceil(height / (box.height() + 55)))) *
                         std::min(cols, int(std::ceil(width / (box.width() + 100)))));

    layer.coverImgMethod = 2;
    EXPECT_EQ(InkCount(render(layer)), 0);
}

TEST_F(TextEffects, EmptyTextDrawsNothingAndThePainterIsLeftAsFound)
{
    CWatermarkConf layer = plainLayer(QString());
    layer.BAddShadow = layer.BDrawEdge = layer.B3DText = layer.BGradientText = 1;
    layer.BCoverImage = 1;
    QImage canvas = TransparentCanvas(200, 100);
    QPainter painter(&canvas);
    CTextEffectRenderer::DrawTextLayer(painter, 200, 100, layer);
    EXPECT_EQ(InkCount(canvas), 0);

    layer = plainLayer();
    layer.Rotation = 45;
    layer.BAddShadow = layer.BCoverImage = 1;
    const auto hints = painter.renderHints();
    CTextEffectRenderer::DrawTextLayer(painter, 200, 100, layer);
    EXPECT_TRUE(painter.transform().isIdentity());
    EXPECT_EQ(painter.renderHints(), hints);
}

TEST_F(TextEffects, HugeStoredValuesStayBounded)
{
    CWatermarkConf layer = plainLayer();
    layer.Font.setHeight(INT32_MIN);
    layer.ShadowBR = INT32_MAX - 8;
    layer.BAddShadow = 1;
    layer.B3DText = 1;
    layer.TDTextOffset = INT32_MAX;
    layer.Rotation = INT32_MIN;
    // Bounded by the limits; finishing at all is the test.
    render(layer, 64, 64);

    // The smallest relative size with its cover on a large photo, and the
    // largest: neither asks for millions of passes or tiles.
    CWatermarkConf relative = plainLayer();
    relative.BCoverImage = 1;
    relative.BAddShadow = relative.B3DText = 1;
    relative.TDTextOffset = 50;
    relative.TurnAboutAnchor = 1;
    for (const int32_t share : {1, kw::kMaxRelativeSize}) {
        relative.RelativeSize = share;
        render(relative, 4000, 3000);
    }
    SUCCEED();
}

// ---------------------------------------------------------------- real size

// Text drawn on a 4000 x 3000 canvas, the size of a 12 MP photo.
constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

CWatermarkConf bigText(const QString &text, int pixels)
{
    CWatermarkConf layer = plainLayer(text);
    layer.Font.setHeight(-pixels);
    return layer;
}

TEST_F(TextEffects, BigTextSitsInsideItsCornerAtEveryLocation)
{
    // Both lines are wider than 1000 pixels; neither is wider than the photo.
    struct Case
    {
        QString text;
        int pixels;
    };
    for (const Case &c : {Case{u"(c) Jane Doe Photography"_s, 200}, Case{u"(c) Jane Doe"_s, 600}}) {
        CWatermarkConf layer = bigText(c.text, c.pixels);
        layer.Location = 4;
        const QRect centred = InkBounds(render(layer, kPhotoWidth, kPhotoHeight));
        ASSERT_GT(centred.width(), 1000);
        // Centred on the photo, but for the side bearings of the end letters.
        const int near = c.pixels / 10;
        EXPECT_NEAR(centred.center().x(), kPhotoWidth / 2, near) << c.pixels;
        EXPECT_NEAR(centred.center().y(), kPhotoHeight / 2, near) << c.pixels;
        for (int location = 0; location < 9; ++location) {
            layer.Location = location;
            const QRect ink = InkBounds(render(layer, kPhotoWidth, kPhotoHeight));
            // Whole: the same ink as in the middle of the photo, moved.
            EXPECT_NEAR(ink.width(), centred.width(), 1) << c.pixels << " " << location;
            EXPECT_NEAR(ink.height(), centred.height(), 1) << c.pixels << " " << location;
            // Against the anchored edges (Tahoma's parentheses fill the line
            // from top to bottom), or centred.
            const int x[] = {ink.left(), centred.left(), kPhotoWidth - 1 - ink.right()};
            const int y[] = {ink.top(), centred.top(), kPhotoHeight - 1 - ink.bottom()};
            if (location % 3 == 1)
                EXPECT_NEAR(ink.left(), centred.left(), 1) << c.pixels << " " << location;
            else
                EXPECT_LE(x[location % 3], near) << c.pixels << " " << location;
            if (location / 3 == 1)
                EXPECT_NEAR(ink.top(), centred.top(), 1) << c.pixels << " " << location;
            else
                EXPECT_LE(y[location / 3], near) << c.pixels << " " << location;
            EXPECT_GE(std::min({x[0], x[2], y[0], y[2]}), 0);
        }
    }
}

// The ink boxes of the tiles of an unturned cover: rows of tiles are
// separated by bands without ink, tiles within a row by gaps wider than any
// gap between the letters of a word.
std::vector<QRect> tileInkBoxes(const QImage &image, int widestLetterGap)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const auto inkedRow = [&](int y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        return std::any_of(line, line + argb.width(), [](QRgb p) { return qAlpha(p) > 0; });
    };
    std::vector<QRect> boxes;
    for (int top = 0; top < argb.height();) {
        if (!inkedRow(top)) {
            ++top;
            continue;
        }
        int bottom = top;
        while (bottom + 1 < argb.height() && inkedRow(bottom + 1))
            ++bottom;
        const QImage band = argb.copy(0, top, argb.width(), bottom - top + 1);
        int start = -1, lastInked = -1;
        for (int x = 0; x <= band.width(); ++x) {
            bool inked = false;
            for (int y = 0; x < band.width() && y < band.height() && !inked; ++y)
                inked = qAlpha(band.pixel(x, y)) > 0;
            if (inked) {
                if (start < 0)
                    start = x;
                lastInked = x;
            } else if (start >= 0 && (x - lastInked > widestLetterGap || x == band.width())) {
                const QRect ink =
                    InkBounds(band.copy(start, 0, lastInked - start + 1, band.height()));
                boxes.push_back(ink.translated(start, top));
                start = -1;
            }
        }
        top = bottom + 1;
    }
    return boxes;
}

TEST_F(TextEffects, CoverTilesOfBigTextDoNotOverlap)
{
    for (const int pixels : {200, 600}) {
        CWatermarkConf layer = bigText(u"Photography"_s, pixels);
        layer.BFillText = 0;
        layer.BCoverImage = 1;
        layer.coverImgMethod = 1;
        layer.Transparency = 128;
        layer.Rotation = 0;
        const QImage flat = render(layer, kPhotoWidth, kPhotoHeight);
        const std::vector<QRect> boxes = tileInkBoxes(flat, pixels / 3);
        EXPECT_GE(boxes.size(), 2u) << pixels;
        for (size_t i = 0; i < boxes.size(); ++i) {
            // A tile is one word, as wide as the text, unless the photo's edge cuts it.
            if (boxes[i].left() > 0 && boxes[i].right() < kPhotoWidth - 1) {
                EXPECT_GT(boxes[i].width(), 4 * pixels) << pixels;
            }
            for (size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_FALSE(boxes[i].intersects(boxes[j])) << pixels << " " << i << " " << j;
        }

        // Turned: no pixel is painted by two tiles (it would be more opaque
        // than one tile's half alpha).
        layer.Rotation = 30;
        const QImage turned = render(layer, kPhotoWidth, kPhotoHeight);
        EXPECT_GT(InkCount(turned), 20 * pixels * pixels / 10) << pixels;
        EXPECT_EQ(InkCount(turned, [](QRgb p) { return qAlpha(p) > 130; }), 0) << pixels;
        // Outlined tiles likewise, each outline painted once.
        layer.coverImgMethod = 0;
        layer.EdgeLineThickness = 6;
        const QImage outlined = render(layer, kPhotoWidth, kPhotoHeight);
        EXPECT_GT(InkCount(outlined), 10 * pixels * pixels / 10) << pixels;
        EXPECT_EQ(InkCount(outlined, [](QRgb p) { return qAlpha(p) > 130; }), 0) << pixels;
    }
}

// ---------------------------------------------------------------- turn about the anchor

TEST_F(TextEffects, TurnAboutTheAnchorKeepsTheInkCentreAtTheAnchor)
{
    constexpr int width = 800, height = 600;
    for (const int degrees : {0, 30, 90, 180}) {
        CWatermarkConf layer = plainLayer(u"Kelvane Watermark"_s);
        layer.Location = 4;
        layer.Rotation = degrees;
        layer.TurnAboutAnchor = 1;
        const QRectF ink = QRectF(InkBounds(render(layer, width, height))).adjusted(0, 0, 1, 1);
        EXPECT_NEAR(ink.center().x(), width / 2.0, 1.0) << degrees;
        EXPECT_NEAR(ink.center().y(), height / 2.0, 1.0) << degrees;

        // In a corner the turned mark is whole and touches its corner.
        layer.Location = 8;
        const QRect corner = InkBounds(render(layer, width, height));
        EXPECT_NEAR(corner.right(), width - 1, 1.5) << degrees;
        EXPECT_NEAR(corner.bottom(), height - 1, 1.5) << degrees;
        layer.Location = 0;
        const QRect topLeft = InkBounds(render(layer, width, height));
        EXPECT_NEAR(topLeft.left(), 0, 1.5) << degrees;
        EXPECT_NEAR(topLeft.top(), 0, 1.5) << degrees;
    }
    // Without the option the mark still turns about its corner: centred at
    // 30 degrees it stands well above the middle.
    CWatermarkConf corner = plainLayer(u"Kelvane Watermark"_s);
    corner.Location = 4;
    corner.Rotation = 30;
    const QRect ink = InkBounds(render(corner, width, height));
    EXPECT_LT(ink.center().y(), height / 2 - 40);
}

TEST_F(TextEffects, TurnAboutTheAnchorKeepsEffectsInsideTheCorner)
{
    CWatermarkConf layer = plainLayer(u"Shadowed"_s);
    layer.Location = 8;
    layer.Rotation = -20;
    layer.TurnAboutAnchor = 1;
    layer.BAddShadow = 1;
    layer.ShadowH = layer.ShadowV = 10;
    layer.ShadowAlpha = 30;
    layer.BDrawEdge = 1;
    layer.EdgeLineThickness = 10;
    layer.B3DText = 1;
    layer.TDTextOffset = 12;
    layer.TDTextPos = 3;
    const QRect ink = InkBounds(render(layer));
    layer.Location = 4;
    const QRect centred = InkBounds(render(layer));
    // Whole (as large as in the middle) and against the corner.
    EXPECT_NEAR(ink.width(), centred.width(), 1);
    EXPECT_NEAR(ink.height(), centred.height(), 1);
    EXPECT_GE(ink.right(), 398);
    EXPECT_GE(ink.bottom(), 298);
}

// ---------------------------------------------------------------- relative size

// The ink box as fractions of the canvas: left and top of its width and
// height, width and height of its shorter side.
QRectF relativeInk(const QImage &image)
{
    // Half-covered pixels and more, so the anti-aliased fringe (a pixel
    // wide on every photo) does not count.
    const QRectF ink =
        QRectF(InkBounds(image, [](QRgb p) { return qAlpha(p) >= 128; })).adjusted(0, 0, 1, 1);
    const double shorter = std::min(image.width(), image.height());
    return {ink.left() / image.width(), ink.top() / image.height(), ink.width() / shorter,
            ink.height() / shorter};
}

CWatermarkConf relativeLayer()
{
    CWatermarkConf layer = plainLayer(u"(c) Jane Doe"_s);
    layer.Font.setHeight(-38);
    layer.RelativeSize = 500; // 5 % of the shorter side
    layer.Location = 8;
    layer.RelativeOffsetH = -200; // 2 % of the width
    layer.RelativeOffsetV = -300;
    layer.Rotation = 15;
    layer.BDrawEdge = 1;
    layer.EdgeLineThickness = 3;
    layer.EdgeColor = kw::RgbColor(255, 255, 255);
    layer.B3DText = 1;
    layer.TDTextOffset = 4;
    layer.BAddShadow = 1;
    layer.ShadowH = layer.ShadowV = 3;
    layer.ShadowAlpha = 30;
    return layer;
}

TEST_F(TextEffects, RelativeMarksKeepTheirProportionOnEveryPhoto)
{
    for (const bool aroundAnchor : {false, true}) {
        CWatermarkConf layer = relativeLayer();
        layer.TurnAboutAnchor = aroundAnchor;
        const QRectF small = relativeInk(render(layer, 800, 533));
        const QRectF large = relativeInk(render(layer, 6000, 4000));
        EXPECT_NEAR(small.left(), large.left(), 0.02 * large.left()) << aroundAnchor;
        EXPECT_NEAR(small.top(), large.top(), 0.02 * large.top()) << aroundAnchor;
        EXPECT_NEAR(small.width(), large.width(), 0.02 * large.width()) << aroundAnchor;
        EXPECT_NEAR(small.height(), large.height(), 0.02 * large.height()) << aroundAnchor;
        // The em size is 5 % of the shorter side; the turned text is wider.
        EXPECT_GT(large.width(), 0.05 * 4);
        EXPECT_LT(large.left() + large.width() * 4000 / 6000, 0.99);
    }

    // Cover tiles are spaced in proportion: the same share of the photo is inked.
    CWatermarkConf cover = relativeLayer();
    cover.BCoverImage = 1;
    cover.coverImgMethod = 1;
    const auto inkedShare = [&](int w, int h) {
        return double(InkCount(render(cover, w, h), [](QRgb p) { return qAlpha(p) >= 128; })) /
               (double(w) * h);
    };
    EXPECT_NEAR(inkedShare(800, 533), inkedShare(4800, 3198), 0.05 * inkedShare(4800, 3198));
}

TEST_F(TextEffects, RelativeMarkOnAThumbnailIsVisibleAndWhole)
{
    CWatermarkConf layer = relativeLayer();
    layer.RelativeSize = 1200;
    layer.TurnAboutAnchor = 1;
    const QImage thumbnail = render(layer, 88, 64);
    const QRect ink = InkBounds(thumbnail);
    ASSERT_FALSE(ink.isNull());
    EXPECT_GT(ink.left(), 0);
    EXPECT_GT(ink.top(), 0);
    EXPECT_LT(ink.right(), 87);
    EXPECT_LT(ink.bottom(), 63);
    EXPECT_GT(InkCount(thumbnail, [](QRgb p) { return qAlpha(p) > 200; }), 40);

    // A pixel layer of the same font is far bigger than the thumbnail.
    layer.RelativeSize = 0;
    EXPECT_GT(InkBounds(render(layer, 88, 64)).width(), 80);
}

} // namespace

// The halo's distances are only worked out as far as it reaches: it must
// still reach its full width, on an unscaled and on a scaled painter.
TEST_F(TextEffects, StrokeHaloReachesItsFullWidth)
{
    QPainterPath square;
    square.addRect(QRectF(100, 80, 60, 40));
    for (const qreal scale : {1.0, 2.0}) {
        for (const int passes : {4, 18, 60}) {
            QImage canvas = TransparentCanvas(int(500 * scale), int(400 * scale));
            QPainter painter(&canvas);
            painter.scale(scale, scale);
            kw::PaintStrokeHalo(painter, square, QColor(0, 0, 0, 255), passes);
            painter.end();
            // The widest pen reaches passes / 2 beyond the outline.
            const QRect ink = InkBounds(canvas);
            const qreal reach = passes / 2.0 * scale;
            const QRectF drawn = QRectF(100 * scale, 80 * scale, 60 * scale, 40 * scale);
            EXPECT_NEAR(drawn.left() - ink.left(), reach, 1.0) << scale << " " << passes;
            EXPECT_NEAR(ink.right() + 1 - drawn.right(), reach, 1.0) << scale << " " << passes;
            EXPECT_NEAR(drawn.top() - ink.top(), reach, 1.0) << scale << " " << passes;
            EXPECT_NEAR(ink.bottom() + 1 - drawn.bottom(), reach, 1.0) << scale << " " << passes;
        }
    }
}

// The cover's sprites are drawn on a thread of their own: renders running
// at once, upright (the tile shares the glyph outline) and turned, on full
// and scaled painters, match one render alone.
TEST_F(TextEffects, CoverTilesRenderAlikeOnManyThreadsAtOnce)
{
    std::vector<CWatermarkConf> layers;
    for (const int rotation : {0, 30}) {
        for (const int method : {0, 1}) {
            CWatermarkConf layer = plainLayer(u"Tile"_s);
            layer.Rotation = rotation;
            layer.BCoverImage = 1;
            layer.coverImgMethod = method;
            layer.EdgeLineThickness = 3;
            layer.BAddShadow = 1;
            layers.push_back(layer);
        }
    }
    const auto renderAt = [](const CWatermarkConf &layer, qreal scale) {
        QImage canvas = TransparentCanvas(int(400 * scale), int(300 * scale));
        QPainter painter(&canvas);
        painter.scale(scale, scale);
        CTextEffectRenderer::DrawTextLayer(painter, 400, 300, layer);
        return canvas;
    };
    for (const qreal scale : {1.0, 0.5}) {
        std::vector<QImage> alone;
        for (const CWatermarkConf &layer : layers)
            alone.push_back(renderAt(layer, scale));
        std::vector<QImage> together(layers.size() * 3);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < together.size(); ++i)
            threads.emplace_back(
                [&, i] { together[i] = renderAt(layers[i % layers.size()], scale); });
        for (std::thread &thread : threads)
            thread.join();
        for (size_t i = 0; i < together.size(); ++i) {
            EXPECT_GT(InkCount(together[i]), 0) << i;
            EXPECT_EQ(together[i], alone[i % layers.size()]) << i << " " << scale;
        }
    }
}

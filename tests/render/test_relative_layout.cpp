#include "render/font_mapping.h"
#include "render/relative_layout.h"
#include "render/text_effect_renderer.h"
#include "render/watermark_renderer.h"

#include "support/image_measure.h"

#include <gtest/gtest.h>

#include <QPainter>

using kw::CWatermarkConf;
using kw::test::InkBounds;

namespace {

constexpr QSize kSample(677, 625);

QImage drawText(const CWatermarkConf &layer, QSize size = kSample)
{
    QImage canvas = kw::test::TransparentCanvas(size.width(), size.height());
    QPainter painter(&canvas);
    kw::CTextEffectRenderer::DrawTextLayer(painter, size.width(), size.height(), layer);
    return canvas;
}

class RelativeLayout : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { kw::RegisterWatermarkFonts(); }
};

TEST_F(RelativeLayout, SwitchingTheTextPartKeepsTheMarkWhereItWas)
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"Kelvane Watermark");
    layer.Location = int(kw::LocationCode::BottomRight);
    layer.OffsetH = -20;
    layer.OffsetV = -35;
    layer.BDrawEdge = 1;
    const QRect pixels = InkBounds(drawText(layer));

    kw::MakeTextRelative(layer, kSample);
    EXPECT_EQ(layer.RelativeSize, 608); // 38 of 625
    EXPECT_EQ(layer.RelativeOffsetH, -295);
    EXPECT_EQ(layer.RelativeOffsetV, -560);
    EXPECT_EQ(layer.OffsetH, -20); // the pixel values stay
    const QRect relative = InkBounds(drawText(layer));
    EXPECT_NEAR(relative.left(), pixels.left(), 1);
    EXPECT_NEAR(relative.top(), pixels.top(), 1);
    EXPECT_NEAR(relative.width(), pixels.width(), 1);
    EXPECT_NEAR(relative.height(), pixels.height(), 1);

    // Made twice as big, then back in pixels: the font follows, no jump.
    layer.RelativeSize *= 2;
    const QRect bigger = InkBounds(drawText(layer));
    kw::MakeTextPixels(layer, kSample);
    EXPECT_EQ(layer.Font.height(), -76);
    EXPECT_EQ(layer.RelativeSize, 0);
    EXPECT_EQ(layer.RelativeOffsetH, 0);
    const QRect back = InkBounds(drawText(layer));
    EXPECT_NEAR(back.left(), bigger.left(), 2);
    EXPECT_NEAR(back.width(), bigger.width(), 2);
}

TEST_F(RelativeLayout, SwitchingThePicturePartKeepsItsDrawnSize)
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, {});
    layer.ImageOffsetH = 68;
    kw::MakePictureRelative(layer, QSize(250, 100), kSample);
    EXPECT_EQ(layer.ImageRelativeWidth, 4000); // 250 of 625
    EXPECT_EQ(layer.ImageRelativeHeight, 0);   // in proportion
    EXPECT_EQ(layer.ImageRelativeOffsetH, 1004);
    EXPECT_EQ(kw::PictureDrawSize(layer, QSize(250, 100), 677, 625), QSizeF(250, 100));

    // A stretched picture keeps its own height.
    layer.ImageDrawWidth = 100;
    layer.ImageDrawHeight = 125;
    kw::MakePictureRelative(layer, QSize(250, 100), kSample);
    EXPECT_EQ(layer.ImageRelativeHeight, 2000);
    layer.ImageRelativeWidth = 3200;
    kw::MakePicturePixels(layer, QSize(250, 100), kSample);
    EXPECT_EQ(layer.ImageDrawWidth, 200);
    EXPECT_EQ(layer.ImageDrawHeight, 125);
    EXPECT_EQ(layer.ImageRelativeWidth, 0);

    // A picture that cannot be read starts at 20 %.
    kw::MakePictureRelative(layer, QSize(), kSample);
    EXPECT_EQ(layer.ImageRelativeWidth, 2000);
}

TEST_F(RelativeLayout, SharesStayBounded)
{
    EXPECT_EQ(kw::HundredthsOfPercent(1e12, 10, 1, kw::kMaxRelativeSize), kw::kMaxRelativeSize);
    EXPECT_EQ(kw::HundredthsOfPercent(5, 0, 1, 100), 1);
    EXPECT_EQ(kw::HundredthsOfPercent(-1e12, 10, -10000, 10000), -10000);
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"x");
    layer.OffsetH = INT32_MIN;
    kw::MakeTextRelative(layer, QSize(0, 0));
    EXPECT_EQ(layer.RelativeSize, 1);
    EXPECT_EQ(layer.RelativeOffsetH, 0);
    layer.RelativeSize = kw::kMaxRelativeSize;
    kw::MakeTextPixels(layer, QSize(60000, 60000));
    EXPECT_EQ(layer.Font.height(), -kw::kMaxFontPixelSize);
}

} // namespace

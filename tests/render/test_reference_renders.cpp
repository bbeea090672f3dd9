// Layer files whose text fits a 1000 x 1000 box render exactly as they did
// before text was measured at its real size: every pixel of each stored
// layer's mark is compared with the picture kept beside it in tests/data.
//
// The pictures were made with the renderer as it was then. Run with
// KW_WRITE_REFERENCE_RENDERS=1 to write the layer files and pictures anew
// (only when a change of the drawing is intended).

#include "model/layer_file.h"
#include "render/font_mapping.h"
#include "render/watermark_renderer.h"

#include "support/image_measure.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

using kw::CWatermarkConf;
using kw::CWatermarkRenderer;
using namespace Qt::StringLiterals;

namespace {

const QString kLayerFolder = QStringLiteral(KW_TEST_DATA_DIR "/reference_layers");
const QString kRenderFolder = QStringLiteral(KW_TEST_DATA_DIR "/reference_renders");

struct ReferenceLayer
{
    QString name; // layer name: what it shows, then the canvas size
    CWatermarkConf conf;
};

CWatermarkConf layerWith(const QString &text, int pixelHeight)
{
    CWatermarkConf conf;
    kw::ApplyNewLayerDefaults(conf, text);
    conf.Font.setHeight(-pixelHeight);
    return conf;
}

// The layers as first written; only used to write the files anew.
std::vector<ReferenceLayer> referenceLayers()
{
    std::vector<ReferenceLayer> layers;
    {
        CWatermarkConf demo;
        kw::ApplyNewLayerDefaults(demo, kw::kFirstRunLayerText);
        layers.push_back({u"demo_677x625"_s, demo});
    }
    {
        CWatermarkConf c = layerWith(u"Proof \u00a9 2024"_s, 60);
        c.Font.setWeight(700);
        c.Font.setItalic(1);
        c.Location = 8;
        c.OffsetH = -20;
        c.OffsetV = -15;
        c.Rotation = -15;
        c.BAddShadow = 1;
        c.ShadowH = 4;
        c.ShadowV = 3;
        c.ShadowBR = 3;
        c.ShadowAlpha = 25;
        c.BDrawEdge = 1;
        c.EdgeLineThickness = 3;
        c.B3DText = 1;
        c.TDTextOffset = 6;
        c.TDTextPos = 0;
        c.BGradientText = 1;
        layers.push_back({u"all_effects_800x600"_s, c});
    }
    {
        CWatermarkConf c = layerWith(u"Sample"_s, 24);
        c.Location = 1;
        c.Rotation = 0;
        c.BCoverImage = 1;
        c.coverImgMethod = 0;
        c.EdgeLineThickness = 1;
        layers.push_back({u"cover_stroke_640x480"_s, c});
    }
    {
        CWatermarkConf c = layerWith(u"Draft copy"_s, 30);
        c.Location = 4;
        c.Rotation = 30;
        c.Transparency = 128;
        c.BCoverImage = 1;
        c.coverImgMethod = 1;
        layers.push_back({u"cover_fill_30_700x500"_s, c});
    }
    {
        CWatermarkConf c = layerWith(u"Line one\nSecond line"_s, 48);
        c.Location = 5;
        c.Rotation = 90;
        c.BDrawEdge = 1;
        layers.push_back({u"two_lines_600x800"_s, c});
    }
    {
        CWatermarkConf c = layerWith(u"Wide mark"_s, 150);
        c.Location = 7;
        c.Rotation = 45;
        c.OffsetV = -40;
        c.B3DText = 1;
        c.TDTextPos = 2;
        layers.push_back({u"large_fitting_1600x1200"_s, c});
    }
    {
        CWatermarkConf c = layerWith(u"Cell height"_s, 0);
        c.Font.setHeight(44); // a positive height is the cell height
        c.Location = 9;       // out of range: anchored at the top left
        c.OffsetH = 30;
        c.OffsetV = 25;
        c.Rotation = 0;
        layers.push_back({u"cell_height_400x300"_s, c});
    }
    return layers;
}

QSize canvasSizeOf(const QString &layerName)
{
    const QRegularExpressionMatch match = QRegularExpression(u"_(\\d+)x(\\d+)$"_s).match(layerName);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

QImage renderLayer(const QString &layerName, const CWatermarkConf &conf)
{
    const QSize size = canvasSizeOf(layerName);
    QImage canvas = kw::test::TransparentCanvas(size.width(), size.height());
    kw::LoadedTemplate loaded;
    loaded.name = layerName;
    loaded.layers.push_back({layerName, conf, QImage()});
    CWatermarkRenderer::DrawTemplate(canvas, size.width(), size.height(), loaded);
    return canvas;
}

} // namespace

TEST(ReferenceRenders, StoredLayersDrawExactlyAsBefore)
{
    // The pictures hold the glyphs of the Tahoma the project registers.
    if (!kw::RegisterWatermarkFonts())
        GTEST_SKIP() << "the reference pictures were drawn with Wine's Tahoma";

    if (qEnvironmentVariableIsSet("KW_WRITE_REFERENCE_RENDERS")) {
        for (const ReferenceLayer &layer : referenceLayers()) {
            ASSERT_TRUE(kw::CreateLayerFile(kLayerFolder, layer.name, layer.conf));
            CWatermarkConf reread;
            ASSERT_TRUE(kw::LoadLayerOverDefaults(kLayerFolder, layer.name, reread));
            ASSERT_TRUE(renderLayer(layer.name, reread)
                            .save(kRenderFolder + u'/' + layer.name + u".png"_s));
        }
    }

    const QStringList files = QDir(kLayerFolder).entryList({u"*.xml"_s}, QDir::Files);
    ASSERT_GE(files.size(), 7);
    for (const QString &file : files) {
        const QString name = file.chopped(4);
        CWatermarkConf conf;
        ASSERT_TRUE(kw::LoadLayerOverDefaults(kLayerFolder, name, conf)) << name.toStdString();
        const QImage expected = QImage(kRenderFolder + u'/' + name + u".png"_s)
                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_FALSE(expected.isNull()) << name.toStdString();
        const QImage drawn = renderLayer(name, conf);
        EXPECT_EQ(kw::test::MaxChannelDifference(drawn, expected), 0) << name.toStdString();
        EXPECT_GT(kw::test::InkCount(drawn), 100) << name.toStdString();
    }
}

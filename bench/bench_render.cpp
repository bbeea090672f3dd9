// Render times of the text effects and the compositor.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_render
#include "render/font_mapping.h"
#include "render/text_effect_renderer.h"
#include "render/watermark_renderer.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

CWatermarkConf demoLayer()
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"Kelvane Watermark"_s);
    return layer;
}

CWatermarkConf everyEffect()
{
    CWatermarkConf layer = demoLayer();
    layer.BAddShadow = 1;
    layer.ShadowBR = 10;
    layer.ShadowAlpha = 30;
    layer.BDrawEdge = 1;
    layer.EdgeLineThickness = 4;
    layer.B3DText = 1;
    layer.TDTextOffset = 10;
    layer.BFillText = 1;
    layer.BGradientText = 1;
    layer.GradientBeginColor = kw::RgbColor(255, 0, 0);
    layer.GradientEndColor = kw::RgbColor(0, 0, 255);
    layer.BCoverImage = 1;
    layer.coverImgMethod = 0;
    return layer;
}

void drawOn(benchmark::State &state, const QImage &background, const CWatermarkConf &layer)
{
    for (auto _ : state) {
        state.PauseTiming();
        QImage canvas = background.copy();
        state.ResumeTiming();
        QPainter painter(&canvas);
        CTextEffectRenderer::DrawTextLayer(painter, canvas.width(), canvas.height(), layer);
        painter.end();
        benchmark::DoNotOptimize(canvas.constBits());
    }
}

// The editor's live preview: every effect on the 677 x 625 sample photo.
void BM_SampleEveryEffect(benchmark::State &state)
{
    drawOn(state, kw::SamplePhoto(), everyEffect());
}
BENCHMARK(BM_SampleEveryEffect)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One effect at a time on the sample: 0 fill only, 1 shadow, 2 edge, 3 extrusion,
// 4 gradient, 5 cover tiles.
void BM_SampleOneEffect(benchmark::State &state)
{
    CWatermarkConf layer = everyEffect();
    layer.BAddShadow = state.range(0) == 1;
    layer.BDrawEdge = state.range(0) == 2;
    layer.B3DText = state.range(0) == 3;
    layer.BGradientText = state.range(0) == 4;
    layer.BCoverImage = state.range(0) == 5;
    drawOn(state, kw::SamplePhoto(), layer);
}
BENCHMARK(BM_SampleOneEffect)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// The demo layer on a 24-megapixel photo.
void BM_DemoLayer6000x4000(benchmark::State &state)
{
    QImage photo(6000, 4000, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(90, 120, 150));
    CWatermarkConf layer = demoLayer();
    layer.Font.setHeight(-400);
    drawOn(state, photo, layer);
}
BENCHMARK(BM_DemoLayer6000x4000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Every effect on a 24-megapixel photo with the size relative to the photo
// (8 % of the shorter side) and the mark turned about its anchor: the
// scaled shadow, the filled-in extrusion and the cover turned with the text.
void BM_RelativeEveryEffect6000x4000(benchmark::State &state)
{
    QImage photo(6000, 4000, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(90, 120, 150));
    CWatermarkConf layer = everyEffect();
    layer.RelativeSize = 800;
    layer.TurnAboutAnchor = 1;
    drawOn(state, photo, layer);
}
BENCHMARK(BM_RelativeEveryEffect6000x4000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The worst cover-tile case: 20-pixel text on 4000 x 3000, thousands of tiles.
void BM_CoverTiles4000x3000(benchmark::State &state)
{
    QImage photo(4000, 3000, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(90, 120, 150));
    CWatermarkConf layer = demoLayer();
    layer.textContent = u"W"_s;
    layer.Font.setHeight(-20);
    layer.BCoverImage = 1;
    layer.coverImgMethod = int(state.range(0));
    drawOn(state, photo, layer);
}
BENCHMARK(BM_CoverTiles4000x3000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    kw::RegisterWatermarkFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The removal resistance's cost on a 24 MP photo, step by step, beside the
// plain drawing of the same layer (bench_batch.sh's: 200-pixel text,
// outlined, a soft shadow, turned by 30 degrees).
//   QT_QPA_PLATFORM=offscreen build/bench/bench_mark_warp
#include "render/font_mapping.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPainter>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

CWatermarkConf batchLayer()
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, u"Kelvane Watermark"_s);
    layer.Font.setHeight(-200);
    layer.BAddShadow = 1;
    layer.ShadowBR = 4;
    layer.ShadowH = layer.ShadowV = 8;
    layer.ShadowAlpha = 60;
    layer.BDrawEdge = 1;
    return layer;
}

QImage photo24mp()
{
    QImage photo(6000, 4000, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(90, 120, 150));
    return photo;
}

void drawLayer(QPainter &painter, const CWatermarkConf &layer)
{
    CTextEffectRenderer::DrawTextLayer(painter, 6000, 4000, layer);
}

void BM_PlainMark(benchmark::State &state)
{
    const QImage photo = photo24mp();
    const CWatermarkConf layer = batchLayer();
    for (auto _ : state) {
        state.PauseTiming();
        QImage canvas = photo.copy();
        state.ResumeTiming();
        QPainter painter(&canvas);
        drawLayer(painter, layer);
    }
}
BENCHMARK(BM_PlainMark)->Unit(benchmark::kMillisecond);

void BM_WarpedMark(benchmark::State &state)
{
    const QImage photo = photo24mp();
    const CWatermarkConf layer = batchLayer();
    kw::MarkWarpSetting setting;
    setting.enabled = true;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QImage canvas = photo.copy();
        const kw::MarkWarpSeed seed = kw::MarkWarpSeedFor(QByteArray::number(++n), {});
        state.ResumeTiming();
        kw::DrawWarpedMark(canvas, setting, seed, [&](QPainter &p) { drawLayer(p, layer); });
    }
}
BENCHMARK(BM_WarpedMark)->Unit(benchmark::kMillisecond);

// The steps alone.
void BM_OpaqueBounds(benchmark::State &state)
{
    QImage overlay(6000, 4000, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(0);
    {
        QPainter painter(&overlay);
        drawLayer(painter, batchLayer());
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(kw::OpaqueBounds(overlay));
}
BENCHMARK(BM_OpaqueBounds)->Unit(benchmark::kMillisecond);

void BM_WarpOverlay(benchmark::State &state)
{
    QImage overlay(6000, 4000, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(0);
    {
        QPainter painter(&overlay);
        drawLayer(painter, batchLayer());
    }
    const QRect area = kw::OpaqueBounds(overlay).adjusted(-2, -2, 2, 2);
    kw::MarkWarpSetting setting;
    setting.enabled = true;
    const kw::MarkWarpField field(setting, kw::MarkWarpSeedFor("x", {}), area);
    state.SetLabel(QStringLiteral("%1 x %2").arg(area.width()).arg(area.height()).toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(kw::WarpOverlay(overlay, field).constBits());
}
BENCHMARK(BM_WarpOverlay)->Unit(benchmark::kMillisecond);

void BM_Field(benchmark::State &state)
{
    kw::MarkWarpSetting setting;
    setting.enabled = true;
    int n = 0;
    for (auto _ : state) {
        const kw::MarkWarpField field(setting, kw::MarkWarpSeedFor(QByteArray::number(++n), {}),
                                      QRect(0, 0, 1561, 962));
        benchmark::DoNotOptimize(field.nodesX().data());
    }
}
BENCHMARK(BM_Field)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    kw::RegisterWatermarkFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

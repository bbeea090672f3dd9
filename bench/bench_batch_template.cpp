// The time a batch run spends per photo on small photos with a logo layer:
// 50 photos of 320 x 240 through the batch engine, a template of one text
// layer and one 600 x 300 PNG logo, one photo at a time and one per core.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_batch_template
// The per-photo figures are the counters "ms/photo" (wall time) and
// "cpu ms/photo" (processor time of all threads, which other load on the
// machine does not inflate). Built against the batch
// engine's public interface only, so the same file measures older versions.
#include "model/layer_file.h"
#include "model/template_file.h"
#include "render/batch_engine.h"
#include "render/font_mapping.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPhotos = 50;

struct Setup
{
    QTemporaryDir dir;
    QStringList photos;
    kw::BatchSettings settings;

    Setup()
    {
        const QString templates = dir.filePath(u"templates"_s);
        QDir().mkpath(templates);
        QDir().mkpath(dir.filePath(u"in"_s));

        // A logo with some grain, so that decoding it costs what a real one does.
        QImage logo(600, 300, QImage::Format_ARGB32);
        QRandomGenerator rng(3);
        for (int y = 0; y < logo.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(logo.scanLine(y));
            for (int x = 0; x < logo.width(); ++x)
                line[x] = qRgba(x % 256, y % 256, int(rng.bounded(256)), 128 + (x + y) % 128);
        }
        const QString logoPath = dir.filePath(u"logo.png"_s);
        logo.save(logoPath, "PNG");

        CWatermarkConf layer;
        kw::ApplyNewLayerDefaults(layer, u"© Kelvane Watermark"_s);
        layer.ImagePathName = logoPath;
        layer.ImageLocation = 8;
        layer.ImageTransparency = 60;
        (void)kw::CreateLayerFile(templates, u"Bench_Layer 1"_s, layer);
        (void)kw::CreateTemplateFile(templates, u"Bench"_s, u"Bench_Layer 1"_s);

        QImage photo(320, 240, QImage::Format_RGB32);
        for (int i = 0; i < kPhotos; ++i) {
            photo.fill(QColor::fromHsv(i * 7 % 360, 120, 200));
            const QString path = dir.filePath(u"in/p%1.jpg"_s.arg(i, 2, 10, QChar(u'0')));
            photo.save(path, "JPEG", 90);
            photos << path;
        }

        settings.templatesFolder = templates;
        settings.templateName = u"Bench"_s;
        settings.preferences.outputFolderOpts = 1;
        settings.preferences.outputFolderPath = dir.filePath(u"out"_s);
        settings.preferences.outputFileNameOpts = 1;
        settings.preferences.outputFileNameSuffix = u"_new"_s;
    }
};

void BM_BatchSmallPhotosWithLogo(benchmark::State &state)
{
    static Setup setup;
    setup.settings.jobs = int(state.range(0));
    kw::BatchEngine engine;
    QEventLoop loop;
    int written = 0;
    QObject::connect(&engine, &kw::BatchEngine::finished, &loop,
                     [&](const kw::BatchSummary &summary) {
                         written = summary.written;
                         loop.quit();
                     });
    double totalMs = 0;
    const std::clock_t cpuStart = std::clock();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (!engine.start(setup.photos, setup.settings)) {
            state.SkipWithError("the run did not start");
            break;
        }
        loop.exec();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        totalMs += ms;
        state.SetIterationTime(ms / 1000.0);
        if (written != kPhotos)
            state.SkipWithError("not every photo was written");
    }
    const double cpuMs = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
    state.counters["ms/photo"] = totalMs / double(state.iterations()) / kPhotos;
    state.counters["cpu ms/photo"] = cpuMs / double(state.iterations()) / kPhotos;
}
BENCHMARK(BM_BatchSmallPhotosWithLogo)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    kw::RegisterWatermarkFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
